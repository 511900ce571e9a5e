// Variant harness for the AAC spectral tools and filterbank: random frames with grouped short
// windows, all codebooks, wild scalefactors and side data, out-of-range arguments now and then.
#include "harness/checkasm.h"

namespace {

struct Frame {
    int winLen, rate, maxSfb, numGrp, len[8];
};

// Mostly valid frame parameters; one in ten calls breaks one of them.
Frame randomFrame(chk::Rng& r)
{
    static const int kLong[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
    static const int kShort[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};
    Frame f{};
    f.winLen = r.coin() ? 1024 : 128;
    f.rate = r.range(0, 11);
    f.maxSfb = r.range(0, f.winLen == 1024 ? kLong[f.rate] : kShort[f.rate]);
    if (f.winLen == 1024) {
        f.numGrp = 1;
        f.len[0] = 1;
    } else {
        int left = 8;
        while (left > 0) {
            f.len[f.numGrp] = r.range(1, left);
            left -= f.len[f.numGrp++];
        }
    }
    switch (r.range(0, 40)) {
    case 0: f.winLen = 512; break;
    case 1: f.rate = 12; break;
    case 2: f.maxSfb = 52; break;
    case 3: f.maxSfb = 50; break;
    case 4: f.numGrp = 9; break;
    case 5: f.len[0] = 9; break;
    default: break;
    }
    return f;
}

}  // namespace

CHECK_EXPORTS(aac_spectral, "okvsQuantInv_AAC_32s_I", "okvsDecodeMsStereo_AAC_32s_I", "okvsDecodeIsStereo_AAC_32s",
              "okvsDecodePNS_AAC_32s", "okvsDecodeMsPNS_AAC_32s", "okvsDecodeTNS_AAC_32s_I",
              "okvsEncodeTNS_AAC_32s_I", "okvsDeinterleaveSpectrum_AAC_32s")
{
    for (int it = 0; it < c.iters(); ++it) {
        const Frame f = randomFrame(c.rng());
        const int big = c.rng().range(0, 30) == 0 ? 9000 : c.rng().range(1, 300);
        const int mask = c.rng().range(0, 12) == 0 ? 3 : c.rng().range(1, 2);
        const int channel = c.rng().range(0, 2);
        const int profile = c.rng().range(0, 12) == 0 ? 0 : 1;
        auto spec = [&](chk::Arena& a) {
            return a.inout<Okv32s>(1024, [&](size_t) { return a.rng().range(-big, big); });
        };
        auto sf = [&](chk::Arena& a) {
            return a.in<Okv16s>(8 * 51, [&](size_t) { return a.rng().range(0, 20) ? a.rng().range(0, 255) : a.rng().i16(); });
        };
        auto cb = [&](chk::Arena& a) { return a.in<Okv8u>(8 * 51, [&](size_t) { return a.rng().range(0, 15); }); };
        auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(8 * 60, [&](size_t) { return a.rng().range(0, 1); }); };
        auto lens = [&](chk::Arena& a) { return a.in_copy<int>(f.len, 8); };
        c.call("okvsQuantInv_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsQuantInv_AAC_32s_I)(spec(a), sf(a), f.numGrp, lens(a), f.maxSfb, cb(a), f.rate, f.winLen);
        });
        c.call("okvsDecodeMsStereo_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            Okv8u* cbr = a.inout<Okv8u>(8 * 51, [&](size_t) { return a.rng().range(0, 15); });
            return OKV_BODY(v, okvsDecodeMsStereo_AAC_32s_I)(spec(a), spec(a), mask, flags(a), cbr, f.numGrp, lens(a),
                                                             f.maxSfb, f.rate, f.winLen);
        });
        c.call("okvsDecodeIsStereo_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* l = a.in<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            return OKV_BODY(v, okvsDecodeIsStereo_AAC_32s)(l, spec(a), sf(a), cb(a), f.numGrp, lens(a), f.maxSfb,
                                                           f.rate, f.winLen);
        });
        for (const char* name : {"okvsDecodePNS_AAC_32s", "okvsDecodeMsPNS_AAC_32s"}) {
            c.call(name, [&](chk::Arena& a, int v) -> int {
                Okv32s* x = spec(a);
                int* ltp = a.inout<int>(41, [&](size_t) { return 1; });
                const Okv8u* b = cb(a);
                const Okv16s* s = sf(a);
                const int* l = lens(a);
                int* seed = a.inout<int>(1, [&](size_t) { return int(a.rng().u32()); });
                if (name[10] == 'P')
                    return OKV_BODY(v, okvsDecodePNS_AAC_32s)(x, ltp, b, s, f.maxSfb, f.numGrp, l, f.rate, f.winLen, seed);
                int* saved = a.inout<int>(8 * 51, [&](size_t) { return int(a.rng().u32()); });
                return OKV_BODY(v, okvsDecodeMsPNS_AAC_32s)(x, ltp, b, s, f.maxSfb, f.numGrp, l, f.rate, f.winLen,
                                                            seed, channel, flags(a), saved);
            });
        }
        // TNS side data: counts, lengths and orders mostly in range, coefficients -9..8.
        const bool shortWin = f.winLen == 128;
        for (const char* name : {"okvsDecodeTNS_AAC_32s_I", "okvsEncodeTNS_AAC_32s_I"}) {
            c.call(name, [&](chk::Arena& a, int v) -> int {
                Okv32s* x = a.inout<Okv32s>(1024, [&](size_t) { return a.rng().i32() >> 8; });
                auto small = [&](int lo, int hi) {
                    return a.in<int>(8, [&, lo, hi](size_t) { return a.rng().range(0, 30) ? a.rng().range(lo, hi) : hi + 1; });
                };
                const int* nf = small(0, shortWin ? 1 : 3);
                const int* ln = small(0, shortWin ? 14 : 49);
                const int* od = small(0, shortWin ? 7 : 12);
                const int* res = small(3, 4);
                const Okv8s* cf = a.in<Okv8s>(60, [&](size_t) { return a.rng().range(0, 60) ? a.rng().range(-8, 7) : 8; });
                const int* dir = small(0, 1);
                auto fn = name[4] == 'D' ? OKV_BODY(v, okvsDecodeTNS_AAC_32s_I) : OKV_BODY(v, okvsEncodeTNS_AAC_32s_I);
                return fn(x, nf, ln, od, res, cf, dir, f.maxSfb, profile, f.rate, f.winLen);
            });
        }
        c.call("okvsDeinterleaveSpectrum_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* s = a.in<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            Okv32s* d = a.out<Okv32s>(1024);
            return OKV_BODY(v, okvsDeinterleaveSpectrum_AAC_32s)(s, d, f.numGrp, lens(a), f.maxSfb, f.rate, f.winLen);
        });
    }
}

