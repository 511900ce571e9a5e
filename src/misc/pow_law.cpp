// Float building, 3/4 and 4/3 powers, scalefactor gains and per-band scaling.
#include <emmintrin.h>

#include "core/bits.h"
#include "core/kernels.h"
#include "misc/pow_tables.h"

namespace OKV_NS {
namespace {

inline __m128i loadi(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// |x| * r1 * r2 with r1 = rsqrt(|x|), r2 = rsqrt(r1): about 12 bits of |x|^(3/4).
inline __m128 pow34Estimate(__m128 ax) {
    const __m128 r1 = _mm_rsqrt_ps(ax);
    return _mm_mul_ps(_mm_mul_ps(ax, r1), _mm_rsqrt_ps(r1));
}

inline __m128 absPs(__m128 x) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), x); }

// Runs f on blocks of 4 floats; the tail goes through a zero-padded block.
template <class T, class F>
void blocks4(const Okv32f* src, T* dst, int len, F f) {
    int i = 0;
    for (; i + 4 <= len; i += 4) f(src + i, dst + i);
    if (i < len) {
        alignas(16) Okv32f in[4] = {};
        T out[4];
        for (int k = 0; i + k < len; ++k) in[k] = src[i + k];
        f(in, out);
        for (int k = 0; i + k < len; ++k) dst[i + k] = out[k];
    }
}

// round(65536 * 2^(-q/4)), the first clamped to 65535.
constexpr int kPow34Quarter[4] = {65535, 55109, 46341, 38968};
// 2^(j/4) in Q30.
constexpr Okv64u kQuarterQ30[4] = {1073741824, 1276901416, 1518500249, 1805811301};
// Coefficients of the 4/3-power polynomial beyond the table.
constexpr Okv32s kC[8] = {-457633446, 1445956062, -2036421417, 1707815404,
                          -991941369, 535739478,  127541088,   -1613111};

// N[v] = 14 - floor(log2 v) for v = 1..256, N[0] = 16.
constexpr int normShift(int v) { return v == 0 ? 16 : 14 - (31 - __builtin_clz(unsigned(v))); }

Okv16s pow34Fixed(int x, int inScale, int outScale) {
    if (x == 0) return 0;
    const int a = x < 0 ? -x : x;
    const int norm = a < 256 ? normShift(a) : normShift(a >> 8) - 8;
    const int m = a << (norm + 1);  // [32768, 65535]
    const Okv32u f = kPow34Frac[(m >> 8) - 128];
    const int k = (int(f & 0xFFFF) * ((m & 255) >> 1) + 8192) >> 14;
    const int p1 = (kPow34Fine[k] * int(f >> 16) + 16384) >> 15;
    const Okv64s e = Okv64s(inScale) - norm + 7;
    const int q = int(e & 3);
    const Okv64s shift = Okv64s(outScale) - 3 * (e >> 2) - q + 25;
    if (shift < 15) return 32767;
    const int s = shift > 31 ? 31 : int(shift);
    const Okv64s p = Okv64s(p1) * kPow34Quarter[q];
    const Okv64s r = (p + (Okv64s(1) << (s - 1)) - 1 + ((p >> s) & 1)) >> s;
    return Okv16s(r > 32767 ? 32767 : r);
}

// 2^12 * a^(4/3) for 8192 <= a by a Q-format polynomial in a * 2^17.
Okv32u pow43Poly(int a) {
    const Okv64s n = Okv64s(a) << 17;
    Okv32s y = kC[0];
    for (int k = 1; k < 8; ++k) {
        const Okv64s prod = Okv64s(Okv64u(Okv64s(y)) * Okv64u(n));  // wraps like the 64-bit multiply
        y = Okv32s(Okv32u((prod >> 32) + kC[k]));
    }
    const Okv32s z = Okv32s(Okv32u(y) * 16u);
    return Okv32u((Okv64s(z) * 1704458900) >> 31) & ~1u;
}

