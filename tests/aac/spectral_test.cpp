// AAC spectral tools against plain models of their arithmetic (restated here from the
// definitions, sharing nothing with the library but the constant tables), against
// double-precision gains, and on their documented values, statuses and layout rules.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "aac/aac_spectral_data.h"
#include "aac/band_tables_data.h"
#include "okvac.h"

namespace {

namespace t = okv_u8::aacspectral_data;

const int16_t* swb(int rate, bool lng) { return lng ? okv_u8::kSwbOffsetLong[rate] : okv_u8::kSwbOffsetShort[rate]; }
int numSwb(int rate, bool lng) { return lng ? okv_u8::kNumSwbLong[rate] : okv_u8::kNumSwbShort[rate]; }

// ---- models ----

int32_t modelR(int x, int s)
{
    const int e = (s + 3) >> 2, f = 4 * e - s;
    if (x < 4) return 25 - e > 31 ? 0 : t::kReq16x4[16 * f + x] >> std::max(25 - e, 0);
    if (x < 16) return t::kReq16x4[16 * f + x] >> std::min(std::max(22 - e, 0), 31);
    int64_t m;
    int E;
    if (x <= 128) {
        m = t::kSqrt43[x - 16];
        E = x < 64 ? 19 : 17;
    } else {
        int64_t tt = int64_t(x) << 17;
        int n = 0;
        if (tt < (1 << 27)) tt *= 16, n = 4;
        if (tt < (1 << 29)) tt *= 4, n += 2;
        if (tt < (1 << 30)) tt *= 2, n += 1;
        int64_t p = t::kPolyCoeff43[0];
        for (int i = 1; i < 8; ++i) p = int32_t(uint32_t(int32_t((p * tt) >> 32)) + uint32_t(t::kPolyCoeff43[i]));
        const int64_t y = int32_t(uint32_t(p) * 16u);
        m = ((y * t::kXt43[6 - n]) >> 31) & ~int64_t(1);
        E = t::kXtExp[6 - n] - 4;
    }
    const int64_t w = (m * t::kSqrt14[f]) >> 32;
    if (E - e < 1) return e - E > 31 ? (w ? INT_MAX : 0) : int32_t(std::min<int64_t>(w * (int64_t(1) << (e - E)), INT_MAX));
    return E - e > 31 ? 0 : int32_t(w >> (E - e));
}

// ---- inverse quantisation ----

TEST(AacSpectralQuant, EveryMagnitudeMatchesModelAndPowerLaw)
{
    // One long 48 kHz frame per call: 1024 magnitudes under one scalefactor.
    const std::vector<int> grp = {1};
    std::vector<Okv8u> cb(49, 11);
    for (int sf = 0; sf <= 255; sf += 3) {
        std::vector<Okv16s> sfs(49, Okv16s(sf));
        for (int base = 0; base < 8192; base += 1024) {
            std::vector<Okv32s> x(1024);
            for (int i = 0; i < 1024; ++i) x[i] = (i & 1) ? -(base + i) : base + i;
            ASSERT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sfs.data(), 1, grp.data(), 49, cb.data(), 3, 1024), okvOk);
            for (int i = 0; i < 1024; ++i) {
                const int q = base + i;
                const int32_t r = modelR(q, sf - 100);
                ASSERT_EQ(x[i], (i & 1) ? -r : r) << "q " << q << " sf " << sf;
                const double exact = std::pow(q, 4.0 / 3) * std::pow(2.0, (sf - 100) / 4.0) * 8;
                // Below 2^31 the result is the power law to the tables' (or the polynomial's)
                // precision, except that the small-magnitude tables are never scaled up past
                // their own format (2^(e - 25) resp. 2^(e - 22) stays 1 there).
                const int e = (sf - 100 + 3) >> 2;
                if (exact < 2e9 && (q >= 16 || e <= (q < 4 ? 25 : 22))) {
                    ASSERT_NEAR(r, exact, 1 + exact * (q <= 128 ? 2e-6 : 1.2e-5)) << "q " << q << " sf " << sf;
                }
            }
        }
    }
}

