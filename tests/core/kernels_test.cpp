// Internal vector kernels against exact models, for every length 1..67 and every element misalignment of
// source and destination; the scaling rule and sin(pi x) / cos(pi x) against wider arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/bits.h"
#include "core/kernels.h"
#include "core/sfs.h"
#include "core/trig.h"

// kernels_n8_test.cpp includes this file again for the n8 bodies.
#ifndef KERNEL_SUITE
#define KERNEL_SUITE(name) name
#endif

namespace K = OKV_NS;

namespace {

std::mt19937 rng(12345);

Okv32s randInt32() {
    static constexpr Okv32s kEdges[] = {INT32_MIN, INT32_MIN + 1, -65536, -32769, -2, -1, 0, 1, 2, 32767, 65535,
                                        INT32_MAX - 1, INT32_MAX};
    const unsigned r = rng();
    if (r % 4 == 0) return kEdges[(r >> 8) % std::size(kEdges)];
    return r % 4 == 1 ? Okv32s(rng()) >> (rng() % 31) : Okv32s(rng());
}
float randFloat(float scale) { return std::uniform_real_distribution<float>(-scale, scale)(rng); }
Okv32fc randComplex() { return {randFloat(10), randFloat(10)}; }

// r * 2^-sf by floor division and an explicit tie test, then saturation.
template <class T> T sfsRef(__int128 r, int sf) {
    const __int128 lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    if (sf >= 100) r = 0;
    else if (sf > 0) {
        const __int128 d = __int128(1) << sf;
        __int128 q = r / d, m = r % d;
        if (m < 0) m += d, q -= 1;
        r = q + (2 * m > d || (2 * m == d && (q & 1)));
    } else
        for (int i = 0; i < -sf && r >= lo && r <= hi; ++i) r *= 2;
    return T(std::clamp(r, lo, hi));
}

// Plain float -> 16-bit conversion as documented, in the FPU's own modes.
Okv16s convertRef(float x, int mode, int sf) {
    const float mulv = std::bit_cast<float>(Okv32u(std::clamp(127 - sf, 0, 255)) << 23);
    long r;
    float v = sf ? x * mulv : x;
    if (mode < 2) {
        if (v >= 2147483648.0f) r = 32767;
        else if (std::isnan(v) || v < -2147483648.0f) r = INT32_MIN;
        else r = mode == 0 ? long(std::trunc(v)) : long(std::nearbyint(v));
    } else {
        std::fesetround(FE_TOWARDZERO);
        v = sf ? x * mulv : x;
        if (!(v <= 32767.0f)) v = 32767.0f;
        v = v + std::copysign(0.5f, v);
        r = v < -2147483648.0f ? INT32_MIN : long(std::trunc(v));
        std::fesetround(FE_TONEAREST);
    }
    return Okv16s(std::clamp(r, -32768L, 32767L));
}

// A buffer whose data starts `shift` elements past a 16-byte boundary.
template <class T> struct Shifted {
    std::vector<T> store;
    T* p;
    Shifted(int len, int shift) : store(size_t(len) + 16 / sizeof(T) + 16) {
        p = reinterpret_cast<T*>((reinterpret_cast<uintptr_t>(store.data()) + 15) & ~uintptr_t(15)) + shift;
    }
};

// An elementwise kernel call(src, dst, n) at every length 1..67 and element misalignment against
// dst[i] = model(src[i], dst[i]) bit for bit, the element after the last kept. Refused first: a null
// source (when it reads one) or destination, then a zero length; nothing written.
template <class In, class Out>
void sweep(auto call, auto model, auto genIn, auto genOut, bool readsSrc = true) {
    Shifted<In> s0(1, 0);
    Shifted<Out> d0(1, 0);
    const std::vector<Out> mark(d0.p, d0.p + 1);
    EXPECT_EQ(call(readsSrc ? static_cast<In*>(nullptr) : s0.p, d0.p, 0), readsSrc ? okvErrNullPtr : okvErrSize);
    EXPECT_EQ(call(s0.p, static_cast<Out*>(nullptr), 0), okvErrNullPtr);
    EXPECT_EQ(call(s0.p, d0.p, 0), okvErrSize);
    EXPECT_EQ(0, std::memcmp(d0.p, mark.data(), sizeof(Out)));
    for (int len = 1; len <= 67; ++len)
        for (int a = 0; a < int(16 / sizeof(In)); ++a)
            for (int b = 0; b < int(16 / sizeof(Out)); ++b) {
                Shifted<In> src(len, a);
                Shifted<Out> dst(len + 1, b);
                for (int i = 0; i <= len; ++i) src.p[i] = genIn();  // one past the end too: never read
                for (int i = 0; i <= len; ++i) dst.p[i] = genOut();
                std::vector<Out> want(dst.p, dst.p + len + 1);
                for (int i = 0; i < len; ++i) want[size_t(i)] = model(src.p[i], want[size_t(i)]);
                ASSERT_EQ(call(src.p, dst.p, len), okvOk) << len;
                ASSERT_EQ(0, std::memcmp(dst.p, want.data(), want.size() * sizeof(Out))) << len << " " << a << " " << b;
            }
}

}  // namespace

