// Hybrid inverse MDCT: the transforms against the defining sums, the alias butterflies bit
// for bit, the granule orchestration (subband counts, overlap, inversion) against a model
// built on the single-subband export, and the argument checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

long double longWindow(int type, int i) {
    const long double normal = std::sin(kPi / 36 * (i + 0.5L));
    auto shortW = [](int j) { return std::sin(kPi / 12 * (j + 0.5L)); };
    if (type == 1) return i < 18 ? normal : i < 24 ? 1 : i < 30 ? shortW(i - 18) : 0;
    if (type == 3) return i < 6 ? 0 : i < 12 ? shortW(i - 6) : i < 18 ? 1 : normal;
    return normal;
}

std::vector<long double> reference(const int32_t* x, int type) {
    std::vector<long double> y(36, 0);
    if (type == 2) {
        for (int w = 0; w < 3; ++w)
            for (int i = 0; i < 12; ++i) {
                long double acc = 0;
                for (int k = 0; k < 6; ++k) acc += x[6 * w + k] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
                y[6 + 6 * w + i] += 0.25L * std::sin(kPi / 12 * (i + 0.5L)) * acc;
            }
        return y;
    }
    for (int i = 0; i < 36; ++i) {
        long double acc = 0;
        for (int k = 0; k < 18; ++k) acc += x[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
        y[i] = 0.25L * longWindow(type, i) * acc;
    }
    return y;
}

TEST(MP3Imdct, WindowedTransformsFollowTheirSums) {
    std::mt19937 gen(11);
    for (int type = 0; type < 4; ++type)
        for (int rep = 0; rep < 200; ++rep) {
            const int bits = 4 + rep % 27;  // magnitudes from 2^4 to 2^30
            std::uniform_int_distribution<int32_t> d(-(1 << bits) + 1, (1 << bits) - 1);
            int32_t x[18], y[36];
            int32_t peak = 0;
            for (auto& v : x) {
                v = rep % 7 == 0 ? 0 : d(gen);
                peak = std::max(peak, std::abs(v));
            }
            if (rep % 7 == 0) x[rep % 18] = peak = d(gen) | 1;
            ASSERT_EQ(okvsMDCTInvWindow_MP3_32s(x, y, type), okvOk);
            const auto want = reference(x, type);
            for (int i = 0; i < 36; ++i)
                ASSERT_LE(std::fabs(y[i] - want[i]), 0.5L + 4e-7L * std::abs(peak)) << type << " " << i;
        }
    int32_t x[18] = {}, y[36];
    EXPECT_EQ(okvsMDCTInvWindow_MP3_32s(x, y, 4), okvErrBadArg);
    EXPECT_EQ(okvsMDCTInvWindow_MP3_32s(nullptr, y, 0), okvErrNullPtr);
}

// Model of one granule: alias butterflies, per-subband transforms through the single-subband
// export, overlap-add and frequency inversion.
struct Model {
    std::vector<int32_t> ov = std::vector<int32_t>(576, 0);
    int prev = 0;
    void run(std::vector<int32_t>& x, std::vector<int32_t>& out, int nz, int type, int mixed) {
        const bool isShort = type == 2;
        int n = isShort ? (nz + 17) / 18 : (nz + 8) / 18 + 1;  // same as the 3641/65536 forms
        if (isShort && mixed) n = std::max(n, 2);
        n = std::min(n, 32);
        const int bounds = isShort ? (mixed ? 1 : 0) : n - 1;
        const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int k = 1; k <= bounds; ++k)
            for (int i = 0; i < 8; ++i) {
                const double r = std::sqrt(1.0 + c[i] * c[i]), cs = 1.0 / r, ca = c[i] / r;
                const double a = x[18 * k - 1 - i], b = x[18 * k + i];
                x[18 * k - 1 - i] = static_cast<int32_t>(std::nearbyint(a * cs - b * ca));
                x[18 * k + i] = static_cast<int32_t>(std::nearbyint(b * cs + a * ca));
            }
        const int m = std::max(n, prev);
        out.assign(576, 0);
        for (int sb = 0; sb < m; ++sb) {
            int32_t y[36] = {};
            const int t = (mixed && sb < 2) ? 0 : type;
            if (sb < n) okvsMDCTInvWindow_MP3_32s(&x[18 * sb], y, t);
            for (int i = 0; i < 18; ++i) {
                int32_t v = int32_t(uint32_t(y[i]) + uint32_t(ov[18 * sb + i]));
                if ((sb & 1) && (i & 1)) v = int32_t(0u - uint32_t(v));
                out[32 * i + sb] = v;
                ov[18 * sb + i] = y[18 + i];
            }
        }
        prev = n;
    }
};

