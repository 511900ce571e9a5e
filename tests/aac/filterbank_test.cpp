// AAC filterbank: the FFT and the block-floating-point cores against models of their roundings,
// the window tables against the shared text, and a TDAC round trip through both directions (which
// holds only with a right transform) over every window transition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "aac/aac_window_data.h"
#include "aac/fft_aac.h"
#include "aac/mdct_aac_core.h"
#include "aac/syntax_stream.h"

namespace {

namespace w = okv_u8::aacspectral_data;
using Vec = std::vector<int32_t>;
using I64 = int64_t;
using Pair = std::pair<I64, I64>;

// Split-radix decimation in frequency, the outputs in bit-reversed order: 32-bit wrapping sums; the
// rotation at L/8 as hi(2 (re +- im) * 1518500250); other twiddles as hi of 64-bit sums of 4x (kept
// to 32 bits) times cos or sin in Q30.
int32_t w32(I64 v) { return int32_t(uint32_t(uint64_t(v))); }
int32_t hi(I64 v) { return int32_t(v >> 32); }

void modelFft(Okv32sc* x, int L) {
    if (L == 2) {
        const Okv32sc a = x[0], b = x[1];
        x[0] = {w32(I64(a.re) + b.re), w32(I64(a.im) + b.im)};
        x[1] = {w32(I64(a.re) - b.re), w32(I64(a.im) - b.im)};
    }
    if (L < 4) return;
    const int q = L / 4;
    for (int n = 0; n < q; ++n) {
        const Okv32sc x0 = x[n], x1 = x[n + q], x2 = x[n + 2 * q], x3 = x[n + 3 * q];
        x[n] = {w32(I64(x0.re) + x2.re), w32(I64(x0.im) + x2.im)};
        x[n + q] = {w32(I64(x1.re) + x3.re), w32(I64(x1.im) + x3.im)};
        const I64 ar = w32(I64(x0.re) - x2.re), ai = w32(I64(x0.im) - x2.im);
        const I64 br = w32(I64(x1.re) - x3.re), bi = w32(I64(x1.im) - x3.im);
        const auto turn = [&](I64 re, I64 im, int k) -> Okv32sc {  // (re, im) e^(-2 pi i k n / L)
            if (n == 0) return {int32_t(re), int32_t(im)};
            if (8 * n == L) {
                const I64 r = k == 1 ? re + im : im - re, i = k == 1 ? im - re : -(re + im);
                return {hi(w32(2 * w32(r)) * 1518500250LL), hi(w32(2 * w32(i)) * 1518500250LL)};
            }
            const double t = 2 * M_PI * k * n / L;
            const I64 c = std::llround(std::ldexp(std::cos(t), 30)), s = std::llround(std::ldexp(std::sin(t), 30));
            const I64 r = w32(4 * re), i = w32(4 * im);
            return {hi(r * c + i * s), hi(i * c - r * s)};
        };
        x[n + 2 * q] = turn(w32(ar + bi), w32(ai - br), 1);
        x[n + 3 * q] = turn(w32(ar - bi), w32(ai + br), 3);
    }
    modelFft(x, L / 2);
    modelFft(x + 2 * q, L / 4);
    modelFft(x + 3 * q, L / 4);
}

// Pre-twiddle of the k points (re, im), the block scale as the cores take it, the library's FFT
// (checked above); returns the exponent q of the result.
int modelCore(std::vector<Okv32sc>& z, const int32_t* t, int order, bool bfp, const std::function<Pair(int)>& in) {
    I64 sum = 0;
    int s = 0;
    for (int j = 0; j < int(z.size()); ++j) {
        const auto [re, im] = in(j);
        z[j] = {hi(re * t[2 * j] + im * t[2 * j + 1]), hi(im * t[2 * j] - re * t[2 * j + 1])};
        sum += std::abs(I64(z[j].re)) + std::abs(I64(z[j].im));
    }
    for (; bfp && sum >= (1 << 29); sum /= 2) ++s;
    for (auto& c : z)
        if (s) c = {int32_t((c.re + (I64(1) << (s - 1))) >> s), int32_t((c.im + (I64(1) << (s - 1))) >> s)};
    okv_u8::ownsIMDCT_FFT_32sc_I(z.data(), order);
    return order - s;
}

// The post-twiddle products (re, im) of output pair j.
Pair post(const Okv32sc& z, const int32_t* t, int j) {
    return {I64(z.re) * t[2 * j] + I64(z.im) * t[2 * j + 1], I64(z.im) * t[2 * j] - I64(z.re) * t[2 * j + 1]};
}

Vec modelInverse(const Vec& x, int order, bool bfp) {
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = order == 9 ? w::kTwiddleLong : w::kTwiddleShort;
    std::vector<Okv32sc> z(k);
    const int q = modelCore(z, t, order, bfp, [&](int j) { return Pair(x[2 * j], x[m - 1 - 2 * j]); });
    const auto r = [&](I64 v) -> int32_t {
        if (!bfp) return hi(v);
        return q <= 3 ? int32_t(v >> (q + 28)) : int32_t(((v >> 32) + (I64(1) << (q - 4))) >> (q - 3));
    };
    Vec y(m);
    for (int j = 0; j < k; ++j) {
        const auto [pr, pi] = post(z[j], t, j);
        y[j < k / 2 ? m - 1 - 2 * j : 2 * j - k] = j < k / 2 ? -r(pr) : r(pr);
        y[j < k / 2 ? k - 1 - 2 * j : 2 * j] = j < k / 2 ? -r(pi) : r(pi);
    }
    return y;
}

Vec modelForwardBfp(const Vec& u, int order) {
    const int k = 1 << order, m = 2 * k, h = m / 2;
    const int32_t* t = order == 9 ? w::kTwiddleLong : w::kTwiddleShort;
    std::vector<Okv32sc> z(k);
    const int q = modelCore(z, t, order, true, [&](int j) {
        if (j < k / 2) return Pair(-I64(u[3 * h - 1 - 2 * j]) - u[3 * h + 2 * j], I64(u[h - 1 - 2 * j]) - u[h + 2 * j]);
        return Pair(I64(u[2 * j - h]) - u[3 * h - 1 - 2 * j], -I64(u[h + 2 * j]) - u[5 * h - 1 - 2 * j]);
    });
    const auto r = [&](I64 v) -> int32_t {
        return q <= 2 ? int32_t(v >> (q + 29)) : int32_t(((v >> 32) + (q >= 4 ? I64(1) << (q - 4) : 0)) >> (q - 3));
    };
    Vec x(m);
    for (int j = 0; j < k; ++j) {
        const auto [pr, pi] = post(z[j], t, j);
        x[2 * j] = r(pr);
        x[m - 1 - 2 * j] = r(-pi);
    }
    return x;
}

}  // namespace

