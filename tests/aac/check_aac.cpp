// Variant harness for the AAC exports: spectral tools on random grouped frames (one call in seven
// with a broken argument), filterbank and long-term prediction sequences from full scale to quiet,
// the frequency-domain predictor with every reset, and every parser on random streams (sparse ones
// parse deep, dense ones fail early).
#include <algorithm>

#include "harness/checkasm.h"

namespace {

struct Frame {
    int winLen, rate, maxSfb, numGrp = 0, len[8] = {};
};

Frame randomFrame(chk::Rng& r) {
    static const int kLong[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
    static const int kShort[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};
    static const int kBroken[6] = {512, 12, 52, 50, 9, 9};
    Frame f;
    f.winLen = r.coin() ? 1024 : 128;
    f.rate = r.range(0, 11);
    f.maxSfb = r.range(0, f.winLen == 1024 ? kLong[f.rate] : kShort[f.rate]);
    for (int left = f.winLen == 1024 ? 1 : 8; left > 0; left -= f.len[f.numGrp++]) f.len[f.numGrp] = r.range(1, left);
    int* field[6] = {&f.winLen, &f.rate, &f.maxSfb, &f.maxSfb, &f.numGrp, &f.len[0]};
    if (const int k = r.range(0, 40); k < 6) *field[k] = kBroken[k];
    return f;
}

constexpr int kStream = 8192;  // more than one channel element can consume, plus look-ahead

// Stream bytes whose bits are set with probability 1/density.
Okv8u* stream(chk::Arena& a, int density = 2) {
    return a.in<Okv8u>(kStream, [&](size_t) {
        int b = 0;
        for (int k = 0; k < 8; ++k) b = b << 1 | (a.rng().range(1, density) == 1);
        return b;
    });
}

}  // namespace

CHECKER(aac_spectral) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const Frame f = randomFrame(r);
        const int big = r.pick(30, 1, 300, 9000), mask = r.pick(12, 1, 2, 3), channel = r.range(0, 2);
        const int n = f.numGrp, maxSfb = f.maxSfb, rate = f.rate, win = f.winLen, profile = !!r.range(0, 12);
        const auto coefs = [&](chk::Arena& a) { return a.inout<Okv32s>(1024, a.uni(-big, big)); };
        const auto sf = [](chk::Arena& a) {
            return a.in<Okv16s>(408, [&a](size_t) { return a.rng().pick(20, 0, 255, a.rng().i16()); });
        };
        const auto cb = [&](chk::Arena& a) { return a.inout<Okv8u>(408, a.uni(0, 15)); };
        const auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(480, a.uni(0, 1)); };
        const auto lens = [&](chk::Arena& a) { return a.in_copy<int>(f.len, 8); };
        const auto seed = [](chk::Arena& a) { return a.one(int(a.rng().u32())); };
        const auto ints = [&](chk::Arena& a, size_t m, int lo, int hi) {  // mostly in lo..hi, now and then one past
            return a.inout<int>(m, [&, lo, hi](size_t) { return a.rng().pick(30, lo, hi, hi + 1); });
        };
        CALL(okvsQuantInv_AAC_32s_I, coefs(a), sf(a), n, lens(a), maxSfb, cb(a), rate, win);
        CALL(okvsDecodeMsStereo_AAC_32s_I, coefs(a), coefs(a), mask, flags(a), cb(a), n, lens(a), maxSfb, rate, win);
        CALL(okvsDecodeIsStereo_AAC_32s, a.in<Okv32s>(1024, a.i32()), coefs(a), sf(a), cb(a), n, lens(a), maxSfb, rate,
             win);
        CALL(okvsDecodePNS_AAC_32s, coefs(a), ints(a, 41, 1, 1), cb(a), sf(a), maxSfb, n, lens(a), rate, win, seed(a));
        CALL(okvsDecodeMsPNS_AAC_32s, coefs(a), ints(a, 41, 1, 1), cb(a), sf(a), maxSfb, n, lens(a), rate, win, seed(a),
             channel, flags(a), a.inout<int>(408, a.i32()));
        CALL(okvsDeinterleaveSpectrum_AAC_32s, a.in<Okv32s>(1024, a.i32()), a.out<Okv32s>(1024), n, lens(a), maxSfb,
             rate, win);
        for (const bool enc : {false, true})
            c.call(enc ? "okvsEncodeTNS_AAC_32s_I" : "okvsDecodeTNS_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024, a.i32(8));
                const int *nf = ints(a, 8, 0, win == 128 ? 1 : 3), *ln = ints(a, 8, 0, win == 128 ? 14 : 49);
                const int *od = ints(a, 8, 0, win == 128 ? 7 : 12), *res = ints(a, 8, 3, 4), *dir = ints(a, 8, 0, 1);
                const Okv8s* cf = a.in<Okv8s>(60, [&](size_t) { return a.rng().pick(60, -8, 7, 8); });
                const auto tns = enc ? OKV_BODY(v, okvsEncodeTNS_AAC_32s_I) : OKV_BODY(v, okvsDecodeTNS_AAC_32s_I);
                return tns(x, nf, ln, od, res, cf, dir, maxSfb, profile, rate, win);
            });
    }
}

