// Generic MDCT: float against the defining sums, the 16-bit pipeline to the bit, the sizes.
#include <gtest/gtest.h>

#include <algorithm>

#include "fft_ref.h"
#include "okvac.h"
#include "transform/fft.h"

namespace {

// X[k] = 2 sum x[n] cos(2 pi / N (n + 1/2 + N/4)(k + 1/2)) and its transpose: directly to
// 4096 points, through an N-point double DFT above.
std::vector<double> mdctRef(const std::vector<float>& x, bool inverse) {
    const int n = inverse ? int(2 * x.size()) : int(x.size());
    const double n0 = 0.5 + n / 4.0;
    std::vector<double> y(inverse ? n : n / 2, 0.0);
    if (n <= 4096) {
        for (int k = 0; k < n / 2; ++k)
            for (int i = 0; i < n; ++i) {
                const double c = 2 * std::cos(2 * M_PI / n * (i + n0) * (k + 0.5));
                (inverse ? y[i] : y[k]) += x[inverse ? k : i] * c;
            }
        return y;
    }
    std::vector<xref::cd> a(n);
    for (int i = 0; i < (inverse ? n / 2 : n); ++i)
        a[i] = double(x[i]) * std::polar(1.0, inverse ? 2 * M_PI / n * n0 * i : -M_PI * i / n);
    const auto f = xref::dft(a, inverse ? 1 : -1);
    for (size_t i = 0; i < y.size(); ++i)
        y[i] = 2 * (f[i] * std::polar(1.0, inverse ? M_PI * (i + n0) / n : -2 * M_PI / n * n0 * (i + 0.5))).real();
    return y;
}

// Every length both ways, specs and buffers misaligned; in place equals out of place to the bit.
TEST(Mdct, FloatFollowsTheDefinition) {
    std::vector<int> lens = {12, 36};
    for (int len = 32; len <= 65536; len *= 2) lens.push_back(len);
    for (int len : lens) {
        SCOPED_TRACE(len);
        const double tol = 4 * std::ldexp(1.0, -24) * std::max(1.0, std::log2(len / 4.0));
        xref::Mem m([len](int* s, int* i, int* w) { return okvsMDCTFwdGetSize_32f(len, s, i, w); }, 2);
        OkvsMDCTFwdSpec_32f* fwd = nullptr;
        OkvsMDCTInvSpec_32f* inv = nullptr;
        ASSERT_EQ(okvsMDCTFwdInit_32f(&fwd, len, m.mem.data() + 3, m.init.data()), okvOk);
        ASSERT_EQ(okvsMDCTInvInit_32f(&inv, len, m.mem.data() + m.s + 4, m.init.data()), okvOk);
        std::vector<float> x = xref::noise(size_t(len), uint32_t(len)), y(len / 2), io = x;
        ASSERT_EQ(okvsMDCTFwd_32f(x.data(), y.data(), fwd, m.work.data() + 3), okvOk);
        EXPECT_LE(xref::rel_rms(y.data(), mdctRef(x, false)), tol);
        ASSERT_EQ(okvsMDCTFwd_32f_I(io.data(), fwd, nullptr), okvOk);
        EXPECT_EQ(std::vector<float>(io.begin(), io.begin() + len / 2), y);
        std::vector<float> s = xref::noise(size_t(len) / 2, uint32_t(len) + 1), t(len), io2(len);
        std::copy(s.begin(), s.end(), io2.begin());
        ASSERT_EQ(okvsMDCTInv_32f(s.data(), t.data(), inv, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(t.data(), mdctRef(s, true)), tol);
        ASSERT_EQ(okvsMDCTInv_32f_I(io2.data(), inv, m.work.data()), okvOk);
        EXPECT_EQ(io2, t);
    }
}

// The fixed-point pipeline restated around the library's 16-bit FFT: block normalised to a
// headroom h, pre-rotation in Q14, N/4-point FFT, post-rotation with the scale factor.
std::vector<int16_t> mdct16Model(const std::vector<int16_t>& x, int sf) {
    const int n = int(x.size()), q = n / 4, order = __builtin_ctz(unsigned(q));
    int peak = 0, d = 0;
    for (int16_t v : x) peak = std::max(peak, std::abs(int(v)));
    if (peak == 0) return std::vector<int16_t>(n / 2, 0);
    while (peak * (1 << d) < 16385) ++d;
    const int h = d + (peak * (1 << d) < 23169 ? 1 : 0);
    const int64_t r = h < 16 ? int64_t(1) << (15 - h) : 0;
    std::vector<int64_t> s16(q), c16(q);
    std::vector<Okv16sc> z(q);
    for (int m = 0; m < q; ++m) {
        s16[m] = int16_t(std::floor(16384 * std::sin((m + 0.125) * 2 * M_PI / n) + 0.5));
        c16[m] = int16_t(std::floor(16384 * std::cos((m + 0.125) * 2 * M_PI / n) + 0.5));
        const bool lo = m < q / 2;
        const int32_t u = lo ? -x[n - q + 2 * m] - x[n - q - 2 * m - 1] : x[2 * m - q] - x[n - q - 2 * m - 1];
        const int32_t v = lo ? x[q - 2 * m - 1] - x[q + 2 * m] : -x[n + q - 2 * m - 1] - x[q + 2 * m];
        z[m] = {int16_t((c16[m] * u + r + s16[m] * v) >> (16 - h)), int16_t((r - s16[m] * u + c16[m] * v) >> (16 - h))};
    }
    xref::Mem fm([&](int* s, int* i, int* w) { return okv_u8::okvsFFTGetSize_C_16sc(order, 8, 0, s, i, w); });
    okv_u8::OkvsFFTSpec_16sc* fft;
    EXPECT_EQ(okv_u8::okvsFFTInit_C_16sc(&fft, order, 8, 0, fm.mem.data(), fm.init.data()), okvOk);
    EXPECT_EQ(okv_u8::okvsFFTFwd_CToC_16sc_Sfs(z.data(), z.data(), fft, order + 1, fm.work.data()), okvOk);
    const int shift = sf - order + h + 10;
    auto scaled = [&](int64_t v) {  // round half to even, or double up to 2^20, then saturate
        if (shift > 0) {
            const int64_t fl = v >> shift, rem = v - (fl << shift), half = int64_t(1) << (shift - 1);
            v = fl + (rem > half || (rem == half && (fl & 1)));
        }
        for (int i = 0; i < -shift && std::abs(v) < 1 << 20; ++i) v *= 2;
        return int16_t(std::clamp<int64_t>(v, -32768, 32767));
    };
    std::vector<int16_t> y(n / 2);
    for (int m = 0; m < q; ++m) {
        y[2 * m] = scaled(c16[m] * z[m].re + s16[m] * z[m].im);
        y[n / 2 - 1 - 2 * m] = scaled(s16[m] * z[m].re - c16[m] * z[m].im);
    }
    return y;
}

// Every length and amplitude to the bit; at full scale within 4e-3 of the float definition.
TEST(Mdct, SixteenBitPipelineToTheBitAndCloseToFloat) {
    std::mt19937 g(3);
    for (int len = 32; len <= 4096; len *= 2)
        for (int amp : {0, 1, 3, 180, 20000, 32768}) {
            SCOPED_TRACE(testing::Message() << len << " amp " << amp);
            xref::Mem m([len](int* s, int* i, int* w) { return okvsMDCTFwdGetSize_16s(len, s, i, w); });
            OkvsMDCTFwdSpec_16s* spec = nullptr;
            ASSERT_EQ(okvsMDCTFwdInit_16s(&spec, len, m.mem.data(), m.init.data()), okvOk);
            std::vector<int16_t> x(len);
            for (auto& v : x) v = int16_t(std::clamp<int>(int(g() % (2 * amp + 1)) - amp, -32768, 32767));
            for (int sf : {0, 3, 8}) {
                std::vector<int16_t> y(len / 2, 99);
                ASSERT_EQ(okvsMDCTFwd_16s_Sfs(x.data(), y.data(), spec, sf, amp ? m.work.data() : nullptr), okvOk);
                ASSERT_EQ(y, mdct16Model(x, sf)) << "sf " << sf;
                if (amp < 20000 || sf != 8) continue;
                std::vector<double> ref = mdctRef(std::vector<float>(x.begin(), x.end()), false);
                for (double& v : ref) v = std::ldexp(v, -sf);
                EXPECT_LE(xref::rel_rms(y.data(), ref), 4e-3);
            }
        }
}

// Sizes (spec, init, work) of each kind at valid lengths: {16-bit, length, spec, init, work}.
TEST(Mdct, Sizes) {
    int s, i, w;
    const int sizes[][5] = {{0, 64, 568, 0, 448}, {0, 1 << 15, 139880, 8320, 196864}, {0, 12, 192, 0, 176},
                            {0, 36, 240, 0, 272}, {1, 32, 584, 128, 224}, {1, 1024, 4136, 64, 5312}};
    for (const auto& z : sizes)
        for (auto get : {okvsMDCTFwdGetSize_32f, okvsMDCTInvGetSize_32f, okvsMDCTFwdGetSize_16s}) {
            if ((get == okvsMDCTFwdGetSize_16s) != bool(z[0])) continue;
            EXPECT_TRUE(get(z[1], &s, &i, &w) == okvOk && s == z[2] && i == z[3] && w == z[4]) << z[1];
        }
}

}  // namespace
