// Frequency-domain predictor against the one-line model: decoder frames with random band layouts
// (widths not multiples of four, offsets going back or past the length) and the three kinds of
// reset; encoder frames from states that give every reciprocal index; the layout in caller memory.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "aac/fdp_model.h"
#include "okvac.h"

namespace {

// Any NaN matches any NaN: which operand's NaN an SSE operation passes on is the compiler's choice.
uint32_t pattern(float v) { return v != v ? 0x7FC00000u : fdpmodel::bitsOf(v); }

std::array<float*, 6> arrays(FDPState* s) { return {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1}; }
std::array<float*, 6> arrays(fdpmodel::Predictor& m) {
    return {m.cor0.data(), m.cor1.data(), m.var0.data(), m.var1.data(), m.r0.data(), m.r1.data()};
}

// The outputs and every state array, bit for bit.
void expectSame(const float* got, const float* want, FDPState* s, fdpmodel::Predictor& m, int frame) {
    for (int a = -1; a < 6; ++a)
        for (int k = 0; k < m.len(); ++k) {
            const float g = a < 0 ? got[k] : arrays(s)[a][k], w = a < 0 ? want[k] : arrays(m)[a][k];
            ASSERT_EQ(pattern(g), pattern(w)) << "array " << a << " line " << k << " frame " << frame;
        }
}

}  // namespace

// Decoder: per line a sinusoid across frames of magnitude 1e-3..1e8 with bursts, the model's
// prediction taken off where flagged. Encoder: each residual is the input less the model's
// prediction, at any alignment (misaligned: a warning, same result); the first 65 frames start
// from states that give every energy exponent and reciprocal index of both signs, with
// correlations that carry the reciprocal (denormal ones included) through to the residual.
TEST(FDP, BothSidesMatchTheOneLineModel) {
    const int len = 1000;
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(len), me(len);
    FDPState *s = nullptr, *enc = nullptr;
    ASSERT_EQ(okvsFDPInitAlloc_32f(&s, len), okvOk);
    ASSERT_EQ(okvsFDPInitAlloc_32f(&enc, len), okvOk);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::normal_distribution<float> noise(0.0f, 300.0f);
    std::vector<float> amp(len), freq(len), x(len + 8), in(len + 8), res(len + 8), prev(len);
    for (int k = 0; k < len; ++k) amp[k] = std::pow(10.0f, -3.0f + 11.0f * u(rng));
    for (int k = 0; k < len; ++k) freq[k] = 3.0f * u(rng);
    long predicted = 0;
    for (int f = 0; f < 600 && !HasFatalFailure(); ++f) {
        std::vector<int> off{int(rng() % 6)};
        while (off.back() < len) off.push_back(off.back() + 1 + int(rng() % 70));
        if (f % 7 == 3) off[off.size() / 2] = off[off.size() / 2 - 1] - 9;
        if (f % 5 == 1) off.back() = len + 13;
        if (f % 3 == 2) off.resize(off.size() * 2 / 3);
        const int nBands = int(off.size()) - 1;
        std::vector<unsigned char> flag(nBands + 1), reset(nBands + 1);
        for (auto& b : flag) b = u(rng) < 0.8f;
        for (auto& b : reset) b = u(rng) < 0.2f;
        for (int k = 0; k < len; ++k)
            x[k] = amp[k] * std::cos(freq[k] * float(f) + float(k)) * (u(rng) < 0.01f ? -30.0f : 1.0f);
        std::vector<std::pair<int, int>> bands;
        for (int b = 0, prevEnd = 0; b < nBands; ++b) {
            const int start = std::max(std::clamp(off[b], 0, len), prevEnd), end = std::clamp(off[b + 1], 0, len);
            if (end > start) prevEnd = end;
            bands.emplace_back(start, end);
            for (int k = start; k < end && flag[b]; ++k) {
                x[k] -= m.predict(t, k);
                predicted += m.predict(t, k) != 0.0f;
            }
        }
        std::vector<float> want = x;
        for (int b = 0; b < nBands; ++b) m.inverse(t, want.data(), bands[b].first, bands[b].second, flag[b]);
        const bool group = f % 11 == 5, sfb = f % 13 == 7, all = f % 97 == 50;
        ASSERT_EQ(okvsFDPInv_32f_I(x.data(), off.data(), nBands, flag.data(), s), okvOk);
        ASSERT_EQ(group ? okvsFDPResetGroup_32f(f % 30, 30, s) : okvOk, okvOk);
        ASSERT_EQ(sfb ? okvsFDPResetSfb_32f(off.data(), nBands, reset.data(), s) : okvOk, okvOk);
        ASSERT_EQ(all ? okvsFDPReset_32f(s) : okvOk, okvOk);
        for (int k = 0; k < len; ++k) {
            bool r = (group && k % 30 == f % 30) || all;
            for (int b = 0; b < nBands && sfb; ++b) r |= reset[b] && k >= bands[b].first && k < bands[b].second;
            if (r) m.reset(k);
        }
        expectSame(x.data(), want.data(), s, m, f);

        for (int k = 0, j = f * len; k < len && f < 65; ++k, ++j) {
            const uint32_t e = (j >> 7) & 255, i = j & 127, sign = uint32_t(j >> 15 & 1) << 31;
            const float v[6] = {std::ldexp(1.375f, int(e) - 100), std::ldexp(-1.625f, 150 - int(e)),
                                fdpmodel::fromBits(sign | e << 23 | i << 16 | (j * 0x9E37u & 0xFFFF)),
                                fdpmodel::fromBits(sign | (255 - e) << 23 | (127 - i) << 16), 0.75f,
                                std::ldexp(1.0f, -60)};
            for (int a = 0; a < 6; ++a) arrays(me)[a][k] = arrays(enc)[a][k] = v[a];
        }
        if (f == 65) {  // the rest run on from a reset
            ASSERT_EQ(okvsFDPReset_32f(enc), okvOk);
            me = fdpmodel::Predictor(len);
        }
        float *xi = in.data() + f % 4, *r = res.data() + 3 - f % 4;
        for (int k = 0; k < len; ++k) xi[k] = prev[k] = noise(rng) + 0.8f * prev[k];
        const bool misaligned = (reinterpret_cast<uintptr_t>(xi) | reinterpret_cast<uintptr_t>(r)) & 15;
        ASSERT_EQ(okvsFDPFwd_32f(xi, r, enc), misaligned ? okvWrnMisaligned : okvOk);
        for (int k = 0; k < len; ++k) {
            want[k] = xi[k] - me.predict(t, k);
            me.update(t, k, xi[k]);
        }
        expectSame(r, want.data(), enc, me, f);
    }
    EXPECT_GT(predicted, 240000);
    okvsFDPFree_32f(s);
    okvsFDPFree_32f(enc);
}