// Frames in a row through one overlap or history; a failing frame ends the sequence.
CHECKER(aac_filterbank) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int frames = r.range(1, 4), prev0 = r.range(0, 1), shift = r.range(0, 12), step = r.pick(20, 1, 2, 3);
        const int len = r.range(0, 20) ? 1 : 2, rate = r.pick(30, 0, 11, 12);
        int seq[4], shape[4];
        for (int i = 0; i < frames; ++i) {
            seq[i] = r.pick(30, 0, 3, 4);
            shape[i] = r.pick(30, 0, 1, 2);
        }
        const auto prev = [&](int i) { return i ? shape[i - 1] : prev0; };
        for (const bool pcm : {false, true})
            c.call(pcm ? "okvsMDCTInv_AAC_32s16s" : "okvsMDCTInv_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024 * size_t(frames), a.i32(shift + (pcm ? 4 : 12)));
                Okv32s* ov = a.inout<Okv32s>(1024, a.i32(shift + 4));
                Okv16s* out = a.out<Okv16s>(2048 * size_t(frames));
                return chk::chain(frames, [&](int i) {
                    const auto inv = OKV_BODY(v, okvsMDCTInv_AAC_32s16s);
                    if (pcm) return inv(x + 1024 * i, out + 2048 * i, ov, seq[i], shape[i], prev(i), step);
                    return OKV_BODY(v, okvsMDCTInv_AAC_32s_I)(x + 1024 * i, ov, seq[i], shape[i], prev(i), 1024 * len);
                });
            });
        c.call("okvsLtpUpdate_AAC_32s", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(1024 * size_t(frames), a.i32(shift + 4));
            Okv32s* h = a.inout<Okv32s>(3072, a.i32(shift));
            Okv32s* work = a.scratch<Okv32s>(6144 * 4, 0);
            return chk::chain(frames, [&](int i) {
                return OKV_BODY(v, okvsLtpUpdate_AAC_32s)(x + 1024 * i, h, seq[i], shape[i], prev(i), work);
            });
        });
        c.call("okvsMDCTFwd_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = a.inout<Okv32s>(2048, a.i32(shift + 12));
            Okv32s* work = a.scratch<Okv32s>(8192, 0);
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s)(x, a.out<Okv32s>(1024), x, seq[0], shape[0], prev0, work);
        });
        CALL(okvsMDCTFwd_AAC_32s_I, a.inout<Okv32s>(2048, a.i32(shift)), seq[0], shape[0], prev0, 2048 / len);
        AACLtpData ltp{};
        ltp.ltpLag = r.pick(20, 0, 2047, r.range(-3000, 3000));
        ltp.ltpCoef = Okv16s(r.pick(10, 9352, 22438, r.range(-32768, 32767)));
        for (int w = 0; w < 8; ++w) {
            ltp.ltpShortUsed[w] = r.coin();
            ltp.ltpShortLag[w] = r.pick(20, -120, 2063, r.range(-4000, 4000));
        }
        CALL(okvsLongTermPredict_AAC_32s, a.in<Okv32s>(3072, a.i32()), a.inout<Okv32s>(2048, a.i32()), a.in_copy(&ltp),
             seq[0]);
        CALL(okvsLongTermReconstruct_AAC_32s, a.in<Okv32s>(1024, a.i32()), a.inout<Okv32s>(1024, a.i32()),
             a.in<int>(41, a.uni(0, 1)), seq[0], rate);
    }
}

