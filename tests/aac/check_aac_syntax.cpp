// Variant harness: AAC headers, syntax elements, channel pair parsing and noiseless decoding on random
// streams (sparse ones parse deep, dense ones fail early), now and then with a valid channel prefix, odd
// offsets and broken arguments; outputs and the cursor compared.
#include <algorithm>

#include "harness/checkasm.h"

namespace {

constexpr int kStream = 8192;  // more than one channel element can consume, plus look-ahead

// Stream bytes whose bits are set with probability 1/density; the first 16 bytes from pre.
Okv8u* stream(chk::Arena& a, int density = 2, const Okv8u* pre = nullptr) {
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
        for (int i = n - 1; i >= 0; --i, ++pos)
            s[pos >> 3] = Okv8u((s[pos >> 3] & ~(0x80 >> (pos & 7))) | ((v >> i) & 1) << (7 - (pos & 7)));
    };
    const int maxSfb = r.range(1, 40);
    put(r.range(60, 200), 8), put(0, 4), put(maxSfb, 6), put(0, 1), put(r.range(1, 11), 4);
    for (int rest = maxSfb; put(rest < 31 ? rest : 31, 5), rest >= 31; rest -= 31) {}
    put(0, maxSfb + 3);
}

}  // namespace

CHECKER(aac_syntax) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int cap = r.range(0, 17), off = r.pick(15, 0, 7, 8), chans = r.range(0, 3), mono = r.range(0, 2);
        int e[6];
        for (int& x : e) x = r.pick(7, 0, 1, 2);
        e[3] = r.pick(15, 0, 20, 52), e[4] = r.pick(15, 0, 51, 52), e[5] = r.pick(15, 0, 3, 4);
        PARSE(okvsUnpackADIFHeader_AAC, (a, stream(a)), &s.p, a.out<AACADIFHeader>(1), a.out<AACPrgCfgElt>(16), cap);
        PARSE(okvsUnpackADTSFrameHeader_AAC, (a, stream(a)), &s.p, a.out<AACADTSFrameHeader>(1));
        PARSE(okvsDecodePrgCfgElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACPrgCfgElt>(1));
        PARSE(okvsDecodeFillElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<int>(1), a.out<Okv8u>(269));
        PARSE(okvsDecodeDatStrElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<int>(1), a.out<int>(1), a.out<Okv8u>(510));
        PARSE(okvsDecodeMainHeader_AAC, (a, stream(a), off), &s.p, s.off,
              s.with(a.out<AACMainHeader>(1), &AACMainHeader::pMsUsed, a.out<Okv8u>(480)), chans, mono);
        PARSE(okvsDecodeExtensionHeader_AAC, (a, stream(a), off), &s.p, s.off,
              s.with(a.out<AACExtHeader>(1), &AACExtHeader::pMsUsed, a.inout<Okv8u>(240, a.uni(0, 1))),
              e[0], e[1], e[2], e[3], e[4], e[5]);
    }
}

CHECKER(aac_noiseless) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int off = r.pick(15, 0, 7, 8), density = r.range(2, 12), common = r.pick(15, 0, 1, 2), scal = r.pick(15, 0, 1, 2);
        const int pred = r.pick(7, 0, 0, r.range(0, 52)), aot = r.pick(15, 1, 4, 17), winSeq = r.pick(15, 0, 3, 4);
        const int maxSfb = r.range(0, 52);
        Okv8u pre[16];
        for (Okv8u& b : pre) b = Okv8u(r.u32());
        if (common == 0 && r.coin()) validPrefix(pre, off & 7, r);
        AACIcsInfo ics{};
        const bool eight = (ics.winSequence = r.range(0, 3)) == 2;
        ics.maxSfb = r.range(0, eight ? 15 : 51), ics.numWinGrp = eight ? 2 : 1;
        ics.lenWinGrp[0] = eight ? r.range(1, 7) : 1, ics.lenWinGrp[1] = 8 - ics.lenWinGrp[0];
        AACChanInfo ci{};
        ci.samplingRateIndex = r.pick(15, 0, 11, 12), ci.predSfbMax = pred;
        AACMainHeader hdr{};
        hdr.numWinGrp = ics.numWinGrp;
        std::copy(ics.lenWinGrp, ics.lenWinGrp + 8, hdr.lenWinGrp);
        const auto info = [&](chk::Arena& a, auto& s) { return s.with(a.one(ci), &AACChanInfo::pIcsInfo, a.one(ics)); };
        PARSE(okvsNoiselessDecoder_LC_AAC, (a, stream(a, 2, pre), off), &s.p, s.off, common, info(a, s), a.out<Okv16s>(120),
              a.out<Okv32s>(1024), a.out<Okv8u>(120), a.out<Okv8s>(60));
        PARSE(okvsNoiselessDecode_AAC, (a, stream(a, density), off), &s.p, s.off, a.one(hdr), a.out<Okv16s>(120),
              a.out<Okv32s>(1024), a.out<Okv8u>(120), a.out<Okv8s>(60), info(a, s), winSeq, maxSfb, common, scal, aot);
        PARSE(okvsDecodeChanPairElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACIcsInfo>(1), a.out<AACChanPairElt>(1), pred);
        PARSE(okvsDecodeChanPairElt_MP4_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACIcsInfo>(1), a.out<AACChanPairElt>(1),
              a.out<AACMainHeader>(1), pred, aot);
    }
}