// The scaling rule on 33-bit sums biased to the rounding and saturation edges, every tie, shifts of
// 32, 64 and more; the big-endian load and 64 rounding; sin and cos of pi x within 1.5 ulp of long
// double on the arguments k / N that transform tables use, exact at the axes.
TEST(KERNEL_SUITE(Scalars), SfsBitsAndTrig) {
    std::mt19937_64 g(12345);
    std::vector<int> sfs{-64, 63, 64, 65, 200};
    for (int sf = -40; sf <= 40; ++sf) sfs.push_back(sf);
    for (int sf : sfs)
        for (int i = 0; i < 3000; ++i) {
            int64_t a = int32_t(g()), b = i % 4 == 1 ? 0 : int32_t(g());
            if (i % 4 == 2) a >>= g() % 32, b >>= g() % 32;
            if (i % 8 == 3) a = b = (i & 16) ? INT32_MAX : INT32_MIN;
            if (i % 8 == 7 && sf > 0 && sf < 32) a = (2 * (i % 11) - 9) * (int64_t{1} << (sf - 1)), b = 0;
            ASSERT_EQ(K::okv_sfs32(a + b, sf), sfsRef<Okv32s>(a + b, sf)) << a + b << " sf " << sf;
            ASSERT_EQ(K::okv_sfs16(a + b, sf), sfsRef<Okv16s>(a + b, sf)) << a + b << " sf " << sf;
        }
    const Okv8u b[4] = {0x81, 0x42, 0x24, 0x18};
    EXPECT_EQ(K::okv_load_be32(b), 0x81422418u);
    for (int x : {0, 1, 63, 64, 65, 1000}) EXPECT_EQ(K::okv_round64(x), (x + 63) / 64 * 64);
    EXPECT_TRUE(K::okv_sinpi(0.5) == 1.0 && K::okv_sinpi(-0.5) == -1.0 && K::okv_cospi(1.0) == -1.0);
    EXPECT_EQ(K::okv_sinpi(0.25), K::okv_cospi(0.25));
    EXPECT_FALSE(std::signbit(K::okv_sinpi(0.0)) || std::signbit(K::okv_sinpi(1.0)) || std::signbit(K::okv_sinpi(2.0)));
    const long double pi = 3.141592653589793238462643383279502884L;
    double worst = 0;
    for (int n : {3, 9, 12, 36, 64, 100, 1024, 4096, 65536})
        for (int k = -2 * n; k <= 2 * n; k += (n > 2048 ? 7 : 1)) {
            const double x = double(k) / n;
            const long double xr = x - 2 * std::round(x / 2);  // exact reduction keeps the reference precise
            const long double ref[2] = {std::sin(pi * xr), std::cos(pi * xr)};
            const double got[2] = {K::okv_sinpi(x), K::okv_cospi(x)};
            for (int f = 0; f < 2; ++f) {
                ASSERT_NEAR(got[f], double(ref[f]), 2e-16) << x;
                if (const int e = std::ilogb(double(ref[f])); std::fabs(ref[f]) > 1e-3L)
                    worst = std::max(worst, double(std::fabs(got[f] - ref[f]) / std::ldexp(1.0L, e - 52)));
            }
        }
    EXPECT_LE(worst, 1.5);
}

