// AAC spectral tools against plain models of their arithmetic (sharing nothing with the library
// but the generated constant tables, which double-precision checks hold to their definitions); the
// TNS table against its formula and its text.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "aac/aac_spectral_data.h"
#include "aac/band_tables_data.h"
#include "aac/syntax_stream.h"

namespace {

namespace t = okv_u8::aacspectral_data;
using I64 = int64_t;

struct Frame {
    bool lng;
    int rate, maxSfb, grp, len[8], wl;
    const int16_t* off;
    int bands() const { return lng ? okv_u8::kNumSwbLong[rate] : okv_u8::kNumSwbShort[rate]; }
};

Frame randomFrame(std::mt19937& rng, bool lng) {
    Frame f{lng, int(rng() % 12), 0, 1, {1}, lng ? 1024 : 128, nullptr};
    f.off = lng ? okv_u8::kSwbOffsetLong[f.rate] : okv_u8::kSwbOffsetShort[f.rate];
    f.maxSfb = int(rng() % (f.bands() + 1));
    f.grp = lng;
    for (int left = lng ? 0 : 8; left > 0; left -= f.len[f.grp++]) f.len[f.grp] = 1 + int(rng() % left);
    return f;
}

int32_t modelR(int x, int s) {
    const int e = (s + 3) >> 2, f = 4 * e - s;
    if (x < 4) return 25 - e > 31 ? 0 : t::kReq16x4[16 * f + x] >> std::max(25 - e, 0);
    if (x < 16) return t::kReq16x4[16 * f + x] >> std::min(std::max(22 - e, 0), 31);
    I64 m = t::kSqrt43[std::min(x, 128) - 16];
    int E = x < 64 ? 19 : 17;
    if (x > 128) {
        I64 tt = I64(x) << 17;
        int n = 0;
        for (int k : {4, 2, 1}) {
            if (tt >= (I64(1) << (31 - k))) continue;
            tt <<= k;
            n += k;
        }
        I64 p = t::kPolyCoeff43[0];
        for (int i = 1; i < 8; ++i) p = int32_t(uint32_t(int32_t((p * tt) >> 32)) + uint32_t(t::kPolyCoeff43[i]));
        m = ((I64(int32_t(uint32_t(p) * 16u)) * t::kXt43[6 - n]) >> 31) & ~I64(1);
        E = t::kXtExp[6 - n] - 4;
    }
    const I64 w = (m * t::kSqrt14[f]) >> 32;
    if (E - e >= 1) return E - e > 31 ? 0 : int32_t(w >> (E - e));
    if (e - E > 31) return w ? INT_MAX : 0;
    return int32_t(std::min<I64>(w * (I64(1) << (e - E)), INT_MAX));
}

// Every magnitude to 8191 under every third scalefactor against the model and, below 2^31, the
// power law to the generated tables' precision (the small-magnitude tables are never scaled up past
// their own format). Then noise, intensity and zero bands untouched, saturation with the sign kept,
// and 8192 stopping the call in its band after the bands before it.
TEST(AacSpectralQuant, EveryMagnitudeMatchesModelAndPowerLaw) {
    const int one = 1;
    std::vector<Okv8u> cb(49, 11);
    for (int sf = 0; sf <= 255; sf += 3) {
        std::vector<Okv16s> sfs(49, Okv16s(sf));
        const int e = (sf - 100 + 3) >> 2;
        for (int base = 0; base < 8192; base += 1024) {
            std::vector<Okv32s> x(1024);
            for (int i = 0; i < 1024; ++i) x[i] = (i & 1) ? -(base + i) : base + i;
            ASSERT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sfs.data(), 1, &one, 49, cb.data(), 3, 1024), okvOk);
            for (int i = 0, q = base; i < 1024; ++i, ++q) {
                const int32_t r = modelR(q, sf - 100);
                ASSERT_EQ(x[i], (i & 1) ? -r : r) << "q " << q << " sf " << sf;
                const double exact = std::pow(q, 4.0 / 3) * std::pow(2.0, (sf - 100) / 4.0) * 8;
                const bool inFormat = exact < 2e9 && (q >= 16 || e <= (q < 4 ? 25 : 22));
                const double tolerance = 1 + exact * (q <= 128 ? 2e-6 : 1.2e-5);
                ASSERT_TRUE(!inFormat || std::abs(r - exact) <= tolerance) << q << " " << sf;
            }
        }
    }
    cb = {1, 13, 1, 15, 0, 1};  // 8 kHz long bands are 12 wide
    std::vector<Okv16s> sf = {100, 100, 100, 100, 100, 255};
    std::vector<Okv32s> x(1024, 0);
    for (const auto& [i, v] : {std::pair{0, 8}, {12, 7}, {36, 7}, {48, 7}, {60, 8191}, {61, -8191}}) x[i] = v;
    ASSERT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, &one, 6, cb.data(), 11, 1024), okvOk);
    EXPECT_EQ(std::vector<Okv32s>({x[0], x[12], x[36], x[48], x[60], x[61]}),
              std::vector<Okv32s>({128, 7, 7, 7, INT_MAX, -INT_MAX}));
    std::fill(x.begin(), x.end(), 0);
    x[0] = x[25] = 8;
    x[24] = 8192;
    EXPECT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, &one, 6, cb.data(), 11, 1024), okvErrAacCoefValue);
    EXPECT_TRUE(x[0] == 128 && x[25] == 8);
}

