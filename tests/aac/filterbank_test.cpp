// AAC filterbank: the split-radix FFT and the MDCT cores against double-precision transforms,
// the block-floating-point steps against a model, the window tables against the shared text,
// a TDAC round trip through both directions, the sequences' edge cases and the checks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "aac/aac_window_data.h"
#include "aac/fft_aac.h"
#include "aac/mdct_aac_core.h"
#include "okvac.h"

namespace {

using cd = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

TEST(AacFilterbank, FftMatchesDft)
{
    std::mt19937 rng(7);
    for (int order : {5, 6, 9}) {
        const int k = 1 << order;
        // Sum of magnitudes below 2^29: the documented headroom.
        std::uniform_int_distribution<int32_t> d(-(1 << 29) / (2 * k), (1 << 29) / (2 * k));
        std::vector<Okv32sc> x(k);
        for (auto& v : x) v = {d(rng), d(rng)};
        std::vector<Okv32sc> y = x;
        okv_u8::ownsIMDCT_FFT_32sc_I(y.data(), order);
        double worst = 0;
        for (int m = 0; m < k; ++m) {
            cd acc = 0;
            for (int n = 0; n < k; ++n) acc += cd(x[n].re, x[n].im) * std::polar(1.0, -2 * kPi * double(n) * m / k);
            worst = std::max({worst, std::abs(acc.real() - y[m].re), std::abs(acc.imag() - y[m].im)});
        }
        // The hi() truncations round down, so their errors add up coherently in a few bins:
        // about K/8 at most. A wrong twiddle would cost the input amplitude (2^19 / K).
        EXPECT_LT(worst, k / 4) << "order " << order;
    }
}

// Inverse transform (2/N) sum X[k] cos(2 pi / N (n + n0) (k + 1/2)), N = 2M, n0 = (M + 1) / 2.
std::vector<double> imdct(const std::vector<int32_t>& x)
{
    const int m = int(x.size()), n = 2 * m;
    std::vector<double> z(n);
    for (int i = 0; i < n; ++i) {
        double acc = 0;
        for (int k = 0; k < m; ++k) acc += x[k] * std::cos(2 * kPi / n * (i + (m + 1) / 2.0) * (k + 0.5));
        z[i] = 2.0 / n * acc;
    }
    return z;
}

// Forward transform sum u[i] cos(2 pi / N (i + n0) (k + 1/2)).
std::vector<double> mdct(const std::vector<int32_t>& u)
{
    const int n = int(u.size()), m = n / 2;
    std::vector<double> x(m);
    for (int k = 0; k < m; ++k) {
        double acc = 0;
        for (int i = 0; i < n; ++i) acc += u[i] * std::cos(2 * kPi / n * (i + (m + 1) / 2.0) * (k + 0.5));
        x[k] = acc;
    }
    return x;
}

TEST(AacFilterbank, CoresMatchDoubleTransforms)
{
    std::mt19937 rng(11);
    for (int order : {6, 9}) {
        const int m = 2 << order;
        for (int amp : {1 << 10, 1 << 16, 1 << 24}) {
            std::uniform_int_distribution<int32_t> d(-amp, amp);
            std::vector<int32_t> x(m), y(m);
            for (auto& v : x) v = d(rng);
            okv_u8::aacmdct::inverse(x.data(), y.data(), order, true);
            const auto z = imdct(x);
            double worst = 0;
            for (int i = 0; i < 2 * m; ++i) worst = std::max(worst, std::abs(z[i] - okv_u8::aacmdct::imdctSample(y.data(), m, i)));
            EXPECT_LE(worst, 2.0) << "inverse, order " << order << " amplitude " << amp;
            std::vector<int32_t> u(2 * m), X(m);
            std::uniform_int_distribution<int32_t> du(-amp / 8, amp / 8);
            for (auto& v : u) v = du(rng);
            const auto ref = mdct(u);
            okv_u8::aacmdct::forwardPlain(u.data(), X.data(), order);
            worst = 0;
            for (int k = 0; k < m; ++k) worst = std::max(worst, std::abs(2 * ref[k] - X[k]));
            // The plain core runs the FFT at the input scale: its truncation error stays (twice).
            EXPECT_LE(worst, m / 4) << "forward, order " << order << " amplitude " << amp;
            okv_u8::aacmdct::forwardBfp(u.data(), X.data(), order);
            worst = 0;
            for (int k = 0; k < m; ++k) worst = std::max(worst, std::abs(ref[k] / m - X[k]));
            EXPECT_LE(worst, 2.0) << "forward bfp, order " << order << " amplitude " << amp;
        }
    }
}

}  // namespace
