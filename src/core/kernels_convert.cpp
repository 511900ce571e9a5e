// Float <-> 16-bit conversion kernels.
#include <emmintrin.h>

#include "core/kernels.h"

namespace OKV_NS {
namespace {

// 2^-sf as a float: exponent field 127 - sf clamped to 0..255 (0.0 .. +infinity).
inline float scaleMultiplier(int sf) {
    const int e = sf > 127 ? 0 : sf < -128 ? 255 : 127 - sf;
    return __builtin_bit_cast(float, unsigned(e) << 23);
}

// Converts 8 floats to 8 saturated shorts; Conv maps 4 scaled floats to 4 int32.
template <class Conv>
void convertBlocks(const Okv32f* src, Okv16s* dst, int len, __m128 mul, bool scale, Conv conv) {
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        __m128 a = _mm_loadu_ps(src + i), b = _mm_loadu_ps(src + i + 4);
        if (scale) {
            a = _mm_mul_ps(a, mul);
            b = _mm_mul_ps(b, mul);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packs_epi32(conv(a), conv(b)));
    }
    if (i < len) {
        alignas(16) float in[8] = {};
        alignas(16) Okv16s out[8];
        for (int k = 0; i + k < len; ++k) in[k] = src[i + k];
        convertBlocks(in, out, 8, mul, scale, conv);
        for (int k = 0; i + k < len; ++k) dst[i + k] = out[k];
    }
}

}  // namespace

StatusCode okvsConvert_32f16s_Sfs(const Okv32f* src, Okv16s* dst, int len, int rndMode,
                                  int scaleFactor) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const __m128 mul = _mm_set1_ps(scaleMultiplier(scaleFactor));
    const bool scale = scaleFactor != 0;
    if (rndMode == okvRoundTowardZero || rndMode == okvRoundHalfEven) {
        OkvRoundingScope nearest(OkvRoundingScope::Nearest);
        // The processor gives INT_MIN for values >= 2^31; those saturate high instead.
        const __m128 big = _mm_set1_ps(2147483648.0f);
        const __m128i imax = _mm_set1_epi32(INT32_MAX);
        auto fix = [&](__m128 v, __m128i r) {
            const __m128i hi = _mm_castps_si128(_mm_cmpge_ps(v, big));
            return _mm_or_si128(_mm_and_si128(hi, imax), _mm_andnot_si128(hi, r));
        };
        if (rndMode == okvRoundTowardZero)
            convertBlocks(src, dst, len, mul, scale, [&](__m128 v) { return fix(v, _mm_cvttps_epi32(v)); });
        else
            convertBlocks(src, dst, len, mul, scale, [&](__m128 v) { return fix(v, _mm_cvtps_epi32(v)); });
    } else {
        // Truncating mode throughout: |v| + 0.5 cannot round up across an integer.
        OkvRoundingScope trunc(OkvRoundingScope::TowardZero);
        const __m128 top = _mm_set1_ps(32767.0f);
        const __m128 half = _mm_set1_ps(0.5f);
        const __m128 sign = _mm_set1_ps(-0.0f);
        convertBlocks(src, dst, len, mul, scale, [&](__m128 v) {
            v = _mm_min_ps(v, top);  // second operand wins for NaN
            v = _mm_add_ps(v, _mm_or_ps(half, _mm_and_ps(v, sign)));
            return _mm_cvttps_epi32(v);
        });
    }
    return okvOk;
}

StatusCode okvsConvert_16s32f(const Okv16s* src, Okv32f* dst, int len) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_ps(dst + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
        _mm_storeu_ps(dst + i + 4, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)));
    }
    for (; i < len; ++i) dst[i] = float(src[i]);
    return okvOk;
}

}  // namespace OKV_NS
