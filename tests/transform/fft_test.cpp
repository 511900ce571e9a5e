// FFT engine: reported sizes, lifecycle checks, float accuracy against a
// double reference, and the 16-bit path to the bit.
#include <gtest/gtest.h>

#include <algorithm>
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

// Documented sizes of the complex and real kinds at orders covering every size rule.
struct SizeRow {
    int order;
    Sizes cplx, real;
};
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

TEST(FftSizes, DocumentedValues) {
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
    EXPECT_EQ(okvsFFTGetSize_C_32fc(29, 8, 0, &z.spec, &z.init, &z.work), okvErrFftOrder);
    EXPECT_EQ(okvsFFTGetSize_R_32f(30, 8, 0, &z.spec, &z.init, &z.work), okvErrFftOrder);
    // 16-bit kind: its own layout below order 4 without the float hint, else the
    // complex float sizes plus its tables and an N-point work area.
    const Sizes small16[4] = {{136, 0, 0}, {320, 128, 80}, {320, 128, 96}, {320, 128, 128}};
    for (int order = 0; order <= 28; ++order)
        for (int hint : {0, 2}) {
            SCOPED_TRACE(testing::Message() << order << " hint " << hint);
            const StatusCode st = okvsFFTGetSize_C_16sc(order, 2, hint, &z.spec, &z.init, &z.work);
            if (order == 28) {  // the work buffer would pass 2^31 bytes
                EXPECT_EQ(st, okvErrFftOrder);
                continue;
            }
            ASSERT_EQ(st, okvOk);
            if (order == 0 || (order < 4 && hint == 0)) {
                EXPECT_EQ(z, small16[order]);
                continue;
            }
            Sizes c;
            ASSERT_EQ(okvsFFTGetSize_C_32fc(order, 2, 0, &c.spec, &c.init, &c.work), okvOk);
            EXPECT_EQ(z, (Sizes{c.spec + 192, c.init + 64, c.work + (8 << order) + 64}));
        }
}

TEST(FftSizes, ArgumentChecks) {
    int s, i, w;
    EXPECT_EQ(okvsFFTGetSize_C_32fc(31, 8, 0, nullptr, &i, &w), okvErrFftOrder);
    EXPECT_EQ(okvsFFTGetSize_C_32fc(29, 8, 0, nullptr, &i, &w), okvErrNullPtr);
    EXPECT_EQ(okvsFFTGetSize_C_32fc(29, 3, 0, &s, &i, &w), okvErrFftFlag);
    EXPECT_EQ(okvsFFTGetSize_C_32fc(-1, 8, 0, &s, &i, &w), okvErrFftOrder);
    EXPECT_EQ(okvsFFTGetSize_R_32f(29, 8, 0, &s, &i, &w), okvOk);
    EXPECT_EQ(okvsFFTGetSize_C_16sc(31, 8, 0, &s, &i, &w), okvErrFftOrder);
    EXPECT_EQ(okvsFFTGetSize_C_16sc(3, 0, 0, &s, &i, &w), okvErrFftFlag);
}

// A spec built in caller memory from the reported sizes, with an init buffer.
struct FloatSpec {
    std::vector<uint8_t> mem, init, work;
    OkvsFFTSpec_32f* spec = nullptr;
    StatusCode st;
    FloatSpec(int kind, int order, int flag) {
        int s, i, w;
        if (kind == kFftIdR32f)
            okvsFFTGetSize_R_32f(order, flag, 0, &s, &i, &w);
        else
            okvsFFTGetSize_C_32fc(order, flag, 0, &s, &i, &w);
        mem.assign(s, 0xA5);
        init.assign(i + 1, 0);
        work.assign(w + 1, 0);
        st = kind == kFftIdR32f   ? okvsFFTInit_R_32f(&spec, order, flag, 0, mem.data(), init.data())
             : kind == kFftIdC32f ? okvsFFTInit_C_32f(&spec, order, flag, 0, mem.data(), init.data())
                                  : okvsFFTInit_C_32fc(&spec, order, flag, 0, mem.data(), init.data());
    }
    uint8_t* buf() { return work.data() + 1; }  // deliberately not 64-aligned
};

