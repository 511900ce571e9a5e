// Internal vector kernels against exact models and the plain loop, for every length 1..67 and every
// element misalignment; the scaling rule and sin(pi x) / cos(pi x) against wider arithmetic.
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
#include "core/null_args.h"
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

// A buffer whose data starts `shift` elements past a 16-byte boundary.
template <class T> struct Shifted {
    std::vector<T> store;
    T* p;
    Shifted(int len, int shift) : store(len + 16 / sizeof(T) + 16) {
        p = reinterpret_cast<T*>((reinterpret_cast<uintptr_t>(store.data()) + 15) & ~uintptr_t(15)) + shift;
    }
};

// Calls f(len, srcShift, dstShift) for every length 1..67 and every element offset.
template <class T, class F> void everyLayout(F f) {
    for (int len = 1; len <= 67; ++len)
        for (int a = 0; a < int(16 / sizeof(T)); ++a)
            for (int b = 0; b < int(16 / sizeof(T)); ++b) f(len, a, b);
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

// Add and the 32-to-16 conversion against the scaling rule, the shift against >>.
TEST(KERNEL_SUITE(KernelsSfs), MatchExactModelsForEveryScale) {
    for (int sf = -40; sf <= 40; ++sf)
        everyLayout<Okv32s>([&](int len, int a, int b) {
            Shifted<Okv32s> src(len, a), dst(len, b), sh(len, b);
            Shifted<Okv16s> d16(len, 2 * b);
            std::vector<Okv32s> before(size_t(len + 1));
            for (int i = 0; i < len; ++i) src.p[i] = randInt32(), before[i] = dst.p[i] = sh.p[i] = randInt32();
            dst.p[len] = sh.p[len] = d16.p[len] = 0x5EED;  // must survive
            ASSERT_EQ(K::okvsAdd_32s_ISfs(src.p, dst.p, len, sf), okvOk);
            ASSERT_EQ(K::okvsConvert_32s16s_Sfs(src.p, d16.p, len, sf), okvOk);
            ASSERT_EQ(K::okvsRShiftC_32s_I(sf + 40, sh.p, len), okvOk);
            for (int i = 0; i < len; ++i) {
                ASSERT_EQ(dst.p[i], sfsRef<Okv32s>(Okv64s(before[i]) + src.p[i], sf)) << sf << " " << before[i];
                ASSERT_EQ(d16.p[i], sfsRef<Okv16s>(src.p[i], std::clamp(sf, -15, 31))) << "sf " << sf << " x " << src.p[i];
                ASSERT_EQ(sh.p[i], before[i] >> std::min(sf + 40, 31)) << "shift " << sf + 40;
            }
            ASSERT_TRUE(dst.p[len] == 0x5EED && sh.p[len] == 0x5EED && d16.p[len] == 0x5EED) << len;
        });
}

// Every rounding mode and scale, whatever mode the caller left the FPU in (and gets back).
TEST(KERNEL_SUITE(KernelsConvert), FloatTo16MatchesPlainLoopInEveryMode) {
    const float specials[] = {2.5f, -2.5f, 0.5f, -0.5f, 1.5f, 0.49999997f, -2.7f, 1.0e10f, -1.0e10f,
                              32767.5f, -32768.5f, 3.0e9f, NAN, INFINITY, -INFINITY, 0.0f, -0.0f,
                              2147483648.0f, 2147483520.0f, -2147483648.0f, -2147483904.0f};
    const int caller[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD};
    for (int mode = 0; mode <= 2; ++mode)
        for (int sf : {0, 1, -1, 3, -14, 20, 127, 128, 200, -128, -129, -200})
            everyLayout<Okv32f>([&](int len, int a, int b) {
                Shifted<Okv32f> src(len, a);
                Shifted<Okv16s> dst(len, 2 * b);
                for (int i = 0; i < len; ++i)
                    src.p[i] = rng() % 3 ? randFloat(70000.0f) * std::ldexp(1.0f, sf) : specials[rng() % std::size(specials)];
                dst.p[len] = 0x5EED;  // must survive
                std::fesetround(caller[len % 3]);
                ASSERT_EQ(K::okvsConvert_32f16s_Sfs(src.p, dst.p, len, mode, sf), okvOk);
                ASSERT_EQ(std::fegetround(), caller[len % 3]);
                std::fesetround(FE_TONEAREST);
                for (int i = 0; i <= len; ++i)
                    ASSERT_EQ(dst.p[i], i < len ? convertRef(src.p[i], mode, sf) : 0x5EED) << mode << " " << sf << " " << i;
            });
}

namespace {

// Byte-level kernels as (element width, model): a copy of the source, zeros, or -3 in every word.
template <class T, StatusCode (*F)(const T*, T*, int)>
StatusCode copyAs(const Okv8u* s, Okv8u* d, int n) { return F(reinterpret_cast<const T*>(s), reinterpret_cast<T*>(d), n); }
template <class T, StatusCode (*F)(T*, int)>
StatusCode zeroAs(const Okv8u*, Okv8u* d, int n) { return F(reinterpret_cast<T*>(d), n); }
StatusCode setMinus3(const Okv8u*, Okv8u* d, int n) { return K::okvsSet_32s(-3, reinterpret_cast<Okv32s*>(d), n); }
enum Model { Copy, Zero, Set };
const struct { int width; Model model; StatusCode (*fn)(const Okv8u*, Okv8u*, int); } kByteKernels[] = {
    {1, Copy, copyAs<Okv8u, K::okvsCopy_8u>},    {4, Copy, copyAs<Okv32s, K::okvsCopy_32s>},
    {4, Copy, copyAs<Okv32f, K::okvsCopy_32f>},  {1, Zero, zeroAs<Okv8u, K::okvsZero_8u>},
    {2, Zero, zeroAs<Okv16s, K::okvsZero_16s>},  {4, Zero, zeroAs<Okv32s, K::okvsZero_32s>},
    {8, Zero, zeroAs<Okv32sc, K::okvsZero_32sc>}, {4, Zero, zeroAs<Okv32f, K::okvsZero_32f>},
    {8, Zero, zeroAs<Okv32fc, K::okvsZero_32fc>}, {4, Set, setMinus3},
};

}  // namespace

// Every kernel stops at its last element; the 16-bit to float conversion is exact; moves
// overlapping either way match memmove.
TEST(KERNEL_SUITE(KernelsCopy), CopyMoveZeroSetAndInt16ToFloat) {
    everyLayout<Okv8u>([&](int len, int a, int b) {
        for (const auto& k : kByteKernels) {
            const int n = (len + k.width - 1) / k.width, bytes = n * k.width;
            Shifted<Okv8u> src(bytes, a - a % k.width), dst(bytes, b - b % k.width);
            std::vector<Okv8u> want(size_t(bytes) + 1, 0xA5);
            for (int i = 0; i <= bytes; ++i) dst.p[i] = 0xA5, src.p[i] = Okv8u(rng());
            for (int i = 0; i < bytes; ++i) want[i] = k.model == Copy ? src.p[i] : k.model == Zero ? 0 : i % 4 ? 0xFF : 0xFD;
            ASSERT_EQ(k.fn(src.p, dst.p, n), okvOk);
            ASSERT_EQ(0, std::memcmp(dst.p, want.data(), want.size())) << k.width << " " << k.model << " " << n;
        }
        Shifted<Okv16s> s16(len, a % 8);
        Shifted<Okv32f> f(len, b % 4);
        for (int i = 0; i < len; ++i) s16.p[i] = Okv16s(rng());
        f.p[len] = 7;
        ASSERT_EQ(K::okvsConvert_16s32f(s16.p, f.p, len), okvOk);
        for (int i = 0; i <= len; ++i) ASSERT_EQ(f.p[i], i < len ? float(s16.p[i]) : 7.0f);
    });
    const auto checkMove = [](auto move, auto elem, int len, int shift) {
        std::vector<decltype(elem)> buf(len + 48), ref;
        for (auto& v : buf) v = decltype(elem)(rng());
        ref = buf;
        std::memmove(ref.data() + 24 + shift, ref.data() + 24, len * sizeof(elem));
        ASSERT_EQ(move(buf.data() + 24, buf.data() + 24 + shift, len), okvOk);
        ASSERT_EQ(buf, ref) << "len " << len << " shift " << shift;
    };
    for (int len = 1; len <= 200; len += len < 67 ? 1 : 37)
        for (int shift = -20; shift <= 20; ++shift)
            checkMove(K::okvsMove_8u, Okv8u(), len, shift), checkMove(K::okvsMove_32f, 0.0f, len, shift);
}

// Outputs checked up to the element after the last, which must keep its mark.
TEST(KERNEL_SUITE(KernelsComplex), ProductsPartsAndScalingMatchPlainLoop) {
    const auto same = [](Okv32fc u, Okv32fc v) { return std::bit_cast<Okv64u>(u) == std::bit_cast<Okv64u>(v); };
    const Okv32fc mark{7.0f, -7.0f};
    everyLayout<Okv32fc>([&](int len, int a, int b) {
        std::vector<Okv32fc> x(len + 1), y(len + 1), r(len + 2, mark), ri;
        Okv32fc *px = x.data() + a, *py = y.data() + b;  // 8-byte elements: offset 0 or 1
        for (int i = 0; i < len; ++i) px[i] = {randFloat(10), randFloat(10)}, py[i] = {randFloat(10), randFloat(10)};
        ri = r;
        std::copy_n(py, len, ri.data() + b);
        ASSERT_EQ(K::okvsMul_32fc(px, py, r.data() + b, len) + K::okvsMul_32fc_I(px, ri.data() + b, len), okvOk);
        for (int i = 0; i <= len; ++i) {
            Okv32fc want = mark;
            if (i < len) want = {px[i].re * py[i].re - px[i].im * py[i].im, px[i].re * py[i].im + px[i].im * py[i].re};
            ASSERT_TRUE(same(r[b + i], want) && same(ri[b + i], want)) << i;
        }
        std::vector<float> re(len + 4, 7.0f), im(len + 4, 7.0f);
        ASSERT_EQ(K::okvsConj_32fc(px, r.data() + b, len), okvOk);
        ASSERT_EQ(K::okvsCplxToReal_32fc(px, re.data() + a, im.data() + b, len), okvOk);
        for (int i = 0; i <= len; ++i)
            ASSERT_TRUE(same(r[b + i], i < len ? Okv32fc{px[i].re, -px[i].im} : mark) && re[a + i] == (i < len ? px[i].re : 7) &&
                        im[b + i] == (i < len ? px[i].im : 7));
        for (int drop = 0; drop < 3; ++drop) {  // both parts, no real part, no imaginary part
            const float *pr = drop == 1 ? nullptr : re.data() + a, *pi = drop == 2 ? nullptr : im.data() + b;
            r[len] = mark;
            ASSERT_EQ(K::okvsRealToCplx_32f(pr, pi, r.data(), len), okvOk);
            for (int i = 0; i <= len; ++i)
                ASSERT_TRUE(same(r[i], i < len ? Okv32fc{drop == 1 ? 0.0f : px[i].re, drop == 2 ? 0.0f : px[i].im} : mark));
        }
    });
    everyLayout<Okv32f>([&](int len, int a, int) {
        Shifted<Okv32f> d(len, a);
        std::vector<float> ref(len + 1, 7.0f);
        for (int i = 0; i < len; ++i) ref[i] = (d.p[i] = randFloat(100)) * 0.3f;
        d.p[len] = 7.0f;
        ASSERT_EQ(K::okvsMulC_32f_I(d.p, len, 0.3f), okvOk);
        ASSERT_EQ(0, std::memcmp(ref.data(), d.p, (len + 1) * sizeof(float)));
    });
    float v[3] = {NAN, INFINITY, -0.0f};
    ASSERT_EQ(K::okvsMulC_32f_I(v, 3, 0.0f), okvOk);
    for (float x : v) EXPECT_EQ(std::bit_cast<Okv32u>(x), 0u);  // a zero factor clears, NaN included
}

// Every kernel with each pointer null in turn at length 0 (nulls are refused first), then at length 0
// with valid pointers; nothing written. A complex result needs one part; the shift is checked last.
TEST(KERNEL_SUITE(KernelsArguments), RefusalsWriteNothing) {
    Okv8u u8[2] = {3, 4};
    Okv16s i16[2] = {7, 8};
    Okv32s i32[2] = {5, 6};
    Okv32f f[2] = {1, 2};
    Okv32fc c[2] = {{1, 2}, {3, 4}};
    Okv32sc sc[2] = {{1, 2}, {3, 4}};
    // The first pointer whose null is not refused (-1: none), and the status at length len.
    const auto sweep = [](auto fn, auto... p) {
        return std::pair{nullargs::firstNullNotRefused([&](auto... q) { return fn(0, q...); }, p...), fn(0, p...)};
    };
    const std::pair<int, StatusCode> size{-1, okvErrSize};
    const std::pair<int, StatusCode> rows[][2] = {
        {sweep([](int n, auto s, auto d) { return K::okvsCopy_8u(s, d, n); }, u8, u8), size},
        {sweep([](int n, auto s, auto d) { return K::okvsCopy_32s(s, d, n); }, i32, i32), size},
        {sweep([](int n, auto s, auto d) { return K::okvsCopy_32f(s, d, n); }, f, f), size},
        {sweep([](int n, auto s, auto d) { return K::okvsMove_8u(s, d, n); }, u8, u8), size},
        {sweep([](int n, auto s, auto d) { return K::okvsMove_32f(s, d, n); }, f, f), size},
        {sweep([](int n, auto d) { return K::okvsZero_8u(d, n); }, u8), size},
        {sweep([](int n, auto d) { return K::okvsZero_16s(d, n); }, i16), size},
        {sweep([](int n, auto d) { return K::okvsZero_32s(d, n); }, i32), size},
        {sweep([](int n, auto d) { return K::okvsZero_32sc(d, n); }, sc), size},
        {sweep([](int n, auto d) { return K::okvsZero_32f(d, n); }, f), size},
        {sweep([](int n, auto d) { return K::okvsZero_32fc(d, n); }, c), size},
        {sweep([](int n, auto d) { return K::okvsSet_32s(9, d, n); }, i32), size},
        {sweep([](int n, auto s, auto d) { return K::okvsAdd_32s_ISfs(s, d, n, 1); }, i32, i32), size},
        {sweep([](int n, auto s, auto d) { return K::okvsConvert_32s16s_Sfs(s, d, n, 1); }, i32, i16), size},
        {sweep([](int n, auto s, auto d) { return K::okvsConvert_32f16s_Sfs(s, d, n, 0, 0); }, f, i16), size},
        {sweep([](int n, auto s, auto d) { return K::okvsConvert_16s32f(s, d, n); }, i16, f), size},
        {sweep([](int n, auto a, auto b, auto d) { return K::okvsMul_32fc(a, b, d, n); }, c, c, c), size},
        {sweep([](int n, auto s, auto d) { return K::okvsMul_32fc_I(s, d, n); }, c, c), size},
        {sweep([](int n, auto d) { return K::okvsMulC_32f_I(d, n, 2.0f); }, f), size},
        {sweep([](int n, auto d) { return K::okvsRShiftC_32s_I(-1, d, n); }, i32), size},
        {sweep([](int n, auto d) { return K::okvsRShiftC_32s_I(-1, d, n + 2); }, i32), {-1, okvErrShift}},
        {sweep([](int n, auto d) { return K::okvsSortAscend_32s_I(d, n); }, i32), size},
        {sweep([](int n, auto s, auto d) { return K::okvsStdDev_32f(s, n + 1, d, 0); }, f, f), size},
        {sweep([](int n, auto s, auto lo, auto hi) { return K::okvsMinMax_16s(s, n, lo, hi); }, i16, i16, i16), size},
        {sweep([](int n, auto s, auto d) { return K::okvsConj_32fc(s, d, n); }, c, c), size},
        {sweep([](int n, auto s, auto re, auto im) { return K::okvsCplxToReal_32fc(s, re, im, n); }, c, f, f), size},
        {sweep([](int n, auto d) { return K::okvsRealToCplx_32f(nullptr, nullptr, d, n); }, c), size},
        {sweep([](int n, auto d) { return K::okvsRealToCplx_32f(nullptr, nullptr, d, n + 1); }, c), {-1, okvErrNullPtr}},
    };
    for (const auto& r : rows) EXPECT_EQ(r[0], r[1]) << "row " << &r - rows;
    EXPECT_TRUE(u8[0] == 3 && i16[0] == 7 && i32[0] == 5 && f[0] == 1 && c[0].re == 1 && sc[0].re == 1);
}

// Sorts of narrow, wide and descending values; the deviation of a sum with a sentinel after it;
// extremes at every layout, with wider ones just past the end; allocation sizes of zero, below and
// past 2^31 bytes refused, one element granted and usable (checked under the sanitizer build).
TEST(KERNEL_SUITE(KernelsStats), SortStdDevMinMaxAndAllocation) {
    for (int len : {1, 2, 3, 9, 10, 11, 17, 67, 100, 1000, 20000})
        for (int range : {3, 1000, 0, -1}) {
            std::vector<Okv32s> v(len);
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
    everyLayout<Okv32s>([&](int len, int a, int) {
        Shifted<Okv16s> s(len, 2 * a);
        for (int i = 0; i < len + 8; ++i) s.p[i] = i < len ? Okv16s(rng()) : i & 1 ? INT16_MIN : INT16_MAX;  // never read
        Okv16s mn, mx;
        ASSERT_EQ(K::okvsMinMax_16s(s.p, len, &mn, &mx), okvOk);
        ASSERT_TRUE(mn == *std::min_element(s.p, s.p + len) && mx == *std::max_element(s.p, s.p + len));
    });
    EXPECT_TRUE(!K::okvsMalloc_8u(0) && !K::okvsMalloc_32f(-1) && !K::okvsMalloc_32f(INT_MAX / 4 + 1));
    Okv8u* b = K::okvsMalloc_8u(1);
    Okv32f* f = K::okvsMalloc_32f(1);
    ASSERT_TRUE(b && f);
    b[0] = 1, f[0] = 1.0f;
    K::okvsFree(b), K::okvsFree(f);
}