TEST(MP3Imdct, GranulesMatchTheModel) {
    std::mt19937 gen(5);
    std::vector<int32_t> ov(576, 0);
    int prev = 0;
    Model model;
    for (int g = 0; g < 300; ++g) {
        const int type = g % 11 == 3 ? 2 : g % 5 == 1 ? 1 : g % 5 == 2 ? 3 : g % 13 == 7 ? 2 : 0;
        const int mixed = (g & 2) ? 1 : 0;  // also with start and stop windows
        const int nz = g % 17 == 0 ? 0 : std::uniform_int_distribution<int>(1, 576)(gen);
        std::uniform_int_distribution<int32_t> d(-(1 << 26), 1 << 26);
        std::vector<int32_t> x(576, 0), xm, out(576, 0x55), want;
        for (int i = 0; i < nz; ++i) x[i] = d(gen);
        xm = x;
        ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), nz, &prev, type, mixed), okvOk);
        model.run(xm, want, nz, type, mixed);
        ASSERT_EQ(x, xm) << "alias reduction, granule " << g;
        ASSERT_EQ(out, want) << "granule " << g;
        ASSERT_EQ(ov, model.ov) << "granule " << g;
        ASSERT_EQ(prev, model.prev);
    }
}

TEST(MP3Imdct, CountsOverlapAndInversion) {
    std::vector<int32_t> x(576, 0), out(576, 7), ov(576, 0);
    for (int type : {0, 2}) {
        for (int mixed : {0, 1}) {
            int prev = 0;
            ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, type, mixed), okvOk);
            EXPECT_EQ(prev, type != 2 ? 1 : mixed ? 2 : 0);
            for (int v : out) EXPECT_EQ(v, 0);
            for (int v : ov) EXPECT_EQ(v, 0);
        }
    }
    // A previous count beyond N: those subbands emit their overlap only and clear it.
    for (int i = 0; i < 576; ++i) ov[i] = i + 1;
    int prev = 32;
    ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, 0, 0), okvOk);
    EXPECT_EQ(prev, 1);
    for (int sb = 1; sb < 32; ++sb)
        for (int t = 0; t < 18; ++t) {
            const int v = 18 * sb + t + 1;
            EXPECT_EQ(out[32 * t + sb], (sb & 1) && (t & 1) ? -v : v);
            EXPECT_EQ(ov[18 * sb + t], 0);
        }
    // Beyond max(N, previous count) the output is zero and the overlap is not touched.
    for (int i = 0; i < 576; ++i) ov[i] = 9;
    prev = 0;
    ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 40, &prev, 0, 0), okvOk);
    EXPECT_EQ(prev, 3);
    for (int t = 0; t < 18; ++t) EXPECT_EQ(out[32 * t + 3], 0);
    EXPECT_EQ(ov[18 * 3], 9);
    EXPECT_EQ(ov[575], 9);
}

TEST(MP3Imdct, ArgumentChecks) {
    std::vector<int32_t> x(576, 0), out(576, 0), ov(576, 0);
    int prev = 0;
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), nullptr, 0, &prev, 0, 0), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, nullptr, 9, 0), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 577, &prev, 0, 0), okvErrBadArg);
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), -1, &prev, 0, 0), okvErrBadArg);
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, 4, 0), okvErrBadArg);
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, 0, 2), okvErrBadArg);
    prev = 33;
    EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, 0, 0), okvErrBadArg);
}

}  // namespace