// |x|^(4/3) * 2^(sf/4) truncated and saturated to 31 bits, with the sign of x.
Okv32s pow43Scaled(int x, Okv64s sf) {
    const int a = x < 0 ? -x : x;
    const Okv32u v = a < 8192 ? kPow43_Q12[a] : pow43Poly(a);
    const Okv64u p = Okv64u(v) * kQuarterQ30[sf & 3];
    const Okv64s sh = 42 - (sf >> 2);
    Okv32s mag;
    if (sh >= 64)
        mag = 0;
    else if (sh <= 0)  // beyond the format: any non-zero value saturates
        mag = p ? INT32_MAX : 0;
    else if (31 + sh < 64 && (p >> (31 + sh)))
        mag = INT32_MAX;
    else
        mag = Okv32s(p >> sh);
    return x < 0 ? -mag : mag;
}

}  // namespace

StatusCode okvsMakeFloat_16s32f(const Okv16s* pSrcMant, const Okv16s* pSrcExp, int len, Okv32f* pDst) {
    if (!pSrcMant || !pSrcExp || !pDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const bool misaligned =
        okv_misaligned16(pSrcMant) || okv_misaligned16(pSrcExp) || okv_misaligned16(pDst);
    // mantissa * the float with exponent field (112 - exponent) mod 256.
    const __m128i bias = _mm_set1_epi32(112), field = _mm_set1_epi32(255);
    auto scaleOf = [&](__m128i e16, bool high) {
        __m128i e = high ? _mm_unpackhi_epi16(e16, e16) : _mm_unpacklo_epi16(e16, e16);
        e = _mm_and_si128(_mm_sub_epi32(bias, _mm_srai_epi32(e, 16)), field);
        return _mm_castsi128_ps(_mm_slli_epi32(e, 23));
    };
    auto mantOf = [](__m128i m16, bool high) {
        const __m128i m = high ? _mm_unpackhi_epi16(m16, m16) : _mm_unpacklo_epi16(m16, m16);
        return _mm_cvtepi32_ps(_mm_srai_epi32(m, 16));
    };
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128i m = loadi(pSrcMant + i), e = loadi(pSrcExp + i);
        _mm_storeu_ps(pDst + i, _mm_mul_ps(mantOf(m, false), scaleOf(e, false)));
        _mm_storeu_ps(pDst + i + 4, _mm_mul_ps(mantOf(m, true), scaleOf(e, true)));
    }
    for (; i < len; ++i) {
        const Okv32u f = Okv32u(112 - pSrcExp[i]) & 255u;
        pDst[i] = float(pSrcMant[i]) * __builtin_bit_cast(float, f << 23);
    }
    return misaligned ? okvWrnMisaligned : okvOk;
}

StatusCode okvsPow34_32f(const Okv32f* pSrc, Okv32f* pDst, int len) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const bool misaligned = okv_misaligned16(pSrc) || okv_misaligned16(pDst);
    const __m128i tiny = _mm_set1_epi32(0x02081CEA);  // 1.0e-37f
    blocks4(pSrc, pDst, len, [&](const Okv32f* s, Okv32f* d) {
        const __m128 ax = absPs(_mm_loadu_ps(s));
        const __m128 keep = _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_castps_si128(ax), tiny));
        _mm_storeu_ps(d, _mm_and_ps(keep, pow34Estimate(ax)));
    });
    return misaligned ? okvWrnMisaligned : okvOk;
}

StatusCode okvsPow34_32f16s(const Okv32f* pSrc, Okv16s* pDst, int len) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const bool misaligned = okv_misaligned16(pSrc) || okv_misaligned16(pDst);
    OkvRoundingScope nearest(OkvRoundingScope::Nearest);
    const __m128 big = _mm_set1_ps(1.0e6f), cap = _mm_set1_ps(31623.0f);
    const __m128i noSign = _mm_set1_epi32(INT32_MAX);
    blocks4(pSrc, pDst, len, [&](const Okv32f* s, Okv16s* d) {
        const __m128 ax = absPs(_mm_loadu_ps(s));
        const __m128 over = _mm_cmpgt_ps(ax, big);
        const __m128 y = _mm_or_ps(_mm_and_ps(over, cap), _mm_andnot_ps(over, pow34Estimate(ax)));
        // Integer minimum for 0 * inf and NaN; clearing the sign bit makes it 0.
        const __m128i r = _mm_and_si128(_mm_cvtps_epi32(y), noSign);
        const __m128i low = _mm_srai_epi32(_mm_slli_epi32(r, 16), 16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packs_epi32(low, low));
    });
    return misaligned ? okvWrnMisaligned : okvOk;
}

