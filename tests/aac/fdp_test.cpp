// Frequency-domain predictor against the one-line model: a million line updates with resets and
// odd band layouts, every reciprocal index, the encoder side, the layout in caller memory.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "aac/fdp_model.h"
#include "okvac.h"

namespace {

// Any NaN matches any NaN: which operand's NaN an SSE operation passes on is the compiler's choice.
uint32_t pattern(float v) { return v != v ? 0x7FC00000u : fdpmodel::bitsOf(v); }

struct Owned {
    FDPState* s = nullptr;
    explicit Owned(int len) { EXPECT_EQ(okvsFDPInitAlloc_32f(&s, len), okvOk); }
    ~Owned() { okvsFDPFree_32f(s); }
    float* array(int i) const { return std::array{s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1}[size_t(i)]; }
};

std::vector<float>& modelArray(fdpmodel::Predictor& m, int i) {
    return *std::array{&m.cor0, &m.cor1, &m.var0, &m.var1, &m.r0, &m.r1}[size_t(i)];
}

void expectSame(const float* got, const float* want, int n, int frame) {
    for (int k = 0; k < n; ++k) ASSERT_EQ(pattern(got[k]), pattern(want[k])) << "line " << k << " frame " << frame;
}

void expectSameState(const Owned& lib, fdpmodel::Predictor& m, int f) {
    for (int i = 0; i < 6 && !testing::Test::HasFatalFailure(); ++i)
        expectSame(lib.array(i), modelArray(m, i).data(), m.len(), f);
}

}  // namespace

// Per line a sinusoid across frames of magnitude 1e-3..1e8 with bursts; per frame a random band
// layout (widths not multiples of four, offsets going back or past the length), random flags and
// the three kinds of reset.
TEST(FDP, MatchesTheOneLineModelOverAMillionUpdates) {
    const int len = 1000;
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(len);
    Owned lib(len);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<float> amp(len), freq(len), x(len + 8);
    for (int k = 0; k < len; ++k) amp[k] = std::pow(10.0f, -3.0f + 11.0f * u(rng)), freq[k] = 3.0f * u(rng);
    long predicted = 0;
    for (int f = 0; f < 1000 && !HasFatalFailure(); ++f) {
        std::vector<int> off{int(rng() % 6)};
        while (off.back() < len) off.push_back(off.back() + 1 + int(rng() % 70));
        if (f % 7 == 3) off[off.size() / 2] = off[off.size() / 2 - 1] - 9;
        if (f % 5 == 1) off.back() = len + 13;
        if (f % 3 == 2) off.resize(off.size() * 2 / 3);
        const int nBands = int(off.size()) - 1;
        std::vector<unsigned char> flag(nBands + 1), reset(nBands + 1);
        for (auto& b : flag) b = u(rng) < 0.8f;
        for (auto& b : reset) b = u(rng) < 0.2f;
        // The decoder receives residuals: the model's prediction taken off where flagged.
        for (int k = 0; k < len; ++k)
            x[k] = amp[k] * std::cos(freq[k] * float(f) + float(k)) * (u(rng) < 0.01f ? -30.0f : 1.0f);
        std::vector<std::pair<int, int>> bands;
        for (int b = 0, prevEnd = 0; b < nBands; ++b) {
            const int start = std::max(std::clamp(off[b], 0, len), prevEnd), end = std::clamp(off[b + 1], 0, len);
            if (end > start) prevEnd = end;
            bands.emplace_back(start, end);
            for (int k = start; k < end && flag[b]; ++k) x[k] -= m.predict(t, k), predicted += m.predict(t, k) != 0.0f;
        }
        std::vector<float> want = x;
        for (int b = 0; b < nBands; ++b) m.inverse(t, want.data(), bands[b].first, bands[b].second, flag[b]);
        ASSERT_EQ(okvsFDPInv_32f_I(x.data(), off.data(), nBands, flag.data(), lib.s), okvOk);
        expectSame(x.data(), want.data(), len + 8, f);
        const bool group = f % 11 == 5, sfb = f % 13 == 7, all = f % 97 == 50;
        ASSERT_EQ(group ? okvsFDPResetGroup_32f(f % 30, 30, lib.s) : okvOk, okvOk);
        ASSERT_EQ(sfb ? okvsFDPResetSfb_32f(off.data(), nBands, reset.data(), lib.s) : okvOk, okvOk);
        ASSERT_EQ(all ? okvsFDPReset_32f(lib.s) : okvOk, okvOk);
        for (int k = 0; k < len; ++k) {
            bool r = (group && k % 30 == f % 30) || all;
            for (int b = 0; b < nBands && sfb; ++b) r |= reset[b] && k >= bands[b].first && k < bands[b].second;
            if (r) m.reset(k);
        }
        expectSameState(lib, m, f);
    }
    EXPECT_GT(predicted, 400000);
}

