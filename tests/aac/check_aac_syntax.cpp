// Variant harness: AAC headers, syntax elements, channel pair parsing and noiseless decoding on
// random streams (sparse ones parse deep, dense ones fail early), now and then with a valid
// channel prefix, odd offsets and broken arguments; outputs and the cursor compared.
#include <algorithm>

#include "harness/checkasm.h"

namespace {

constexpr int kStream = 8192;  // more than one channel element can consume, plus look-ahead

// Stream bytes whose bits are set with probability 1/density; the first 16 bytes from pre.
Okv8u* stream(chk::Arena& a, int density, const Okv8u* pre = nullptr) {
    return a.in<Okv8u>(kStream, [&](size_t i) {
        int b = 0;
        for (int k = 0; k < 8; ++k) b = b << 1 | (a.rng().range(1, density) == 1);
        return pre && i < 16 ? pre[i] : b;
    });
}

// A long-window channel whose bands form one section of a random spectral book, scalefactor
// deltas 0 and no side data, so that the spectral decoder runs on the random bits that follow.
void validPrefix(Okv8u* s, int pos, chk::Rng& r) {
    const auto put = [&](int64_t v, int n) {
        for (int i = n - 1; i >= 0; --i, ++pos) s[pos >> 3] = Okv8u((s[pos >> 3] & ~(0x80 >> (pos & 7))) | ((v >> i) & 1) << (7 - (pos & 7)));
    };
    const int maxSfb = r.range(1, 40);
    put(r.range(60, 200), 8), put(0, 4), put(maxSfb, 6), put(0, 1), put(r.range(1, 11), 4);
    for (int rest = maxSfb; put(rest < 31 ? rest : 31, 5), rest >= 31; rest -= 31) {}
    put(0, maxSfb + 3);
}

// Runs a cursor parser from a random stream; records how far it moved.
template <class F> int cursorCall(chk::Arena& a, int offset, F&& f, int density = 2, const Okv8u* pre = nullptr) {
    Okv8u* s = stream(a, density, pre);
    int* off = a.inout<int>(1, [&](size_t) { return offset; });
    int* moved = a.out<int>(1);
    Okv8u* p = s;
    const int st = f(&p, off);
    *moved = int(p - s);
    return st;
}

}  // namespace

CHECKER(aac_syntax) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int cap = r.range(0, 17), off = r.range(0, 15) ? r.range(0, 7) : 8, chans = r.range(0, 3), mono = r.range(0, 2);
        int args[6];
        for (int& x : args) x = r.range(0, 7) ? r.range(0, 1) : 2;
        args[3] = r.range(0, 15) ? r.range(0, 20) : 52, args[4] = r.range(0, 15) ? r.range(0, 51) : 52, args[5] = r.range(0, 15) ? r.range(0, 3) : 4;
        c.call("okvsUnpackADIFHeader_AAC", [&](chk::Arena& a, int v) -> int {
            AACADIFHeader* h = a.out<AACADIFHeader>(1);
            AACPrgCfgElt* pce = a.out<AACPrgCfgElt>(16);
            return cursorCall(a, 0, [&](Okv8u** p, int*) { return OKV_BODY(v, okvsUnpackADIFHeader_AAC)(p, h, pce, cap); });
        });
        c.call("okvsUnpackADTSFrameHeader_AAC", [&](chk::Arena& a, int v) -> int {
            return cursorCall(a, 0, [&, h = a.out<AACADTSFrameHeader>(1)](Okv8u** p, int*) { return OKV_BODY(v, okvsUnpackADTSFrameHeader_AAC)(p, h); });
        });
        c.call("okvsDecodePrgCfgElt_AAC", [&](chk::Arena& a, int v) -> int {
            return cursorCall(a, off, [&, e = a.out<AACPrgCfgElt>(1)](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodePrgCfgElt_AAC)(p, o, e); });
        });
        c.call("okvsDecodeFillElt_AAC", [&](chk::Arena& a, int v) -> int {
            int* n = a.out<int>(1);
            return cursorCall(a, off, [&, d = a.out<Okv8u>(269)](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodeFillElt_AAC)(p, o, n, d); });
        });
        c.call("okvsDecodeDatStrElt_AAC", [&](chk::Arena& a, int v) -> int {
            int* n = a.out<int>(2);
            return cursorCall(a, off, [&, d = a.out<Okv8u>(510)](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodeDatStrElt_AAC)(p, o, n, n + 1, d); });
        });
        // The M/S arrays' addresses differ between the arenas: cleared after the call.
        c.call("okvsDecodeMainHeader_AAC", [&](chk::Arena& a, int v) -> int {
            AACMainHeader* h = a.out<AACMainHeader>(1);
            h->pMsUsed = a.out<Okv8u>(480);
            return cursorCall(a, off, [&](Okv8u** p, int* o) {
                const int st = OKV_BODY(v, okvsDecodeMainHeader_AAC)(p, o, h, chans, mono);
                return h->pMsUsed = nullptr, st;
            });
        });
        c.call("okvsDecodeExtensionHeader_AAC", [&](chk::Arena& a, int v) -> int {
            AACExtHeader* h = a.out<AACExtHeader>(1);
            h->pMsUsed = a.inout<Okv8u>(240, [&](size_t) { return a.rng().range(0, 1); });
            return cursorCall(a, off, [&](Okv8u** p, int* o) {
                const int st = OKV_BODY(v, okvsDecodeExtensionHeader_AAC)(p, o, h, args[0], args[1], args[2], args[3], args[4], args[5]);
                return h->pMsUsed = nullptr, st;
            });
        });
    }
}