// Every elementwise kernel; the scaled ones at every scale, the float conversion in every rounding mode
// whatever mode the caller left the FPU in (and gets back).
TEST(KERNEL_SUITE(Kernels), ElementwiseMatchModelsAtEveryLayout) {
    const auto byte = [] { return Okv8u(rng()); };
    const auto same = [](auto x, auto) { return x; };
    const auto i16 = [] { return Okv16s(rng()); };
    const auto f32 = [] { return randFloat(100); };
    sweep<Okv8u, Okv8u>(K::okvsCopy_8u, same, byte, byte);
    sweep<Okv32s, Okv32s>(K::okvsCopy_32s, same, randInt32, randInt32);
    sweep<Okv32f, Okv32f>(K::okvsCopy_32f, same, f32, f32);
    const auto zero = [](auto, auto y) { return decltype(y){}; };
    sweep<Okv8u, Okv8u>([](auto, auto* d, int n) { return K::okvsZero_8u(d, n); }, zero, byte, byte, false);
    sweep<Okv8u, Okv16s>([](auto, auto* d, int n) { return K::okvsZero_16s(d, n); }, zero, byte, i16, false);
    sweep<Okv8u, Okv32s>([](auto, auto* d, int n) { return K::okvsZero_32s(d, n); }, zero, byte, randInt32, false);
    sweep<Okv8u, Okv32f>([](auto, auto* d, int n) { return K::okvsZero_32f(d, n); }, zero, byte, f32, false);
    sweep<Okv8u, Okv32fc>([](auto, auto* d, int n) { return K::okvsZero_32fc(d, n); }, zero, byte, randComplex, false);
    const auto randSc = [] { return Okv32sc{randInt32(), randInt32()}; };
    sweep<Okv8u, Okv32sc>([](auto, auto* d, int n) { return K::okvsZero_32sc(d, n); }, zero, byte, randSc, false);
    sweep<Okv8u, Okv32s>([](auto, auto* d, int n) { return K::okvsSet_32s(-3, d, n); }, [](auto, auto) { return -3; },
                         byte, randInt32, false);
    sweep<Okv16s, Okv32f>(K::okvsConvert_16s32f, [](Okv16s x, float) { return float(x); }, i16, f32);
    for (int sf = -40; sf <= 40; ++sf) {
        sweep<Okv32s, Okv32s>([sf](auto* s, auto* d, int n) { return K::okvsAdd_32s_ISfs(s, d, n, sf); },
                              [sf](Okv32s x, Okv32s y) { return sfsRef<Okv32s>(Okv64s(y) + x, sf); }, randInt32, randInt32);
        sweep<Okv32s, Okv16s>([sf](auto* s, auto* d, int n) { return K::okvsConvert_32s16s_Sfs(s, d, n, sf); },
                              [sf](Okv32s x, Okv16s) { return sfsRef<Okv16s>(x, std::clamp(sf, -15, 31)); }, randInt32, i16);
        sweep<Okv8u, Okv32s>([sf](auto, auto* d, int n) { return K::okvsRShiftC_32s_I(sf + 40, d, n); },
                             [sf](auto, Okv32s y) { return y >> std::min(sf + 40, 31); }, byte, randInt32, false);
    }
    const float specials[] = {2.5f, -2.5f, 0.5f, -0.5f, 1.5f, 0.49999997f, -2.7f, 1.0e10f, -1.0e10f,
                              32767.5f, -32768.5f, 3.0e9f, NAN, INFINITY, -INFINITY, 0.0f, -0.0f,
                              2147483648.0f, 2147483520.0f, -2147483648.0f, -2147483904.0f};
    const int caller[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD};
    for (int mode = 0; mode <= 2; ++mode)
        for (int sf : {0, 1, -1, 3, -14, 20, 127, 128, 200, -128, -129, -200}) {
            const auto call = [&](auto* s, auto* d, int n) {
                std::fesetround(caller[n % 3]);
                const StatusCode st = K::okvsConvert_32f16s_Sfs(s, d, n, mode, sf);
                EXPECT_EQ(std::fegetround(), caller[n % 3]);
                std::fesetround(FE_TONEAREST);
                return st;
            };
            const auto in = [sf, &specials] {
                return rng() % 3 ? randFloat(70000.0f) * std::ldexp(1.0f, sf) : specials[rng() % std::size(specials)];
            };
            sweep<Okv32f, Okv16s>(call, [&](float x, Okv16s) { return convertRef(x, mode, sf); }, in, i16);
        }
    const auto mul = [](Okv32fc x, Okv32fc y) { return Okv32fc{x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re}; };
    sweep<Okv32fc, Okv32fc>(K::okvsMul_32fc_I, mul, randComplex, randComplex);
    std::vector<Okv32fc> src2(80);  // the destination's old values as the second source
    const auto mul3 = [&src2](auto* s, auto* d, int n) {
        if (d) std::copy_n(d, n, src2.begin());
        return K::okvsMul_32fc(s, src2.data(), d, n);
    };
    sweep<Okv32fc, Okv32fc>(mul3, mul, randComplex, randComplex);
    sweep<Okv32fc, Okv32fc>(K::okvsConj_32fc, [](Okv32fc x, Okv32fc) { return Okv32fc{x.re, -x.im}; }, randComplex,
                            randComplex);
    sweep<Okv8u, Okv32f>([](auto, auto* d, int n) { return K::okvsMulC_32f_I(d, n, 0.3f); },
                         [](auto, float y) { return y * 0.3f; }, byte, f32, false);
    float im[80];
    sweep<Okv32fc, Okv32f>([&im](auto* s, auto* d, int n) { return K::okvsCplxToReal_32fc(s, d, im, n); },
                           [](Okv32fc x, float) { return x.re; }, randComplex, f32);
    sweep<Okv32fc, Okv32f>([&im](auto* s, auto* d, int n) { return K::okvsCplxToReal_32fc(s, im, d, n); },
                           [](Okv32fc x, float) { return x.im; }, randComplex, f32);
    // A null part reads as zeros: refused only when both are null, after the length.
    sweep<Okv32f, Okv32fc>([](auto* s, auto* d, int n) { return K::okvsRealToCplx_32f(s, s, d, n); },
                           [](float x, Okv32fc) { return Okv32fc{x, x}; }, f32, randComplex, false);
    sweep<Okv32f, Okv32fc>([](auto* s, auto* d, int n) { return K::okvsRealToCplx_32f(s, nullptr, d, n); },
                           [](float x, Okv32fc) { return Okv32fc{x, 0}; }, f32, randComplex, false);
    sweep<Okv32f, Okv32fc>([](auto* s, auto* d, int n) { return K::okvsRealToCplx_32f(nullptr, s, d, n); },
                           [](float x, Okv32fc) { return Okv32fc{0, x}; }, f32, randComplex, false);
    Okv32fc c[1] = {{1, 2}};
    Okv32s shifted[1] = {4};
    EXPECT_EQ(K::okvsMul_32fc(c, nullptr, c, 1) + K::okvsCplxToReal_32fc(c, im, nullptr, 1) +
                  K::okvsRealToCplx_32f(nullptr, nullptr, c, 1) + K::okvsRShiftC_32s_I(-1, nullptr, 1),
              4 * okvErrNullPtr);
    EXPECT_EQ(K::okvsRShiftC_32s_I(-1, shifted, 1), okvErrShift);  // the shift is checked last
    EXPECT_TRUE(c[0].re == 1 && c[0].im == 2 && shifted[0] == 4);
    float v[3] = {NAN, INFINITY, -0.0f};
    ASSERT_EQ(K::okvsMulC_32f_I(v, 3, 0.0f), okvOk);
    for (float z : v) EXPECT_EQ(std::bit_cast<Okv32u>(z), 0u);  // a zero factor clears, NaN included
}

