// FFT engine: the size rules, every float kind against the double DFT out of and in place,
// the 16-bit paths, and the refusals in their order.
#include <gtest/gtest.h>

#include <cstring>

#include "fft_ref.h"
#include "transform/fft.h"

namespace {

using namespace okv_u8;
using xref::cd;

struct Sizes {
    int spec, init, work;
    bool operator==(const Sizes&) const = default;
};
struct SizeRow {
    int order;
    Sizes cplx, real;
};
// Orders covering every size rule of the complex and real kinds.
constexpr SizeRow kSizes[] = {
    {0, {208, 0, 0}, {208, 0, 0}},
    {4, {208, 0, 0}, {208, 0, 0}},
    {5, {208, 0, 0}, {384, 0, 0}},
    {6, {960, 0, 576}, {512, 0, 0}},
    {7, {1536, 0, 1088}, {1472, 0, 576}},
    {10, {9600, 0, 8256}, {9088, 0, 4160}},
    {11, {18816, 2176, 16448}, {17792, 2176, 8256}},
    {15, {295296, 32896, 262208}, {278912, 32896, 131136}},
    {16, {360832, 65664, 32832}, {557440, 65664, 262208}},
    {17, {591744, 131200, 65600}, {885120, 131200, 32832}},
    {18, {1182080, 262272, 131136}, {609152, 262272, 65600}},
    {19, {2166144, 524416, 131136}, {1200512, 524416, 131136}},
    {20, {4330880, 1048704, 131136}, {2186624, 1048704, 131136}},
    {21, {8463744, 2097280, 131136}, {4355456, 2097280, 131136}},
    {28, {1079117184, 268435584, 131136}, {540624256, 268435584, 131136}},
};

TEST(Fft, SizeRules) {
    Sizes z;
    for (const SizeRow& row : kSizes) {
        SCOPED_TRACE(row.order);
        ASSERT_EQ(okvsFFTGetSize_C_32fc(row.order, 8, 0, &z.spec, &z.init, &z.work), okvOk);
        EXPECT_EQ(z, row.cplx);
        ASSERT_EQ(okvsFFTGetSize_C_32f(row.order, 4, 0, &z.spec, &z.init, &z.work), okvOk);
        EXPECT_EQ(z, row.cplx);
        ASSERT_EQ(okvsFFTGetSize_R_32f(row.order, 1, 0, &z.spec, &z.init, &z.work), okvOk);
        EXPECT_EQ(z, row.real);
    }
    ASSERT_EQ(okvsFFTGetSize_R_32f(29, 1, 0, &z.spec, &z.init, &z.work), okvOk);
    EXPECT_EQ(z, (Sizes{1081230720, 536871040, 131136}));
    // 16-bit kind: its own layout below order 4 without the float hint, else the complex float
    // sizes plus its tables and an N-point work area; order 28 would pass 2^31 work bytes.
    const Sizes small16[4] = {{136, 0, 0}, {320, 128, 80}, {320, 128, 96}, {320, 128, 128}};
    for (int order = 0; order <= 28; ++order)
        for (int hint : {0, 2}) {
            SCOPED_TRACE(testing::Message() << order << " hint " << hint);
            const StatusCode st = okvsFFTGetSize_C_16sc(order, 2, hint, &z.spec, &z.init, &z.work);
            ASSERT_EQ(st, order == 28 ? okvErrFftOrder : okvOk);
            Sizes c;
            if (order == 28) continue;
            if (order == 0 || (order < 4 && hint == 0)) {
                EXPECT_EQ(z, small16[order]);
            } else {
                ASSERT_EQ(okvsFFTGetSize_C_32fc(order, 2, 0, &c.spec, &c.init, &c.work), okvOk);
                EXPECT_EQ(z, (Sizes{c.spec + 192, c.init + 64, c.work + (8 << order) + 64}));
            }
        }
}

// A spec in caller memory from the reported sizes; the work buffer deliberately misaligned.
struct FloatSpec {
    std::vector<uint8_t> mem, init, work;
    OkvsFFTSpec_32f* spec = nullptr;
    StatusCode st;
    FloatSpec(int kind, int order, int flag) {
        int s, i, w;
        (kind == kFftIdR32f ? okvsFFTGetSize_R_32f : okvsFFTGetSize_C_32fc)(order, flag, 0, &s, &i, &w);
        mem.assign(size_t(s), 0xA5), init.assign(size_t(i) + 1, 0), work.assign(size_t(w) + 1, 0);
        const auto fn = kind == kFftIdR32f ? okvsFFTInit_R_32f : kind == kFftIdC32f ? okvsFFTInit_C_32f : okvsFFTInit_C_32fc;
        st = fn(&spec, order, flag, 0, mem.data(), init.data());
    }
    uint8_t* buf() { return work.data() + 1; }
};

// Output scale of a flag: 8 none, 1 forward by 1/N, 2 inverse by 1/N, 4 both by 1/sqrt N.
double scaleOf(int flag, int order, bool inverse) {
    const double n = double(int64_t(1) << order);
    if (flag == 4) return 1.0 / std::sqrt(n);
    return (flag == 1 && !inverse) || (flag == 2 && inverse) ? 1.0 / n : 1.0;
}

// Relative RMS error bound: 2^-24 log2 N.
double bound(int order) { return std::ldexp(1.0, -24) * std::max(order, 1); }

// Interleaved complex both ways, split complex and real (perm format and back) at every order
// with the flags in turn; in place equals out of place to the bit, with or without a buffer.
TEST(Fft, EveryKindFollowsTheDft) {
    const int flags[4] = {8, 1, 2, 4};
    for (int order = 0; order <= 20; ++order) {
        SCOPED_TRACE(order);
        const int n = 1 << order, flag = flags[order % 4];
        const std::vector<float> x = xref::noise(2 * size_t(n), order);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) xc[k] = {x[2 * k], x[2 * k + 1]};

        FloatSpec fc(kFftIdC32fc, order, flag);
        ASSERT_EQ(fc.st, okvOk);
        for (int inv = 0; inv < 2; ++inv) {
            const std::vector<cd> yc = xref::dft(xc, inv ? 1 : -1);
            std::vector<double> ref(2 * size_t(n));
            for (int k = 0; k < n; ++k)
                ref[2 * k] = yc[k].real() * scaleOf(flag, order, inv), ref[2 * k + 1] = yc[k].imag() * scaleOf(flag, order, inv);
            std::vector<float> out(2 * size_t(n)), io = x;
            const auto fn = inv ? okvsFFTInv_CToC_32fc : okvsFFTFwd_CToC_32fc;
            const auto* src = reinterpret_cast<const Okv32fc*>(x.data());
            ASSERT_EQ(fn(src, reinterpret_cast<Okv32fc*>(out.data()), fc.spec, fc.buf()), okvOk);
            EXPECT_LE(xref::rel_rms(out.data(), ref), bound(order)) << "inverse " << inv;
            ASSERT_EQ(fn(reinterpret_cast<Okv32fc*>(io.data()), reinterpret_cast<Okv32fc*>(io.data()), fc.spec,
                         order % 2 ? nullptr : fc.buf()), okvOk);
            EXPECT_EQ(0, std::memcmp(io.data(), out.data(), 8 * size_t(n)));
        }

        FloatSpec fs(kFftIdC32f, order, 1);
        ASSERT_EQ(fs.st, okvOk);
        std::vector<float> re(x.begin(), x.begin() + n), im(x.begin() + n, x.end()), dre(n), dim(n);
        std::vector<cd> sc(n);
        for (int k = 0; k < n; ++k) sc[k] = {re[k], im[k]};
        const std::vector<cd> ys = xref::dft(sc, -1);
        std::vector<double> rr(n), ri(n);
        for (int k = 0; k < n; ++k) rr[k] = ys[k].real() / n, ri[k] = ys[k].imag() / n;
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), dre.data(), dim.data(), fs.spec, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(dre.data(), rr), bound(order) * 1.5);
        EXPECT_LE(xref::rel_rms(dim.data(), ri), bound(order) * 1.5);
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), re.data(), im.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_EQ(re, dre);
        EXPECT_EQ(im, dim);

        const int rflag = order % 3 == 0 ? 8 : order % 3 == 1 ? 2 : 4;
        FloatSpec fr(kFftIdR32f, order, rflag);
        ASSERT_EQ(fr.st, okvOk);
        const std::vector<float> xr(x.begin(), x.begin() + n);
        const std::vector<cd> yr = xref::dft(std::vector<cd>(xr.begin(), xr.end()), -1);
        const double sf = scaleOf(rflag, order, false), si = scaleOf(rflag, order, true) * n * sf;
        std::vector<double> perm(n), back(n);
        perm[0] = yr[0].real() * sf;
        if (n > 1) perm[1] = yr[n / 2].real() * sf;
        for (int k = 1; k < n / 2; ++k) perm[2 * k] = yr[k].real() * sf, perm[2 * k + 1] = yr[k].imag() * sf;
        for (int k = 0; k < n; ++k) back[k] = xr[k] * si;
        std::vector<float> p(n), b(n), io = xr;
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(xr.data(), p.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_LE(xref::rel_rms(p.data(), perm), bound(order));
        ASSERT_EQ(okvsFFTInv_PermToR_32f(p.data(), b.data(), fr.spec, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(b.data(), back), 2 * bound(order));
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(io.data(), io.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_EQ(io, p);
        ASSERT_EQ(okvsFFTInv_PermToR_32f(io.data(), io.data(), fr.spec, fr.buf()), okvOk);
        EXPECT_EQ(io, b);
    }
}

struct Spec16 {
    std::vector<uint8_t> mem, init, work;
    OkvsFFTSpec_16sc* spec = nullptr;
    Spec16(int order, int flag, int hint) {
        int s, i, w;
        EXPECT_EQ(okvsFFTGetSize_C_16sc(order, flag, hint, &s, &i, &w), okvOk);
        mem.resize(size_t(s)), init.resize(size_t(i) + 1), work.resize(size_t(w));
        EXPECT_EQ(okvsFFTInit_C_16sc(&spec, order, flag, hint, mem.data(), init.data()), okvOk);
    }
};

// The integer path (orders 1..3 without the float hint) and the float path against the DFT
// within rounding; half rounds up, sums past either end saturate.
TEST(Fft, SixteenBitPathsFollowTheDft) {
    Spec16 z(0, 8, 0);
    Okv16sc one{-7, 9}, out;
    ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(&one, &out, z.spec, 1, nullptr), okvOk);
    EXPECT_EQ(out.re, -3);
    EXPECT_EQ(out.im, 5);
    const int orders[] = {1, 2, 3, 2, 4, 6, 10, 12};
    for (int run = 0; run < 8; ++run) {
        // Odd orders divided by sqrt N (flag 4) take the 1/sqrt 2 step; the scale factor makes up 2^-order.
        const int order = orders[run], hint = run < 3 ? 0 : 2, flag = run % 2 ? 8 : 4;
        SCOPED_TRACE(testing::Message() << order << " flag " << flag);
        const int n = 1 << order, sf = flag == 4 ? order - (order >> 1) : order;
        const double scale = std::ldexp(flag == 4 && order % 2 ? M_SQRT1_2 : 1.0, -order);
        Spec16 sp(order, flag, hint);
        const std::vector<float> f = xref::noise(2 * size_t(n), order);
        std::vector<Okv16sc> x(n), y(n);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) {
            x[k] = {int16_t(f[2 * k] * 3000), int16_t(f[2 * k + 1] * 3000)};
            xc[k] = {double(x[k].re), double(x[k].im)};
        }
        const std::vector<cd> yc = xref::dft(xc, -1);
        ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(x.data(), y.data(), sp.spec, sf, sp.work.data()), okvOk);
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(y[k].re, yc[k].real() * scale, 0.51) << k;
            ASSERT_NEAR(y[k].im, yc[k].imag() * scale, 0.51) << k;
        }
        int size;
        ASSERT_EQ(okvsFFTGetBufSize_C_16sc(sp.spec, &size), okvOk);
        EXPECT_EQ(size, int(sp.work.size()));
    }
    Spec16 two(1, 8, 0);
    const Okv16sc edge[2] = {{-32768, 32767}, {-1, 1}};
    Okv16sc sum[2];
    ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(edge, sum, two.spec, 0, two.work.data()), okvOk);
    EXPECT_EQ(sum[0].re, -32768);
    EXPECT_EQ(sum[0].im, 32767);
}

