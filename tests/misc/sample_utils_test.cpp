// Sample-format and power-law utilities against exact models and documented values.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfenv>
#include <cstring>
#include <random>

#include "okvac.h"
#include "transform/fft_ref.h"

namespace {

std::mt19937 gen(2024);
float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }

// Data byteShift bytes past a 16-byte boundary; the bytes after n elements keep the mark.
template <class T> struct Buf {
    std::vector<unsigned char> raw;
    T* p;
    unsigned char mark;
    Buf(size_t n, size_t byteShift, unsigned char m = 0xA5) : raw(n * sizeof(T) + 32, m), mark(m) {
        p = reinterpret_cast<T*>(((reinterpret_cast<uintptr_t>(raw.data()) + 15) & ~uintptr_t(15)) + byteShift);
    }
    bool intact(size_t n) const {
        return std::all_of(reinterpret_cast<const unsigned char*>(p + n), &*raw.end(), [this](unsigned char c) { return c == mark; });
    }
};

// Every value of a 16-bit input.
const std::vector<Okv16s> kAll16 = [] {
    std::vector<Okv16s> x(65536);
    for (int i = 0; i < 65536; ++i) x[i] = Okv16s(i - 32768);
    return x;
}();

}  // namespace

// ch rows (row 1 shifted off 16 bytes) through the interleaved block (shifted too) and back; the
// float rows also joined to 16 bits under an upward caller mode: nearest even, saturated, NaN 32767.
TEST(Interleave, RoundTripAndJoinEveryLayout) {
    const auto trip = [](auto zero, auto il, auto de, int ch, int len, size_t shift, size_t dshift, int wantIl, int wantDe) {
        using T = decltype(zero);
        std::vector<Buf<T>> rows, back;
        std::vector<const T*> in;
        std::vector<T*> out;
        const float special[6] = {32767.5f, 40000.0f, -40000.0f, 2.5f, -2.5f, NAN};
        for (int c = 0; c < ch; ++c) {
            in.push_back(rows.emplace_back(len, c == 1 ? shift : 0, 0x3C).p);
            out.push_back(back.emplace_back(len, 0).p);
            for (int i = 0; i < len; ++i) {
                const unsigned r = gen();
                rows[c].p[i] = sizeof(T) == 2 ? T(r) : r % 4 ? T(uniform(-40000, 40000) / float(1 << r % 16)) : T(special[r % 6]);
            }
        }
        Buf<T> block(size_t(len) * ch, dshift, 0x5A);  // a mark of its own: a read past it shows in the rows
        ASSERT_EQ(il(in.data(), ch, len, block.p), wantIl);
        ASSERT_TRUE(block.intact(size_t(len) * ch));
        for (int i = 0; i < len; ++i)
            for (int c = 0; c < ch; ++c) ASSERT_EQ(0, std::memcmp(&block.p[i * ch + c], &in[c][i], sizeof(T)));
        ASSERT_EQ(de(block.p, ch, len, out.data()), wantDe);
        for (int c = 0; c < ch; ++c) ASSERT_TRUE(0 == std::memcmp(out[c], in[c], len * sizeof(T)) && back[c].intact(len)) << c;
        if constexpr (sizeof(T) == 4) {
            Buf<Okv16s> joined(size_t(len) * ch, 0);
            std::fesetround(FE_UPWARD);
            ASSERT_EQ(okvsJoin_32f16s_D2L(in.data(), ch, len, joined.p), okvOk);
            ASSERT_EQ(std::fegetround(), FE_UPWARD);
            std::fesetround(FE_TONEAREST);
            ASSERT_TRUE(joined.intact(size_t(len) * ch));
            for (int i = 0; i < len * ch; ++i) {
                const double v = block.p[i];
                ASSERT_EQ(joined.p[i], Okv16s(std::isnan(v) ? 32767 : std::clamp(std::nearbyint(v), -32768.0, 32767.0))) << v;
            }
        }
    };
    const auto warn = [](bool w) { return w ? okvWrnMisaligned : okvOk; };
    for (int ch = 1; ch <= 9; ++ch)
        for (int len = 1; len <= 67; len += (len < 20 ? 1 : 7))
            for (size_t shift : {0, 2, 4, 8, 12}) {  // any misaligned row (beyond the first) or block warns
                SCOPED_TRACE(testing::Message() << ch << " channels, " << len << " samples, shift " << shift);
                trip(Okv16s(), okvsInterleave_16s, okvsDeinterleave_16s, ch, len, shift, 0, warn(shift && ch > 1), okvOk);
                trip(Okv32f(), okvsInterleave_32f, okvsDeinterleave_32f, ch, len, shift & ~3u, shift & 4u,
                     warn(((shift & ~3u) && ch > 1) || (shift & 4u)), warn(shift & 4u));
            }
}

