// Float and complex-float kernels: products, conjugate, split and merge of parts.
#include <pmmintrin.h>

#include "core/kernels.h"

namespace OKV_NS {
namespace {

inline __m128 load(const Okv32fc* p) { return _mm_loadu_ps(&p->re); }
inline void store(Okv32fc* p, __m128 v) { _mm_storeu_ps(&p->re, v); }

// Two complex products: (ar*br - ai*bi, ai*br + ar*bi), no fused operations.
inline __m128 cmul(__m128 a, __m128 b) {
    const __m128 br = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128 bi = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 3, 1, 1));
    const __m128 aSwap = _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_addsub_ps(_mm_mul_ps(a, br), _mm_mul_ps(aSwap, bi));
}

inline Okv32fc cmul(Okv32fc a, Okv32fc b) {
    return {a.re * b.re - a.im * b.im, a.im * b.re + a.re * b.im};
}

}  // namespace

StatusCode okvsMul_32fc(const Okv32fc* src1, const Okv32fc* src2, Okv32fc* dst, int len) {
    if (!src1 || !src2 || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    int i = 0;
    for (; i + 2 <= len; i += 2) store(dst + i, cmul(load(src1 + i), load(src2 + i)));
    if (i < len) dst[i] = cmul(src1[i], src2[i]);
    return okvOk;
}

StatusCode okvsMul_32fc_I(const Okv32fc* src, Okv32fc* srcDst, int len) {
    return okvsMul_32fc(src, srcDst, srcDst, len);
}

StatusCode okvsMulC_32f_I(Okv32f* srcDst, int len, Okv32f value) {
    if (!srcDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    if (value == 1.0f) return okvOk;
    if (value == 0.0f) return okvsZero_32f(srcDst, len);
    const __m128 v = _mm_set1_ps(value);
    int i = 0;
    for (; i + 4 <= len; i += 4) _mm_storeu_ps(srcDst + i, _mm_mul_ps(_mm_loadu_ps(srcDst + i), v));
    for (; i < len; ++i) srcDst[i] *= value;
    return okvOk;
}

StatusCode okvsConj_32fc(const Okv32fc* src, Okv32fc* dst, int len) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const __m128 imSign = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0));
    int i = 0;
    for (; i + 2 <= len; i += 2) store(dst + i, _mm_xor_ps(load(src + i), imSign));
    if (i < len) dst[i] = {src[i].re, -src[i].im};
    return okvOk;
}

StatusCode okvsRealToCplx_32f(const Okv32f* srcRe, const Okv32f* srcIm, Okv32fc* dst, int len) {
    if (!dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    if (!srcRe && !srcIm) return okvErrNullPtr;
    const __m128 zero = _mm_setzero_ps();
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const __m128 re = srcRe ? _mm_loadu_ps(srcRe + i) : zero;
        const __m128 im = srcIm ? _mm_loadu_ps(srcIm + i) : zero;
        store(dst + i, _mm_unpacklo_ps(re, im));
        store(dst + i + 2, _mm_unpackhi_ps(re, im));
    }
    for (; i < len; ++i) dst[i] = {srcRe ? srcRe[i] : 0.0f, srcIm ? srcIm[i] : 0.0f};
    return okvOk;
}

StatusCode okvsCplxToReal_32fc(const Okv32fc* src, Okv32f* dstRe, Okv32f* dstIm, int len) {
    if (!src || !dstRe || !dstIm) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const __m128 a = load(src + i), b = load(src + i + 2);
        _mm_storeu_ps(dstRe + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(dstIm + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    for (; i < len; ++i) {
        dstRe[i] = src[i].re;
        dstIm[i] = src[i].im;
    }
    return okvOk;
}

}  // namespace OKV_NS