// The FFT of every size (128 points only serve other families' banks) to the bit; the last bit of
// the rotation at L/8 shows now and then. Then the cores over amplitudes from quiet to full scale,
// which walk the block scale (and so q) through every rounding branch; the windows against the text.
TEST(AacFilterbank, FftCoresAndWindowsMatchModels) {
    std::mt19937 rng(4);
    for (int order : {5, 6, 7, 9})
        for (int trial = 0; trial < 40; ++trial) {
            const int k = 1 << order, amp = (1 << 27) >> order;  // input magnitudes sum below 2^29
            std::vector<Okv32sc> z(k), x, y;
            for (auto& c : z) c = {int32_t(rng() % (2u * amp)) - amp, int32_t(rng() % (2u * amp)) - amp};
            x = z;
            y = z;
            okv_u8::ownsIMDCT_FFT_32sc_I(x.data(), order);
            modelFft(y.data(), k);
            for (int i = 0; i < k; ++i) {
                int r = 0;
                for (int b = 0; b < order; ++b) r |= (i >> b & 1) << (order - 1 - b);
                ASSERT_TRUE(x[r].re == y[i].re && x[r].im == y[i].im) << "order " << order << " line " << r;
            }
        }
    for (int order : {6, 9})
        for (int bits = 3, m = 2 << order; bits <= 31; ++bits) {
            Vec x(m), u(2 * m), y(m), X(m);
            for (auto& v : x) v = int32_t(rng()) >> (32 - bits);
            for (auto& v : u) v = int32_t(rng()) >> (33 - bits);
            okv_u8::aacmdct::inverse(x.data(), y.data(), order, true);
            ASSERT_EQ(y, modelInverse(x, order, true)) << "inverse, order " << order << " bits " << bits;
            if (bits <= 31 - order) {  // the caller's headroom for the unscaled core
                okv_u8::aacmdct::inverse(x.data(), y.data(), order, false);
                ASSERT_EQ(y, modelInverse(x, order, false)) << "in-place inverse, order " << order << " bits " << bits;
            }
            okv_u8::aacmdct::forwardBfp(u.data(), X.data(), order);
            ASSERT_EQ(X, modelForwardBfp(u, order)) << "forward, order " << order << " bits " << bits;
        }
    const auto rows = aactest::tableRows("kbd_check.txt");  // kind, N, alpha, index, value, Q31
    for (const auto& r : rows) {
        const int n = std::stoi(r[1]), i = std::stoi(r[3]);
        const int32_t* kbd = n == 2048 ? w::kWinKbdLong : w::kWinKbdShort;
        EXPECT_EQ((r[0] == "kbd" ? kbd : n == 2048 ? w::kWinSineLong : w::kWinSineShort)[i], std::stol(r[5])) << n << i;
    }
    if (rows.empty()) GTEST_SKIP() << "shared window check values not found under " << OKV_SHARED_DIR;
}

