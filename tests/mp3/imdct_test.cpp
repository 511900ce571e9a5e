// Hybrid inverse MDCT: the granule orchestration (alias butterflies, subband counts, overlap,
// inversion) against a model built on the single-subband export, whose transforms the conformance
// streams measure.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

// One granule: alias butterflies, per-subband transforms through the single-subband export,
// overlap-add and frequency inversion.
struct Model {
    std::vector<int32_t> ov = std::vector<int32_t>(576, 0);
    int prev = 0;
    void run(std::vector<int32_t>& x, std::vector<int32_t>& out, int nz, int type, int mixed) {
        const bool isShort = type == 2;
        int n = isShort ? (nz + 17) / 18 : (nz + 8) / 18 + 1;
        if (isShort && mixed) n = std::max(n, 2);
        n = std::min(n, 32);
        const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int k = 1; k <= (isShort ? mixed : n - 1); ++k)
            for (int i = 0; i < 8; ++i) {
                const double r = std::sqrt(1.0 + c[i] * c[i]), cs = 1.0 / r, ca = c[i] / r;
                const double a = x[18 * k - 1 - i], b = x[18 * k + i];
                x[18 * k - 1 - i] = int32_t(std::nearbyint(a * cs - b * ca));
                x[18 * k + i] = int32_t(std::nearbyint(b * cs + a * ca));
            }
        out.assign(576, 0);
        for (int sb = 0; sb < std::max(n, prev); ++sb) {
            int32_t y[36] = {};
            if (sb < n) okvsMDCTInvWindow_MP3_32s(&x[18 * sb], y, mixed && sb < 2 ? 0 : type);
            for (int i = 0; i < 18; ++i) {
                const uint32_t v = uint32_t(y[i]) + uint32_t(ov[18 * sb + i]);
                out[32 * i + sb] = int32_t((sb & 1) && (i & 1) ? 0u - v : v);
                ov[18 * sb + i] = y[18 + i];
            }
        }
        prev = n;
    }
};

}  // namespace

// Random granules, block types and counts; then a previous count beyond N (those subbands emit their
// overlap only and clear it) and N below it (the rest is zero, the overlap untouched).
TEST(MP3Imdct, GranulesMatchTheModel) {
    std::mt19937 gen(5);
    std::vector<int32_t> ov(576, 0);
    int prev = 0;
    Model model;
    for (int g = 0; g < 300; ++g) {
        const int type = g % 11 == 3 ? 2 : g % 5 == 1 ? 1 : g % 5 == 2 ? 3 : g % 13 == 7 ? 2 : 0;
        const int mixed = (g & 2) ? 1 : 0, nz = g % 17 == 0 ? 0 : int(gen() % 576) + 1;
        std::uniform_int_distribution<int32_t> d(-(1 << 26), 1 << 26);
        std::vector<int32_t> x(576, 0), out(576, 0x55), want;
        for (int i = 0; i < nz; ++i) x[i] = d(gen);
        std::vector<int32_t> xm = x;
        if (g == 299) {
            for (int i = 0; i < 576; ++i) ov[i] = model.ov[i] = i + 1;
            prev = model.prev = 32;
        }
        ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), nz, &prev, type, mixed), okvOk);
        model.run(xm, want, nz, type, mixed);
        ASSERT_EQ(x, xm) << "alias reduction, granule " << g;
        ASSERT_EQ(out, want) << "granule " << g;
        ASSERT_EQ(ov, model.ov) << "granule " << g;
        ASSERT_EQ(prev, model.prev);
    }
    std::vector<int32_t> x(576, 0), out(576, 7);
    for (int i = 0; i < 576; ++i) ov[i] = 9;
    prev = 0;
    ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 40, &prev, 0, 0), okvOk);
    EXPECT_EQ(prev, 3);
    for (int t = 0; t < 18; ++t) EXPECT_EQ(out[32 * t + 3], 0);
    EXPECT_EQ(ov[18 * 3], 9);
    EXPECT_EQ(ov[575], 9);
    for (int mixed : {0, 1}) {
        ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 0, &prev, 2, mixed), okvOk);
        EXPECT_EQ(prev, 2 * mixed);
    }
}

TEST(MP3Imdct, ArgumentChecks) {
    std::vector<int32_t> x(576, 0), out(576, 0), ov(576, 0);
    const struct {
        int32_t* ov;
        bool nullPrev;
        int prev, nz, type, mixed;
        StatusCode want;
    } cases[] = {{nullptr, false, 0, 0, 0, 0, okvErrNullPtr}, {ov.data(), true, 0, 0, 9, 0, okvErrNullPtr},
                 {ov.data(), false, 0, 577, 0, 0, okvErrBadArg},  {ov.data(), false, 0, -1, 0, 0, okvErrBadArg},
                 {ov.data(), false, 0, 0, 4, 0, okvErrBadArg},    {ov.data(), false, 0, 0, 0, 2, okvErrBadArg},
                 {ov.data(), false, 33, 0, 0, 0, okvErrBadArg}};
    for (const auto& c : cases) {
        int prev = c.prev;
        EXPECT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), c.ov, c.nz, c.nullPrev ? nullptr : &prev, c.type, c.mixed),
                  c.want) << &c - cases;
    }
    EXPECT_EQ(okvsMDCTInvWindow_MP3_32s(x.data(), out.data(), 4), okvErrBadArg);
    EXPECT_EQ(okvsMDCTInvWindow_MP3_32s(nullptr, out.data(), 0), okvErrNullPtr);
}