// Every refusal in checking order (pointers before sizes unless noted); nothing is written.
TEST(SampleUtils, RefusalsInOrderWriteNothing) {
    Okv16s a[4] = {1, 2, 3, 4}, il[8] = {}, d[2] = {};
    Okv32s keep = 7;
    alignas(16) float f[2] = {}, r = 0, g = 0;
    const Okv32s offs[3] = {0, 1, 2};
    Okv16s* rows[2] = {a, nullptr};
    const Okv32f* none[1] = {nullptr};
    const std::pair<StatusCode, StatusCode> calls[] = {
        {okvsDeinterleave_16s(il, 0, 4, rows), okvErrNumChannels},
        {okvsDeinterleave_16s(il, 2, 0, rows), okvErrSize},
        {okvsDeinterleave_16s(nullptr, 0, 0, rows), okvErrNullPtr},
        {okvsDeinterleave_16s(il, 2, 4, rows), okvErrNullPtr},  // a later row null: the first untouched
        {okvsJoin_32f16s_D2L(nullptr, 0, 1, d), okvErrSize},  // sizes before the rows
        {okvsJoin_32f16s_D2L(nullptr, 1, 1, d), okvErrNullPtr},
        {okvsJoin_32f16s_D2L(none, 1, 1, d), okvErrNullPtr},
        {okvsMakeFloat_16s32f(a, nullptr, 0, f), okvErrNullPtr},
        {okvsMakeFloat_16s32f(a, a, 0, f), okvErrSize},
        {okvsPow34_32f(f, nullptr, 1), okvErrNullPtr},
        {okvsPow34_32f(f, f, 1), okvOk},  // one value
        {okvsPow34_32f(f, f, 0), okvErrSize},
        {okvsPow34_32f16s(f, d, 0), okvErrSize},
        {okvsPow34_16s_Sfs(nullptr, 0, nullptr, 0, 0), okvErrSize},
        {okvsPow34_16s_Sfs(nullptr, 0, nullptr, 0, 1), okvErrNullPtr},
        {okvsPow43_16s32f(a, f, 0), okvOk},
        {okvsPow43_16s32f(a, f, -1), okvErrSize},
        {okvsPow43_16s32f(nullptr, f, -1), okvErrNullPtr},
        {okvsPow43Scale_16s32s_Sf(a, &keep, a, offs, 0, 0, 1, 0), okvOk},  // no band
        {okvsPow43Scale_16s32s_Sf(a, &keep, a, offs, 0, 1, 0, 0), okvOk},  // empty groups
        {okvsPow43Scale_16s32s_Sf(a, &keep, nullptr, offs, 0, 1, -1, 0), okvErrNullPtr},
        {okvsPow43Scale_16s32s_Sf(a, &keep, a, offs, 0, 1, -1, 0), okvErrSize},
        {okvsPow43Scale_16s32s_Sf(a, &keep, a, offs, 0, -1, 1, 0), okvErrSize},
        {okvsCalcSF_16s32f(a, 7, &g, 1), okvOk},  // one value
        {okvsCalcSF_16s32f(a, 7, &r, 0), okvErrSize},
        {okvsCalcSF_16s32f(nullptr, 7, &r, 0), okvErrNullPtr},
        {okvsScale_32f_I(f, f, offs, 0), okvErrSize},
        {okvsScale_32f_I(f, nullptr, offs, 0), okvErrNullPtr},
    };
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    EXPECT_EQ((std::vector<int>{a[0], il[0], d[0], keep}), (std::vector<int>{1, 0, 0, 7}));
    EXPECT_TRUE(f[0] == 0 && f[1] == 0 && r == 0);
}