// Analysis then synthesis over a sequence with every window transition reconstructs the input:
// the plain pair at the Q3 scale (PCM = x / 8), the in-place pair at 2^-7, to within 2^-13 of
// its 2^19 amplitude (the forward core rounds the coefficients to 2^-11); the long-term
// predictor's history update, fed the same spectra, ends in eight times the PCM. PCM saturates
// both ways; step 2 writes every other slot only.
TEST(AacFilterbank, TdacRoundTripThroughEverySequence) {
    const int seqs[][2] = {{0, 0}, {1, 1}, {2, 1}, {2, 0}, {3, 0}, {0, 1}, {1, 0}, {3, 1}, {0, 0}};  // sequence, shape
    std::mt19937 rng(8);
    Vec x(1024 * 10), ov(1024), ovI(1024), work(6144), buf(2048), history(3072);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = int32_t(60000 * std::sin(0.011 * n) + 30000 * std::sin(0.9 * n)) + int32_t(rng() % 20001) - 10000;
    std::vector<Okv16s> pcm(2048, 77);
    for (int f = 0; f < 9; ++f) {
        const int seq = seqs[f][0], shape = seqs[f][1], prev = f ? seqs[f - 1][1] : 0, n = seq == 2 ? 128 : 1024;
        Vec coefs(1024), coefsI(1024), out(1024);
        for (int b = 0; b < (seq == 2 ? 8 : 1); ++b) {  // forward transform with either export
            const int32_t* src = x.data() + 1024 * f + (seq == 2 ? 448 + 128 * b : 0);
            ASSERT_EQ(okvsMDCTFwd_AAC_32s(src, out.data(), src, seq, shape, b ? shape : prev, work.data()), okvOk);
            std::copy(out.begin(), out.begin() + n, coefs.begin() + 128 * b);
            for (int i = 0; i < 2 * n; ++i) buf[i] = src[i] * 512;
            ASSERT_EQ(okvsMDCTFwd_AAC_32s_I(buf.data(), seq, shape, b ? shape : prev, 2048), okvOk);
            std::copy(buf.begin(), buf.begin() + n, coefsI.begin() + 128 * b);
        }
        ASSERT_EQ(okvsLtpUpdate_AAC_32s(coefs.data(), history.data(), seq, shape, prev, work.data()), okvOk);
        ASSERT_EQ(okvsMDCTInv_AAC_32s16s(coefs.data(), pcm.data(), ov.data(), seq, shape, prev, 2), okvOk);
        ASSERT_EQ(okvsMDCTInv_AAC_32s_I(coefsI.data(), ovI.data(), seq, shape, prev, 1024), okvOk);
        for (int i = 0; i < 1024; ++i) ASSERT_LE(std::abs(history[1024 + i] - 8 * pcm[2 * i]), 4) << "history " << f;
        for (int i = 0; i < 1024 && f; ++i) {  // the first half-frame has no overlap yet
            ASSERT_NEAR(pcm[2 * i], x[1024 * f + i] / 8.0, 2.0) << "frame " << f << " sample " << i;
            ASSERT_NEAR(coefsI[i], x[1024 * f + i] * 4.0, 48.0) << "in place, frame " << f << " sample " << i;
        }
    }
    std::fill(pcm.begin(), pcm.end(), 77);
    const auto edge = [](int i) { return (i % 2 ? -1 : 1) * (262120 + i / 2 % 64); };  // (x + 4) >> 3 near +-32768
    for (int i = 0; i < 1024; ++i) ov[i] = edge(i);
    ASSERT_EQ(okvsMDCTInv_AAC_32s16s(Vec(1024).data(), pcm.data(), ov.data(), 0, 0, 0, 2), okvOk);
    for (int i = 0; i < 1024; ++i)
        ASSERT_TRUE(pcm[2 * i] == std::clamp((edge(i) + 4) >> 3, -32768, 32767) && pcm[2 * i + 1] == 77) << i;
}