CHECKER(aac_noiseless) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int off = r.range(0, 15) ? r.range(0, 7) : 8, density = r.range(2, 12), common = r.range(0, 15) ? r.range(0, 1) : 2;
        const int sri = r.range(0, 15) ? r.range(0, 11) : 12, pred = r.range(0, 7) ? 0 : r.range(0, 52);
        const int scal = r.range(0, 15) ? r.range(0, 1) : 2, aot = r.range(0, 15) ? r.range(1, 4) : 17;
        const int winSeq = r.range(0, 15) ? r.range(0, 3) : 4, maxSfb = r.range(0, 52);
        Okv8u pre[16];
        for (Okv8u& b : pre) b = Okv8u(r.u32());
        if (common == 0 && r.coin()) validPrefix(pre, off & 7, r);
        AACIcsInfo ics{};
        ics.winSequence = r.range(0, 3);
        ics.maxSfb = r.range(0, ics.winSequence == 2 ? 15 : 51);
        ics.numWinGrp = ics.winSequence == 2 ? 2 : 1;
        ics.lenWinGrp[0] = ics.winSequence == 2 ? r.range(1, 7) : 1;
        ics.lenWinGrp[1] = 8 - ics.lenWinGrp[0];
        AACChanInfo ci0{};
        ci0.samplingRateIndex = sri, ci0.predSfbMax = pred;
        AACMainHeader hdr0{};
        hdr0.numWinGrp = ics.numWinGrp;
        std::copy(ics.lenWinGrp, ics.lenWinGrp + 8, hdr0.lenWinGrp);
        for (const char* name : {"okvsNoiselessDecoder_LC_AAC", "okvsNoiselessDecode_AAC"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                AACChanInfo* ci = a.inout<AACChanInfo>(1, [&](size_t) { return ci0; });
                AACIcsInfo* pi = a.inout<AACIcsInfo>(1, [&](size_t) { return ics; });
                AACMainHeader* h = a.inout<AACMainHeader>(1, [&](size_t) { return hdr0; });
                Okv16s* sf = a.out<Okv16s>(120);
                Okv32s* spec = a.out<Okv32s>(1024);
                Okv8u* cb = a.out<Okv8u>(120);
                Okv8s* tns = a.out<Okv8s>(60);
                const bool lc = std::string(name) == "okvsNoiselessDecoder_LC_AAC";
                return cursorCall(a, off, [&](Okv8u** p, int* o) {
                    ci->pIcsInfo = pi;  // the address differs between the arenas: cleared after the call
                    const int st = lc ? OKV_BODY(v, okvsNoiselessDecoder_LC_AAC)(p, o, common, ci, sf, spec, cb, tns)
                                      : OKV_BODY(v, okvsNoiselessDecode_AAC)(p, o, h, sf, spec, cb, tns, ci, winSeq, maxSfb, common, scal, aot);
                    return ci->pIcsInfo = nullptr, st;
                }, lc ? 2 : density, lc ? pre : nullptr);
            });
        for (const char* name : {"okvsDecodeChanPairElt_AAC", "okvsDecodeChanPairElt_MP4_AAC"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                AACIcsInfo* pi = a.out<AACIcsInfo>(1);
                AACChanPairElt* cpe = a.out<AACChanPairElt>(1);
                AACMainHeader* h = a.out<AACMainHeader>(1);
                return cursorCall(a, off, [&](Okv8u** p, int* o) {
                    return std::string(name) == "okvsDecodeChanPairElt_AAC" ? OKV_BODY(v, okvsDecodeChanPairElt_AAC)(p, o, pi, cpe, pred)
                                           : OKV_BODY(v, okvsDecodeChanPairElt_MP4_AAC)(p, o, pi, cpe, h, pred, aot);
                });
            });
    }
}