// The float estimates within twelve bits, read up to the end of a readable page (4 bytes past a
// 16-byte boundary); the 16-bit one caps at 31623 and leaves the caller's rounding mode alone.
TEST(Pow34, FloatEstimateWithinTwelveBits) {
    const int len = 203;
    Okv32f* const x = xref::page_end(len);
    ASSERT_NE(x, nullptr);
    Buf<Okv32f> y(len, 0);
    Buf<Okv16s> z(len, 0);
    for (int i = 0; i < len; ++i) x[i] = uniform(-1.0f, 1.0f) * std::ldexp(1.0f, int(gen() % 80) - 40);
    x[0] = 1.0e-37f, x[1] = -2.0e-38f, x[2] = 16.0f;
    ASSERT_EQ(okvsPow34_32f(x, y.p, len), okvWrnMisaligned);
    std::fesetround(FE_DOWNWARD);
    ASSERT_EQ(okvsPow34_32f16s(x, z.p, len), okvWrnMisaligned);
    EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
    std::fesetround(FE_TONEAREST);
    EXPECT_TRUE(std::bit_cast<Okv32u>(y.p[0]) == 0 && std::bit_cast<Okv32u>(y.p[1]) == 0);
    for (int i = 0; i < len; ++i) {
        const double ref = std::pow(std::fabs(double(x[i])), 0.75);
        ASSERT_TRUE(i < 2 || std::fabs(y.p[i] - ref) <= ref * 2e-3) << x[i];
        ASSERT_LE(std::fabs(z.p[i] - std::min(ref, 31623.0)), std::max(1.0, ref * 2e-3)) << x[i];
    }
    alignas(16) const float sp[5] = {0.0f, 2.0e6f, -2.0e6f, NAN, 1.0e6f};
    alignas(16) Okv16s r[5];
    ASSERT_EQ(okvsPow34_32f16s(sp, r, 5), okvOk);
    EXPECT_EQ(std::vector<Okv16s>(r, r + 4), (std::vector<Okv16s>{0, 31623, 31623, 0}));
    EXPECT_NEAR(r[4], 31623, 60);
}

// The fixed-point 3/4 power from its tables' definitions, in 64-bit arithmetic.
Okv16s pow34Model(int x, int inScale, int outScale) {
    static const auto tables = [] {
        struct { Okv32u f[128]; int s[256]; } t;
        for (int i = 0; i < 128; ++i)
            t.f[i] = Okv32u(std::lround(65536 * std::pow((i + 128) / 256.0L, 0.75L))) << 16 |
                     Okv32u(std::lround(4194304.0L / (i + 128)));
        for (int k = 0; k < 256; ++k)
            t.s[k] = int(std::ceil(16384 * std::pow(1 + (k + 0.5L) / 32768, 0.75L))) + (k >= 213 && k % 8 == 5);
        return t;
    }();
    if (x == 0) return 0;
    const int a = std::abs(x);
    const int norm = a < 256 ? 15 - std::bit_width(unsigned(a)) : 7 - std::bit_width(unsigned(a >> 8));
    const int m = a << (norm + 1);
    const Okv32u f = tables.f[(m >> 8) - 128];
    const int k = (int(f & 0xFFFF) * ((m & 255) >> 1) + 8192) >> 14;
    const int64_t e = int64_t(inScale) - norm + 7;
    const int64_t shift = outScale - 3 * (e >> 2) - (e & 3) + 25;
    if (shift < 15) return 32767;
    const int s = int(std::min<int64_t>(shift, 31));
    const int64_t pq = ((tables.s[k] * int64_t(f >> 16) + 16384) >> 15) * std::array{65535, 55109, 46341, 38968}[e & 3];
    const int64_t half = int64_t(1) << (s - 1), fl = pq >> s, rem = pq - (fl << s);
    return Okv16s(std::min<int64_t>(fl + (rem > half || (rem == half && (fl & 1))), 32767));  // ties to even
}

