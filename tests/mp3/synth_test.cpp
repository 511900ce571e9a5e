// Polyphase synthesis: both forms against a long-double model of the V/U/W formulation, saturation,
// and the argument and lifecycle rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "mp3/synth_window_data.h"
#include "okvac.h"

namespace {

constexpr int32_t kDQ30[257] = OKV_MP3_SYNTH_D_Q30_INIT;
constexpr long double kPi = 3.141592653589793238462643383279502884L;

// The upper half mirrors the stored one: antisymmetric, but symmetric at 320, 384 and 448.
int32_t dq30(int i) { return i <= 256 ? kDQ30[i] : (i % 64 ? -kDQ30[512 - i] : kDQ30[512 - i]); }

// X[m] = sum_k S[k] cos(pi m (2k + 1) / 64) in long double.
std::vector<long double> matrix(const double* s) {
    std::vector<long double> x(32);
    for (int m = 0; m < 32; ++m) {
        long double acc = 0;
        for (int k = 0; k < 32; ++k) acc += s[k] * std::cos(kPi * m * (2 * k + 1) / 64);
        x[m] = acc;
    }
    return x;
}

// V[i] = sigma * X[mu] for i = 0..63 (V[16] = 0).
long double vOf(const std::vector<long double>& x, int i) {
    const int t = 16 + i;  // V[i] = X'[16 + i] with X'[64 - m] = -X'[m], X'[m + 64] = -X'[m]
    if (t < 32) return x[t];
    if (t == 32) return 0;
    if (t < 64) return -x[64 - t];
    return -x[t - 64];
}

// The standard filter in long double: V FIFO of 16 slots, U/W windowing with D of the text.
struct RefFilter {
    std::vector<std::vector<long double>> slots = std::vector<std::vector<long double>>(16);
    RefFilter() { for (auto& s : slots) s.assign(32, 0); }
    void run(const double* s, long double* out, long double (*d)(int)) {
        slots.pop_back();
        slots.insert(slots.begin(), matrix(s));
        for (int j = 0; j < 32; ++j) {
            long double acc = 0;
            for (int i = 0; i < 16; ++i) acc += d(j + 32 * i) * vOf(slots[i], (i & 1) ? 32 + j : j);
            out[j] = acc;
        }
    }
};

long double dExact(int i) { return dq30(i) / 1073741824.0L; }

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
        ref.run(s, want, dExact);
        int16_t pcm[64];
        float outf[64];
        ASSERT_EQ(okvsSynthPQMF_MP3_32s16s(in, pcm, hist.data(), &pos, 2), okvOk);
        ASSERT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(inf, outf, spec, 1), okvOk);
        for (int j = 0; j < 32; ++j) {
            worstFixed = std::max(worstFixed, double(std::fabs(pcm[2 * j] - want[j] / 512)));
            worstFloat = std::max(worstFloat, double(std::fabs(outf[j] - want[j] / (1 << 24))));
        }
    }
    EXPECT_LE(worstFixed, 1.0);     // truncated taps and the final shift: at most one LSB
    EXPECT_LE(worstFloat, 2e-6);    // single-precision matrixing and window, |out| < 1
    EXPECT_GT(worstFixed, 0.0);     // the comparison saw real signal
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(spec), okvOk);
}

TEST(MP3Synth, FixedEdgeCases) {
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

    for (auto& v : out) v = 1234;
    ASSERT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), &pos, 2), okvOk);
    EXPECT_EQ(pos, 15);
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(out[2 * j], 0);
        EXPECT_EQ(out[2 * j + 1], 1234);  // mode 2 leaves the odd indices alone
    }
    // Full-scale subband input drives the output into saturation, never into wrap-around.
    bool hiSat = false, loSat = false;
    for (int slot = 0; slot < 32; ++slot) {
        for (int k = 0; k < 32; ++k) in[k] = (k == 0 ? 1 : 0) * ((slot & 4) ? 1 : -1) * (1 << 30);
        ASSERT_EQ(okvsSynthPQMF_MP3_32s16s(in, out, hist.data(), &pos, 1), okvOk);
        for (int j = 0; j < 32; ++j) {
            hiSat |= out[j] == 32767;
            loSat |= out[j] == -32768;
        }
    }
    EXPECT_TRUE(hiSat && loSat);
}

TEST(MP3Synth, FloatLifecycle) {
    int size = 0;
    ASSERT_EQ(okvsSynthesisFilterGetSize_PQMF_MP3_32f(&size), okvOk);
    EXPECT_EQ(size, 2107);
    EXPECT_EQ(okvsSynthesisFilterGetSize_PQMF_MP3_32f(nullptr), okvErrNullPtr);

    std::vector<uint8_t> mem(size + 64, 0xCC);
    PQMFSynthesisSpec* spec = nullptr;
    ASSERT_EQ(okvsSynthesisFilterInit_PQMF_MP3_32f(&spec, mem.data() + 1), okvOk);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(spec) % 16, 0u);

    float in[32] = {}, out[64];
    for (auto& v : out) v = 7.0f;
    EXPECT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, out, spec, 0), okvErrBadArg);
    EXPECT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, out, spec, 3), okvErrBadArg);
    EXPECT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, nullptr, spec, 1), okvErrNullPtr);
    ASSERT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, out, spec, 2), okvOk);
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(out[2 * j], 0.0f);
        EXPECT_EQ(out[2 * j + 1], 7.0f);
    }
    // Free of an Init'd spec releases nothing and leaves it usable; a foreign block is refused.
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(spec), okvOk);
    EXPECT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, out, spec, 1), okvOk);
    for (size_t i = size + 1; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i - 1 << " of " << size;
    std::vector<uint8_t> junk(64, 0);
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(reinterpret_cast<PQMFSynthesisSpec*>(junk.data())),
              okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, out, reinterpret_cast<PQMFSynthesisSpec*>(junk.data()), 1),
              okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsSynthesisFilterInit_PQMF_MP3_32f(&spec, nullptr), okvErrNullPtr);
}

}  // namespace
