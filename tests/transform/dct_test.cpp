// DCT engine: every length 1..300 and some large ones against a double
// reference, forward and inverse, with the documented sizes and checks.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "fft_ref.h"
#include "transform/dct.h"

namespace {

using namespace okv_u8;

std::vector<double> dct2(const std::vector<float>& x, bool inverse) {
    const int n = int(x.size());
    std::vector<double> y(n);
    if (!inverse) {
        // Through a 4N-point DFT of the even symmetric extension placed on odd samples.
        std::vector<xref::cd> a(4 * n, 0.0);
        for (int i = 0; i < n; ++i) a[2 * i + 1] = a[4 * n - 2 * i - 1] = x[i];
        auto f = xref::dft(a, -1);
        for (int k = 0; k < n; ++k) y[k] = f[k].real() / 2 * (k ? std::sqrt(2.0 / n) : std::sqrt(1.0 / n));
        return y;
    }
    std::vector<xref::cd> a(4 * n, 0.0);
    for (int k = 0; k < n; ++k) {
        const double c = x[k] * (k ? std::sqrt(2.0 / n) : std::sqrt(1.0 / n));
        a[k] = c;
        if (k) a[4 * n - k] = c;
    }
    auto f = xref::dft(a, 1);
    for (int i = 0; i < n; ++i) y[i] = f[2 * i + 1].real() / 2 + (x[0] * std::sqrt(1.0 / n)) / 2;
    return y;
}

struct Dct {
    std::vector<uint8_t> mem, init, work;
    OkvsDCTSpec_32f* fwd = nullptr;
    OkvsDCTSpec_32f* inv = nullptr;
    explicit Dct(int n) {
        int s, i, w;
        EXPECT_EQ(okvsDCTFwdGetSize_32f(n, 0, &s, &i, &w), okvOk);
        mem.resize(2 * size_t(s));
        init.resize(i + 1);
        work.resize(w + 5);
        EXPECT_EQ(okvsDCTFwdInit_32f(&fwd, n, 0, mem.data(), init.data()), okvOk);
        EXPECT_EQ(okvsDCTInvInit_32f(&inv, n, 0, mem.data() + s, init.data()), okvOk);
    }
};

void check_len(int n) {
    SCOPED_TRACE(n);
    Dct d(n);
    std::vector<float> x = xref::noise(n, n), y(n), z(n);
    ASSERT_EQ(okvsDCTFwd_32f(x.data(), y.data(), d.fwd, d.work.data() + 5), okvOk);
    const double tol = 6 * std::ldexp(1.0, -24) * std::max(1.0, std::log2(double(n)));
    EXPECT_LE(xref::rel_rms(y.data(), dct2(x, false)), n < 36 ? 4 * tol * std::sqrt(double(n)) : 2 * tol);
    ASSERT_EQ(okvsDCTInv_32f(y.data(), z.data(), d.inv, nullptr), okvOk);
    EXPECT_LE(xref::rel_rms(z.data(), dct2(y, true)), n < 36 ? 4 * tol * std::sqrt(double(n)) : 2 * tol);
    std::vector<double> xd(x.begin(), x.end());
    EXPECT_LE(xref::rel_rms(z.data(), xd), n < 36 ? 8 * tol * std::sqrt(double(n)) : 4 * tol);
    std::vector<float> io = x;
    ASSERT_EQ(okvsDCTFwd_32f(io.data(), io.data(), d.fwd, nullptr), okvOk);
    EXPECT_EQ(0, std::memcmp(io.data(), y.data(), 4 * size_t(n)));
}

TEST(Dct, EveryLengthTo300) {
    for (int n = 1; n <= 300; ++n) check_len(n);
}

TEST(Dct, LargeLengths) {
    for (int n : {1024, 1 << 14, 1000, 4097, 60000, 65536}) check_len(n);
}

// Sizes of every length up to 5000 and around the larger powers of two, composed from the FFT
// sizes by method: kernels, real FFT, direct table, convolution of a power-of-two length.
TEST(Dct, SizesFollowTheMethodOfEachLength) {
    std::vector<int> lengths;
    for (int n = 1; n <= 5000; ++n) lengths.push_back(n);
    for (int p = 13; p <= 24; ++p)
        for (int d : {-2, -1, 0, 1, 2}) lengths.push_back((1 << p) / 2 + d), lengths.push_back((1 << p) + d);
    for (int n : lengths) {
        int s, i, w, fs, fi, fw;
        ASSERT_EQ(okvsDCTInvGetSize_32f(n, 0, &s, &i, &w), okvOk) << n;
        int want[3];
        if (n == 1 || n == 2 || n == 4 || n == 8) {
            want[0] = 160, want[1] = want[2] = 0;
        } else if ((n & (n - 1)) == 0) {
            okvsFFTGetSize_R_32f(std::countr_zero(unsigned(n)), 8, 0, &fs, &fi, &fw);
            want[0] = fs + 4 * n + 192, want[1] = fi ? fi + 64 : 0, want[2] = fw + 4 * n + 64;
        } else if (n < 36) {
            want[0] = 16 * n + 192, want[1] = 0, want[2] = 4 * n + 64;
        } else {
            const int m = n % 2 ? n : n / 2, l = int(std::bit_ceil(unsigned(2 * m - 1)));
            okvsFFTGetSize_C_32fc(std::countr_zero(unsigned(l)), 8, 0, &fs, &fi, &fw);
            want[0] = fs + 8 * (3 * m + l) + 192, want[1] = std::max(fi, fw) + 64, want[2] = fw + 8 * l + 64;
        }
        ASSERT_EQ((std::vector<int>{s, i, w}), (std::vector<int>{want[0], want[1], want[2]})) << n;
        ASSERT_EQ(okvsDCTFwdGetSize_32f(n, 0, &fs, &fi, &fw), okvOk);
        ASSERT_EQ((std::vector<int>{fs, fi, fw}), (std::vector<int>{s, i, w})) << n;
    }
}

TEST(Dct, DocumentedCases) {
    Dct one(1);
    float v = 3.25f, w;
    ASSERT_EQ(okvsDCTFwd_32f(&v, &w, one.fwd, nullptr), okvOk);
    EXPECT_EQ(w, 3.25f);
    Dct six(6);
    float c[6] = {2, 2, 2, 2, 2, 2}, y[6];
    ASSERT_EQ(okvsDCTFwd_32f(c, y, six.fwd, nullptr), okvOk);
    EXPECT_NEAR(y[0], 2 * std::sqrt(6.0), 1e-5);
    for (int k = 1; k < 6; ++k) EXPECT_NEAR(y[k], 0, 1e-5);

    int s, i, ws;
    EXPECT_EQ(okvsDCTFwdGetSize_32f(0, 0, &s, &i, &ws), okvErrSize);
    EXPECT_EQ(okvsDCTFwdGetSize_32f(0, 0, nullptr, &i, &ws), okvErrSize);
    EXPECT_EQ(okvsDCTFwdGetSize_32f(5, 0, nullptr, &i, &ws), okvErrNullPtr);
    EXPECT_EQ(okvsDCTFwdGetSize_32f(1 << 28, 0, &s, &i, &ws), okvOk);
    EXPECT_EQ(okvsDCTFwdGetSize_32f((1 << 25) + 1, 0, &s, &i, &ws), okvErrSize);
    OkvsDCTSpec_32f* spec;
    std::vector<uint8_t> mem(1 << 16);
    EXPECT_EQ(okvsDCTFwdInit_32f(&spec, 0, 0, nullptr, nullptr), okvErrSize);
    EXPECT_EQ(okvsDCTFwdInit_32f(nullptr, 5, 0, mem.data(), nullptr), okvErrNullPtr);
    ASSERT_EQ(okvsDCTFwdInit_32f(&spec, 12, 0, mem.data(), nullptr), okvOk);
    float a[12] = {}, b[12];
    EXPECT_EQ(okvsDCTInv_32f(a, b, spec, nullptr), okvErrContextMatch);
    EXPECT_EQ(okvsDCTFwd_32f(a, nullptr, spec, nullptr), okvErrNullPtr);
}

}  // namespace
