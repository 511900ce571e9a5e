// Kernels of the fixed-point QMF modulation: the four-lane rotations and scalings against the
// 64-bit formula they stand for, bit for bit at the limits of every input and factor sign, and
// the 16- and 32-point FFTs against a double-precision DFT.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sbr/qmf_fixed.h"

using namespace okv_u8::qmffx;

namespace {

// Bits sh .. sh + 31 of the exact value v + 2^(sh-1).
Okv32s narrowed(int64_t v, int sh) { return Okv32s(uint32_t(uint64_t(v + (int64_t{1} << (sh - 1))) >> sh)); }

Okv32s draw(std::mt19937& g) {
    static const Okv32s edges[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX};
    return (g() & 3) ? Okv32s(g()) : edges[g() % 6];
}

// A Q30 factor in [-2^30, 2^30], negative only when allowed; ends of the range included.
Okv32s factor(std::mt19937& g, bool negative) {
    const Okv32s v = (g() & 7) ? Okv32s(g() % ((1u << 30) + 1)) : ((g() & 1) ? (1 << 30) : 0);
    return negative && (g() & 1) ? -v : v;
}

template <int SH, int Neg>
void checkRotations(std::mt19937& g) {
    for (int round = 0; round < 4000; ++round) {
        Turn4 w{};
        Okv32s c[4], s[4];
        for (int n = 0; n < 4; ++n) {
            c[n] = factor(g, Neg & kNegC);
            s[n] = -factor(g, Neg & kNegT);  // t = -s
            setTurn(w, n, c[n], s[n], SH);
        }
        alignas(16) Okv32s x[4], y[4], re[4], im[4];
        for (int n = 0; n < 4; ++n) x[n] = draw(g), y[n] = draw(g);
        const Vec4c r = rotate4<SH, Neg>({load4a(x), load4a(y)}, w);
        store4a(re, r.re);
        store4a(im, r.im);
        for (int n = 0; n < 4; ++n) {
            ASSERT_EQ(re[n], narrowed(int64_t(x[n]) * c[n] - int64_t(y[n]) * s[n], SH)) << SH << " " << Neg << " " << n;
            ASSERT_EQ(im[n], narrowed(int64_t(x[n]) * s[n] + int64_t(y[n]) * c[n], SH)) << SH << " " << Neg << " " << n;
        }
    }
}

TEST(SbrQmfFixedKernels, RotationsAndScalingAreExact) {
    std::mt19937 g(5);
    checkRotations<28, 0>(g);
    checkRotations<29, 0>(g);
    checkRotations<32, 0>(g);
    checkRotations<30, kNegC>(g);
    checkRotations<29, kNegC | kNegT>(g);
    checkRotations<30, kNegC | kNegT>(g);
    for (int round = 0; round < 4000; ++round) {
        alignas(16) Okv32s x[4], y[4];
        for (Okv32s& v : x) v = draw(g);
        store4a(y, mulPositive<30, kSqrtHalfQ30>(load4a(x)));
        for (int n = 0; n < 4; ++n) ASSERT_EQ(y[n], narrowed(int64_t(x[n]) * kSqrtHalfQ30, 30)) << x[n];
    }
}

// Random values at 2^31 / (2N) (no sum can wrap) and single impulses at that level, against
// the exact DFT: the error stays within a few units per stage.
template <int N>
void checkFft(std::mt19937& g) {
    const Okv32s limit = (1 << 30) / N;
    for (int round = 0; round < 300; ++round) {
        alignas(16) Okv32s re[N], im[N];
        for (int n = 0; n < N; ++n) {
            re[n] = round < N ? (n == round ? limit : 0) : Okv32s(g() % (2u * limit)) - limit;
            im[n] = round < N ? 0 : Okv32s(g() % (2u * limit)) - limit;
        }
        double xr[N], xi[N];
        std::copy(re, re + N, xr);
        std::copy(im, im + N, xi);
        fft<N>(re, im);
        for (int k = 0; k < N; ++k) {
            double sr = 0, si = 0;
            for (int n = 0; n < N; ++n) {
                const double a = -2 * M_PI * double(n * k % N) / N;
                sr += xr[n] * std::cos(a) - xi[n] * std::sin(a);
                si += xr[n] * std::sin(a) + xi[n] * std::cos(a);
            }
            ASSERT_NEAR(re[k], sr, 4) << N << " round " << round << " k " << k;
            ASSERT_NEAR(im[k], si, 4) << N << " round " << round << " k " << k;
        }
    }
}

TEST(SbrQmfFixedKernels, FftMatchesTheDft) {
    std::mt19937 g(8);
    checkFft<16>(g);
    checkFft<32>(g);
}

}  // namespace