// Every input at scale pairs that reach every quarter step and every shift from 14 to 32.
TEST(Pow34, FixedPointMatchesModelForEveryInput) {
    std::vector<Okv16s> y(65536);
    for (int in = -6; in <= 6; ++in)
        for (int out : {-20, -12, -6, -3, 0, 1, 2, 3, 6, 12, 20}) {
            ASSERT_EQ(okvsPow34_16s_Sfs(kAll16.data(), in, y.data(), out, 65536), okvOk);
            for (int i = 0; i < 65536; ++i)
                ASSERT_EQ(y[i], pow34Model(kAll16[i], in, out)) << kAll16[i] << " in " << in << " out " << out;
        }
}

// 2^12 * a^(4/3) truncated: exact below 8192 (integer cube test), the fixed polynomial above.
int64_t pow43Q12(int a) {
    if (a < 8192) {
        __int128 v = __int128(std::floor(4096 * a * std::cbrt(static_cast<long double>(a))));
        const __int128 target = (__int128(1) << 36) * a * a * a * a;  // (2^12 a^(4/3))^3
        while (v * v * v > target) --v;
        while ((v + 1) * (v + 1) * (v + 1) <= target) ++v;
        return int64_t(v);
    }
    static const int32_t c[8] = {-457633446, 1445956062, -2036421417, 1707815404, -991941369, 535739478, 127541088, -1613111};
    const int64_t n = int64_t(a) << 17;
    int32_t y = c[0];
    for (int k = 1; k < 8; ++k) y = int32_t(uint32_t(int64_t(uint64_t(int64_t(y)) * uint64_t(n)) >> 32) + uint32_t(c[k]));
    const int32_t z = int32_t(uint32_t(y) * 16u);
    return uint32_t((int64_t(z) * 1704458900) >> 31) & ~1u;  // a 32-bit unsigned table value
}

// The float table correctly rounded and signed (-0 gives +0), magnitudes past 8206 taken as 8206;
// the scaled one for every input at effective scales from below zero to past saturation.
TEST(Pow43, TableAndScaledMatchModels) {
    std::vector<float> f(65536);
    ASSERT_EQ(okvsPow43_16s32f(kAll16.data(), f.data(), 65536), okvOk);
    for (int i = 0; i < 65536; ++i) {
        const float ref = float(std::pow(static_cast<long double>(std::min(std::abs(kAll16[i]), 8206)), 4.0L / 3.0L));
        ASSERT_EQ(std::bit_cast<Okv32u>(f[i]), std::bit_cast<Okv32u>(kAll16[i] < 0 ? -ref : ref)) << kAll16[i];
    }
    std::vector<Okv32s> y(65536);
    const Okv32s offs[3] = {0, 16384, 32768};  // two bands of 16384 * 2 lines
    const uint64_t mul[4] = {1073741824, 1276901416, 1518500249, 1805811301};
    for (int sf = -100; sf <= 200; sf += (sf < -20 || sf > 60 ? 7 : 1)) {
        const Okv16s sfs[2] = {Okv16s(sf + 3), Okv16s(sf + 4 + 3)};  // offset -1 and scalef 1 take 3
        ASSERT_EQ(okvsPow43Scale_16s32s_Sf(kAll16.data(), y.data(), sfs, offs, -1, 2, 2, 1), okvOk);
        for (int i = 0; i < 65536; ++i) {
            const int esf = i < 32768 ? sf : sf + 4, sh = 42 - (esf >> 2);
            const unsigned __int128 p = (unsigned __int128)pow43Q12(std::abs(kAll16[i])) * mul[esf & 3];
            // A negative shift scales up: any non-zero product (at least 2^42) saturates.
            const int64_t mag = sh >= 64 ? 0 : sh < 0 ? (p ? INT32_MAX : 0) : (p >> (31 + sh)) ? INT32_MAX : int64_t(p >> sh);
            ASSERT_EQ(y[i], kAll16[i] < 0 ? -mag : mag) << kAll16[i] << " sf " << esf;
        }
    }
}

