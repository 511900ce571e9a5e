// FFT and DCT engines: size rules, every float kind against the double DFT, the 16-bit paths, DCT lengths
// to 300 and some large ones against the defining sums, sizes by method; every refusal of the transforms
// in checking order, freed specs and foreign kinds refused.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>

#include "fft_ref.h"
#include "transform/dct.h"
#include "transform/fft.h"

namespace {

using namespace okv_u8;
using xref::cd;
using Sizes = std::vector<int>;

// Orders covering every size rule: order, complex (spec, init, work), real (spec, init, work).
const int kSizes[][7] = {
    {0, 208, 0, 0, 208, 0, 0}, {5, 208, 0, 0, 384, 0, 0}, {6, 960, 0, 576, 512, 0, 0}, {7, 1536, 0, 1088, 1472, 0, 576},
    {10, 9600, 0, 8256, 9088, 0, 4160}, {11, 18816, 2176, 16448, 17792, 2176, 8256},
    {15, 295296, 32896, 262208, 278912, 32896, 131136}, {16, 360832, 65664, 32832, 557440, 65664, 262208},
    {17, 591744, 131200, 65600, 885120, 131200, 32832}, {18, 1182080, 262272, 131136, 609152, 262272, 65600},
    {19, 2166144, 524416, 131136, 1200512, 524416, 131136}, {21, 8463744, 2097280, 131136, 4355456, 2097280, 131136},
    {28, 1079117184, 268435584, 131136, 540624256, 268435584, 131136}, {29, -1, 0, 0, 1081230720, 536871040, 131136},
};

// The 16-bit kind has its own layout below order 4 without the float hint, else the complex
// float sizes plus its tables and an N-point work area; order 28 would pass 2^31 work bytes.
TEST(Fft, SizeRules) {
    int s, i, w, cs, ci, cw;
    for (const auto& r : kSizes) {
        for (auto get : {okvsFFTGetSize_C_32fc, okvsFFTGetSize_C_32f})
            EXPECT_TRUE(r[1] < 0 || (get(r[0], 8, 0, &s, &i, &w) == okvOk && Sizes{s, i, w} == Sizes{r[1], r[2], r[3]})) << r[0];
        ASSERT_EQ(okvsFFTGetSize_R_32f(r[0], 1, 0, &s, &i, &w), okvOk);
        EXPECT_EQ((Sizes{s, i, w}), (Sizes{r[4], r[5], r[6]})) << r[0];
    }
    const Sizes small16[4] = {{136, 0, 0}, {320, 128, 80}, {320, 128, 96}, {320, 128, 128}};
    for (int order = 0; order <= 28; ++order)
        for (int hint : {0, 2}) {
            SCOPED_TRACE(testing::Message() << order << " hint " << hint);
            ASSERT_EQ(okvsFFTGetSize_C_16sc(order, 2, hint, &s, &i, &w), order == 28 ? okvErrFftOrder : okvOk);
            if (order == 28) continue;
            okvsFFTGetSize_C_32fc(order, 2, 0, &cs, &ci, &cw);
            const bool own = order == 0 || (order < 4 && hint == 0);
            EXPECT_EQ((Sizes{s, i, w}), (own ? small16[order] : Sizes{cs + 192, ci + 64, cw + (8 << order) + 64}));
        }
}

// A spec of one float kind in caller memory; the work buffer deliberately misaligned.
struct FloatSpec : xref::Mem {
    OkvsFFTSpec_32f* spec = nullptr;
    FloatSpec(int kind, int order, int flag)
        : Mem([&](int* s, int* i, int* w) {
              return (kind == kFftIdR32f ? okvsFFTGetSize_R_32f : okvsFFTGetSize_C_32fc)(order, flag, 0, s, i, w);
          }) {
        const auto fn = kind == kFftIdR32f ? okvsFFTInit_R_32f : kind == kFftIdC32f ? okvsFFTInit_C_32f : okvsFFTInit_C_32fc;
        EXPECT_EQ(fn(&spec, order, flag, 0, mem.data(), init.data()), okvOk);
    }
    Okv8u* buf() { return work.data() + 1; }
};

// Output scale of a flag: 8 none, 1 forward by 1/N, 2 inverse by 1/N, 4 both by 1/sqrt N.
double scaleOf(int flag, int order, bool inverse) {
    const double n = double(int64_t(1) << order);
    if (flag == 4) return 1.0 / std::sqrt(n);
    return (flag == 1 && !inverse) || (flag == 2 && inverse) ? 1.0 / n : 1.0;
}

Okv32fc* cplx(std::vector<float>& v) { return reinterpret_cast<Okv32fc*>(v.data()); }

// Every kind at every order with the flags in turn; in place equals out of place to the bit.
TEST(Fft, EveryKindFollowsTheDft) {
    for (int order = 0; order <= 20; ++order) {
        SCOPED_TRACE(order);
        const int n = 1 << order, flag = std::array{8, 1, 2, 4}[order % 4], rflag = std::array{8, 2, 4}[order % 3];
        const double bound = std::ldexp(1.0, -24) * std::max(order, 1);
        std::vector<float> x = xref::noise(2 * size_t(n), order);
        std::vector<cd> xc(n), sc(n), xr(n);
        for (int k = 0; k < n; ++k) xc[k] = {x[2 * k], x[2 * k + 1]}, sc[k] = {x[k], x[n + k]}, xr[k] = x[k];
        FloatSpec fc(kFftIdC32fc, order, flag), fs(kFftIdC32f, order, 1), fr(kFftIdR32f, order, rflag);
        for (int inv = 0; inv < 2; ++inv) {
            const std::vector<cd> yc = xref::dft(xc, inv ? 1 : -1);
            std::vector<double> ref(2 * size_t(n));
            for (int k = 0; k < 2 * n; ++k) ref[k] = (k % 2 ? yc[k / 2].imag() : yc[k / 2].real()) * scaleOf(flag, order, inv);
            std::vector<float> out(2 * size_t(n)), io = x;
            const auto fn = inv ? okvsFFTInv_CToC_32fc : okvsFFTFwd_CToC_32fc;
            ASSERT_EQ(fn(cplx(x), cplx(out), fc.spec, fc.buf()), okvOk);
            EXPECT_LE(xref::rel_rms(out.data(), ref), bound) << "inverse " << inv;
            ASSERT_EQ(fn(cplx(io), cplx(io), fc.spec, order % 2 ? nullptr : fc.buf()), okvOk);
            EXPECT_EQ(io, out);
        }
        // Split complex, forward by 1/N.
        std::vector<float> re(x.begin(), x.begin() + n), im(x.begin() + n, x.end()), dre(n), dim(n);
        const std::vector<cd> ys = xref::dft(sc, -1);
        std::vector<double> rr(n), ri(n);
        for (int k = 0; k < n; ++k) rr[k] = ys[k].real() / n, ri[k] = ys[k].imag() / n;
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), dre.data(), dim.data(), fs.spec, nullptr), okvOk);
        EXPECT_LE(std::max(xref::rel_rms(dre.data(), rr), xref::rel_rms(dim.data(), ri)), bound * 1.5);
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), re.data(), im.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_TRUE(re == dre && im == dim);
        // Real to the packed order (r0, r(N/2), re1, im1, ...) and back.
        const std::vector<cd> yr = xref::dft(xr, -1);
        const double sf = scaleOf(rflag, order, false), si = scaleOf(rflag, order, true) * n * sf;
        std::vector<double> perm(n), back(n);
        for (int k = 0; k < n; ++k) {
            perm[k] = k == 1 ? yr[n / 2].real() * sf : (k % 2 ? yr[k / 2].imag() : yr[k / 2].real()) * sf;
            back[k] = x[k] * si;
        }
        std::vector<float> p(n), b(n), io(x.begin(), x.begin() + n);
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(io.data(), p.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_LE(xref::rel_rms(p.data(), perm), bound);
        ASSERT_EQ(okvsFFTInv_PermToR_32f(p.data(), b.data(), fr.spec, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(b.data(), back), 2 * bound);
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(io.data(), io.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_EQ(io, p);
        ASSERT_EQ(okvsFFTInv_PermToR_32f(io.data(), io.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_EQ(io, b);
    }
}

// Integer (orders to 3 without hint) and float paths within rounding. Odd orders divided by
// sqrt N take the 1/sqrt 2 step; the scale factor makes up 2^-order. Halves round up, sums saturate.
TEST(Fft, SixteenBitPathsFollowTheDft) {
    const int orders[] = {0, 1, 2, 3, 2, 4, 6, 10, 12};
    for (int run = 0; run < 9; ++run) {
        const int order = orders[run], hint = run < 4 ? 0 : 2, flag = run % 2 ? 4 : 8;
        SCOPED_TRACE(testing::Message() << order << " flag " << flag);
        const int n = 1 << order, sf = flag == 4 ? order - (order >> 1) : order;
        const double scale = order ? std::ldexp(flag == 4 && order % 2 ? M_SQRT1_2 : 1.0, -order) : 1.0;
        int size;
        xref::Mem m([&](int* s, int* i, int* w) { return okvsFFTGetSize_C_16sc(order, flag, hint, s, i, w); });
        OkvsFFTSpec_16sc* spec;
        ASSERT_EQ(okvsFFTInit_C_16sc(&spec, order, flag, hint, m.mem.data(), m.init.data()), okvOk);
        const std::vector<float> f = xref::noise(2 * size_t(n), order);
        std::vector<Okv16sc> x(n), y(n);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) {
            x[k] = {int16_t(f[2 * k] * 3000), int16_t(f[2 * k + 1] * 3000)};
            xc[k] = {double(x[k].re), double(x[k].im)};
        }
        if (order == 0) x[0] = {-7, 9};
        const std::vector<cd> yc = order ? xref::dft(xc, -1) : std::vector<cd>{{-3, 5}};
        ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(x.data(), y.data(), spec, order ? sf : 1, m.work.data()), okvOk);
        for (int k = 0; k < n; ++k) {
            ASSERT_TRUE(std::abs(y[k].re - yc[k].real() * scale) <= (order ? 0.51 : 0) &&
                        std::abs(y[k].im - yc[k].imag() * scale) <= (order ? 0.51 : 0)) << k;
        }
        // Saturated at either end: a unit impulse scaled up by 2^40, or a full-scale edge at order 2.
        const Okv16sc edge[4] = {{-32768, 32767}, {-1, 1}};
        const bool saturate = order == 0 || (order == 2 && !hint);
        const Okv16sc* in = order ? edge : edge + 1;
        EXPECT_TRUE(!saturate || (okvsFFTFwd_CToC_16sc_Sfs(in, y.data(), spec, order ? 0 : -40, m.work.data()) == okvOk &&
                                  y[0].re == -32768 && y[0].im == 32767));
        ASSERT_EQ(okvsFFTGetBufSize_C_16sc(spec, &size), okvOk);
        EXPECT_EQ(size, m.w);
    }
}

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

// Every refusal in checking order; freed specs and foreign kinds refused.
TEST(TransformArguments, RefusalsInOrder) {
    int s, i, w, size = 0, bufSize = 0;
    std::vector<uint8_t> mem(1 << 20), mem2(1 << 16);
    OkvsDCTSpec_32f* dct = nullptr;
    OkvsFFTSpec_32f* fft = nullptr;
    OkvsFFTSpec_16sc* s16 = nullptr;
    OkvsMDCTFwdSpec_32f* f = nullptr;
    OkvsMDCTInvSpec_32f* g = nullptr;
    OkvsMDCTFwdSpec_16s *a = nullptr, *b = nullptr;
    float x[64] = {}, y[64];
    Okv16s z16[64] = {}, y16[32];
    Okv32fc v[8] = {};
    const std::pair<StatusCode, StatusCode> cases[] = {
        {okvsDCTFwdGetSize_32f(0, 0, &s, &i, &w), okvErrSize},
        {okvsDCTFwdGetSize_32f(0, 0, nullptr, &i, &w), okvErrSize},
        {okvsDCTFwdGetSize_32f(5, 0, nullptr, &i, &w), okvErrNullPtr},
        {okvsDCTFwdGetSize_32f(1 << 28, 0, &s, &i, &w), okvOk},
        {okvsDCTFwdGetSize_32f((1 << 25) - 1, 0, &s, &i, &w), okvOk},
        {okvsDCTFwdGetSize_32f((1 << 25) + 1, 0, &s, &i, &w), okvErrSize},
        {okvsDCTFwdInit_32f(&dct, 0, 0, nullptr, nullptr), okvErrSize},
        {okvsDCTFwdInit_32f(nullptr, 5, 0, mem.data(), nullptr), okvErrNullPtr},
        {okvsDCTFwdInit_32f(&dct, (1 << 26) + 1, 0, mem.data(), nullptr), okvErrSize},  // before the init buffer
        {okvsDCTFwdInit_32f(&dct, 12, 0, mem.data(), nullptr), okvOk},
        {okvsDCTInv_32f(x, y, dct, nullptr), okvErrContextMatch},
        {okvsDCTFwd_32f(x, nullptr, dct, nullptr), okvErrNullPtr},
        {okvsFFTGetSize_C_32fc(31, 8, 0, nullptr, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, nullptr, &i, &w), okvErrNullPtr},
        {okvsFFTGetSize_C_32fc(29, 3, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTGetSize_C_32fc(-1, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_R_32f(30, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(31, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(3, 0, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTInit_C_32fc(nullptr, 3, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&fft, 29, 8, 0, mem2.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&fft, 28, 8, 0, nullptr, nullptr), okvErrNullPtr},  // the largest orders pass
        {okvsFFTInit_R_32f(&fft, 29, 8, 0, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&fft, 3, 8, 0, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTInit_R_32f(&fft, 30, 8, 0, mem2.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&fft, 11, 8, 0, mem2.data(), nullptr), okvErrNullPtr},  // order 11 needs the init buffer
        {okvsFFTInit_R_32f(&fft, 11, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&fft, 3, 3, 0, mem2.data(), nullptr), okvErrFftFlag},
        {okvsFFTFwd_CToC_32fc(v, v, fft, nullptr), okvErrContextMatch},  // the spec a bad flag left
        {okvsFFTGetBufSize_C_32fc(fft, &size), okvErrContextMatch},
        {okvsFFTInit_C_32fc(&fft, 3, 8, 0, mem2.data(), nullptr), okvOk},
        {okvsFFTFwd_CToC_32fc(nullptr, v, fft, nullptr), okvErrNullPtr},
        {okvsFFTFwd_CToC_32fc(v, v, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTFwd_RToPerm_32f(nullptr, nullptr, fft, nullptr), okvErrContextMatch},
        {okvsFFTFree_C_32fc(fft), okvOk},
        {okvsFFTFree_C_32fc(fft), okvErrContextMatch},
        {okvsFFTInit_R_32f(&fft, 3, 8, 0, mem2.data(), nullptr), okvOk},
        {okvsFFTFwd_RToPerm_32f(nullptr, y, fft, nullptr), okvErrNullPtr},
        {okvsFFTInv_PermToR_32f(x, nullptr, fft, nullptr), okvErrNullPtr},
        {okvsFFTInit_R_32f(&fft, 3, 3, 0, mem2.data(), nullptr), okvErrFftFlag},  // over a valid spec: cleared
        {okvsFFTFwd_RToPerm_32f(x, y, fft, nullptr), okvErrContextMatch},
        {okvsFFTInit_C_16sc(&s16, 2, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_16sc(&s16, 0, 8, 0, mem2.data(), nullptr), okvOk},  // order 0 needs no init buffer
        {okvsFFTInit_C_16sc(&s16, 2, 5, 0, mem2.data(), mem2.data()), okvErrFftFlag},
        {okvsFFTInit_C_16sc(&s16, 30, 5, 0, mem2.data(), mem2.data()), okvErrFftFlag},  // sizes are checked later
        {okvsFFTInit_C_16sc(&s16, 31, 8, 0, mem2.data(), mem2.data()), okvErrFftOrder},
        {okvsFFTInitAlloc_C_16sc(&s16, 5, 1, 0), okvOk},
        {okvsFFTFree_C_16sc(s16), okvOk},
        {okvsFFTInitAlloc_C_32fc(&fft, 12, 2, 0), okvOk},
        {okvsFFTGetBufSize_C_32fc(fft, &size), okvOk},
        {okvsFFTFree_C_32fc(fft), okvOk},
        {::okvsMDCTFwdGetSize_32f(48, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(16, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(24, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(-64, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(12, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(16, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(1 << 29, &s, &i, &w), okvOk},
        {::okvsMDCTFwdGetSize_16s(1 << 30, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(48, nullptr, &i, &w), okvErrNullPtr},
        {::okvsMDCTFwdGetSize_32f(1 << 28, &s, &i, &w), okvOk},
        {::okvsMDCTFwdGetSize_32f(1 << 29, &s, &i, &w), okvErrSize},  // sizes beyond 2^31 bytes
        {::okvsMDCTFwd_32f(nullptr, nullptr, nullptr, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_32f(&f, 64, nullptr, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_32f(&f, 40, mem.data(), nullptr), okvErrSize},
        {::okvsMDCTFwdInit_32f(&f, 1 << 13, mem.data(), nullptr), okvErrNullPtr},  // the inner FFT's init buffer
        {::okvsMDCTFwdInitAlloc_32f(&f, 64), okvOk},
        {::okvsMDCTInv_32f(nullptr, nullptr, reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), nullptr), okvErrContextMatch},
        {::okvsMDCTInv_32f_I(x, reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), nullptr), okvErrContextMatch},
        {::okvsMDCTInvGetBufSize_32f(reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), &size), okvErrContextMatch},
        {::okvsMDCTFwd_32f(x, nullptr, f, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdGetBufSize_32f(f, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdFree_32f(f), okvOk},
        {::okvsMDCTInvInitAlloc_32f(&g, 1 << 14), okvOk},
        {::okvsMDCTFwdFree_32f(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(g)), okvErrContextMatch},
        {::okvsMDCTFwdFree_16s(reinterpret_cast<OkvsMDCTFwdSpec_16s*>(g)), okvErrContextMatch},
        {::okvsMDCTInvFree_32f(g), okvOk},
        {::okvsMDCTInvInitAlloc_32f(&g, 20), okvErrSize},
        {::okvsMDCTInvFree_32f(nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_16s(&b, 64, mem.data(), mem2.data()), okvOk},
        {::okvsMDCTFwd_16s_Sfs(nullptr, y16, b, 0, nullptr), okvErrNullPtr},
        {::okvsMDCTFwd_16s_Sfs(z16, y16, nullptr, 0, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInitAlloc_16s(&a, 512), okvOk},
        {::okvsMDCTFwdGetBufSize_16s(a, &bufSize), okvOk},
        {::okvsMDCTFwdFree_16s(a), okvOk},
        {::okvsMDCTFwdFree_16s(b), okvOk},  // a freed caller-memory spec is refused afterwards
        {::okvsMDCTFwd_16s_Sfs(z16, y16, b, 0, nullptr), okvErrContextMatch},
        {::okvsMDCTFwdFree_16s(b), okvErrContextMatch},
        {::okvsMDCTFwdInit_16s(&a, 64, mem.data(), nullptr), okvErrNullPtr},
    };
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(cases[k].first, cases[k].second) << "case " << k;
    EXPECT_EQ(size, 8 * 4096 + 64);
    ASSERT_EQ(::okvsMDCTFwdGetSize_16s(512, &s, &i, &w), okvOk);
    EXPECT_EQ(bufSize, w);
}

}  // namespace