// Decoder frames with every reset on a state in caller memory, encoder frames on an allocated state,
// random band layouts (some wild); every state array compared; null and foreign states refused.
CHECKER(aac_fdp) {
    for (int it = 0; it < 6 * c.iters(); ++it) {
        const int len = c.rng().range(0, 8) ? c.rng().range(1, 1024) : c.rng().range(-2, 3);
        const int frames = c.rng().range(1, 6), nBands = c.rng().range(0, 60), wild = c.rng().range(0, 5) == 0;
        const chk::Align al = c.rng().coin() ? chk::Aligned16 : chk::AnyAlign;
        c.call("frequency-domain predictor", [&](chk::Arena& a, int v) -> int {
            int pos = 0, *size = a.out<int>(1), *st = a.out<int>(5);
            const auto band = [&](size_t i) {
                pos = (i ? pos : 0) + a.rng().range(wild ? -40 : 0, wild ? 80 : 40);
                return pos;
            };
            const auto flags = [&] { return a.in<Okv8u>(size_t(nBands) + 1, a.uni(0, 1)); };
            const auto dump = [&](const FDPState* s) {  // the header holds pointers: the arrays are compared
                Okv32f* o = a.out<Okv32f>(6 * size_t(len));
                for (const Okv32f* x : {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1})
                    o = std::copy(x, x + len, o);
            };
            FDPState *s = nullptr, *e = nullptr;
            st[0] = OKV_BODY(v, okvsFDPGetSize_32f)(len, it % 7 ? size : nullptr);
            if (st[0] == okvOk) st[0] = OKV_BODY(v, okvsFDPInit_32f)(&s, len, a.scratch<Okv8u>(size_t(*size), it & 63));
            for (int f = 0; f < frames && st[0] >= okvOk; ++f) {
                const int* off = a.in<int>(size_t(nBands) + 1, band);
                Okv32f* x = a.inout<Okv32f>(size_t(len), a.f32(), al);
                st[0] = OKV_BODY(v, okvsFDPInv_32f_I)(x, off, nBands, flags(), s);
                Okv32s* res = a.out<Okv32s>(3);
                res[0] = OKV_BODY(v, okvsFDPResetSfb_32f)(off, nBands, flags(), s);
                res[1] = OKV_BODY(v, okvsFDPResetGroup_32f)(a.rng().range(-1, len + 1), a.rng().range(-1, 31), s);
                res[2] = a.rng().range(0, 4) ? okvOk : OKV_BODY(v, okvsFDPReset_32f)(s);
            }
            if (s) dump(s);
            st[1] = OKV_BODY(v, okvsFDPInitAlloc_32f)(&e, len);
            for (int f = 0; f < frames && st[1] >= okvOk && e; ++f)
                st[1] = OKV_BODY(v, okvsFDPFwd_32f)(a.in<Okv32f>(size_t(len), a.f32(), al), a.out<Okv32f>(len, al), e);
            if (e) dump(e);
            if (e) st[2] = OKV_BODY(v, okvsFDPFree_32f)(e);
            st[3] = OKV_BODY(v, okvsFDPFree_32f)(nullptr);
            st[4] = OKV_BODY(v, okvsFDPReset_32f)(static_cast<FDPState*>(a.scratch(512)));
            return 0;
        });
    }
}