// CalcSF: every scalefactor at offsets around the clamp of the base (offset + 512 at most 32767).
// Scale: a gain per band, an empty and a reversed band left alone. MakeFloat: mantissa times a power of
// two; any one misaligned buffer warns.
TEST(SampleUtils, CalcSFScaleAndMakeFloat) {
    std::vector<float> g(65536);
    for (int offset : {-30, 0, 7, -33000, 32254, 32255, 32256, 32300, 70000, INT32_MAX}) {
        ASSERT_EQ(okvsCalcSF_16s32f(kAll16.data(), offset, g.data(), 65536), okvOk);
        const int64_t base = std::min<int64_t>(int64_t(offset) + 512, 32767);
        for (int i = 0; i < 65536; ++i) {
            const int64_t d = (((kAll16[i] - base) % 1024 + 1024) % 1024) - 512;
            ASSERT_EQ(g[i], float(std::exp2(d / 4.0L))) << kAll16[i] << " offset " << offset;
        }
    }
    std::vector<float> d(40), ref;
    for (auto& v : d) v = uniform(-10, 10);
    ref = d;
    const Okv32s offs[5] = {0, 13, 13, 10, 40};
    const float gains[4] = {0.5f, 3.0f, 7.0f, -1.25f};
    for (int j = 0; j < 40; ++j) ref[j] = ref[j] * (j < 13 ? 0.5f : 1.0f) * (j >= 10 ? -1.25f : 1.0f);
    ASSERT_EQ(okvsScale_32f_I(d.data(), gains, offs, 4), okvOk);
    EXPECT_EQ(d, ref);
    for (int shifted = 0; shifted < 4; ++shifted) {
        const int len = 61 - shifted;
        Buf<Okv16s> mm(len, shifted == 1 ? 2 : 0), ee(len, shifted == 2 ? 6 : 0);
        Buf<Okv32f> out(len, shifted == 3 ? 8 : 0);
        for (int i = 0; i < len; ++i) mm.p[i] = Okv16s(gen()), ee.p[i] = Okv16s(int(gen() % 254) - 142);
        ASSERT_EQ(okvsMakeFloat_16s32f(mm.p, ee.p, len, out.p), shifted ? okvWrnMisaligned : okvOk);
        for (int i = 0; i < len; ++i) ASSERT_EQ(out.p[i], std::ldexp(float(mm.p[i]), -15 - ee.p[i])) << ee.p[i];
    }
}

// The floating-point spreading function in Q15, within rounding; none beyond tmpx 12 and -6.
TEST(Spread, FollowsTheSpreadingFunction) {
    Okv16s r = 0, same = 0;
    for (int sf = -30; sf <= 0; ++sf)
        for (int d = -3000; d <= 3000; ++d) {
            const long double tmpx = (d >= 0 ? 3.0L : 1.5L) * d * std::ldexp(1.0L, sf);
            const long double u = tmpx + 0.474341649L, t = tmpx - 0.5L;
            const long double z = 8 * std::min(t * t - 2 * t, 0.0L);
            const long double y = 15.811389L + 7.5L * u - 17.5L * std::sqrt(1 + u * u);
            const double ref = tmpx > 12 || tmpx < -6 ? 0 : double(std::min(32767.0L, 32768 * std::pow(10.0L, (y + z) / 10)));
            ASSERT_EQ(okvsSpread_16s_Sfs(1000, 1000 + d, sf, &r), okvOk);
            ASSERT_NEAR(r, ref, d ? 1.5 : 0) << "d " << d << " sf " << sf;  // full scale at d = 0
        }
    ASSERT_EQ(okvsSpread_16s_Sfs(0x10000 + 3, 3, -4, &r) + okvsSpread_16s_Sfs(3, 3, -4, &same), okvOk);
    EXPECT_EQ(r, same);  // arguments read as 16-bit
}