// Intensity positions past -119..135 reach shifts of 64 and more; within range, and without
// wrap-around, the gain is 2^(-p/4) to within a unit.
TEST(AacSpectralStereo, MsAndIntensityMatchModelOverGroupedFrames) {
    std::mt19937 rng(5);
    for (int it = 0; it < 60; ++it) {
        const Frame f = randomFrame(rng, it % 3 == 0);
        const int mask = 1 + int(rng() % 2);
        std::vector<Okv32s> l(1024), r(1024);
        std::vector<Okv8u> cb(408), ms(480);
        std::vector<Okv16s> pos(408);
        for (size_t i = 0; i < 1024; ++i) l[i] = int32_t(rng());
        for (size_t i = 0; i < 1024; ++i) r[i] = int32_t(rng());
        for (auto& v : cb) v = Okv8u(rng() % 16);
        for (auto& v : ms) v = Okv8u(rng() % 2);
        for (auto& v : pos) v = Okv16s(int(rng() % 600) - 300);
        auto ml = l, mr = r, ir = r;
        auto mcb = cb;
        for (int g = 0, base = 0; g < f.grp; base += f.wl * f.len[g++])
            for (int b = 0; b < f.maxSfb; ++b) {
                const int c = cb[g * f.maxSfb + b], p = pos[g * f.maxSfb + b], sign = c == 15 ? 1 : -1;
                const bool flag = ms[g * 60 + b];
                for (int i = base + f.off[b] * f.len[g]; i < base + f.off[b + 1] * f.len[g]; ++i) {
                    if (c < 13 && (mask == 2 || flag)) {
                        ml[i] = int32_t(uint32_t(l[i]) + uint32_t(r[i]));
                        mr[i] = int32_t(uint32_t(l[i]) - uint32_t(r[i]));
                    }
                    if (c < 14) continue;
                    const int up = (-p >> 2) + 2;
                    I64 v;
                    if (p >= -3 && p <= 7)
                        v = (I64(int32_t(uint32_t(l[i]) * 4u)) * t::kIsGain[p + 3]) >> 32;
                    else if (p >= 8)
                        v = ((l[i] * I64(t::kIsGain[(p & 3) + 3])) >> 32) >> std::min((p >> 2) - 2, 63);
                    else
                        v = (I64(up > 31 ? 0 : int32_t(uint32_t(l[i]) << up)) * t::kIsGain[3 - (-p & 3)]) >> 32;
                    ir[i] = int32_t(sign * v);
                    const double exact = sign * l[i] * std::pow(2.0, -p / 4.0);
                    const bool near = std::abs(ir[i] - exact) <= 1 + std::abs(l[i]) * 0x1p-29;
                    ASSERT_TRUE(near || p < -3 || p >= 120 || std::abs(l[i]) >= (1 << 29)) << p;
                }
                if (c >= 14 && mask == 1 && flag) mcb[g * f.maxSfb + b] = Okv8u(29 - c);
            }
        auto isOut = r;
        ASSERT_EQ(okvsDecodeIsStereo_AAC_32s(l.data(), isOut.data(), pos.data(), cb.data(), f.grp, f.len, f.maxSfb,
                                             f.rate, f.wl), okvOk);
        EXPECT_EQ(isOut, ir);
        ASSERT_EQ(okvsDecodeMsStereo_AAC_32s_I(l.data(), r.data(), mask, ms.data(), cb.data(), f.grp, f.len, f.maxSfb,
                                               f.rate, f.wl), okvOk);
        EXPECT_TRUE(l == ml && r == mr && cb == mcb) << it;
    }
}

