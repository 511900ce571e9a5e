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
    f.winLen = r.coin() ? 1024 : 128;
    f.rate = r.range(0, 11);
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
        const int big = r.range(0, 30) ? r.range(1, 300) : 9000, mask = r.range(0, 12) ? r.range(1, 2) : 3;
        const int channel = r.range(0, 2), profile = r.range(0, 12) ? 1 : 0, shortWin = f.winLen == 128;
        auto coefs = [&](chk::Arena& a) { return a.inout<Okv32s>(1024, [&](size_t) { return a.rng().range(-big, big); }); };
        auto sf = [&](chk::Arena& a) { return a.in<Okv16s>(408, [&](size_t) { return a.rng().range(0, 20) ? a.rng().range(0, 255) : a.rng().i16(); }); };
        auto cb = [&](chk::Arena& a) { return a.inout<Okv8u>(408, [&](size_t) { return a.rng().range(0, 15); }); };
        auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(480, [&](size_t) { return a.rng().range(0, 1); }); };
        auto lens = [&](chk::Arena& a) { return a.in_copy<int>(f.len, 8); };
        auto ints = [&](chk::Arena& a, size_t n, int lo, int hi) {  // mostly in lo..hi, now and then one past
            return a.inout<int>(n, [&, lo, hi](size_t) { return a.rng().range(0, 30) ? a.rng().range(lo, hi) : hi + 1; });
        };
        c.call("okvsQuantInv_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsQuantInv_AAC_32s_I)(coefs(a), sf(a), f.numGrp, lens(a), f.maxSfb, cb(a), f.rate, f.winLen);
        });
        c.call("okvsDecodeMsStereo_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsDecodeMsStereo_AAC_32s_I)(coefs(a), coefs(a), mask, flags(a), cb(a), f.numGrp, lens(a), f.maxSfb, f.rate, f.winLen);
        });
        c.call("okvsDecodeIsStereo_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* l = a.in<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            return OKV_BODY(v, okvsDecodeIsStereo_AAC_32s)(l, coefs(a), sf(a), cb(a), f.numGrp, lens(a), f.maxSfb, f.rate, f.winLen);
        });
        for (const char* name : {"okvsDecodePNS_AAC_32s", "okvsDecodeMsPNS_AAC_32s"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                Okv32s* x = coefs(a);
                int *ltp = ints(a, 41, 1, 1), *seed = a.inout<int>(1, [&](size_t) { return int(a.rng().u32()); });
                if (name[10] == 'P') return OKV_BODY(v, okvsDecodePNS_AAC_32s)(x, ltp, cb(a), sf(a), f.maxSfb, f.numGrp, lens(a), f.rate, f.winLen, seed);
                return OKV_BODY(v, okvsDecodeMsPNS_AAC_32s)(x, ltp, cb(a), sf(a), f.maxSfb, f.numGrp, lens(a), f.rate, f.winLen, seed,
                                                            channel, flags(a), a.inout<int>(408, [&](size_t) { return int(a.rng().u32()); }));
            });
        // TNS side data: counts, lengths, orders, resolutions and directions mostly in range, indices -8..8.
        for (const char* name : {"okvsDecodeTNS_AAC_32s_I", "okvsEncodeTNS_AAC_32s_I"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024, [&](size_t) { return a.rng().i32() >> 8; });
                const int *nf = ints(a, 8, 0, shortWin ? 1 : 3), *ln = ints(a, 8, 0, shortWin ? 14 : 49);
                const int *od = ints(a, 8, 0, shortWin ? 7 : 12), *res = ints(a, 8, 3, 4), *dir = ints(a, 8, 0, 1);
                const Okv8s* cf = a.in<Okv8s>(60, [&](size_t) { return a.rng().range(0, 60) ? a.rng().range(-8, 7) : 8; });
                return (name[4] == 'D' ? OKV_BODY(v, okvsDecodeTNS_AAC_32s_I) : OKV_BODY(v, okvsEncodeTNS_AAC_32s_I))(
                    x, nf, ln, od, res, cf, dir, f.maxSfb, profile, f.rate, f.winLen);
            });
        c.call("okvsDeinterleaveSpectrum_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* s = a.in<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            return OKV_BODY(v, okvsDeinterleaveSpectrum_AAC_32s)(s, a.out<Okv32s>(1024), f.numGrp, lens(a), f.maxSfb, f.rate, f.winLen);
        });
    }
}

CHECKER(aac_filterbank) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int frames = r.range(1, 4), prev0 = r.range(0, 1), shift = r.range(0, 12);
        const int step = r.range(0, 20) ? r.range(1, 2) : 3, len = r.range(0, 20) ? 1 : 2;
        int seq[4], shape[4];
        for (int i = 0; i < frames; ++i) seq[i] = r.range(0, 30) ? r.range(0, 3) : 4, shape[i] = r.range(0, 30) ? r.range(0, 1) : 2;
        auto samples = [&](chk::Arena& a, size_t n, int s) { return a.inout<Okv32s>(n, [&, s](size_t) { return a.rng().i32() >> s; }); };
        // Frames in a row through one overlap; a failing frame ends the sequence.
        for (const char* name : {"okvsMDCTInv_AAC_32s16s", "okvsMDCTInv_AAC_32s_I"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                const bool pcm = std::string(name) == "okvsMDCTInv_AAC_32s16s";
                Okv32s *x = samples(a, 1024 * size_t(frames), shift + (pcm ? 4 : 12)), *ov = samples(a, 1024, shift + 4);
                Okv16s* out = a.out<Okv16s>(2048 * size_t(frames));
                int st = okvOk;
                for (int i = 0; i < frames && st == okvOk; ++i) {
                    const int prev = i ? shape[i - 1] : prev0;
                    st = pcm ? OKV_BODY(v, okvsMDCTInv_AAC_32s16s)(x + 1024 * i, out + 2048 * i, ov, seq[i], shape[i], prev, step)
                             : OKV_BODY(v, okvsMDCTInv_AAC_32s_I)(x + 1024 * i, ov, seq[i], shape[i], prev, 1024 * len);
                }
                return st;
            });
        c.call("okvsMDCTFwd_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = samples(a, 2048, shift + 12);
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s)(x, a.out<Okv32s>(1024), x, seq[0], shape[0], prev0, static_cast<Okv32s*>(a.scratch(2048 * 4)));
        });
        c.call("okvsMDCTFwd_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s_I)(samples(a, 2048, shift), seq[0], shape[0], prev0, 2048 / len);
        });
    }
}
