// Requantisation: the tables and the core against |x|^(4/3) 2^(26 - e/4), the documented
// answers, joint stereo, short-block reordering and bounds, and the failure statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "mp3/sfb_tables_data.h"
#include "okvac.h"

namespace {

struct Granule {
    std::vector<int32_t> x = std::vector<int32_t>(1152, 0);
    std::vector<int32_t> work = std::vector<int32_t>(576, 0x5A5A5A5A);
    int nz[2] = {576, 576};
    int8_t sf[80] = {};
    MP3SideInfo si[2] = {};
    MP3FrameHeader hdr = {};
    Granule(int id, int mode, int modeExt) {
        hdr.id = id;
        hdr.layer = 1;
        hdr.mode = mode;
        hdr.mode_extension = modeExt;
        for (auto& s : si) s.global_gain = 210;
    }
    int run() { return okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()); }
    void shortBlocks(int mixed) {
        for (auto& s : si) {
            s.window_switching_flag = 1;
            s.block_type = 2;
            s.mixed_block_flag = mixed;
        }
    }
};

// (2v * s) >> 32: a value scaled by a Q31 factor as the stereo rules do.
int32_t scaled(int32_t v, int32_t s) { return int32_t((int64_t(int32_t(uint32_t(v) << 1)) * s) >> 32); }

// Every magnitude 1..8206 over the global gains: within one unit of the exact value wherever
// that fits in 31 bits for |x| <= 15 and e >= 4. Above, the Q31 factor 2^31 - 1 (-4.7e-10), truncations
// doubled by left shifts and, for |x| > 128, the polynomial's error (below 2.6e-8, always
// low) come on top. Saturated where the value does not fit, for |x| >= 16.
// Gains above 210 (e < 4) shift the small tables left, doubling their rounding each step.
long double slack(int n, int e, long double exact) {
    if (n <= 15) return 1.0L + 1e-12L * exact + (e < 4 ? std::ldexp(0.5L, 1 - (e >> 2)) : 0.0L);
    return n <= 128 ? 8.0L + 2e-9L * exact : 16.0L + 3e-8L * exact;
}

TEST(MP3Requant, CoreWithinOneUnitOfThePowerLaw) {
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
                if (g.x[i] != 0) {
                    ASSERT_EQ(g.x[i] < 0, (i & 1) != 0);
                }
                if (exact < 2147483647.0L) {
                    ASSERT_LE(std::fabs(got - exact), slack(n, e, exact))
                        << "n " << n << " e " << e << " got " << double(got) << " want " << double(exact);
                } else if (n >= 16 && exact > 2147483647.0L + slack(n, e, exact)) {
                    ASSERT_EQ(got, 2147483647.0L) << "n " << n << " e " << e;
                }
            }
        }
    }
}

// 1, 8 and 16 at the reference gain: 2^26 |x|^(4/3), saturated where it does not fit.
TEST(MP3Requant, ExactPowersAndRange) {
    Granule g(1, 3, 0);
    g.x[0] = 1;
    g.x[1] = 8;
    g.x[2] = 16;
    g.x[3] = -1;
    ASSERT_EQ(g.run(), okvOk);
    EXPECT_EQ(g.x[0], 67108864);
    EXPECT_EQ(g.x[1], 1073741824);
    EXPECT_EQ(g.x[2], 2147483647);
    EXPECT_EQ(g.x[3], -67108864);
    EXPECT_EQ(g.nz[0], 4);

    Granule bad(1, 3, 0);
    bad.x[5] = -8207;
    EXPECT_EQ(bad.run(), okvErrBadData);
}

// Scalefactors, pre-emphasis and M/S offsets all act as exponent steps of the same core.
TEST(MP3Requant, ExponentsOfScalefactorsPreflagAndMidSide) {
    Granule ref(1, 3, 0);  // pre-emphasis adds pretab[b] to each scalefactor
    Granule pre(1, 3, 0);
    ref.si[0].global_gain = pre.si[0].global_gain = 200;
    const int pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
    pre.sf[15] = 3;
    for (int b = 0; b < 22; ++b) ref.sf[b] = pre.sf[b] + pretab[b];
    pre.si[0].preflag = 1;
    ref.si[0].scalefac_scale = pre.si[0].scalefac_scale = 1;
    for (int i = 0; i < 576; ++i) ref.x[i] = pre.x[i] = (i % 40) - 20;
    ASSERT_EQ(ref.run(), okvOk);
    ASSERT_EQ(pre.run(), okvOk);
    EXPECT_EQ(ref.x, pre.x);

    // Joint stereo M/S: L = (M + S), R = (M - S), each requantised with 2 more quarter steps.
    Granule ms(1, 1, 2), mono(1, 3, 0);
    for (int i = 0; i < 100; ++i) {
        ms.x[i] = mono.x[i] = (i % 7) - 3;
        ms.x[576 + i] = mono.x[576 + i] = (i % 5) - 2;
    }
    ms.nz[0] = 100;
    ms.nz[1] = 100;
    for (int b = 0; b < 22; ++b) mono.sf[b] = 1;  // 1 << 1 = 2 quarter steps
    ASSERT_EQ(ms.run(), okvOk);
    Granule side = mono;
    for (int i = 0; i < 576; ++i) side.x[i] = mono.x[576 + i];
    ASSERT_EQ(mono.run(), okvOk);
    ASSERT_EQ(side.run(), okvOk);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ms.x[i], mono.x[i] + side.x[i]) << i;
        EXPECT_EQ(ms.x[576 + i], mono.x[i] - side.x[i]) << i;
    }
}