// Noise band of n samples scaled by 2^(sf/4) 2^10 (energies 0..83).
void modelNoise(int32_t* d, int n, uint32_t& seed, int sf) {
    const I64 g = t::kNormEnergy[n - 1], a = (t::kPowQuarter[sf & 3] * (I64(1) << (sf >> 2))) >> 20;
    I64 e = 0;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        d[i] = int32_t((I64(int32_t(seed)) * g) >> 30);
        e = int32_t(e + ((I64(d[i]) * d[i]) >> 33));
    }
    int k = 0;
    for (; e < (1 << 30); e *= 2) ++k;
    const I64 r = int32_t((((e * e) >> 32) * 13563 - 16760 * e + 18211 * (I64(1) << 31)) >> 14);
    for (int i = 0, h = (k >> 1) - 1; i < n; ++i) {
        I64 v = (d[i] * r) >> 30;
        v = h > 0 ? v * (I64(1) << h) : v >> -h;
        if (k & 1) v = (v * 1518500249) >> 30;
        d[i] = int32_t((I64(int32_t(v)) * a) >> 38);
    }
}

// Noise bands against the model with the LTP flags they clear (entries 1..40 only) and the band
// energy 2^(sf/2) in Q3 (x64). A channel pair: in channel one, bands flagged M/S replay channel
// zero's noise, the others run on from its own seed, which the replayed ones do not advance.
TEST(AacSpectralPns, MatchesModelAndReplaysMsBands) {
    std::mt19937 rng(3);
    for (int it = 0; it < 80; ++it) {
        const Frame f = randomFrame(rng, it % 2);
        std::vector<Okv8u> cb(408), ms(480);
        std::vector<Okv16s> sf(408);
        std::vector<Okv32s> x(2048);  // channel zero, then one
        for (auto& v : cb) v = rng() % 3 ? 13 : Okv8u(rng() % 16);
        for (auto& v : sf) v = Okv16s(rng() % 84);
        for (auto& v : ms) v = Okv8u(rng() % 2);
        for (auto& v : x) v = int32_t(rng());
        const uint32_t seeds[2] = {uint32_t(rng()), uint32_t(rng())};
        std::vector<Okv32s> want = x;
        std::vector<int> ltp(64, 7), wantLtp(64, 7), pairLtp(64), saved(1024);
        uint32_t seed[2] = {seeds[0], seeds[1]};
        for (int g = 0, win = 0; g < f.grp; ++g)
            for (int w = 0; w < f.len[g]; ++w, ++win)
                for (int b = 0; b < f.maxSfb; ++b) {
                    const int s = sf[g * f.maxSfb + b], n = f.off[b + 1] - f.off[b];
                    if (cb[g * f.maxSfb + b] != 13) continue;
                    if (f.grp == 1 && b < 40) wantLtp[b + 1] = 0;
                    Okv32s* p = want.data() + (f.lng ? 0 : 128 * win) + f.off[b];
                    modelNoise(p, n, seed[0], s);
                    if (ms[g * 60 + b]) std::copy(p, p + n, p + 1024);
                    if (!ms[g * 60 + b]) modelNoise(p + 1024, n, seed[1], s);
                    double e = 0;  // to within the inverse root, where rounding to integers does not dominate
                    for (int i = 0; i < n; ++i) e += double(p[i]) * p[i];
                    EXPECT_TRUE(s < 8 || std::abs(std::log2(e) - 6 - s / 2.0) <= 0.1 + 4.0 / n) << s << " " << n;
                }
        std::vector<Okv32s> single(x.begin(), x.begin() + 1024);
        int sd[3] = {int(seeds[0]), int(seeds[0]), int(seeds[1])};
        ASSERT_EQ(okvsDecodePNS_AAC_32s(single.data(), ltp.data(), cb.data(), sf.data(), f.maxSfb, f.grp, f.len, f.rate,
                                        f.wl, sd), okvOk);
        EXPECT_TRUE(std::equal(single.begin(), single.end(), want.begin()) && ltp == wantLtp) << it;
        EXPECT_EQ(uint32_t(sd[0]), seed[0]);
        for (int ch = 0; ch < 2; ++ch)
            ASSERT_EQ(okvsDecodeMsPNS_AAC_32s(x.data() + 1024 * ch, pairLtp.data(), cb.data(), sf.data(), f.maxSfb,
                                              f.grp, f.len, f.rate, f.wl, sd + 1 + ch, ch, ms.data(), saved.data()),
                      okvOk);
        EXPECT_TRUE(x == want && uint32_t(sd[1]) == seed[0] && uint32_t(sd[2]) == seed[1]) << it;
    }
}