// Every refusal in call order: order before pointers, flag, spec then identifier then data
// pointers; a spec left by a bad flag, and a freed one, are refused by everything.
TEST(Fft, RefusalsAndLifecycle) {
    int s, i, w, size = 0;
    std::vector<uint8_t> mem(4096), big(1 << 16);
    OkvsFFTSpec_32f* spec = nullptr;
    OkvsFFTSpec_16sc* s16 = nullptr;
    Okv32fc v[8] = {};
    const std::pair<StatusCode, StatusCode> cases[] = {
        {okvsFFTGetSize_C_32fc(31, 8, 0, nullptr, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, nullptr, &i, &w), okvErrNullPtr},
        {okvsFFTGetSize_C_32fc(29, 3, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTGetSize_C_32fc(-1, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_R_32f(30, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(31, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(3, 0, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTInit_C_32fc(nullptr, 3, 8, 0, mem.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&spec, 29, 8, 0, mem.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&spec, 3, 8, 0, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTInit_R_32f(&spec, 30, 8, 0, mem.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&spec, 11, 8, 0, big.data(), nullptr), okvErrNullPtr},  // order 11 needs the init buffer
        {okvsFFTInit_R_32f(&spec, 11, 8, 0, big.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&spec, 3, 3, 0, mem.data(), nullptr), okvErrFftFlag},
        {okvsFFTFwd_CToC_32fc(v, v, spec, nullptr), okvErrContextMatch},
        {okvsFFTGetBufSize_C_32fc(spec, &size), okvErrContextMatch},
        {okvsFFTInit_C_32fc(&spec, 3, 8, 0, mem.data(), nullptr), okvOk},
        {okvsFFTFwd_CToC_32fc(nullptr, v, spec, nullptr), okvErrNullPtr},
        {okvsFFTFwd_CToC_32fc(v, v, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTFwd_RToPerm_32f(nullptr, nullptr, spec, nullptr), okvErrContextMatch},
        {okvsFFTFree_C_32fc(spec), okvOk},
        {okvsFFTFree_C_32fc(spec), okvErrContextMatch},
        {okvsFFTInit_C_16sc(&s16, 2, 8, 0, mem.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_16sc(&s16, 2, 5, 0, mem.data(), mem.data()), okvErrFftFlag},
        {okvsFFTInit_C_16sc(&s16, 30, 5, 0, mem.data(), mem.data()), okvErrFftFlag},  // sizes are checked later
        {okvsFFTInit_C_16sc(&s16, 31, 8, 0, mem.data(), mem.data()), okvErrFftOrder},
        {okvsFFTInitAlloc_C_16sc(&s16, 5, 1, 0), okvOk},
        {okvsFFTFree_C_16sc(s16), okvOk},
        {okvsFFTInitAlloc_C_32fc(&spec, 12, 2, 0), okvOk},
        {okvsFFTGetBufSize_C_32fc(spec, &size), okvOk},
        {okvsFFTFree_C_32fc(spec), okvOk},
    };
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(cases[k].first, cases[k].second) << "case " << k;
    EXPECT_EQ(size, 8 * 4096 + 64);
}

}  // namespace
