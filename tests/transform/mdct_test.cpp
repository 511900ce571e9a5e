// Generic MDCT: sizes, lifecycle and check order, float accuracy against the
// textbook definition, the 16-bit pipeline to the bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "fft_ref.h"
#include "okvac.h"
#include "transform/fft.h"

namespace {

// X[k] = 2 sum x[n] cos(2 pi / N (n + 1/2 + N/4)(k + 1/2)), and its transpose.
std::vector<double> mdct_ref(const std::vector<float>& x, bool inverse = false) {
    const int n = inverse ? int(2 * x.size()) : int(x.size());
    std::vector<double> y(inverse ? n : n / 2, 0.0);
    for (int k = 0; k < n / 2; ++k)
        for (int i = 0; i < n; ++i) {
            const double c = 2 * std::cos(2 * M_PI / n * (i + 0.5 + n / 4.0) * (k + 0.5));
            if (inverse)
                y[i] += x[k] * c;
            else
                y[k] += x[i] * c;
        }
    return y;
}

// The same definitions evaluated through an N-point double DFT (large sizes).
std::vector<double> mdct_fast(const std::vector<float>& x, bool inverse) {
    const int n = inverse ? int(2 * x.size()) : int(x.size());
    const double n0 = 0.5 + n / 4.0;
    std::vector<xref::cd> a(n, 0.0);
    if (!inverse) {
        for (int i = 0; i < n; ++i) a[i] = double(x[i]) * std::polar(1.0, -M_PI * i / n);
        auto f = xref::dft(a, -1);
        std::vector<double> y(n / 2);
        for (int k = 0; k < n / 2; ++k) y[k] = 2 * (f[k] * std::polar(1.0, -2 * M_PI / n * n0 * (k + 0.5))).real();
        return y;
    }
    for (int k = 0; k < n / 2; ++k) a[k] = double(x[k]) * std::polar(1.0, 2 * M_PI / n * n0 * k);
    auto f = xref::dft(a, 1);
    std::vector<double> y(n);
    for (int i = 0; i < n; ++i) y[i] = 2 * (f[i] * std::polar(1.0, M_PI * (i + n0) / n)).real();
    return y;
}

struct FloatMdct {
    std::vector<uint8_t> mem, init, work;
    OkvsMDCTFwdSpec_32f* fwd = nullptr;
    OkvsMDCTInvSpec_32f* inv = nullptr;
    explicit FloatMdct(int len) {
        int s, i, w;
        EXPECT_EQ(okvsMDCTFwdGetSize_32f(len, &s, &i, &w), okvOk);
        mem.resize(2 * s);
        init.resize(i + 1);
        work.resize(w + 3);
        EXPECT_EQ(okvsMDCTFwdInit_32f(&fwd, len, mem.data() + 3, init.data()), okvOk);
        EXPECT_EQ(okvsMDCTInvInit_32f(&inv, len, mem.data() + s, init.data()), okvOk);
    }
};

double tolerance(int len) { return 4 * std::ldexp(1.0, -24) * std::max(1.0, std::log2(len / 4.0)); }

TEST(MdctFloat, ForwardAndInverseMatchTheDefinition) {
    std::vector<int> lens = {12, 36};
    for (int len = 32; len <= 65536; len *= 2) lens.push_back(len);
    for (int len : lens) {
        SCOPED_TRACE(len);
        FloatMdct m(len);
        std::vector<float> x = xref::noise(len, len), y(len / 2);
        ASSERT_EQ(okvsMDCTFwd_32f(x.data(), y.data(), m.fwd, m.work.data() + 3), okvOk);
        EXPECT_LE(xref::rel_rms(y.data(), len <= 4096 ? mdct_ref(x) : mdct_fast(x, false)), tolerance(len));
        std::vector<float> io = x;
        ASSERT_EQ(okvsMDCTFwd_32f_I(io.data(), m.fwd, nullptr), okvOk);
        EXPECT_EQ(0, std::memcmp(io.data(), y.data(), 2 * size_t(len)));

        std::vector<float> s = xref::noise(len / 2, len + 1), t(len);
        ASSERT_EQ(okvsMDCTInv_32f(s.data(), t.data(), m.inv, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(t.data(), len <= 4096 ? mdct_ref(s, true) : mdct_fast(s, true)), tolerance(len));
        std::vector<float> io2(len);
        std::copy(s.begin(), s.end(), io2.begin());
        ASSERT_EQ(okvsMDCTInv_32f_I(io2.data(), m.inv, m.work.data()), okvOk);
        EXPECT_EQ(0, std::memcmp(io2.data(), t.data(), 4 * size_t(len)));
    }
}

TEST(MdctFloat, SizesAndChecks) {
    int s, i, w;
    // Documented sizes (spec, init, work).
    const int sizes[][4] = {{64, 568, 0, 448}, {1 << 15, 139880, 8320, 196864}, {12, 192, 0, 176}, {36, 240, 0, 272}};
    for (const auto& z : sizes)
        for (auto get : {okvsMDCTFwdGetSize_32f, okvsMDCTInvGetSize_32f}) {
            ASSERT_EQ(get(z[0], &s, &i, &w), okvOk);
            EXPECT_EQ((std::vector<int>{s, i, w}), (std::vector<int>{z[1], z[2], z[3]})) << z[0];
        }
    for (int len : {48, 16, 0, -64, 24, 100})
        EXPECT_EQ(okvsMDCTFwdGetSize_32f(len, &s, &i, &w), okvErrSize) << len;
    EXPECT_EQ(okvsMDCTFwdGetSize_32f(48, nullptr, &i, &w), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTFwdGetSize_32f(1 << 28, &s, &i, &w), okvOk);
    EXPECT_EQ(okvsMDCTFwdGetSize_32f(1 << 29, &s, &i, &w), okvErrSize);  // sizes beyond 2^31 bytes

    FloatMdct m(64);
    float x[64] = {}, y[64];
    // Spec pointer and identifier are checked before the data pointers.
    EXPECT_EQ(okvsMDCTFwd_32f(nullptr, nullptr, nullptr, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTInv_32f(nullptr, nullptr, reinterpret_cast<const OkvsMDCTInvSpec_32f*>(m.fwd), nullptr),
              okvErrContextMatch);
    EXPECT_EQ(okvsMDCTInv_32f_I(x, reinterpret_cast<const OkvsMDCTInvSpec_32f*>(m.fwd), nullptr),
              okvErrContextMatch);
    EXPECT_EQ(okvsMDCTFwd_32f(x, nullptr, m.fwd, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTFwd_32f(x, y, m.fwd, nullptr), okvOk);
    int size;
    EXPECT_EQ(okvsMDCTInvGetBufSize_32f(reinterpret_cast<const OkvsMDCTInvSpec_32f*>(m.fwd), &size),
              okvErrContextMatch);
    EXPECT_EQ(okvsMDCTFwdGetBufSize_32f(m.fwd, nullptr), okvErrNullPtr);
    ASSERT_EQ(okvsMDCTFwdGetBufSize_32f(m.fwd, &size), okvOk);
    EXPECT_EQ(size, int(m.work.size()) - 3);
    std::vector<uint8_t> mem(1 << 20);
    OkvsMDCTFwdSpec_32f* f = nullptr;
    EXPECT_EQ(okvsMDCTFwdInit_32f(&f, 64, nullptr, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTFwdInit_32f(&f, 40, mem.data(), nullptr), okvErrSize);
    // 2^13 points need the inner FFT's init buffer.
    EXPECT_EQ(okvsMDCTFwdInit_32f(&f, 1 << 13, mem.data(), nullptr), okvErrNullPtr);

    ASSERT_EQ(okvsMDCTFwdInitAlloc_32f(&f, 256), okvOk);
    EXPECT_EQ(okvsMDCTFwdFree_32f(f), okvOk);
    OkvsMDCTInvSpec_32f* g = nullptr;
    ASSERT_EQ(okvsMDCTInvInitAlloc_32f(&g, 1 << 14), okvOk);
    EXPECT_EQ(okvsMDCTFwdFree_32f(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(g)), okvErrContextMatch);
    EXPECT_EQ(okvsMDCTInvFree_32f(g), okvOk);
    EXPECT_EQ(okvsMDCTInvInitAlloc_32f(&g, 20), okvErrSize);
    EXPECT_EQ(okvsMDCTInvFree_32f(nullptr), okvErrNullPtr);
}

struct Mdct16 {
    std::vector<uint8_t> mem, init, work;
    OkvsMDCTFwdSpec_16s* spec = nullptr;
    explicit Mdct16(int len) {
        int s, i, w;
        EXPECT_EQ(okvsMDCTFwdGetSize_16s(len, &s, &i, &w), okvOk);
        mem.resize(s);
        init.resize(i);
        work.resize(w);
        EXPECT_EQ(okvsMDCTFwdInit_16s(&spec, len, mem.data(), init.data()), okvOk);
    }
};

// The fixed-point pipeline restated around the library's 16-bit FFT.
std::vector<int16_t> mdct16_model(const std::vector<int16_t>& x, int sf) {
    const int n = int(x.size()), q = n / 4, order = __builtin_ctz(q);
    int peak = 0;
    for (int16_t v : x) peak = std::max(peak, std::abs(int(v)));
    if (peak == 0) return std::vector<int16_t>(n / 2, 0);
    int d = 0;
    while (peak * (1 << d) < 16385) ++d;
    const int h = d + (peak * (1 << d) < 23169 ? 1 : 0);
    const int64_t r = h < 16 ? int64_t(1) << (15 - h) : 0;
    std::vector<int16_t> s16(q), c16(q);
    for (int m = 0; m < q; ++m) {
        const double a = (m + 0.125) * 2 * M_PI / n;
        s16[m] = int16_t(std::floor(16384 * std::sin(a) + 0.5));
        c16[m] = int16_t(std::floor(16384 * std::cos(a) + 0.5));
    }
    std::vector<Okv16sc> z(q);
    for (int m = 0; m < q; ++m) {
        int32_t u, v;
        if (m < q / 2) {
            u = -x[n - q + 2 * m] - x[n - q - 2 * m - 1];
            v = x[q - 2 * m - 1] - x[q + 2 * m];
        } else {
            u = x[2 * m - q] - x[n - q - 2 * m - 1];
            v = -x[n + q - 2 * m - 1] - x[q + 2 * m];
        }
        z[m].re = int16_t((int64_t(c16[m]) * u + r + int64_t(s16[m]) * v) >> (16 - h));
        z[m].im = int16_t((r - int64_t(s16[m]) * u + int64_t(c16[m]) * v) >> (16 - h));
    }
    std::vector<uint8_t> mem(1 << 20), init(1 << 16), work(1 << 20);
    okv_u8::OkvsFFTSpec_16sc* fft;
    EXPECT_EQ(okv_u8::okvsFFTInit_C_16sc(&fft, order, 8, 0, mem.data(), init.data()), okvOk);
    EXPECT_EQ(okv_u8::okvsFFTFwd_CToC_16sc_Sfs(z.data(), z.data(), fft, order + 1, work.data()), okvOk);
    std::vector<int16_t> y(n / 2);
    const int shift = sf - order + h + 10;
    auto sfs = [&](int64_t v) {
        if (shift > 0) {
            const int64_t half = int64_t(1) << (shift - 1);
            int64_t fl = v >> shift, rem = v - (fl << shift);
            if (rem > half || (rem == half && (fl & 1))) ++fl;
            v = fl;
        } else {
            for (int i = 0; i < -shift && std::abs(v) < 1 << 20; ++i) v *= 2;
        }
        return int16_t(std::clamp<int64_t>(v, -32768, 32767));
    };
    for (int m = 0; m < q; ++m) {
        y[2 * m] = sfs(int64_t(c16[m]) * z[m].re + int64_t(s16[m]) * z[m].im);
        y[n / 2 - 1 - 2 * m] = sfs(int64_t(s16[m]) * z[m].re - int64_t(c16[m]) * z[m].im);
    }
    return y;
}

TEST(Mdct16s, PipelineToTheBitAndCloseToFloat) {
    std::mt19937 g(3);
    for (int len = 32; len <= 4096; len *= 2)
        for (int amp : {1, 3, 180, 20000, 32768}) {
            SCOPED_TRACE(testing::Message() << len << " amp " << amp);
            Mdct16 m(len);
            std::vector<int16_t> x(len);
            for (auto& v : x) v = int16_t(std::clamp<int>(int(g() % (2 * amp + 1)) - amp, -32768, 32767));
            for (int sf : {0, 3, 8}) {
                std::vector<int16_t> y(len / 2);
                ASSERT_EQ(okvsMDCTFwd_16s_Sfs(x.data(), y.data(), m.spec, sf, m.work.data()), okvOk);
                std::vector<int16_t> want = mdct16_model(x, sf);
                ASSERT_EQ(0, std::memcmp(y.data(), want.data(), len)) << "sf " << sf;
                if (amp >= 20000 && sf == 8) {
                    // Full-scale input against the float definition times 2^-8 (nothing
                    // saturates): the 16-bit pipeline keeps about 9 bits.
                    std::vector<float> xf(x.begin(), x.end());
                    std::vector<double> ref = mdct_ref(xf);
                    for (double& v : ref) v = std::ldexp(v, -sf);
                    EXPECT_LE(xref::rel_rms(y.data(), ref), 4e-3);
                }
            }
        }
}

TEST(Mdct16s, SizesZeroBlockAndChecks) {
    int s, i, w;
    for (int len : {12, 36, 16, 48})
        EXPECT_EQ(okvsMDCTFwdGetSize_16s(len, &s, &i, &w), okvErrSize) << len;
    const int sizes[][4] = {{32, 584, 128, 224}, {1024, 4136, 64, 5312}};
    for (const auto& z : sizes) {
        ASSERT_EQ(okvsMDCTFwdGetSize_16s(z[0], &s, &i, &w), okvOk);
        EXPECT_EQ((std::vector<int>{s, i, w}), (std::vector<int>{z[1], z[2], z[3]})) << z[0];
    }
    Mdct16 m(64);
    std::vector<int16_t> zero(64, 0), y(32, 99);
    ASSERT_EQ(okvsMDCTFwd_16s_Sfs(zero.data(), y.data(), m.spec, 0, nullptr), okvOk);
    EXPECT_EQ(std::count(y.begin(), y.end(), 0), 32);
    EXPECT_EQ(okvsMDCTFwd_16s_Sfs(nullptr, y.data(), m.spec, 0, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsMDCTFwd_16s_Sfs(zero.data(), y.data(), nullptr, 0, nullptr), okvErrNullPtr);
    OkvsMDCTFwdSpec_16s* a = nullptr;
    ASSERT_EQ(okvsMDCTFwdInitAlloc_16s(&a, 512), okvOk);
    ASSERT_EQ(okvsMDCTFwdGetBufSize_16s(a, &w), okvOk);
    ASSERT_EQ(okvsMDCTFwdGetSize_16s(512, &s, &i, &s), okvOk);
    EXPECT_EQ(w, s);
    EXPECT_EQ(okvsMDCTFwdFree_16s(a), okvOk);
    // A freed caller-memory spec is refused afterwards.
    EXPECT_EQ(okvsMDCTFwdFree_16s(m.spec), okvOk);
    EXPECT_EQ(okvsMDCTFwd_16s_Sfs(zero.data(), y.data(), m.spec, 0, nullptr), okvErrContextMatch);
    EXPECT_EQ(okvsMDCTFwdFree_16s(m.spec), okvErrContextMatch);
    std::vector<uint8_t> mem(4096);
    EXPECT_EQ(okvsMDCTFwdInit_16s(&a, 64, mem.data(), nullptr), okvErrNullPtr);
}

}  // namespace