StatusCode okvsPow34_16s_Sfs(const Okv16s* pSrc, int inScaleFactor, Okv16s* pDst, int scaleFactor, int len) {
    if (len < 1) return okvErrSize;
    if (!pSrc || !pDst) return okvErrNullPtr;
    for (int i = 0; i < len; ++i) pDst[i] = pow34Fixed(pSrc[i], inScaleFactor, scaleFactor);
    return okvOk;
}

StatusCode okvsPow43_16s32f(const Okv16s* pSrc, Okv32f* pDst, int len) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (len < 0) return okvErrSize;
    auto one = [](Okv16s x) {
        int a = x < 0 ? -x : x;
        a = a > 8206 ? 8206 : a;  // outside the domain: clamp rather than read past the table
        const Okv32u bits = __builtin_bit_cast(Okv32u, kPow43_32f[a]) | (Okv32u(Okv16u(x)) >> 15 << 31);
        return __builtin_bit_cast(float, bits);
    };
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128i v = loadi(pSrc + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) == 0xFFFF) {
            _mm_storeu_ps(pDst + i, _mm_setzero_ps());
            _mm_storeu_ps(pDst + i + 4, _mm_setzero_ps());
        } else {
            for (int k = 0; k < 8; ++k) pDst[i + k] = one(pSrc[i + k]);
        }
    }
    for (; i < len; ++i) pDst[i] = one(pSrc[i]);
    return okvOk;
}

StatusCode okvsPow43Scale_16s32s_Sf(const Okv16s* pSrc, Okv32s* pDst, const Okv16s* pScaleFactor,
                                    const Okv32s* pBandOffset, int offset, int numBands, int groupLen,
                                    int scalef) {
    if (!pSrc || !pDst || !pScaleFactor || !pBandOffset) return okvErrNullPtr;
    if (numBands < 0 || groupLen < 0) return okvErrSize;
    for (int b = 0; b < numBands; ++b) {
        const int start = pBandOffset[b] * groupLen;
        const int count = (pBandOffset[b + 1] - pBandOffset[b]) * groupLen;
        const Okv64s sf = Okv64s(pScaleFactor[b]) - offset - 4 * Okv64s(scalef);
        for (int j = start; j < start + count; ++j) pDst[j] = pow43Scaled(pSrc[j], sf);
    }
    return okvOk;
}

StatusCode okvsCalcSF_16s32f(const Okv16s* pSrc, int offset, Okv32f* pDst, int len) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const Okv64s base64 = Okv64s(offset) + 512;
    const Okv16s base = Okv16s(base64 > 32767 ? 32767 : base64);  // 16-bit, as the subtraction
    for (int i = 0; i < len; ++i) pDst[i] = kQuarterPow_32f[Okv32u(pSrc[i] - base) & 1023u];
    return okvOk;
}

StatusCode okvsScale_32f_I(Okv32f* pSrcDst, const Okv32f* pSF, const Okv32s* pBandOffset, int numBands) {
    if (!pSrcDst || !pSF || !pBandOffset) return okvErrNullPtr;
    if (numBands < 1) return okvErrSize;
    for (int b = 0; b < numBands; ++b) {
        const int end = pBandOffset[b + 1];
        const __m128 g = _mm_set1_ps(pSF[b]);
        int j = pBandOffset[b];
        for (; j + 4 <= end; j += 4) _mm_storeu_ps(pSrcDst + j, _mm_mul_ps(_mm_loadu_ps(pSrcDst + j), g));
        for (; j < end; ++j) pSrcDst[j] *= pSF[b];
    }
    return okvOk;
}

}  // namespace OKV_NS
