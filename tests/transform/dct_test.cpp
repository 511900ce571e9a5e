// DCT engine: lengths to 300 and some large ones against the defining sums, sizes by method.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "fft_ref.h"
#include "transform/dct.h"

using namespace okv_u8;

// Orthonormal DCT-II, or its transpose, by the defining sum.
std::vector<double> dct2(const std::vector<float>& x, bool inverse) {
    const int n = int(x.size());
    std::vector<double> y(n);
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < n; ++i) {
            const int f = inverse ? i : k;
            y[k] += x[i] * std::sqrt((f ? 2.0 : 1.0) / n) * std::cos(M_PI * (2 * (inverse ? k : i) + 1) * f / (2.0 * n));
        }
    return y;
}

TEST(Dct, EveryLengthTo300AndLargeOnesBothWays) {
    std::vector<int> lengths = {1000, 1024};
    for (int n = 1; n <= 300; ++n) lengths.push_back(n);
    for (int n : lengths) {
        SCOPED_TRACE(n);
        xref::Mem m([n](int* s, int* i, int* w) { return okvsDCTFwdGetSize_32f(n, 0, s, i, w); }, 2);
        OkvsDCTSpec_32f *fwd, *inv;
        ASSERT_EQ(okvsDCTFwdInit_32f(&fwd, n, 0, m.mem.data(), m.init.data()), okvOk);
        ASSERT_EQ(okvsDCTInvInit_32f(&inv, n, 0, m.mem.data() + m.s, m.init.data()), okvOk);
        std::vector<float> x = xref::noise(size_t(n), uint32_t(n)), y(n), z(n), io = x;
        const double tol = 6 * std::ldexp(1.0, -24) * std::max(1.0, std::log2(double(n)));
        const double t = n < 36 ? 4 * tol * std::sqrt(double(n)) : 2 * tol;
        float* xe = xref::page_end(size_t(n));
        ASSERT_NE(xe, nullptr);
        std::copy(x.begin(), x.end(), xe);
        ASSERT_EQ(okvsDCTFwd_32f(xe, y.data(), fwd, m.work.data() + 5), okvOk);
        EXPECT_LE(xref::rel_rms(y.data(), dct2(x, false)), t);
        ASSERT_EQ(okvsDCTInv_32f(y.data(), z.data(), inv, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(z.data(), dct2(y, true)), t);
        ASSERT_EQ(okvsDCTFwd_32f(io.data(), io.data(), fwd, nullptr), okvOk);
        EXPECT_EQ(0, std::memcmp(io.data(), y.data(), 4 * size_t(n)));
    }
}

// Sizes by method (kernels, real FFT, direct table, power-of-two convolution) from the FFT sizes.
TEST(Dct, SizesFollowTheMethodOfEachLength) {
    std::vector<int> lengths;
    for (int n = 1; n <= 5000; ++n) lengths.push_back(n);
    for (int p = 13; p <= 24; ++p)
        for (int d : {-2, -1, 0, 1, 2}) lengths.push_back((1 << p) / 2 + d), lengths.push_back((1 << p) + d);
    for (int n : lengths) {
        int s, i, w, fs, fi, fw;
        std::vector<int> want;
        if (n == 1 || n == 2 || n == 4 || n == 8) {
            want = {160, 0, 0};
        } else if ((n & (n - 1)) == 0) {
            okvsFFTGetSize_R_32f(std::countr_zero(unsigned(n)), 8, 0, &fs, &fi, &fw);
            want = {fs + 4 * n + 192, fi ? fi + 64 : 0, fw + 4 * n + 64};
        } else if (n < 36) {
            want = {16 * n + 192, 0, 4 * n + 64};
        } else {
            const int m = n % 2 ? n : n / 2, l = int(std::bit_ceil(unsigned(2 * m - 1)));
            okvsFFTGetSize_C_32fc(std::countr_zero(unsigned(l)), 8, 0, &fs, &fi, &fw);
            want = {fs + 8 * (3 * m + l) + 192, std::max(fi, fw) + 64, fw + 8 * l + 64};
        }
        ASSERT_EQ(okvsDCTInvGetSize_32f(n, 0, &s, &i, &w), okvOk) << n;
        ASSERT_EQ((std::vector<int>{s, i, w}), want) << n;
        ASSERT_EQ(okvsDCTFwdGetSize_32f(n, 0, &fs, &fi, &fw), okvOk);
        ASSERT_EQ((std::vector<int>{fs, fi, fw}), want) << n;
    }
}
