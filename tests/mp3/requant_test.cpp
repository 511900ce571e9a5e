// Requantisation: the core against |x|^(4/3) 2^(26 - e/4), and short-block reordering with caller
// tables and bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mp3_test_util.h"

namespace {

struct Granule {
    std::vector<int32_t> x = std::vector<int32_t>(1152, 0);
    std::vector<int32_t> work = std::vector<int32_t>(576, 0x5A5A5A5A);
    int nz[2] = {576, 576};
    int8_t sf[80] = {};
    MP3SideInfo si[2] = {};
    MP3FrameHeader hdr;
    Granule(int id, int mode, int modeExt, int blockType = 0, int mixed = 0) : hdr(mp3test::header(id, mode, 0, modeExt)) {
        for (auto& s : si) s.global_gain = 210, s.block_type = blockType, s.mixed_block_flag = mixed;
        for (auto& s : si) s.window_switching_flag = blockType != 0;
    }
    int run() { return okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()); }
};

// Tolerance: within one unit for |x| <= 15 (gains above 210 shift the small tables left, doubling
// their rounding each step); the Q31 factor and, above 128, the polynomial add a relative error.
long double slack(int n, int e, long double exact) {
    if (n <= 15) return 1.0L + 1e-12L * exact + (e < 4 ? std::ldexp(0.5L, 1 - (e >> 2)) : 0.0L);
    return n <= 128 ? 8.0L + 2e-9L * exact : 16.0L + 3e-8L * exact;
}

}  // namespace

// Every magnitude 1..8206 over the global gains, saturated where the value does not fit.
TEST(MP3Requant, CoreFollowsThePowerLaw) {
    for (int gain = 0; gain < 256; gain += 3) {
        const int e = 210 - gain;
        for (int n0 = 1; n0 <= 8206; n0 += 576) {
            Granule g(1, 3, 0);
            g.si[0].global_gain = gain;
            for (int i = 0; i < 576; ++i) g.x[i] = std::min(n0 + i, 8206) * (i & 1 ? -1 : 1);
            ASSERT_EQ(g.run(), okvOk);
            for (int i = 0; i < 576; ++i) {
                const int n = std::min(n0 + i, 8206);
                const long double exact = std::pow((long double)n, 4.0L / 3) * std::pow(2.0L, 26 - e / 4.0L);
                const long double got = std::fabs((long double)g.x[i]);
                ASSERT_TRUE(g.x[i] == 0 || (g.x[i] < 0) == (i & 1));
                if (exact < 2147483647.0L) {
                    ASSERT_LE(std::fabs(got - exact), slack(n, e, exact)) << "n " << n << " e " << e;
                } else if (n >= 16 && exact > 2147483647.0L + slack(n, e, exact)) {
                    ASSERT_EQ(got, 2147483647.0L) << "n " << n << " e " << e;
                }
            }
        }
    }
    Granule g(1, 3, 0);  // exact powers at the reference gain, the bound, and the largest magnitude
    g.x[0] = 1, g.x[1] = 8, g.x[2] = 16, g.x[3] = -1;
    ASSERT_EQ(g.run(), okvOk);
    EXPECT_EQ(std::vector<int32_t>(g.x.begin(), g.x.begin() + 4),
              (std::vector<int32_t>{67108864, 1073741824, 2147483647, -67108864}));
    EXPECT_EQ(g.nz[0], 4);
}

// Caller short-band tables of random widths, sparse values in random windows: each value lands
// where the reordering puts its line and window, the bound is one past the last non-zero output.
// A mixed block keeps its long part as a long block would.
TEST(MP3Requant, ShortBlockReorderingAndBounds) {
    std::mt19937 rng(6);
    for (int iter = 0; iter < 400; ++iter) {
        Okv16s sht[6 * 14] = {};
        Okv16s* row = sht + 3 * 14;  // MPEG-1 44.1 kHz
        for (int b = 1; b < 13; ++b) row[b] = Okv16s(row[b - 1] + 1 + int(rng() % (b < 12 ? 15 : 4)));
        row[13] = 192;
        if (row[12] >= 192) continue;
        Granule g(1, 3, 0, 2);
        std::vector<int> want(576, 0);
        int last = -1;
        for (int k = int(rng() % 6); k > 0; --k) {
            const int b = int(rng() % 13), w = int(rng() % 3), width = row[b + 1] - row[b];
            const int j = int(rng() % width), pos = 3 * row[b] + w * width + j, f = row[b] + j;
            want[18 * (f / 6) + 6 * w + f % 6] = g.x[pos] = rng() % 2 ? 1 : -1;
            last = std::max(last, pos);
        }
        g.nz[0] = last + 1;
        ASSERT_EQ(okvsReQuantizeSfb_MP3_32s_I(g.x.data(), g.nz, g.sf, g.si, &g.hdr, g.work.data(),
                                              mp3test::kSfbLong[0], sht), okvOk);
        int top = 0;
        for (int i = 0; i < 576; ++i) {
            ASSERT_EQ(g.x[i] > 0 ? 1 : g.x[i] < 0 ? -1 : 0, want[i]) << "iteration " << iter << " line " << i;
            if (want[i]) top = i + 1;
        }
        ASSERT_EQ(g.nz[0], top) << "iteration " << iter;
    }
    Granule g(1, 0, 0, 2, 1), ref(1, 0, 0);
    for (int i = 0; i < 2 * 576; ++i) g.x[i] = ref.x[i] = i % 576 < 36 ? (i % 9) - 4 : 0;
    g.nz[0] = g.nz[1] = ref.nz[0] = ref.nz[1] = 36;
    ASSERT_EQ(g.run(), okvOk);
    ASSERT_EQ(ref.run(), okvOk);
    EXPECT_EQ(g.x, ref.x);
    EXPECT_EQ(std::vector<int>(g.nz, g.nz + 2), std::vector<int>(ref.nz, ref.nz + 2));
}

