// Variant harness for the AAC spectral tools and filterbank: random frames with grouped short
// windows, every codebook, wild scalefactors and side data, broken arguments now and then;
// sequences of filterbank frames from full scale to quiet.
#include "harness/checkasm.h"

namespace {

struct Frame {
    int winLen, rate, maxSfb, numGrp = 0, len[8] = {};
};

// Mostly valid frame parameters; one call in seven breaks one of them.
Frame randomFrame(chk::Rng& r) {
    static const int kLong[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
    static const int kShort[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};
    Frame f;
    f.winLen = r.coin() ? 1024 : 128, f.rate = r.range(0, 11);
    f.maxSfb = r.range(0, f.winLen == 1024 ? kLong[f.rate] : kShort[f.rate]);
    for (int left = f.winLen == 1024 ? 1 : 8; left > 0; left -= f.len[f.numGrp++]) f.len[f.numGrp] = r.range(1, left);
    static const int kBroken[6] = {512, 12, 52, 50, 9, 9};
    int* field[6] = {&f.winLen, &f.rate, &f.maxSfb, &f.maxSfb, &f.numGrp, &f.len[0]};
    if (const int k = r.range(0, 40); k < 6) *field[k] = kBroken[k];
    return f;
}

}  // namespace

CHECKER(aac_spectral) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const Frame f = randomFrame(r);
        const int big = r.pick(30, 1, 300, 9000), mask = r.pick(12, 1, 2, 3), channel = r.range(0, 2), profile = !!r.range(0, 12);
        const int n = f.numGrp, maxSfb = f.maxSfb, rate = f.rate, win = f.winLen, shortWin = win == 128;
        auto coefs = [&](chk::Arena& a) { return a.inout<Okv32s>(1024, a.uni(-big, big)); };
        auto sf = [](chk::Arena& a) {
            return a.in<Okv16s>(408, [&a](size_t) { return a.rng().pick(20, 0, 255, a.rng().i16()); });
        };
        auto cb = [&](chk::Arena& a) { return a.inout<Okv8u>(408, a.uni(0, 15)); };
        auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(480, a.uni(0, 1)); };
        auto lens = [&](chk::Arena& a) { return a.in_copy<int>(f.len, 8); };
        auto ints = [&](chk::Arena& a, size_t m, int lo, int hi) {  // mostly in lo..hi, now and then one past
            return a.inout<int>(m, [&, lo, hi](size_t) { return a.rng().pick(30, lo, hi, hi + 1); });
        };
        CALL(okvsQuantInv_AAC_32s_I, coefs(a), sf(a), n, lens(a), maxSfb, cb(a), rate, win);
        CALL(okvsDecodeMsStereo_AAC_32s_I, coefs(a), coefs(a), mask, flags(a), cb(a), n, lens(a), maxSfb, rate, win);
        CALL(okvsDecodeIsStereo_AAC_32s, a.in<Okv32s>(1024, a.i32()), coefs(a), sf(a), cb(a), n, lens(a), maxSfb, rate, win);
        const auto seed = [](chk::Arena& a) { return a.one(int(a.rng().u32())); };
        CALL(okvsDecodePNS_AAC_32s, coefs(a), ints(a, 41, 1, 1), cb(a), sf(a), maxSfb, n, lens(a), rate, win, seed(a));
        CALL(okvsDecodeMsPNS_AAC_32s, coefs(a), ints(a, 41, 1, 1), cb(a), sf(a), maxSfb, n, lens(a), rate, win, seed(a), channel,
             flags(a), a.inout<int>(408, a.i32()));
        CALL(okvsDeinterleaveSpectrum_AAC_32s, a.in<Okv32s>(1024, a.i32()), a.out<Okv32s>(1024), n, lens(a), maxSfb, rate, win);
        // TNS side data: counts, lengths, orders, resolutions and directions mostly in range, indices -8..8.
        for (const bool enc : {false, true})
            c.call(enc ? "okvsEncodeTNS_AAC_32s_I" : "okvsDecodeTNS_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024, a.i32(8));
                const int *nf = ints(a, 8, 0, shortWin ? 1 : 3), *ln = ints(a, 8, 0, shortWin ? 14 : 49);
                const int *od = ints(a, 8, 0, shortWin ? 7 : 12), *res = ints(a, 8, 3, 4), *dir = ints(a, 8, 0, 1);
                const Okv8s* cf = a.in<Okv8s>(60, [&](size_t) { return a.rng().pick(60, -8, 7, 8); });
                return (enc ? OKV_BODY(v, okvsEncodeTNS_AAC_32s_I) : OKV_BODY(v, okvsDecodeTNS_AAC_32s_I))(
                    x, nf, ln, od, res, cf, dir, maxSfb, profile, rate, win);
            });
    }
}

CHECKER(aac_filterbank) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int frames = r.range(1, 4), prev0 = r.range(0, 1), shift = r.range(0, 12), step = r.pick(20, 1, 2, 3);
        const int len = r.range(0, 20) ? 1 : 2;
        int seq[4], shape[4];
        for (int i = 0; i < frames; ++i) seq[i] = r.pick(30, 0, 3, 4), shape[i] = r.pick(30, 0, 1, 2);
        // Frames in a row through one overlap; a failing frame ends the sequence.
        for (const bool pcm : {false, true})
            c.call(pcm ? "okvsMDCTInv_AAC_32s16s" : "okvsMDCTInv_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024 * size_t(frames), a.i32(shift + (pcm ? 4 : 12)));
                Okv32s* ov = a.inout<Okv32s>(1024, a.i32(shift + 4));
                Okv16s* out = a.out<Okv16s>(2048 * size_t(frames));
                return chk::chain(frames, [&](int i) {
                    const int prev = i ? shape[i - 1] : prev0;
                    Okv32s* xi = x + 1024 * i;
                    if (pcm) return OKV_BODY(v, okvsMDCTInv_AAC_32s16s)(xi, out + 2048 * i, ov, seq[i], shape[i], prev, step);
                    return OKV_BODY(v, okvsMDCTInv_AAC_32s_I)(xi, ov, seq[i], shape[i], prev, 1024 * len);
                });
            });
        c.call("okvsMDCTFwd_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = a.inout<Okv32s>(2048, a.i32(shift + 12));
            Okv32s* work = a.scratch<Okv32s>(8192, 0);
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s)(x, a.out<Okv32s>(1024), x, seq[0], shape[0], prev0, work);
        });
        CALL(okvsMDCTFwd_AAC_32s_I, a.inout<Okv32s>(2048, a.i32(shift)), seq[0], shape[0], prev0, 2048 / len);
    }
}