// What the sweep leaves out: noise, intensity and zero bands untouched, saturation with the
// sign kept, and 8192 stopping the call in its band after the bands before it.
TEST(AacSpectralQuant, SkippedBandsSaturationAndStop)
{
    const int one = 1;
    std::vector<Okv8u> cb = {1, 13, 1, 15, 0, 1};  // 8 kHz long bands are 12 wide
    std::vector<Okv16s> sf = {100, 100, 100, 100, 100, 255};
    std::vector<Okv32s> x(1024, 0);
    x[0] = 8, x[12] = 7, x[36] = 7, x[48] = 7, x[60] = 8191, x[61] = -8191;
    ASSERT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, &one, 6, cb.data(), 11, 1024), okvOk);
    EXPECT_EQ(std::vector<Okv32s>({x[0], x[12], x[36], x[48], x[60], x[61]}),
              std::vector<Okv32s>({128, 7, 7, 7, INT_MAX, -INT_MAX}));
    std::fill(x.begin(), x.end(), 0);
    x[0] = 8, x[24] = 8192, x[25] = 8;
    EXPECT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, &one, 6, cb.data(), 11, 1024), okvErrAacCoefValue);
    EXPECT_EQ(x[0], 128);
    EXPECT_EQ(x[25], 8);
}

// Argument checks of the grouped tools, in order; nothing is written on failure.
TEST(AacSpectralChecks, OrderAndNoWrite)
{
    std::vector<Okv32s> x(1024, 5), r(1024, 5);
    std::vector<Okv16s> sf(408, 100);
    std::vector<Okv8u> cb(408, 1), ms(480, 1);
    const int g1[8] = {1}, g3[8] = {2, 2, 5};
    struct Case {
        int winLen, grp;
        const int* len;
        int maxSfb, rate, mask, want;
    } cases[] = {
        {512, 9, g1, 60, 12, 0, okvErrAacWinLen},     {1024, 2, g1, 60, 12, 0, okvErrAacWinGrp},
        {128, 9, g1, 60, 12, 0, okvErrAacWinGrp},     {128, 3, g3, 10, 3, 1, okvErrAacWinGrp},  // 9 windows
        {1024, 1, g1, 52, 12, 0, okvErrAacMaxSfb},    {1024, 1, g1, 51, 12, 0, okvErrAacSmplRate},
        {1024, 1, g1, 51, 4, 0, okvErrAacMsMask},     {1024, 1, g1, 50, 4, 1, okvErrAacMaxSfb},
        {128, 1, g1, 15, 4, 2, okvErrAacMaxSfb},
    };
    for (const auto& c : cases) {
        const int st = okvsDecodeMsStereo_AAC_32s_I(x.data(), r.data(), c.mask, ms.data(), cb.data(), c.grp, c.len,
                                                    c.maxSfb, c.rate, c.winLen);
        EXPECT_EQ(st, c.want) << c.winLen << " " << c.grp << " " << c.maxSfb << " " << c.rate;
        if (c.want != okvErrAacMsMask) {
            EXPECT_EQ(okvsQuantInv_AAC_32s_I(x.data(), sf.data(), c.grp, c.len, c.maxSfb, cb.data(), c.rate, c.winLen),
                      c.want);
            EXPECT_EQ(okvsDecodeIsStereo_AAC_32s(x.data(), r.data(), sf.data(), cb.data(), c.grp, c.len, c.maxSfb,
                                                 c.rate, c.winLen),
                      c.want);
        }
    }
    EXPECT_EQ(okvsQuantInv_AAC_32s_I(nullptr, sf.data(), 9, g1, 99, cb.data(), 99, 0), okvErrNullPtr);
    for (Okv32s v : x) ASSERT_EQ(v, 5);
    for (Okv32s v : r) ASSERT_EQ(v, 5);
}

