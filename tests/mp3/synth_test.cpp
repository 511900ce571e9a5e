// Polyphase synthesis: both forms against a long-double model of the V/U/W formulation, saturation,
// the argument checks and the float spec's lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mp3/synth_window_data.h"
#include "mp3_test_util.h"

namespace {

constexpr int32_t kDQ30[257] = OKV_MP3_SYNTH_D_Q30_INIT;
constexpr long double kPi = 3.141592653589793238462643383279502884L;

// The window D: the upper half mirrors the stored one, antisymmetric but symmetric at 320, 384, 448.
long double d(int i) { return (i <= 256 ? kDQ30[i] : i % 64 ? -kDQ30[512 - i] : kDQ30[512 - i]) / 1073741824.0L; }

// The standard filter: V FIFO of 16 slots of X[m] = sum_k S[k] cos(pi m (2k + 1) / 64), U/W windowing.
struct RefFilter {
    std::vector<std::vector<long double>> slots = std::vector<std::vector<long double>>(16, std::vector<long double>(32));
    // V[i] = X'[16 + i] with X'[64 - m] = -X'[m], X'[m + 64] = -X'[m], X'[32] = 0.
    static long double v(const std::vector<long double>& x, int i) {
        const int t = 16 + i;
        return t < 32 ? x[t] : t == 32 ? 0 : t < 64 ? -x[64 - t] : -x[t - 64];
    }
    void run(const double* s, long double* out) {
        slots.pop_back();
        slots.insert(slots.begin(), std::vector<long double>(32));
        for (int m = 0; m < 32; ++m)
            for (int k = 0; k < 32; ++k) slots[0][m] += s[k] * std::cos(kPi * m * (2 * k + 1) / 64);
        for (int j = 0; j < 32; ++j) {
            out[j] = 0;
            for (int i = 0; i < 16; ++i) out[j] += d(j + 32 * i) * v(slots[i], (i & 1) ? 32 + j : j);
        }
    }
};

}  // namespace

// Fixed output at odd positions (mode 2) and float in both modes; the other half stays as it was.
TEST(MP3Synth, BothFormsFollowTheStandardFilter) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> amp(-1.0, 1.0);
    RefFilter ref;
    std::vector<int32_t> hist(512, 0);
    int pos = 0;
    PQMFSynthesisSpec* spec = nullptr;
    ASSERT_EQ(okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(&spec), okvOk);
    double worstFixed = 0, worstFloat = 0;
    for (int slot = 0; slot < 300; ++slot) {
        double s[32];
        int32_t in[32];
        float inf[32];
        for (int k = 0; k < 32; ++k) {
            s[k] = std::nearbyint(amp(gen) * (1 << 21) / (1 + k));  // Q24 subband samples
            in[k] = static_cast<int32_t>(s[k]);
            inf[k] = static_cast<float>(s[k] / (1 << 24));
        }
        long double want[32];
        ref.run(s, want);
        int16_t pcm[64];
        float outf[64];
        std::fill(pcm, pcm + 64, 1234);
        std::fill(outf, outf + 64, 7.0f);
        const int mode = 1 + (slot & 1);
        ASSERT_EQ(okvsSynthPQMF_MP3_32s16s(in, pcm, hist.data(), &pos, 2), okvOk);
        ASSERT_EQ(pos, (15 * (slot + 1)) % 16);
        ASSERT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(inf, outf, spec, mode), okvOk);
        for (int j = 0; j < 32; ++j) {
            worstFixed = std::max(worstFixed, double(std::fabs(pcm[2 * j] - want[j] / 512)));
            worstFloat = std::max(worstFloat, double(std::fabs(outf[mode * j] - want[j] / (1 << 24))));
            ASSERT_EQ(pcm[2 * j + 1], 1234);
            if (mode == 2) { ASSERT_EQ(outf[2 * j + 1], 7.0f); }
        }
    }
    EXPECT_LE(worstFixed, 1.0);   // truncated taps and the final shift: at most one LSB
    EXPECT_LE(worstFloat, 2e-6);  // single-precision matrixing and window, |out| < 1
    EXPECT_GT(worstFixed, 0.0);
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(spec), okvOk);
}

// Full-scale input saturates, never wraps; the refusals leave the position alone.
TEST(MP3Synth, FixedSaturationAndChecks) {
    std::vector<int32_t> hist(512, 0);
    int32_t in[32] = {};
    int16_t out[64];
    int pos = 16;
    EXPECT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), &pos, 1), okvErrBadArg);
    pos = 0;
    EXPECT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), &pos, 3), okvErrBadArg);
    EXPECT_EQ(okvsSynthPQMF_MP3_32s16s(nullptr, out, hist.data(), &pos, 3), okvErrNullPtr);
    EXPECT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), nullptr, 1), okvErrNullPtr);
    EXPECT_EQ(pos, 0);
    bool hiSat = false, loSat = false;
    for (int slot = 0; slot < 32; ++slot) {
        in[0] = ((slot & 4) ? 1 : -1) * (1 << 30);
        ASSERT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), &pos, 1), okvOk);
        for (int j = 0; j < 32; ++j) hiSat |= out[j] == 32767, loSat |= out[j] == -32768;
    }
    EXPECT_TRUE(hiSat && loSat);
}

TEST(MP3Synth, FloatSpecLifecycle) {
    mp3test::checkSpecLifecycle(okvsSynthesisFilterGetSize_PQMF_MP3_32f, okvsSynthesisFilterInit_PQMF_MP3_32f,
                                okvsSynthesisFilter_PQMF_MP3_32f, okvsSynthesisFilterFree_PQMF_MP3_32f);
}