double scale_of(int flag, int order, bool inverse) {
    const double n = double(int64_t(1) << order);
    if (flag == 4) return 1.0 / std::sqrt(n);
    if ((flag == 1 && !inverse) || (flag == 2 && inverse)) return 1.0 / n;
    return 1.0;
}

// Bound on the relative RMS error: 2^-24 log2 N.
double bound(int order) { return std::ldexp(1.0, -24) * std::max(order, 1); }

TEST(FftComplex, AccuracyEveryOrderBothDirections) {
    for (int order = 0; order <= 20; ++order) {
        const int n = 1 << order;
        const int flag = order % 4 == 0 ? 8 : order % 4 == 1 ? 1 : order % 4 == 2 ? 2 : 4;
        FloatSpec fs(kFftIdC32fc, order, flag);
        ASSERT_EQ(fs.st, okvOk);
        std::vector<float> x = xref::noise(2 * n, order);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) xc[k] = {x[2 * k], x[2 * k + 1]};
        for (int inv = 0; inv < 2; ++inv) {
            SCOPED_TRACE(testing::Message() << "order " << order << " inverse " << inv);
            std::vector<cd> yc = xref::dft(xc, inv ? 1 : -1);
            std::vector<double> ref(2 * n);
            const double sc = scale_of(flag, order, inv);
            for (int k = 0; k < n; ++k) {
                ref[2 * k] = yc[k].real() * sc;
                ref[2 * k + 1] = yc[k].imag() * sc;
            }
            std::vector<float> out(2 * n), inplace = x;
            auto* src = reinterpret_cast<const Okv32fc*>(x.data());
            auto* dst = reinterpret_cast<Okv32fc*>(out.data());
            auto* io = reinterpret_cast<Okv32fc*>(inplace.data());
            auto fn = inv ? okvsFFTInv_CToC_32fc : okvsFFTFwd_CToC_32fc;
            ASSERT_EQ(fn(src, dst, fs.spec, fs.buf()), okvOk);
            EXPECT_LE(xref::rel_rms(out.data(), ref), bound(order));
            ASSERT_EQ(fn(io, io, fs.spec, order % 2 ? nullptr : fs.buf()), okvOk);
            EXPECT_EQ(0, std::memcmp(inplace.data(), out.data(), 8 * size_t(n)));
        }
    }
}

TEST(FftSplit, MatchesTheInterleavedKind) {
    for (int order : {0, 3, 5, 6, 7, 12, 15, 16, 17}) {
        SCOPED_TRACE(order);
        const int n = 1 << order;
        FloatSpec fs(kFftIdC32f, order, 1);
        ASSERT_EQ(fs.st, okvOk);
        std::vector<float> re = xref::noise(n, 7 + order), im = xref::noise(n, 9 + order);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) xc[k] = {re[k], im[k]};
        std::vector<cd> yc = xref::dft(xc, -1);
        std::vector<double> rr(n), ri(n);
        for (int k = 0; k < n; ++k) {
            rr[k] = yc[k].real() / n;
            ri[k] = yc[k].imag() / n;
        }
        std::vector<float> dre(n), dim(n);
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), dre.data(), dim.data(), fs.spec, nullptr), okvOk);
        EXPECT_LE(xref::rel_rms(dre.data(), rr), bound(order) * 1.5);
        EXPECT_LE(xref::rel_rms(dim.data(), ri), bound(order) * 1.5);
        ASSERT_EQ(okvsFFTFwd_CToC_32f(re.data(), im.data(), re.data(), im.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_EQ(0, std::memcmp(re.data(), dre.data(), 4 * size_t(n)));
        EXPECT_EQ(0, std::memcmp(im.data(), dim.data(), 4 * size_t(n)));
    }
}