// Coefficients of the all-pole filter of order o (Q(q), q returned), orders above 12 (Main
// profile, up to 20) in Q39.
void modelLpc(const Okv8s* c, int o, int res, I64* out, int& q) {
    const int extra = o > 12 ? 8 : 0;
    I64 a[21] = {}, nxt[21];
    for (int m = 1; m <= o; ++m) {
        const I64 k = t::kIqTns[16 * res - 40 + c[m - 1]];
        for (int i = 1; i < m; ++i) {
            const I64 prod = extra ? (((a[m - i] + (1 << 22)) >> 23) * k) >> 8 : (((a[m - i] + 512) >> 10) * k) >> 21;
            nxt[i] = a[i] + prod;
        }
        std::copy(nxt + 1, nxt + m, a + 1);
        a[m] = k * (I64(1) << extra);
    }
    I64 big = 0;
    for (int i = 1; i <= o; ++i) big = std::max(big, std::abs(a[i]));
    for (q = 31 + extra; big > (1 << 26); big /= 2) --q;
    for (int i = 1; i <= o; ++i) out[i] = int32_t(a[i] >> (31 + extra - q));
}

struct Tns {
    int nf[8] = {}, len[8] = {}, order[8] = {}, res[8] = {}, dir[8] = {};
    Okv8s coef[60] = {};
};

// gentle: orders up to 3 and indices -1..1, so that the all-pole filter's gain stays small.
Tns randomTns(std::mt19937& rng, const Frame& f, bool gentle) {
    Tns s;
    for (int w = 0, fi = 0, di = 0, ci = 0; w < (f.lng ? 1 : 8); ++w) {
        s.nf[w] = int(rng() % (f.lng ? 4 : 2));
        s.res[w] = 3 + int(rng() % 2);
        const int span = gentle ? 1 : 1 << (s.res[w] - 1);
        for (int k = 0; k < s.nf[w]; ++k, ++fi) {
            s.len[fi] = int(rng() % (f.bands() + 1));
            s.order[fi] = int(rng() % (gentle ? 4 : f.lng ? 21 : 8));
            if (s.order[fi]) s.dir[di++] = int(rng() % 2);
            for (int c = 0; c < s.order[fi]; ++c) s.coef[ci++] = Okv8s(int(rng() % (2 * span + gentle)) - span);
        }
    }
    return s;
}

