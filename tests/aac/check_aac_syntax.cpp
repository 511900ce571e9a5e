// Variant harness: AAC headers, syntax elements, channel pair parsing and noiseless decoding.
#include "harness/checkasm.h"

namespace {

constexpr int kStream = 8192;  // more than one channel element can consume, plus look-ahead

// Stream bytes whose bits are set with probability 1/density, so that parsing runs deep
// (dense streams fail in the first sections) as well as shallow.
Okv8u* stream(chk::Arena& a, int density) {
    return a.in<Okv8u>(kStream, [&](size_t) {
        int b = 0;
        for (int k = 0; k < 8; ++k) b = b << 1 | (a.rng().range(1, density) == 1);
        return b;
    });
}

// Output arrays of one noiseless decode, compared between the variants.
struct DecodeOut {
    Okv16s* sf;
    Okv32s* spec;
    Okv8u* cb;
    Okv8s* tns;
    int* moved;
    explicit DecodeOut(chk::Arena& a)
        : sf(a.out<Okv16s>(120)), spec(a.out<Okv32s>(1024)), cb(a.out<Okv8u>(120)), tns(a.out<Okv8s>(60)),
          moved(a.out<int>(1)) {}
};

// A long-window channel whose bands form one section of a random spectral book, all
// scalefactor deltas 0 (codeword "0") and no side data, so the spectral decoder runs on the
// random bits that follow.  Written at bit offset `off` of the stream.
void validPrefix(Okv8u* s, int off, chk::Rng& r) {
    int pos = off;
    const auto put = [&](int64_t v, int n) {  // n up to 43 zero bits
        for (int i = n - 1; i >= 0; --i, ++pos) {
            const Okv8u m = Okv8u(0x80 >> (pos & 7));
            s[pos >> 3] = Okv8u((v >> i) & 1 ? s[pos >> 3] | m : s[pos >> 3] & ~m);
        }
    };
    const int maxSfb = r.range(1, 40);
    put(r.range(60, 200), 8), put(0, 4), put(maxSfb, 6), put(0, 1);
    put(r.range(1, 11), 4);
    for (int rest = maxSfb;; rest -= 31) {
        put(rest < 31 ? rest : 31, 5);
        if (rest < 31) break;
    }
    put(0, maxSfb + 3);
}

int offsetArg(chk::Rng& r) { return r.range(0, 15) ? r.range(0, 7) : 8; }

// Runs a cursor parser and records how far it moved.
template <class F> int cursorCall(chk::Arena& a, int offset, F&& f) {
    Okv8u* s = stream(a, 2);
    int* off = a.inout<int>(1, [&](size_t) { return offset; });
    int* moved = a.out<int>(1);
    Okv8u* p = s;
    const int st = f(&p, off);
    *moved = int(p - s);
    return st;
}

}  // namespace

CHECK_EXPORTS(aac_syntax, "okvsUnpackADIFHeader_AAC", "okvsUnpackADTSFrameHeader_AAC", "okvsDecodePrgCfgElt_AAC",
              "okvsDecodeFillElt_AAC", "okvsDecodeDatStrElt_AAC", "okvsDecodeMainHeader_AAC",
              "okvsDecodeExtensionHeader_AAC") {
    for (int it = 0; it < c.iters(); ++it) {
        const int cap = c.rng().range(0, 17);
        c.call("okvsUnpackADIFHeader_AAC", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = stream(a, 2);
            AACADIFHeader* h = a.out<AACADIFHeader>(1);
            AACPrgCfgElt* pce = a.out<AACPrgCfgElt>(16);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsUnpackADIFHeader_AAC)(&p, h, pce, cap);
            *moved = int(p - s);
            return st;
        });
        c.call("okvsUnpackADTSFrameHeader_AAC", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = stream(a, 2);
            AACADTSFrameHeader* h = a.out<AACADTSFrameHeader>(1);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsUnpackADTSFrameHeader_AAC)(&p, h);
            *moved = int(p - s);
            return st;
        });
        const int off = offsetArg(c.rng());
        c.call("okvsDecodePrgCfgElt_AAC", [&](chk::Arena& a, int v) -> int {
            AACPrgCfgElt* e = a.out<AACPrgCfgElt>(1);
            return cursorCall(a, off, [&](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodePrgCfgElt_AAC)(p, o, e); });
        });
        c.call("okvsDecodeFillElt_AAC", [&](chk::Arena& a, int v) -> int {
            int* n = a.out<int>(1);
            Okv8u* d = a.out<Okv8u>(269);
            return cursorCall(a, off, [&](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodeFillElt_AAC)(p, o, n, d); });
        });
        c.call("okvsDecodeDatStrElt_AAC", [&](chk::Arena& a, int v) -> int {
            int* tag = a.out<int>(1);
            int* n = a.out<int>(1);
            Okv8u* d = a.out<Okv8u>(510);
            return cursorCall(a, off,
                              [&](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodeDatStrElt_AAC)(p, o, tag, n, d); });
        });
        const int chans = c.rng().range(0, 3), mono = c.rng().range(0, 2);
        c.call("okvsDecodeMainHeader_AAC", [&](chk::Arena& a, int v) -> int {
            AACMainHeader* h = a.out<AACMainHeader>(1);
            Okv8u* ms = a.out<Okv8u>(480);
            h->pMsUsed = ms;
            return cursorCall(a, off, [&](Okv8u** p, int* o) {
                const int st = OKV_BODY(v, okvsDecodeMainHeader_AAC)(p, o, h, chans, mono);
                h->pMsUsed = nullptr;  // the address differs between the arenas
                return st;
            });
        });
        int args[6];
        for (int& x : args) x = c.rng().range(0, 7) ? c.rng().range(0, 1) : 2;
        args[3] = c.rng().range(0, 15) ? c.rng().range(0, 20) : 52;
        args[4] = c.rng().range(0, 15) ? c.rng().range(0, 51) : 52;
        args[5] = c.rng().range(0, 15) ? c.rng().range(0, 3) : 4;
        c.call("okvsDecodeExtensionHeader_AAC", [&](chk::Arena& a, int v) -> int {
            AACExtHeader* h = a.out<AACExtHeader>(1);
            Okv8u* ms = a.inout<Okv8u>(240, [&](size_t) { return a.rng().range(0, 1); });
            h->pMsUsed = ms;
            return cursorCall(a, off, [&](Okv8u** p, int* o) {
                const int st = OKV_BODY(v, okvsDecodeExtensionHeader_AAC)(p, o, h, args[0], args[1], args[2], args[3],
                                                                          args[4], args[5]);
                h->pMsUsed = nullptr;
                return st;
            });
        });
    }
}