// The last LSF band carries no scalefactor: it repeats band 20's position when band 20 is in
// the intensity region, and reads its own entry (0) when the region starts at band 21.
TEST(MP3Requant, LsfLastBandIntensityPosition) {
    for (int rightBound : {0, 522}) {
        Granule g(0, 1, 1);
        for (int i = 0; i < 576; ++i) g.x[i] = 1;
        for (int i = 0; i < rightBound; ++i) g.x[576 + i] = 1;
        g.nz[0] = 576;
        g.nz[1] = rightBound;
        for (int b = 0; b < 21; ++b) g.sf[40 + b] = 2;  // even: R = L * 2^-1/4
        ASSERT_EQ(g.run(), okvOk);
        const int32_t l = 1 << 26;
        EXPECT_EQ(g.x[530], l);
        EXPECT_EQ(g.x[576 + 530], scaled(l, rightBound ? 2147483647 : 1805811301)) << rightBound;
        EXPECT_EQ(g.x[576 + 470], rightBound ? g.x[576 + 10] : scaled(l, 1805811301));  // band 20
    }
}

// Caller short-band tables of random widths (band ends at every residue mod 6), sparse values in
// random windows: each value lands where the reordering puts its frequency line and window, and
// the bound is one past the last non-zero output.
TEST(MP3Requant, ShortBlockReorderingAndBoundWithCallerTables) {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
    std::mt19937 rng(6);
    for (int iter = 0; iter < 400; ++iter) {
        Okv16s sht[6 * 14] = {};
        Okv16s* row = sht + 3 * 14;  // MPEG-1 44.1 kHz
        for (int b = 1; b < 13; ++b) row[b] = Okv16s(row[b - 1] + 1 + int(rng() % (b < 12 ? 15 : 4)));
        row[13] = 192;
        if (row[12] >= 192) continue;
        Granule g(1, 3, 0);
        g.shortBlocks(0);
        g.si[0].global_gain = 210;
        std::vector<int> want(576, 0);
        int last = -1;
        for (int k = int(rng() % 6); k > 0; --k) {
            const int b = int(rng() % 13), w = int(rng() % 3), width = row[b + 1] - row[b];
            const int j = int(rng() % width), pos = 3 * row[b] + w * width + j, f = row[b] + j;
            g.x[pos] = rng() % 2 ? 1 : -1;
            want[18 * (f / 6) + 6 * w + f % 6] = g.x[pos];
            last = std::max(last, pos);
        }
        g.nz[0] = last + 1;
        ASSERT_EQ(okvsReQuantizeSfb_MP3_32s_I(g.x.data(), g.nz, g.sf, g.si, &g.hdr, g.work.data(), kLong[0], sht), okvOk);
        int top = 0;
        for (int i = 0; i < 576; ++i) {
            ASSERT_EQ(g.x[i] > 0 ? 1 : g.x[i] < 0 ? -1 : 0, want[i]) << "iteration " << iter << " line " << i;
            if (want[i]) top = i + 1;
        }
        ASSERT_EQ(g.nz[0], top) << "iteration " << iter;
    }
}

TEST(MP3Requant, MixedBlockKeepsItsLongPart) {
    Granule g(1, 0, 0), ref(1, 0, 0);
    g.shortBlocks(1);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 36; ++i) g.x[576 * c + i] = ref.x[576 * c + i] = (i % 9) - 4;
    g.nz[0] = g.nz[1] = ref.nz[0] = ref.nz[1] = 36;
    ASSERT_EQ(g.run(), okvOk);
    ASSERT_EQ(ref.run(), okvOk);
    EXPECT_EQ(g.x, ref.x);
    EXPECT_EQ(g.nz[0], ref.nz[0]);
    EXPECT_EQ(g.nz[1], ref.nz[1]);
}

TEST(MP3Requant, FailureStatuses) {
    {
        Granule g(1, 1, 2);
        g.si[1].block_type = 1;
        EXPECT_EQ(g.run(), okvErrMp3SideInfo);
    }
    {
        Granule g(2, 3, 0);
        EXPECT_EQ(g.run(), okvErrMp3FrameHeader);
        g.hdr.id = 1;
        g.hdr.sampling_frequency = 3;
        EXPECT_EQ(g.run(), okvErrMp3FrameHeader);
    }
    {
        Granule g(1, 3, 0);
        g.nz[0] = 577;
        EXPECT_EQ(g.run(), okvErrBadArg);
        g.nz[0] = 0;
        g.si[0].global_gain = 256;
        EXPECT_EQ(g.run(), okvErrMp3SideInfo);
        g.si[0].global_gain = 100;
        g.si[0].mixed_block_flag = 2;
        EXPECT_EQ(g.run(), okvErrMp3SideInfo);
        g.si[0].mixed_block_flag = 0;
        g.shortBlocks(0);
        g.si[0].subblock_gain[1] = 8;
        EXPECT_EQ(g.run(), okvErrBadData);
        EXPECT_EQ(okvsReQuantize_MP3_32s_I(g.x.data(), g.nz, g.sf, g.si, &g.hdr, nullptr), okvErrNullPtr);
        EXPECT_EQ(okvsReQuantizeSfb_MP3_32s_I(g.x.data(), g.nz, g.sf, g.si, &g.hdr, g.work.data(), nullptr,
                                              nullptr), okvErrNullPtr);
    }
}

}  // namespace