TEST(FftReal, PermAccuracyEveryOrder) {
    for (int order = 0; order <= 20; ++order) {
        SCOPED_TRACE(order);
        const int n = 1 << order;
        const int flag = order % 3 == 0 ? 8 : order % 3 == 1 ? 2 : 4;
        FloatSpec fs(kFftIdR32f, order, flag);
        ASSERT_EQ(fs.st, okvOk);
        std::vector<float> x = xref::noise(n, 100 + order);
        std::vector<cd> xc(x.begin(), x.end());
        std::vector<cd> yc = xref::dft(xc, -1);
        const double sf = scale_of(flag, order, false);
        std::vector<double> perm(n);
        perm[0] = yc[0].real() * sf;
        if (n > 1) perm[1] = yc[n / 2].real() * sf;
        for (int k = 1; k < n / 2; ++k) {
            perm[2 * k] = yc[k].real() * sf;
            perm[2 * k + 1] = yc[k].imag() * sf;
        }
        std::vector<float> p(n), back(n);
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(x.data(), p.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_LE(xref::rel_rms(p.data(), perm), bound(order));
        // The inverse returns N times (flag 8), 1 times (flag 2) or sqrt N times the signal.
        ASSERT_EQ(okvsFFTInv_PermToR_32f(p.data(), back.data(), fs.spec, nullptr), okvOk);
        const double si = scale_of(flag, order, true) * n * sf;
        std::vector<double> expect(n);
        for (int k = 0; k < n; ++k) expect[k] = x[k] * si;
        EXPECT_LE(xref::rel_rms(back.data(), expect), 2 * bound(order));
        std::vector<float> io = x;
        ASSERT_EQ(okvsFFTFwd_RToPerm_32f(io.data(), io.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_EQ(0, std::memcmp(io.data(), p.data(), 4 * size_t(n)));
        ASSERT_EQ(okvsFFTInv_PermToR_32f(io.data(), io.data(), fs.spec, fs.buf()), okvOk);
        EXPECT_EQ(0, std::memcmp(io.data(), back.data(), 4 * size_t(n)));
    }
}

TEST(FftLifecycle, ChecksAndFlags) {
    std::vector<uint8_t> mem(4096);
    OkvsFFTSpec_32f* spec = nullptr;
    EXPECT_EQ(okvsFFTInit_C_32fc(nullptr, 3, 8, 0, mem.data(), nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTInit_C_32fc(&spec, 29, 8, 0, mem.data(), nullptr), okvErrFftOrder);
    EXPECT_EQ(okvsFFTInit_C_32fc(&spec, 3, 8, 0, nullptr, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTInit_R_32f(&spec, 30, 8, 0, mem.data(), nullptr), okvErrFftOrder);
    // A bad flag leaves a spec that every operation refuses.
    ASSERT_EQ(okvsFFTInit_C_32fc(&spec, 3, 3, 0, mem.data(), nullptr), okvErrFftFlag);
    Okv32fc v[8] = {};
    EXPECT_EQ(okvsFFTFwd_CToC_32fc(v, v, spec, nullptr), okvErrContextMatch);
    int size;
    EXPECT_EQ(okvsFFTGetBufSize_C_32fc(spec, &size), okvErrContextMatch);
    // Checks: spec, identifier, then data pointers.
    ASSERT_EQ(okvsFFTInit_C_32fc(&spec, 3, 8, 0, mem.data(), nullptr), okvOk);
    EXPECT_EQ(okvsFFTFwd_CToC_32fc(nullptr, v, spec, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTFwd_CToC_32fc(v, v, nullptr, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTFwd_RToPerm_32f(nullptr, nullptr, spec, nullptr), okvErrContextMatch);
    EXPECT_EQ(okvsFFTFree_C_32fc(spec), okvOk);  // not allocated here: memory untouched
    EXPECT_EQ(okvsFFTFree_C_32fc(spec), okvErrContextMatch);
    // Order 11 needs the init buffer.
    std::vector<uint8_t> big(1 << 16);
    EXPECT_EQ(okvsFFTInit_C_32fc(&spec, 11, 8, 0, big.data(), nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTInit_R_32f(&spec, 11, 8, 0, big.data(), nullptr), okvErrNullPtr);

    ASSERT_EQ(okvsFFTInitAlloc_C_32fc(&spec, 12, 2, 0), okvOk);
    ASSERT_EQ(okvsFFTGetBufSize_C_32fc(spec, &size), okvOk);
    EXPECT_EQ(size, 8 * 4096 + 64);
    std::vector<float> x = xref::noise(2 * 4096, 5), y(x.size());
    auto* xc = reinterpret_cast<Okv32fc*>(x.data());
    auto* yc = reinterpret_cast<Okv32fc*>(y.data());
    ASSERT_EQ(okvsFFTFwd_CToC_32fc(xc, yc, spec, nullptr), okvOk);
    ASSERT_EQ(okvsFFTInv_CToC_32fc(yc, yc, spec, nullptr), okvOk);
    for (size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(y[k], x[k], 2e-6) << k;
    EXPECT_EQ(okvsFFTFree_C_32fc(spec), okvOk);
}

struct Spec16 {
    std::vector<uint8_t> mem, init, work;
    OkvsFFTSpec_16sc* spec = nullptr;
    Spec16(int order, int flag, int hint) {
        int s, i, w;
        EXPECT_EQ(okvsFFTGetSize_C_16sc(order, flag, hint, &s, &i, &w), okvOk);
        mem.resize(s);
        init.resize(i + 1);
        work.resize(w);
        EXPECT_EQ(okvsFFTInit_C_16sc(&spec, order, flag, hint, mem.data(), init.data()), okvOk);
    }
};

// The integer path (orders 1..3 without the float hint) and the float path against the DFT.
TEST(Fft16s, BothPathsFollowTheDft) {
    Spec16 z(0, 8, 0);
    Okv16sc one{-7, 9}, out;
    ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(&one, &out, z.spec, 1, nullptr), okvOk);
    EXPECT_EQ(out.re, -3);  // -3.5 rounds half up
    EXPECT_EQ(out.im, 5);
    const int orders[] = {1, 2, 3, 2, 4, 6, 10, 12};
    for (int run = 0; run < 8; ++run) {
        // Odd orders divided by sqrt N (flag 4) take the 1/sqrt 2 step; the scale factor makes up 2^-order.
        const int order = orders[run], hint = run < 3 ? 0 : 2, flag = run % 2 ? 8 : 4;
        SCOPED_TRACE(testing::Message() << order << " flag " << flag);
        const int n = 1 << order, sf = flag == 4 ? order - (order >> 1) : order;
        const double scale = std::ldexp(flag == 4 && order % 2 ? M_SQRT1_2 : 1.0, -order);
        Spec16 sp(order, flag, hint);
        std::vector<float> f = xref::noise(2 * n, order);
        std::vector<Okv16sc> x(n), y(n);
        std::vector<cd> xc(n);
        for (int k = 0; k < n; ++k) {
            x[k] = {int16_t(f[2 * k] * 3000), int16_t(f[2 * k + 1] * 3000)};
            xc[k] = {double(x[k].re), double(x[k].im)};
        }
        std::vector<cd> yc = xref::dft(xc, -1);
        ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(x.data(), y.data(), sp.spec, sf, sp.work.data()), okvOk);
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(y[k].re, yc[k].real() * scale, 0.51) << k;
            ASSERT_NEAR(y[k].im, yc[k].imag() * scale, 0.51) << k;
        }
        int size;
        ASSERT_EQ(okvsFFTGetBufSize_C_16sc(sp.spec, &size), okvOk);
        EXPECT_EQ(size, int(sp.work.size()));
    }
    // Sums one past either end saturate.
    Spec16 two(1, 8, 0);
    const Okv16sc edge[2] = {{-32768, 32767}, {-1, 1}};
    Okv16sc sum[2];
    ASSERT_EQ(okvsFFTFwd_CToC_16sc_Sfs(edge, sum, two.spec, 0, two.work.data()), okvOk);
    EXPECT_EQ(sum[0].re, -32768);
    EXPECT_EQ(sum[0].im, 32767);
    OkvsFFTSpec_16sc* a = nullptr;
    ASSERT_EQ(okvsFFTInitAlloc_C_16sc(&a, 5, 1, 0), okvOk);
    EXPECT_EQ(okvsFFTFree_C_16sc(a), okvOk);
    std::vector<uint8_t> mem(1024);
    EXPECT_EQ(okvsFFTInit_C_16sc(&a, 2, 8, 0, mem.data(), nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFFTInit_C_16sc(&a, 2, 5, 0, mem.data(), mem.data()), okvErrFftFlag);
    EXPECT_EQ(okvsFFTInit_C_16sc(&a, 30, 5, 0, mem.data(), mem.data()), okvErrFftFlag);  // sizes are checked later
    EXPECT_EQ(okvsFFTInit_C_16sc(&a, 31, 8, 0, mem.data(), mem.data()), okvErrFftOrder);
}

}  // namespace
