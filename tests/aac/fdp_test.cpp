// Frequency-domain predictor against the one-line model (a million line updates with resets and
// odd band layouts), against residuals computed outside the project, and its lifecycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <random>
#include <vector>

#include "aac/fdp_model.h"
#include "okvac.h"

namespace {

using fdpmodel::bitsOf;

// Bit patterns, except that any NaN matches any NaN: which operand's NaN an SSE operation passes
// on depends on the operand order the compiler picks, so NaN signs and payloads are not part of
// the contract.
uint32_t pattern(float v) { return v != v ? 0x7FC00000u : bitsOf(v); }

struct Owned {
    FDPState* s = nullptr;
    explicit Owned(int len) { EXPECT_EQ(okvsFDPInitAlloc_32f(&s, len), okvOk); }
    ~Owned() { okvsFDPFree_32f(s); }
};

void expectSameState(const FDPState* s, const fdpmodel::Predictor& m, int frame)
{
    const float* got[6] = {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1};
    const std::vector<float>* want[6] = {&m.cor0, &m.cor1, &m.var0, &m.var1, &m.r0, &m.r1};
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < m.len(); ++k)
            ASSERT_EQ(pattern(got[i][k]), pattern((*want[i])[k])) << "array " << i << " line " << k << " frame " << frame;
}