// ---- stereo ----

TEST(AacSpectralStereo, MsAndIntensityMatchModelOverGroupedFrames)
{
    std::mt19937 rng(5);
    for (int it = 0; it < 60; ++it) {
        const bool lng = it % 3 == 0;
        const int rate = int(rng() % 12), nb = numSwb(rate, lng);
        const int maxSfb = int(rng() % (nb + 1)), mask = 1 + int(rng() % 2);
        int len[8] = {1}, grp = 1;
        if (!lng) {
            grp = 0;
            for (int left = 8; left > 0; left -= len[grp++]) len[grp] = 1 + int(rng() % left);
        }
        std::vector<Okv32s> l(1024), r(1024);
        for (auto& v : l) v = int32_t(rng());
        for (auto& v : r) v = int32_t(rng());
        std::vector<Okv8u> cb(408), ms(480);
        std::vector<Okv16s> pos(408);
        for (auto& v : cb) v = Okv8u(rng() % 16);
        for (auto& v : ms) v = Okv8u(rng() % 2);
        for (auto& v : pos) v = Okv16s(int(rng() % 300) - 150);  // beyond -119..135 too
        auto ml = l, mr = r, ir = r;
        auto mcb = cb;
        const int16_t* off = swb(rate, lng);
        const int wl = lng ? 1024 : 128;
        for (int g = 0, base = 0; g < grp; base += wl * len[g++])
            for (int b = 0; b < maxSfb; ++b) {
                const int c = cb[g * maxSfb + b], p = pos[g * maxSfb + b];
                const bool flag = ms[g * 60 + b];
                for (int i = base + off[b] * len[g]; i < base + off[b + 1] * len[g]; ++i) {
                    if (c != 13 && c != 14 && c != 15 && (mask == 2 || flag)) {
                        ml[i] = int32_t(uint32_t(l[i]) + uint32_t(r[i]));
                        mr[i] = int32_t(uint32_t(l[i]) - uint32_t(r[i]));
                    }
                    if (c == 14 || c == 15) {
                        const int64_t s = c == 15 ? 1 : -1;
                        int64_t v;
                        if (p >= -3 && p <= 7) v = (int64_t(int32_t(uint32_t(l[i]) * 4u)) * t::kIsGain[p + 3]) >> 32;
                        else if (p >= 8) v = ((l[i] * int64_t(t::kIsGain[(p & 3) + 3])) >> 32) >> std::min((p >> 2) - 2, 63);
                        else {
                            const int n = (-p >> 2) + 2;
                            v = (int64_t(n > 31 ? 0 : int32_t(uint32_t(l[i]) << n)) * t::kIsGain[3 - (-p & 3)]) >> 32;
                        }
                        ir[i] = int32_t(s * v);
                        // Without wrap-around the gain is 2^(-p/4) to within a unit.
                        if (p >= -3 && p < 120 && std::abs(l[i]) < (1 << 29)) {
                            ASSERT_NEAR(double(ir[i]), double(s) * l[i] * std::pow(2.0, -p / 4.0),
                                        1.0 + std::abs(l[i]) * 0x1p-29);
                        }
                    }
                }
                if ((c == 14 || c == 15) && mask == 1 && flag) mcb[g * maxSfb + b] = Okv8u(29 - c);
            }
        auto isOut = r;
        ASSERT_EQ(okvsDecodeIsStereo_AAC_32s(l.data(), isOut.data(), pos.data(), cb.data(), grp, len, maxSfb, rate, wl), okvOk);
        EXPECT_EQ(isOut, ir);
        ASSERT_EQ(okvsDecodeMsStereo_AAC_32s_I(l.data(), r.data(), mask, ms.data(), cb.data(), grp, len, maxSfb, rate, wl), okvOk);
        EXPECT_EQ(l, ml);
        EXPECT_EQ(r, mr);
        EXPECT_EQ(cb, mcb);
    }
}

}  // namespace
