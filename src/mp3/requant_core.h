// Layer III requantiser core: |x|^(4/3) * 2^(26 - e/4) in Q26 from small tables, a degree-7
// polynomial for |x| > 128, and shifts with saturation.
#pragma once

#include <tmmintrin.h>

#include "core/okv_internal.h"
#include "mp3/mp3_ce_math.h"

namespace OKV_NS {
namespace mp3rq {

constexpr int kMaxQuant = 8206;  // 15 + 2^13 - 1

struct PowTables {
    Okv32s r[4][16] = {};  // round(n^(4/3) 2^(-q/4) 2^28) for n <= 3, 2^25 for n = 4..15
    Okv32s p[113] = {};    // round(n^(4/3) 2^23) for n = 16..63, 2^21 for n = 64..128
    constexpr PowTables() {
        const long double quarter = mp3ce::rootL(mp3ce::rootL(2.0L, 2), 2);  // 2^(1/4)
        for (int n = 1; n <= 128; ++n) {
            const long double p43 = n * mp3ce::cbrtL(n);
            if (n < 16) {
                long double scale = n <= 3 ? 268435456.0L : 33554432.0L;
                for (int q = 0; q < 4; ++q, scale /= quarter) r[q][n] = Okv32s(p43 * scale + 0.5L);
            } else {
                p[n - 16] = Okv32s(p43 * (n < 64 ? 8388608.0L : 2097152.0L) + 0.5L);
            }
        }
    }
};
inline constexpr PowTables kPow{};

constexpr Okv32s kS[4] = {2147483647, 1805811301, 1518500250, 1276901417};  // 2^(-q/4), Q31
constexpr Okv32s kX[7] = {1704458900, 2147483647, 1352829926, 1704458900, 2147483647, 1352829926, 1704458900};
constexpr int kXE[7] = {20, 19, 17, 16, 15, 13, 12};

// v << k for v >= 0, saturated at INT32_MAX.
constexpr Okv32s shlSat(Okv32s v, int k)
{
    if (k >= 31) return v ? 2147483647 : 0;
    return v > (2147483647 >> k) ? 2147483647 : Okv32s(Okv32u(v) << k);
}

inline Okv32s mulHi(Okv32s a, Okv32s b) { return Okv32s((Okv64s(a) * b) >> 32); }

// Magnitude for 16 <= n <= 8206 before the final scaling: v with its exponent offset E.
inline Okv32s powLarge(int n, int& e)
{
    if (n <= 128) {
        e = n < 64 ? 4 : 6;
        return kPow.p[n - 16];
    }
    Okv64s y = Okv64s(n) << 17;
    int j = 0;
    if (y < (1 << 27)) { y <<= 4; j = 4; }
    if (y < (1 << 29)) { y <<= 2; j += 2; }
    if (y < (1 << 30)) { y <<= 1; j += 1; }
    Okv64s p = (y * -457633446) >> 32;
    p = ((p + 1445956062) * y) >> 32;
    p = ((p - 2036421417) * y) >> 32;
    p = ((p + 1707815404) * y) >> 32;
    p = ((p - 991941369) * y) >> 32;
    p = ((p + 535739478) * y) >> 32;
    Okv32s q = Okv32s(Okv32u(Okv64u(((p + 127541088) * y) >> 32)));
    q = Okv32s((Okv32u(q) - 1613111u) * 16u);
    e = 27 - kXE[6 - j];
    return Okv32s(Okv32u(mulHi(q, kX[6 - j])) * 2u);
}

// Magnitudes 0..15 for q = e & 3 and s = e >> 2: R[q][n] >> min(s + 2, 31) for n <= 3,
// R[q][n] >> min(s - 1, 31) above; left shifts (s below -2, or below 1) saturate.
// s is at least -12 for every accepted gain; from s = 32 on every entry is 0.
// Stored as byte planes (byte b of entry n at [b][n]) for 16-way byte shuffles.
constexpr int kSmallMinS = -12, kSmallMaxS = 32;
struct alignas(16) SmallTables {
    Okv8u plane[4][kSmallMaxS - kSmallMinS + 1][4][16] = {};
    constexpr SmallTables() {
        for (int q = 0; q < 4; ++q)
            for (int s = kSmallMinS; s <= kSmallMaxS; ++s)
                for (int n = 1; n < 16; ++n) {
                    const Okv32s r = kPow.r[q][n];
                    const int sh = n <= 3 ? s + 2 : s - 1;
                    const Okv32u v = Okv32u(sh >= 0 ? r >> (sh < 31 ? sh : 31) : shlSat(r, -sh));
                    for (int b = 0; b < 4; ++b) plane[q][s - kSmallMinS][b][n] = Okv8u(v >> (8 * b));
                }
    }
};
inline constexpr SmallTables kSmall{};

inline Okv32s smallAt(const Okv8u (*planes)[16], Okv32u n)
{
    return Okv32s(Okv32u(planes[0][n]) | Okv32u(planes[1][n]) << 8 | Okv32u(planes[2][n]) << 16 |
                  Okv32u(planes[3][n]) << 24);
}

// core() of one value; false when |x| exceeds 8206.
inline bool one(Okv32s x, Okv32s& out, const Okv8u (*planes)[16], int q, int s)
{
    const Okv32u n = x < 0 ? 0u - Okv32u(x) : Okv32u(x);
    Okv32s v;
    if (n <= 15) {
        v = smallAt(planes, n);
    } else {
        if (n > Okv32u(kMaxQuant)) return false;
        int eo;
        v = mulHi(powLarge(int(n), eo), kS[q]);
        const int d = s - eo;
        v = d < 0 ? shlSat(v, -d) : v >> (d < 31 ? d : 31);
    }
    out = x < 0 ? Okv32s(0u - Okv32u(v)) : v;
    return true;
}

// One band with exponent e: dst[i] = core(src[i], e). False when a |value| exceeds 8206.
// Shifts that would leave 32 bits (possible only for gains outside real streams) saturate.
// Groups of four magnitudes up to 15 take the table through byte shuffles.
inline bool band(const Okv32s* src, Okv32s* dst, int len, int e)
{
    const int q = e & 3, s = e >> 2;
    const int row = (s < kSmallMaxS ? s : kSmallMaxS) - kSmallMinS;
    const Okv8u(*planes)[16] = kSmall.plane[q][row < 0 ? 0 : row];
    const __m128i p0 = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[0]));
    const __m128i p1 = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[1]));
    const __m128i p2 = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[2]));
    const __m128i p3 = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[3]));
    const __m128i fifteen = _mm_set1_epi32(15);
    // Index bytes: the magnitude in byte b of each lane, 0x80 (gives zero) elsewhere.
    const __m128i z1 = _mm_set1_epi32(int(0x80800080u)), z2 = _mm_set1_epi32(int(0x80008080u));
    const __m128i z3 = _mm_set1_epi32(int(0x00808080u)), z0 = _mm_set1_epi32(int(0x80808000u));
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i a = _mm_abs_epi32(x);
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(a, fifteen))) {
            for (int j = i; j < i + 4; ++j)
                if (!one(src[j], dst[j], planes, q, s)) return false;
            continue;
        }
        const __m128i b0 = _mm_or_si128(a, z0);
        const __m128i b1 = _mm_or_si128(_mm_slli_epi32(a, 8), z1);
        const __m128i b2 = _mm_or_si128(_mm_slli_epi32(a, 16), z2);
        const __m128i b3 = _mm_or_si128(_mm_slli_epi32(a, 24), z3);
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p0, b0), _mm_shuffle_epi8(p1, b1)),
                                       _mm_or_si128(_mm_shuffle_epi8(p2, b2), _mm_shuffle_epi8(p3, b3)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_sign_epi32(v, x));
    }
    for (; i < len; ++i)
        if (!one(src[i], dst[i], planes, q, s)) return false;
    return true;
}

}  // namespace mp3rq
}  // namespace OKV_NS
