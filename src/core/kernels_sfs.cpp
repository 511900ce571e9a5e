// Integer kernels with the _Sfs scaling rule: saturating add, 32-to-16 conversion, shift.
#include <emmintrin.h>

#include "core/kernels.h"
#include "core/sfs.h"

namespace OKV_NS {
namespace {

inline __m128i loadu(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void storeu(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// a + b saturated to 32 bits: on overflow both operands share a sign the sum lacks.
inline __m128i addSat32(__m128i a, __m128i b) {
    const __m128i sum = _mm_add_epi32(a, b);
    const __m128i ovf = _mm_srai_epi32(_mm_and_si128(_mm_xor_si128(a, sum), _mm_xor_si128(b, sum)), 31);
    const __m128i sat = _mm_xor_si128(_mm_srai_epi32(a, 31), _mm_set1_epi32(INT32_MAX));
    return _mm_or_si128(_mm_and_si128(ovf, sat), _mm_andnot_si128(ovf, sum));
}

// Round half to even of (a + b) / 2^s for 1 <= s <= 30 without leaving 32 bits:
// hi = (a>>s) + (b>>s), lo = low parts summed (< 2^31), the bias added unsigned.
inline __m128i addShift32(__m128i a, __m128i b, __m128i cnt, __m128i mask, __m128i bias) {
    const __m128i hi = _mm_add_epi32(_mm_sra_epi32(a, cnt), _mm_sra_epi32(b, cnt));
    const __m128i lo = _mm_add_epi32(_mm_and_si128(a, mask), _mm_and_si128(b, mask));
    const __m128i odd = _mm_and_si128(_mm_add_epi32(_mm_srl_epi32(lo, cnt), hi), _mm_set1_epi32(1));
    const __m128i t = _mm_add_epi32(_mm_add_epi32(lo, bias), odd);
    return _mm_add_epi32(hi, _mm_srl_epi32(t, cnt));
}

}  // namespace

StatusCode okvsAdd_32s_ISfs(const Okv32s* src, Okv32s* srcDst, int len, int scaleFactor) {
    if (!src || !srcDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const int s = scaleFactor;
    int i = 0;
    if (s == 0) {
        for (; i + 4 <= len; i += 4) storeu(srcDst + i, addSat32(loadu(src + i), loadu(srcDst + i)));
    } else if (s >= 1 && s <= 30) {
        const __m128i cnt = _mm_cvtsi32_si128(s);
        const __m128i mask = _mm_set1_epi32(int((1u << s) - 1));
        const __m128i bias = _mm_set1_epi32(int((1u << (s - 1)) - 1));
        for (; i + 4 <= len; i += 4)
            storeu(srcDst + i, addShift32(loadu(src + i), loadu(srcDst + i), cnt, mask, bias));
    }
    for (; i < len; ++i) srcDst[i] = okv_sfs32(Okv64s(srcDst[i]) + src[i], s);
    return okvOk;
}

StatusCode okvsConvert_32s16s_Sfs(const Okv32s* src, Okv16s* dst, int len, int scaleFactor) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const int s = scaleFactor > 31 ? 31 : scaleFactor < -15 ? -15 : scaleFactor;
    int i = 0;
    if (s > 0) {
        // hi = x >> s; the low part plus bias and parity stays below 2^32 unsigned.
        const __m128i cnt = _mm_cvtsi32_si128(s);
        const __m128i mask = _mm_set1_epi32(int(0xFFFFFFFFu >> (32 - s)));
        const __m128i bias = _mm_set1_epi32(int((1u << (s - 1)) - 1));
        const __m128i one = _mm_set1_epi32(1);
        auto round = [&](__m128i x) {
            const __m128i hi = _mm_sra_epi32(x, cnt);
            const __m128i t = _mm_add_epi32(_mm_add_epi32(_mm_and_si128(x, mask), bias),
                                            _mm_and_si128(hi, one));
            return _mm_add_epi32(hi, _mm_srl_epi32(t, cnt));
        };
        for (; i + 8 <= len; i += 8)
            storeu(dst + i, _mm_packs_epi32(round(loadu(src + i)), round(loadu(src + i + 4))));
    } else {
        // Saturate to 16 bits, widen, shift left by -s (at most 15, fits), saturate again.
        const __m128i cnt = _mm_cvtsi32_si128(-s);
        auto widenShift = [&](__m128i v16, bool high) {
            const __m128i w = high ? _mm_unpackhi_epi16(v16, v16) : _mm_unpacklo_epi16(v16, v16);
            return _mm_sll_epi32(_mm_srai_epi32(w, 16), cnt);
        };
        for (; i + 8 <= len; i += 8) {
            const __m128i v = _mm_packs_epi32(loadu(src + i), loadu(src + i + 4));
            storeu(dst + i, _mm_packs_epi32(widenShift(v, false), widenShift(v, true)));
        }
    }
    for (; i < len; ++i) dst[i] = okv_sfs16(src[i], s);
    return okvOk;
}

StatusCode okvsRShiftC_32s_I(int value, Okv32s* srcDst, int len) {
    if (!srcDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    if (value < 0) return okvErrShift;
    if (value == 0) return okvOk;
    const int s = value > 31 ? 31 : value;  // a shift of 31 already gives 0 or -1
    const __m128i cnt = _mm_cvtsi32_si128(s);
    int i = 0;
    for (; i + 4 <= len; i += 4) storeu(srcDst + i, _mm_sra_epi32(loadu(srcDst + i), cnt));
    for (; i < len; ++i) srcDst[i] >>= s;
    return okvOk;
}

}  // namespace OKV_NS