// Six arrays of 17 floats, each rounded up to 128 bytes, behind a 128-byte header; the state moved
// to the next 64-byte boundary of caller memory, nothing written past it; a freed state refused.
TEST(FDP, LayoutInCallerMemoryAndLifecycle) {
    int size = 0;
    ASSERT_EQ(okvsFDPGetSize_32f(17, &size), okvOk);
    EXPECT_EQ(size, 6 * 128 + 128);
    alignas(64) unsigned char mem[6 * 128 + 128 + 1];
    std::memset(mem, 0xA5, sizeof mem);
    FDPState* s = nullptr;
    ASSERT_EQ(okvsFDPInit_32f(&s, 16, mem + 1), okvOk);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s), mem + 64);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s->pR1), mem + 128 + 5 * 64);
    EXPECT_TRUE(std::all_of(mem + 128 + 6 * 64, std::end(mem), [](unsigned char b) { return b == 0xA5; }));
    EXPECT_TRUE(s->len == 16 && s->selfOwned == 0 && s->pVar1[15] == 1.0f);
    ASSERT_EQ(okvsFDPFree_32f(s), okvOk);
    float x[16] = {};
    EXPECT_EQ(okvsFDPFwd_32f(x, x, s), okvErrContextMatch);
    EXPECT_EQ(okvsFDPFree_32f(s), okvErrContextMatch);
}