// Moves overlapping either way match memmove; sorts of narrow, wide and descending values; the deviation
// of a sum with a sentinel after it; extremes at every layout, with wider ones just past the end; allocation
// sizes of zero, below and past 2^31 bytes refused, one element granted and usable.
TEST(KERNEL_SUITE(Kernels), MoveSortStdDevMinMaxAndAllocation) {
    const auto checkMove = [](auto move, auto elem, int len, int shift) {
        std::vector<decltype(elem)> buf(size_t(len) + 48), ref;
        for (auto& v : buf) v = decltype(elem)(rng());
        ref = buf;
        std::memmove(ref.data() + 24 + shift, ref.data() + 24, size_t(len) * sizeof(elem));
        ASSERT_EQ(move(buf.data() + 24, buf.data() + 24 + shift, len), okvOk);
        ASSERT_EQ(buf, ref) << "len " << len << " shift " << shift;
        ASSERT_EQ(move(buf.data(), nullptr, 0), okvErrNullPtr);
        ASSERT_EQ(move(buf.data(), buf.data(), 0), okvErrSize);
    };
    for (int len = 1; len <= 200; len += len < 67 ? 1 : 37)
        for (int shift = -20; shift <= 20; ++shift) {
            checkMove(K::okvsMove_8u, Okv8u(), len, shift);
            checkMove(K::okvsMove_32f, 0.0f, len, shift);
        }
    for (int len : {1, 2, 3, 9, 10, 11, 17, 67, 100, 1000, 20000})
        for (int range : {3, 1000, 0, -1}) {
            std::vector<Okv32s> v(static_cast<size_t>(len));
            for (int i = 0; i < len; ++i) v[i] = range < 0 ? len - i : range ? Okv32s(rng() % range) - range / 2 : randInt32();
            auto ref = v;
            std::sort(ref.begin(), ref.end());
            ASSERT_EQ(K::okvsSortAscend_32s_I(v.data(), len), okvOk);
            ASSERT_EQ(v, ref) << "len " << len << " range " << range;
        }
    float sd = 0;
    for (int len : {2, 4, 7, 1023, 1024, 1025, 5000}) {
        std::vector<float> x(size_t(len) + 1, 1e30f);
        double m = 0, s = 0;
        for (int i = 0; i < len; ++i) m += x[i] = 5.0f + randFloat(3.0f);
        m /= len;
        for (int i = 0; i < len; ++i) s += (x[i] - m) * (x[i] - m);
        const double ref = std::sqrt(s / (len - 1));
        for (int hint : {0, 1}) {
            ASSERT_EQ(K::okvsStdDev_32f(x.data(), len, &sd, hint), okvOk);
            EXPECT_NEAR(sd, ref, ref * (hint ? 1e-3 : 1e-6)) << len;  // hint 1: float block sums
        }
    }
    const float same[3] = {7, 7, 7};
    ASSERT_EQ(K::okvsStdDev_32f(same, 3, &sd, 1), okvOk);
    EXPECT_EQ(sd, 0.0f);
    Okv16s mn = 1, mx = 1;
    for (int len = 1; len <= 67; ++len)
        for (int a = 0; a < 8; ++a) {
            Shifted<Okv16s> s(len + 8, a);
            for (int i = 0; i < len + 8; ++i) s.p[i] = i < len ? Okv16s(rng()) : (i + a) & 1 ? INT16_MIN : INT16_MAX;
            ASSERT_EQ(K::okvsMinMax_16s(s.p, len, &mn, &mx), okvOk);
            ASSERT_TRUE(mn == *std::min_element(s.p, s.p + len) && mx == *std::max_element(s.p, s.p + len));
        }
    Okv32s i32[2] = {5, 6};
    const std::pair<StatusCode, StatusCode> refused[] = {
        {K::okvsSortAscend_32s_I(nullptr, 1), okvErrNullPtr}, {K::okvsSortAscend_32s_I(i32, 0), okvErrSize},
        {K::okvsStdDev_32f(same, 1, &sd, 0), okvErrSize},     {K::okvsStdDev_32f(same, 2, nullptr, 0), okvErrNullPtr},
        {K::okvsStdDev_32f(nullptr, 2, &sd, 0), okvErrNullPtr}, {K::okvsMinMax_16s(&mn, 0, &mn, &mx), okvErrSize},
        {K::okvsMinMax_16s(nullptr, 1, &mn, &mx) + K::okvsMinMax_16s(&mn, 1, nullptr, &mx), 2 * okvErrNullPtr},
        {K::okvsMinMax_16s(&mn, 1, &mn, nullptr), okvErrNullPtr},
    };
    for (const auto& r : refused) EXPECT_EQ(r.first, r.second) << "row " << &r - refused;
    EXPECT_TRUE(i32[0] == 5 && sd == 0.0f);
    EXPECT_TRUE(!K::okvsMalloc_8u(0) && !K::okvsMalloc_32f(0) && !K::okvsMalloc_32f(INT_MAX / 4 + 1));
    Okv8u* b = K::okvsMalloc_8u(1);
    Okv32f* f = K::okvsMalloc_32f(1);
    ASSERT_TRUE(b && f);
    b[0] = 1;
    f[0] = 1.0f;
    K::okvsFree(b);
    K::okvsFree(f);
}