CHECK_EXPORTS(aac_noiseless, "okvsNoiselessDecoder_LC_AAC", "okvsNoiselessDecode_AAC", "okvsDecodeChanPairElt_AAC",
              "okvsDecodeChanPairElt_MP4_AAC") {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int off = offsetArg(r), density = r.range(2, 12), common = r.range(0, 15) ? r.range(0, 1) : 2;
        const int sri = r.range(0, 15) ? r.range(0, 11) : 12, pred = r.range(0, 7) ? 0 : r.range(0, 52);
        Okv8u pre[16];
        for (Okv8u& b : pre) b = Okv8u(r.u32());
        if (common == 0 && r.coin()) validPrefix(pre, off & 7, r);
        AACIcsInfo ics{};
        ics.winSequence = r.range(0, 3);
        ics.maxSfb = r.range(0, ics.winSequence == 2 ? 15 : 51);
        ics.numWinGrp = ics.winSequence == 2 ? 2 : 1;
        ics.lenWinGrp[0] = ics.winSequence == 2 ? r.range(1, 7) : 1;
        ics.lenWinGrp[1] = 8 - ics.lenWinGrp[0];
        const auto channel = [&](chk::Arena& a, AACIcsInfo** icsOut) {
            AACChanInfo* ci = a.inout<AACChanInfo>(1, [&](size_t) {
                AACChanInfo x{};
                x.samplingRateIndex = sri;
                x.predSfbMax = pred;
                return x;
            });
            *icsOut = a.inout<AACIcsInfo>(1, [&](size_t) { return ics; });
            return ci;
        };
        c.call("okvsNoiselessDecoder_LC_AAC", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(kStream, [&](size_t i) { return i < 16 ? pre[i] : Okv8u(a.rng().u32()); });
            int* o = a.inout<int>(1, [&](size_t) { return off; });
            AACIcsInfo* pi;
            AACChanInfo* ci = channel(a, &pi);
            const DecodeOut d(a);
            Okv8u* p = s;
            ci->pIcsInfo = pi;
            const int st = OKV_BODY(v, okvsNoiselessDecoder_LC_AAC)(&p, o, common, ci, d.sf, d.spec, d.cb, d.tns);
            ci->pIcsInfo = nullptr;
            *d.moved = int(p - s);
            return st;
        });
        const int scal = r.range(0, 15) ? r.range(0, 1) : 2, aot = r.range(0, 15) ? r.range(1, 4) : 17;
        const int winSeq = r.range(0, 15) ? r.range(0, 3) : 4, maxSfb = r.range(0, 52);
        c.call("okvsNoiselessDecode_AAC", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = stream(a, density);
            int* o = a.inout<int>(1, [&](size_t) { return off; });
            AACIcsInfo* pi;
            AACChanInfo* ci = channel(a, &pi);
            AACMainHeader* h = a.inout<AACMainHeader>(1, [&](size_t) {
                AACMainHeader x{};
                x.numWinGrp = ics.numWinGrp;
                for (int g = 0; g < 8; ++g) x.lenWinGrp[g] = ics.lenWinGrp[g];
                return x;
            });
            const DecodeOut d(a);
            Okv8u* p = s;
            ci->pIcsInfo = pi;
            const int st = OKV_BODY(v, okvsNoiselessDecode_AAC)(&p, o, h, d.sf, d.spec, d.cb, d.tns, ci, winSeq, maxSfb, common,
                                                                scal, aot);
            ci->pIcsInfo = nullptr;
            *d.moved = int(p - s);
            return st;
        });
        c.call("okvsDecodeChanPairElt_AAC", [&](chk::Arena& a, int v) -> int {
            AACIcsInfo* pi = a.out<AACIcsInfo>(1);
            AACChanPairElt* cpe = a.out<AACChanPairElt>(1);
            return cursorCall(a, off,
                              [&](Okv8u** p, int* o) { return OKV_BODY(v, okvsDecodeChanPairElt_AAC)(p, o, pi, cpe, pred); });
        });
        c.call("okvsDecodeChanPairElt_MP4_AAC", [&](chk::Arena& a, int v) -> int {
            AACIcsInfo* pi = a.out<AACIcsInfo>(1);
            AACChanPairElt* cpe = a.out<AACChanPairElt>(1);
            AACMainHeader* h = a.out<AACMainHeader>(1);
            return cursorCall(a, off, [&](Okv8u** p, int* o) {
                return OKV_BODY(v, okvsDecodeChanPairElt_MP4_AAC)(p, o, pi, cpe, h, pred, aot);
            });
        });
    }
}