CHECKER(aac_syntax) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int cap = r.range(0, 17), off = r.pick(15, 0, 7, 8), chans = r.range(0, 3), mono = r.range(0, 2);
        int e[6];
        for (int& x : e) x = r.pick(7, 0, 1, 2);
        e[3] = r.pick(15, 0, 20, 52);
        e[4] = r.pick(15, 0, 51, 52);
        e[5] = r.pick(15, 0, 3, 4);
        PARSE(okvsUnpackADIFHeader_AAC, (a, stream(a)), &s.p, a.out<AACADIFHeader>(1), a.out<AACPrgCfgElt>(16), cap);
        PARSE(okvsUnpackADTSFrameHeader_AAC, (a, stream(a)), &s.p, a.out<AACADTSFrameHeader>(1));
        PARSE(okvsDecodePrgCfgElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACPrgCfgElt>(1));
        PARSE(okvsDecodeFillElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<int>(1), a.out<Okv8u>(269));
        PARSE(okvsDecodeDatStrElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<int>(1), a.out<int>(1),
              a.out<Okv8u>(510));
        PARSE(okvsDecodeMainHeader_AAC, (a, stream(a), off), &s.p, s.off,
              s.with(a.out<AACMainHeader>(1), &AACMainHeader::pMsUsed, a.out<Okv8u>(480)), chans, mono);
        PARSE(okvsDecodeExtensionHeader_AAC, (a, stream(a), off), &s.p, s.off,
              s.with(a.out<AACExtHeader>(1), &AACExtHeader::pMsUsed, a.inout<Okv8u>(240, a.uni(0, 1))), e[0], e[1],
              e[2], e[3], e[4], e[5]);
    }
}

CHECKER(aac_noiseless) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int off = r.pick(15, 0, 7, 8), density = r.range(2, 12), common = r.pick(15, 0, 1, 2);
        const int scal = r.pick(15, 0, 1, 2), pred = r.pick(7, 0, 0, r.range(0, 52)), aot = r.pick(15, 1, 4, 17);
        const int winSeq = r.pick(15, 0, 3, 4), maxSfb = r.range(0, 52);
        AACIcsInfo ics{};
        ics.winSequence = r.range(0, 3);
        const bool eight = ics.winSequence == 2;
        ics.maxSfb = r.range(0, eight ? 15 : 51);
        ics.numWinGrp = eight ? 2 : 1;
        ics.lenWinGrp[0] = eight ? r.range(1, 7) : 1;
        ics.lenWinGrp[1] = 8 - ics.lenWinGrp[0];
        AACChanInfo ci{};
        ci.samplingRateIndex = r.pick(15, 0, 11, 12);
        ci.predSfbMax = pred;
        AACMainHeader hdr{};
        hdr.numWinGrp = ics.numWinGrp;
        std::copy(ics.lenWinGrp, ics.lenWinGrp + 8, hdr.lenWinGrp);
        const auto info = [&](chk::Arena& a, auto& s) { return s.with(a.one(ci), &AACChanInfo::pIcsInfo, a.one(ics)); };
        PARSE(okvsNoiselessDecoder_LC_AAC, (a, stream(a, density), off), &s.p, s.off, common, info(a, s),
              a.out<Okv16s>(120), a.out<Okv32s>(1024), a.out<Okv8u>(120), a.out<Okv8s>(60));
        PARSE(okvsNoiselessDecode_AAC, (a, stream(a, density), off), &s.p, s.off, a.one(hdr), a.out<Okv16s>(120),
              a.out<Okv32s>(1024), a.out<Okv8u>(120), a.out<Okv8s>(60), info(a, s), winSeq, maxSfb, common, scal, aot);
        PARSE(okvsDecodeChanPairElt_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACIcsInfo>(1),
              a.out<AACChanPairElt>(1), pred);
        PARSE(okvsDecodeChanPairElt_MP4_AAC, (a, stream(a), off), &s.p, s.off, a.out<AACIcsInfo>(1),
              a.out<AACChanPairElt>(1), a.out<AACMainHeader>(1), pred, aot);
    }
}