// 1000 frames of 1000 lines: per line a sinusoid across frames with a magnitude of 1e-3..1e8,
// sign flips and bursts; per frame random band layouts (widths not multiples of four, offsets
// beyond the length or going back now and then), random flags and interleaved resets.
TEST(FDP, MatchesTheOneLineModelOverAMillionUpdates)
{
    const int len = 1000, frames = 1000;
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(len);
    Owned lib(len);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<float> amp(len), freq(len);
    for (int k = 0; k < len; ++k) amp[k] = std::pow(10.0f, -3.0f + 11.0f * u(rng)), freq[k] = 3.0f * u(rng);
    std::vector<float> x(len + 8), y(len + 8);
    long predicted = 0;
    for (int f = 0; f < frames; ++f) {
        // Band layout and flags.
        std::vector<int> off{std::uniform_int_distribution<int>(0, 5)(rng)};
        while (off.back() < len) off.push_back(off.back() + std::uniform_int_distribution<int>(1, 70)(rng));
        if (f % 7 == 3) off[off.size() / 2] = off[off.size() / 2 - 1] - 9;   // a band going back
        if (f % 5 == 1) off.back() = len + 13;                               // beyond the length
        if (f % 3 == 2) off.resize(off.size() * 2 / 3);                      // lines above left alone
        const int nBands = int(off.size()) - 1;
        std::vector<unsigned char> flag(nBands + 1);
        for (auto& b : flag) b = u(rng) < 0.8f;
        for (int k = 0; k < len; ++k) {
            float v = amp[k] * std::cos(freq[k] * float(f) + float(k));
            if (u(rng) < 0.01f) v = -v * 30.0f;
            x[k] = v;
        }
        // The decoder receives residuals: the model's prediction taken off where flagged.
        y = x;
        int prevEnd = 0;
        std::vector<std::pair<int, int>> bands;
        for (int b = 0; b < nBands; ++b) {
            int start = std::max(std::clamp(off[b], 0, len), prevEnd), end = std::clamp(off[b + 1], 0, len);
            if (end > start) prevEnd = end;
            bands.emplace_back(start, end);
            for (int k = start; k < end; ++k)
                if (flag[b]) y[k] = x[k] - m.predict(t, k), predicted += m.predict(t, k) != 0.0f;
        }
        std::vector<float> expected = y;
        for (int b = 0; b < nBands; ++b) m.inverse(t, expected.data(), bands[b].first, bands[b].second, flag[b]);
        ASSERT_EQ(okvsFDPInv_32f_I(y.data(), off.data(), nBands, flag.data(), lib.s), okvOk);
        for (int k = 0; k < len + 8; ++k) ASSERT_EQ(pattern(y[k]), pattern(expected[k])) << "line " << k << " frame " << f;
        // Resets as a decoder issues them.
        if (f % 11 == 5) {
            const int group = f % 30;
            ASSERT_EQ(okvsFDPResetGroup_32f(group, 30, lib.s), okvOk);
            for (int k = group; k < len; k += 30) m.reset(k);
        }
        if (f % 13 == 7) {
            std::vector<unsigned char> reset(nBands);
            for (auto& b : reset) b = u(rng) < 0.2f;
            ASSERT_EQ(okvsFDPResetSfb_32f(off.data(), nBands, reset.data(), lib.s), okvOk);
            for (int b = 0; b < nBands; ++b)
                for (int k = bands[b].first; reset[b] && k < bands[b].second; ++k) m.reset(k);
        }
        if (f % 97 == 50) {
            ASSERT_EQ(okvsFDPReset_32f(lib.s), okvOk);
            for (int k = 0; k < len; ++k) m.reset(k);
        }
        expectSameState(lib.s, m, f);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(predicted, 400000);  // the predictors were really at work
}

// Every energy exponent and reciprocal index, both signs, with correlations that make the
// prediction carry the reciprocal (denormal ones included) through to the output.
TEST(FDP, ReciprocalOfEveryEnergyExponentAndMantissa)
{
    const int len = 2 * 256 * 128;
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(len);
    Owned lib(len);
    for (int k = 0; k < len; ++k) {
        const uint32_t e = (k >> 7) & 255, i = k & 127, sign = uint32_t(k >> 15) << 31;
        m.var0[k] = lib.s->pVar0[k] = fdpmodel::fromBits(sign | e << 23 | i << 16 | (k * 0x9E37u & 0xFFFF));
        m.var1[k] = lib.s->pVar1[k] = fdpmodel::fromBits(sign | (255 - e) << 23 | (127 - i) << 16);
        m.cor0[k] = lib.s->pCor0[k] = std::ldexp(1.375f, int(e) - 100);  // k1 near 2^27, down to denormal
        m.cor1[k] = lib.s->pCor1[k] = std::ldexp(-1.625f, 150 - int(e));
        m.r0[k] = lib.s->pR0[k] = 0.75f;
        m.r1[k] = lib.s->pR1[k] = std::ldexp(1.0f, -60);
    }
    std::vector<float> x(len, 0.25f), expected = x;
    const int off[2] = {0, len};
    const unsigned char flag[1] = {1};
    m.inverse(t, expected.data(), 0, len, true);
    ASSERT_EQ(okvsFDPInv_32f_I(x.data(), off, 1, flag, lib.s), okvOk);
    int nonzero = 0;
    for (int k = 0; k < len; ++k) {
        ASSERT_EQ(pattern(x[k]), pattern(expected[k])) << "line " << k;
        nonzero += x[k] != 0.25f;
    }
    expectSameState(lib.s, m, 0);
    EXPECT_GT(nonzero, len / 3);
}

// Residuals of three lines over twelve frames from a numpy float32 transcription: a sinusoid,
// alternating magnitudes near 1e7 and a ramp crossing zero.
TEST(FDP, ResidualsMatchIndependentlyComputedPatterns)
{
    const uint32_t in[3][12] = {
        {0x447A0000, 0x443F35E6, 0x4329F797, 0xC3FC6C4D, 0xC46B8E3B, 0xC46A1D3A, 0xC3F52163, 0x433A832B, 0x4441E437,
         0x4479F6F4, 0x443C79BF, 0x43195FB5},
        {0x4A189680, 0xCA27D8C0, 0x4A371B00, 0xCA465D40, 0x4A559F80, 0xCA64E1C0, 0x4A742400, 0xCA81B320, 0x4A895440,
         0xCA90F560, 0x4A989680, 0xCAA037A0},
        {0x42150000, 0x42090000, 0x41FA0000, 0x41E20000, 0x41CA0000, 0x41B20000, 0x419A0000, 0x41820000, 0x41540000,
         0x41240000, 0x40E80000, 0x40880000}};
    const uint32_t out[3][12] = {
        {0x447A0000u, 0x443F35E6u, 0xC37A0869u, 0xC3EDDC4Du, 0xC40F0E3Bu, 0xC3F23A74u, 0xC2390B18u, 0x438B8196u,
         0x43B3C86Eu, 0x43B5EDE8u, 0x4331E6FCu, 0xC2E14096u},
        {0x4A189680u, 0xCA27D8C0u, 0x499C3600u, 0xC9457500u, 0x49427E00u, 0xC93B8700u, 0x493C9000u, 0xC93D9900u,
         0x4942A200u, 0xC943AB00u, 0x4944B400u, 0xC949BD00u},
        {0x42150000u, 0x42090000u, 0x412E0000u, 0x40600000u, 0x3FE00000u, 0x3F400000u, 0x3E000000u, 0xBF200000u,
         0xBF900000u, 0xBFD80000u, 0xC0080000u, 0xC0240000u}};
    Owned enc(3);
    for (int f = 0; f < 12; ++f) {
        alignas(16) float x[3], r[3];
        for (int k = 0; k < 3; ++k) x[k] = fdpmodel::fromBits(in[k][f]);
        ASSERT_EQ(okvsFDPFwd_32f(x, r, enc.s), okvOk);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(bitsOf(r[k]), out[k][f]) << "line " << k << " frame " << f;
    }
}

// Fwd then Inv with every flag set rebuild the input and keep equal states on every line whose
// residual x - p is exact in single precision (the rest depart for good: (x - p) + p need not be
// x); at any alignment, where both warn and compute the same.
TEST(FDP, ForwardThenInverseIsExactAtAnyAlignment)
{
    const int len = 1023;
    Owned enc(len), dec(len);
    std::mt19937 rng(3);
    std::normal_distribution<float> n(0.0f, 300.0f);
    std::vector<float> buf(len + 8), res(len + 8), prev(len);
    std::vector<bool> departed(len);
    const int off[3] = {0, 517, len};
    const unsigned char flag[2] = {1, 1};
    int exact = 0;
    for (int f = 0; f < 200; ++f) {
        const int shift = f % 4;
        float* x = buf.data() + shift;
        float* r = res.data() + (3 - shift);
        for (int k = 0; k < len; ++k) x[k] = std::round(n(rng) + 0.8f * prev[k]) + 0.0f, prev[k] = x[k];  // no -0: -0 + 0 is +0
        const int misaligned = (reinterpret_cast<uintptr_t>(x) | reinterpret_cast<uintptr_t>(r)) & 15;
        ASSERT_EQ(okvsFDPFwd_32f(x, r, enc.s), misaligned ? okvWrnMisaligned : okvOk);
        for (int k = 0; k < len; ++k)  // r = x - p exactly, so p = x - r, and r + p must be x
            if (double(r[k]) != double(x[k]) - double(x[k] - r[k]) || double(x[k] - r[k]) != double(x[k]) - double(r[k]))
                departed[k] = true;
        ASSERT_EQ(okvsFDPInv_32f_I(r, off, 2, flag, dec.s), reinterpret_cast<uintptr_t>(r) & 15 ? okvWrnMisaligned : okvOk);
        for (int k = 0; k < len; ++k) {
            if (departed[k]) continue;
            ++exact;
            ASSERT_EQ(pattern(r[k]), pattern(x[k])) << "line " << k << " frame " << f;
            for (float* FDPState::*a : {&FDPState::pCor0, &FDPState::pCor1, &FDPState::pVar0, &FDPState::pVar1,
                                        &FDPState::pR0, &FDPState::pR1})
                ASSERT_EQ(pattern((enc.s->*a)[k]), pattern((dec.s->*a)[k])) << "line " << k << " frame " << f;
        }
    }
    EXPECT_GT(exact, 200 * len / 2);
}

// Size and layout in caller memory, a state refused once freed (the call-sequence fuzz target
// checks every status in its order).
TEST(FDP, LayoutAndLifecycle)
{
    int size = 0;
    EXPECT_EQ(okvsFDPGetSize_32f(0, &size), okvErrSize);
    EXPECT_EQ(okvsFDPGetSize_32f(1 << 30, &size), okvErrSize);  // would not fit an int
    ASSERT_EQ(okvsFDPGetSize_32f(1, &size), okvOk);
    EXPECT_EQ(size, 6 * 64 + 128);
    ASSERT_EQ(okvsFDPGetSize_32f(17, &size), okvOk);
    EXPECT_EQ(size, 6 * 128 + 128);
    alignas(64) unsigned char mem[6 * 128 + 128 + 1];
    std::memset(mem, 0xA5, sizeof mem);
    FDPState* s = nullptr;
    ASSERT_EQ(okvsFDPInit_32f(&s, 16, mem + 1), okvOk);  // moved to the next 64-byte boundary
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s), mem + 64);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s->pCor0), mem + 128);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(s->pR1), mem + 128 + 5 * 64);
    for (size_t i = 128 + 6 * 64; i < sizeof mem; ++i) ASSERT_EQ(mem[i], 0xA5) << "byte " << i << " after the state";
    EXPECT_TRUE(s->len == 16 && s->id == 59 && s->selfOwned == 0 && s->pVar1[15] == 1.0f);
    EXPECT_EQ(okvsFDPResetGroup_32f(15, 0x7FFFFFFF, s), okvOk);
    ASSERT_EQ(okvsFDPFree_32f(s), okvOk);
    EXPECT_EQ(s->id, 0);
    float x[16] = {};
    EXPECT_EQ(okvsFDPFwd_32f(x, x, s), okvErrContextMatch);
    EXPECT_EQ(okvsFDPFree_32f(s), okvErrContextMatch);
}

}  // namespace
