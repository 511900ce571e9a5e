// AAC filterbank: the block-floating-point cores against a model of their roundings, the window
// tables against the shared text, a TDAC round trip through both directions (which holds only
// with a right transform) and the sequences' edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "aac/aac_window_data.h"
#include "aac/fft_aac.h"
#include "aac/mdct_aac_core.h"
#include "aac/syntax_stream.h"
#include "okvac.h"

namespace {

namespace w = okv_u8::aacspectral_data;

int64_t hi(int64_t v) { return v >> 32; }

// Returns s and scales z as the block floating point does.
int modelScale(std::vector<Okv32sc>& z)
{
    int64_t sum = 0;
    for (auto& c : z) sum += std::abs(int64_t(c.re)) + std::abs(int64_t(c.im));
    int s = 0;
    for (; sum >= (1 << 29); sum /= 2) ++s;
    for (auto& c : z)
        if (s) c = {int32_t((c.re + (int64_t(1) << (s - 1))) >> s), int32_t((c.im + (int64_t(1) << (s - 1))) >> s)};
    return s;
}

std::vector<int32_t> modelInverse(const std::vector<int32_t>& x, int order, bool bfp)
{
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = order == 9 ? w::kTwiddleLong : w::kTwiddleShort;
    std::vector<Okv32sc> z(k);
    for (int j = 0; j < k; ++j) {
        const int64_t re = x[2 * j], im = x[m - 1 - 2 * j];
        z[j] = {int32_t(hi(re * t[2 * j] + im * t[2 * j + 1])), int32_t(hi(im * t[2 * j] - re * t[2 * j + 1]))};
    }
    const int q = order - (bfp ? modelScale(z) : 0);
    okv_u8::ownsIMDCT_FFT_32sc_I(z.data(), order);
    auto r = [&](int64_t v) -> int32_t {
        if (!bfp) return int32_t(hi(v));
        return q <= 3 ? int32_t(v >> (q + 28)) : int32_t((hi(v) + (int64_t(1) << (q - 4))) >> (q - 3));
    };
    std::vector<int32_t> y(m);
    for (int j = 0; j < k; ++j) {
        const int64_t pr = int64_t(z[j].re) * t[2 * j] + int64_t(z[j].im) * t[2 * j + 1];
        const int64_t pi = int64_t(z[j].im) * t[2 * j] - int64_t(z[j].re) * t[2 * j + 1];
        if (j < k / 2) {
            y[m - 1 - 2 * j] = -r(pr);
            y[k - 1 - 2 * j] = -r(pi);
        } else {
            y[2 * j - k] = r(pr);
            y[2 * j] = r(pi);
        }
    }
    return y;
}

std::vector<int32_t> modelForwardBfp(const std::vector<int32_t>& u, int order)
{
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = order == 9 ? w::kTwiddleLong : w::kTwiddleShort;
    std::vector<Okv32sc> z(k);
    for (int j = 0; j < k; ++j) {
        const int64_t re = j < k / 2 ? -int64_t(u[3 * m / 2 - 1 - 2 * j]) - u[3 * m / 2 + 2 * j]
                                     : int64_t(u[2 * j - m / 2]) - u[3 * m / 2 - 1 - 2 * j];
        const int64_t im = j < k / 2 ? int64_t(u[m / 2 - 1 - 2 * j]) - u[m / 2 + 2 * j]
                                     : -int64_t(u[m / 2 + 2 * j]) - u[5 * m / 2 - 1 - 2 * j];
        z[j] = {int32_t(hi(re * t[2 * j] + im * t[2 * j + 1])), int32_t(hi(im * t[2 * j] - re * t[2 * j + 1]))};
    }
    const int q = order - modelScale(z);
    okv_u8::ownsIMDCT_FFT_32sc_I(z.data(), order);
    auto r = [&](int64_t v) -> int32_t {
        if (q <= 2) return int32_t(v >> (q + 29));
        return int32_t((hi(v) + (q >= 4 ? int64_t(1) << (q - 4) : 0)) >> (q - 3));
    };
    std::vector<int32_t> x(m);
    for (int j = 0; j < k; ++j) {
        x[2 * j] = r(int64_t(z[j].re) * t[2 * j] + int64_t(z[j].im) * t[2 * j + 1]);
        x[m - 1 - 2 * j] = r(-(int64_t(z[j].im) * t[2 * j] - int64_t(z[j].re) * t[2 * j + 1]));
    }
    return x;
}

// Amplitudes from quiet to full scale walk the scale s (and so q) through every rounding branch.
TEST(AacFilterbank, BlockScaleAndRoundingsMatchModel)
{
    std::mt19937 rng(2);
    for (int order : {6, 9}) {
        const int m = 2 << order;
        for (int bits = 3; bits <= 31; ++bits) {
            std::vector<int32_t> x(m), u(2 * m), y(m), X(m);
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
    }
}

// The round trip needs power-complementary windows; the values come from the shared text.
TEST(AacFilterbank, WindowTablesMatchSharedText)
{
    const auto rows = aactest::tableRows("kbd_check.txt");
    if (rows.empty()) GTEST_SKIP() << "shared window check values not found under " << OKV_SHARED_DIR;
    for (const auto& r : rows) {  // kind, N, alpha, index, value, Q31
        const int n = std::stoi(r[1]), i = std::stoi(r[3]);
        const int32_t* win = r[0] == "kbd" ? (n == 2048 ? w::kWinKbdLong : w::kWinKbdShort)
                                           : (n == 2048 ? w::kWinSineLong : w::kWinSineShort);
        EXPECT_EQ(win[i], std::stol(r[5])) << r[0] << " " << n << " " << i;
    }
    EXPECT_GE(rows.size(), 32u);
}

// ---- the exports over frame sequences ----

struct Frame {
    int seq, shape;
};

// Forward transform of one frame (2048 samples from x) with either export.
std::vector<int32_t> forward(const int32_t* x, Frame f, int prev, bool inPlace)
{
    std::vector<int32_t> coefs(1024), work(2048), buf(2048);
    for (int b = 0; b < (f.seq == 2 ? 8 : 1); ++b) {
        const int32_t* src = f.seq == 2 ? x + 448 + 128 * b : x;
        const int pr = f.seq == 2 && b ? f.shape : prev;
        int32_t* dst = coefs.data() + 128 * b;
        if (inPlace) {
            std::copy(src, src + (f.seq == 2 ? 256 : 2048), buf.begin());
            EXPECT_EQ(okvsMDCTFwd_AAC_32s_I(buf.data(), f.seq, f.shape, pr, 2048), okvOk);
            std::copy(buf.begin(), buf.begin() + (f.seq == 2 ? 128 : 1024), dst);
        } else {
            std::vector<int32_t> out(1024);
            EXPECT_EQ(okvsMDCTFwd_AAC_32s(src, out.data(), src, f.seq, f.shape, pr, work.data()), okvOk);
            std::copy(out.begin(), out.begin() + (f.seq == 2 ? 128 : 1024), dst);
        }
    }
    return coefs;
}

// Analysis then synthesis over a sequence with every window transition reconstructs the
// input: the plain pair at the Q3 scale (PCM = x / 8), the in-place pair at 2^-7, to
// within 2^-13 of its 2^19 amplitude (the forward core rounds the coefficients to 2^-11).
TEST(AacFilterbank, TdacRoundTripThroughEverySequence)
{
    const Frame seqs[] = {{0, 0}, {1, 1}, {2, 1}, {2, 0}, {3, 0}, {0, 1}, {1, 0}, {3, 1}, {0, 0}};
    const int frames = int(std::size(seqs));
    std::mt19937 rng(8);
    std::vector<int32_t> x(1024 * (frames + 1));
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = int32_t(60000 * std::sin(0.011 * n) + 30000 * std::sin(0.9 * n)) + int32_t(rng() % 20001) - 10000;
    std::vector<int32_t> ov(1024), ovI(1024);
    std::vector<Okv16s> pcm(2048);
    for (int f = 0; f < frames; ++f) {
        const int prev = f ? seqs[f - 1].shape : 0;
        auto coefs = forward(x.data() + 1024 * f, seqs[f], prev, false);
        ASSERT_EQ(okvsMDCTInv_AAC_32s16s(coefs.data(), pcm.data(), ov.data(), seqs[f].seq, seqs[f].shape, prev, 2), okvOk);
        std::vector<int32_t> big(x.begin() + 1024 * f, x.begin() + 1024 * f + 2048);
        for (auto& v : big) v *= 512;
        auto coefsI = forward(big.data(), seqs[f], prev, true);
        ASSERT_EQ(okvsMDCTInv_AAC_32s_I(coefsI.data(), ovI.data(), seqs[f].seq, seqs[f].shape, prev, 1024), okvOk);
        if (f == 0) continue;  // the first half-frame has no overlap yet
        for (int n = 0; n < 1024; ++n) {
            const int32_t ref = x[1024 * f + n];
            ASSERT_NEAR(pcm[2 * n], ref / 8.0, 2.0) << "frame " << f << " sample " << n;
            ASSERT_NEAR(coefsI[n], ref * 4.0, 48.0) << "in place, frame " << f << " sample " << n;
        }
    }
}

// PCM saturates both ways; step 2 writes every other slot only.
TEST(AacFilterbank, PcmSaturationAndStep) {
    std::vector<int32_t> coefs(1024), ov(1024);
    std::vector<Okv16s> pcm(2048, 77);
    for (int n = 0; n < 1024; ++n) ov[n] = n % 2 ? -(1 << 20) : 1 << 20;
    ASSERT_EQ(okvsMDCTInv_AAC_32s16s(coefs.data(), pcm.data(), ov.data(), 0, 0, 0, 2), okvOk);
    for (int n = 0; n < 1024; ++n) ASSERT_EQ(std::vector<int>({pcm[2 * n], pcm[2 * n + 1]}), std::vector<int>({n % 2 ? -32768 : 32767, 77})) << n;
}

}  // namespace