// The encoder side: each residual is the input less the model's prediction, and the state
// follows the input, at any alignment (misaligned: a warning, same result). The first 65 frames
// start from states that give every energy exponent and reciprocal index of both signs, with
// correlations that carry the reciprocal (denormal ones included) through to the residual; the
// rest run on from a reset. Then the layout in caller memory, and a freed state refused.
TEST(FDP, ForwardMatchesModelAndLifecycle) {
    const int len = 1023;
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(len);
    Owned enc(len);
    std::mt19937 rng(3);
    std::normal_distribution<float> n(0.0f, 300.0f);
    std::vector<float> res(len + 8), in(len + 8), prev(len), want(len);
    long predicted = 0;
    for (int f = 0; f < 200 && !HasFatalFailure(); ++f) {
        for (int k = 0, j = f * len; k < len && f < 65; ++k, ++j) {
            const uint32_t e = (j >> 7) & 255, i = j & 127, sign = uint32_t(j >> 15 & 1) << 31;
            const float v[6] = {std::ldexp(1.375f, int(e) - 100), std::ldexp(-1.625f, 150 - int(e)),
                                fdpmodel::fromBits(sign | e << 23 | i << 16 | (j * 0x9E37u & 0xFFFF)),
                                fdpmodel::fromBits(sign | (255 - e) << 23 | (127 - i) << 16), 0.75f,
                                std::ldexp(1.0f, -60)};
            for (int a = 0; a < 6; ++a) modelArray(m, a)[k] = enc.array(a)[k] = v[a];
        }
        if (f == 65) {
            ASSERT_EQ(okvsFDPReset_32f(enc.s), okvOk);
            m = fdpmodel::Predictor(len);
        }
        float *x = in.data() + f % 4, *r = res.data() + 3 - f % 4;
        for (int k = 0; k < len; ++k) x[k] = prev[k] = n(rng) + 0.8f * prev[k];
        const bool misaligned = (reinterpret_cast<uintptr_t>(x) | reinterpret_cast<uintptr_t>(r)) & 15;
        ASSERT_EQ(okvsFDPFwd_32f(x, r, enc.s), misaligned ? okvWrnMisaligned : okvOk);
        for (int k = 0; k < len; ++k) {
            want[k] = x[k] - m.predict(t, k), m.update(t, k, x[k]);
            predicted += f < 65 && want[k] != x[k];
        }
        expectSame(r, want.data(), len, f);
        expectSameState(enc, m, f);
    }
    EXPECT_GT(predicted, 65 * len / 3);
    int size = 0;
    ASSERT_EQ(okvsFDPGetSize_32f(17, &size), okvOk);
    EXPECT_EQ(size, 6 * 128 + 128);
    alignas(64) unsigned char mem[6 * 128 + 128 + 1];
    std::memset(mem, 0xA5, sizeof mem);
    FDPState* s = nullptr;
    ASSERT_EQ(okvsFDPInit_32f(&s, 16, mem + 1), okvOk);  // moved to the next 64-byte boundary
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s), mem + 64);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s->pR1), mem + 128 + 5 * 64);
    EXPECT_TRUE(std::all_of(mem + 128 + 6 * 64, std::end(mem), [](unsigned char b) { return b == 0xA5; })) << "past";
    EXPECT_TRUE(s->len == 16 && s->selfOwned == 0 && s->pVar1[15] == 1.0f);
    ASSERT_EQ(okvsFDPFree_32f(s), okvOk);
    float x[16] = {};
    EXPECT_EQ(okvsFDPFwd_32f(x, x, s), okvErrContextMatch);
    EXPECT_EQ(okvsFDPFree_32f(s), okvErrContextMatch);
}