// Each filter runs over its bands (clipped to the TNS limit) upwards or downwards.
void modelTns(int32_t* x, const Tns& s, const Frame& f, bool encode) {
    const int top = f.lng ? okv_u8::kTnsMaxBandsLong[f.rate] : okv_u8::kTnsMaxBandsShort[f.rate];
    const int lim = std::min(f.maxSfb, top);
    for (int w = 0, fi = 0, di = 0, ci = 0; w < (f.lng ? 1 : 8); ++w)
        for (int k = 0, top = f.bands(); k < s.nf[w]; ++k, ++fi) {
            const int bottom = std::max(top - s.len[fi], 0), o = s.order[fi];
            const int start = f.off[std::min(bottom, lim)], end = f.off[std::min(top, lim)];
            top = bottom;
            if (!o) continue;
            I64 a[21];
            int q;
            modelLpc(s.coef + ci, o, s.res[w], a, q);
            ci += o;
            const int d = s.dir[di++] ? -1 : 1;
            int32_t* p = x + 128 * w + (d > 0 ? start : end - 1);
            std::vector<I64> hist(o, 0);
            for (int n = 0; n < end - start; ++n, p += d) {
                I64 acc = I64(*p) * (I64(1) << q);
                for (int i = 0; i < o; ++i) acc += (encode ? a[i + 1] : -a[i + 1]) * hist[i];
                const int32_t y = int32_t(acc >> q);
                hist.insert(hist.begin(), encode ? *p : y);
                hist.pop_back();
                *p = y;
            }
        }
}

// Both filters against the model; decoding undoes encoding up to the rounding of the outputs (at
// most one unit per sample) fed back through the all-pole filter, whose gain stays below 6 for
// gentle filters, where a wrong filter misses by the 2^19 amplitude. The coefficient table
// against its formula (resolution 3 entries outside -4..3 continue it) and the shared text.
TEST(AacSpectralTns, BothFiltersMatchModelAndInvertEachOther) {
    std::mt19937 rng(9);
    for (int it = 0; it < 120; ++it) {
        const Frame f = randomFrame(rng, it % 2);
        const bool gentle = it % 4 < 2;
        const Tns s = randomTns(rng, f, gentle);
        std::vector<int32_t> x(1024);
        for (auto& v : x) v = int32_t(rng()) >> 12;
        auto enc = x, want = x;
        modelTns(want.data(), s, f, true);
        ASSERT_EQ(okvsEncodeTNS_AAC_32s_I(enc.data(), s.nf, s.len, s.order, s.res, s.coef, s.dir, f.maxSfb, 1, f.rate,
                                          f.wl), okvOk);
        ASSERT_EQ(enc, want);
        auto dec = enc;
        modelTns(want.data(), s, f, false);
        ASSERT_EQ(okvsDecodeTNS_AAC_32s_I(dec.data(), s.nf, s.len, s.order, s.res, s.coef, s.dir, f.maxSfb, 0, f.rate,
                                          f.wl), okvOk);
        ASSERT_EQ(dec, want);
        for (int i = 0; i < 1024 && gentle; ++i) ASSERT_NEAR(dec[i], x[i], 16) << i;
    }
    for (int c = -8; c < 8; ++c)
        EXPECT_NEAR(t::kIqTns[8 + c], std::sin(c / ((4 + (c >= 0 ? -0.5 : 0.5)) / (M_PI / 2))) * 0x1p31, 1.0) << c;
    const auto rows = aactest::tableRows("tns_coef.txt");
    for (const auto& r : rows)
        EXPECT_EQ(t::kIqTns[16 * std::stoi(r[0]) - 40 + std::stoi(r[1])], std::stol(r[4])) << r[0] << " " << r[1];
    if (rows.empty()) GTEST_SKIP() << "shared TNS table not found under " << OKV_SHARED_DIR;
}

}  // namespace