CHECK_EXPORTS(aac_filterbank, "okvsMDCTInv_AAC_32s16s", "okvsMDCTInv_AAC_32s_I", "okvsMDCTFwd_AAC_32s",
              "okvsMDCTFwd_AAC_32s_I")
{
    for (int it = 0; it < c.iters(); ++it) {
        const int frames = c.rng().range(1, 4);
        int seq[4], shape[4];
        for (int i = 0; i < frames; ++i) {
            seq[i] = c.rng().range(0, 30) ? c.rng().range(0, 3) : 4;
            shape[i] = c.rng().range(0, 30) ? c.rng().range(0, 1) : 2;
        }
        const int prev0 = c.rng().range(0, 1);
        const int shift = c.rng().range(0, 12);  // full-scale patterns down to quiet frames
        const int step = c.rng().range(0, 20) ? c.rng().range(1, 2) : 3;
        const int len = c.rng().range(0, 20) ? 1 : 2;
        c.call("okvsMDCTInv_AAC_32s16s", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(1024 * frames, [&](size_t) { return a.rng().i32() >> (shift + 4); });
            Okv16s* pcm = a.out<Okv16s>(2048 * frames);
            Okv32s* ov = a.inout<Okv32s>(1024, [&](size_t) { return a.rng().i32() >> (shift + 4); });
            int st = okvOk;
            for (int i = 0; i < frames && st == okvOk; ++i)
                st = OKV_BODY(v, okvsMDCTInv_AAC_32s16s)(x + 1024 * i, pcm + 2048 * i, ov, seq[i], shape[i],
                                                         i ? shape[i - 1] : prev0, step);
            return st;
        });
        c.call("okvsMDCTInv_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(1024 * frames, [&](size_t) { return a.rng().i32() >> (shift + 12); });
            Okv32s* ov = a.inout<Okv32s>(1024, [&](size_t) { return a.rng().i32() >> (shift + 4); });
            int st = okvOk;
            for (int i = 0; i < frames && st == okvOk; ++i)
                st = OKV_BODY(v, okvsMDCTInv_AAC_32s_I)(x + 1024 * i, ov, seq[i], shape[i], i ? shape[i - 1] : prev0,
                                                        1024 * len);
            return st;
        });
        c.call("okvsMDCTFwd_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = a.in<Okv32s>(2048, [&](size_t) { return a.rng().i32() >> (shift + 12); });
            Okv32s* out = a.out<Okv32s>(1024);
            Okv32s* work = static_cast<Okv32s*>(a.scratch(2048 * 4));
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s)(x, out, x, seq[0], shape[0], prev0, work);
        });
        c.call("okvsMDCTFwd_AAC_32s_I", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(2048, [&](size_t) { return a.rng().i32() >> shift; });
            return OKV_BODY(v, okvsMDCTFwd_AAC_32s_I)(x, seq[0], shape[0], prev0, 2048 / len);
        });
    }
}
