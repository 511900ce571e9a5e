// Floating-point SBR prediction coefficients (covariance method), real and complex bands.
//
// Every covariance sum is accumulated in single precision in increasing slot order, and every
// product and sum of the coefficient formulas is rounded separately, so the result does not
// depend on the vector width. Bands go four at a time through SSE lanes while four remain, then
// one at a time. The two paths keep their own boundary rules: the four-band path takes d and
// phi11 as usable when non-zero and resets above |alpha|^2 = 16; the one-band path takes d as
// usable when d*d > 0 (a tiny d whose square underflows gives alpha1 = 0), phi11 when positive,
// and resets at 16 or more.
#include <xmmintrin.h>

#include "core/okv_internal.h"

namespace OKV_NS {
namespace {

constexpr float kRegular = 0.99999905f;  // 1 - 2^-20, bit pattern 0x3F7FFFF0
static_assert(kRegular == 1.0f - 0x1p-20f);
constexpr float kLimit = 16.0f;          // |alpha|^2 reset limit

// Four bands in SSE lanes with the arithmetic operators of float.
struct V4 {
    __m128 v;
};
inline V4 operator+(V4 a, V4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline V4 operator-(V4 a, V4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline V4 operator*(V4 a, V4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline V4 splat(float f) { return {_mm_set1_ps(f)}; }
inline V4 zero4() { return {_mm_setzero_ps()}; }

template <class T>
struct Cplx {
    T re, im;
};

// Covariance elements of one band (T = float) or four bands (T = V4).
template <class T>
struct RealCov {
    T p11, p22, p01, p12, p02;
};
template <class T>
struct CplxCov {
    T p11, p22;
    Cplx<T> p01, p12, p02;
};

// Real covariance: x(m) returns slot m of the band(s).
template <class T, class Load>
RealCov<T> realCov(Load x, int len, T zero) {
    RealCov<T> c{zero, zero, zero, zero, zero};
    T xm = x(0), xm1 = x(1);
    for (int m = 0; m <= len; ++m) {
        const T sq = xm * xm, p1 = xm1 * xm;
        if (m >= 1) {
            c.p11 = c.p11 + sq;
            c.p01 = c.p01 + p1;
        }
        if (m < len) {
            const T xm2 = x(m + 2);
            c.p22 = c.p22 + sq;
            c.p12 = c.p12 + p1;
            c.p02 = c.p02 + xm2 * xm;
            xm = xm1;
            xm1 = xm2;
        }
    }
    return c;
}

// a * conj(b)
template <class T>
inline Cplx<T> mulConj(Cplx<T> a, Cplx<T> b) {
    return {a.re * b.re + a.im * b.im, a.im * b.re - a.re * b.im};
}

template <class T, class Load>
CplxCov<T> cplxCov(Load x, int len, T zero) {
    CplxCov<T> c{zero, zero, {zero, zero}, {zero, zero}, {zero, zero}};
    Cplx<T> xm = x(0), xm1 = x(1);
    for (int m = 0; m <= len; ++m) {
        const T sq = xm.re * xm.re + xm.im * xm.im;
        const Cplx<T> p1 = mulConj(xm1, xm);
        if (m >= 1) {
            c.p11 = c.p11 + sq;
            c.p01 = {c.p01.re + p1.re, c.p01.im + p1.im};
        }
        if (m < len) {
            const Cplx<T> xm2 = x(m + 2), p2 = mulConj(xm2, xm);
            c.p22 = c.p22 + sq;
            c.p12 = {c.p12.re + p1.re, c.p12.im + p1.im};
            c.p02 = {c.p02.re + p2.re, c.p02.im + p2.im};
            xm = xm1;
            xm1 = xm2;
        }
    }
    return c;
}

// Coefficient numerators and denominators, shared by both paths.
template <class T>
inline T realDet(const RealCov<T>& c, T reg) { return c.p22 * c.p11 - reg * (c.p12 * c.p12); }
template <class T>
inline T cplxDet(const CplxCov<T>& c, T reg) {
    return c.p22 * c.p11 - reg * (c.p12.re * c.p12.re + c.p12.im * c.p12.im);
}

// ---- One band.
void realOne(const RealCov<float>& c, float* a0, float* a1) {
    const float d = realDet(c, kRegular);
    float alpha1 = 0.0f, alpha0 = 0.0f;
    if (d * d > 0.0f) alpha1 = (c.p01 * c.p12 - c.p02 * c.p11) / d;
    if (c.p11 > 0.0f) alpha0 = -((c.p01 + alpha1 * c.p12) / c.p11);
    if (alpha0 * alpha0 >= kLimit || alpha1 * alpha1 >= kLimit) alpha0 = alpha1 = 0.0f;
    *a0 = alpha0;
    *a1 = alpha1;
}

void cplxOne(const CplxCov<float>& c, Cplx<float>* a0, Cplx<float>* a1) {
    const float d = cplxDet(c, kRegular);
    Cplx<float> alpha1{0.0f, 0.0f}, alpha0{0.0f, 0.0f};
    if (d * d > 0.0f) {
        alpha1.re = (c.p01.re * c.p12.re - c.p01.im * c.p12.im - c.p02.re * c.p11) / d;
        alpha1.im = (c.p01.re * c.p12.im + c.p01.im * c.p12.re - c.p02.im * c.p11) / d;
    }
    if (c.p11 > 0.0f) {
        const Cplx<float> t = mulConj(alpha1, c.p12);
        alpha0.re = -((c.p01.re + t.re) / c.p11);
        alpha0.im = -((c.p01.im + t.im) / c.p11);
    }
    if (alpha0.re * alpha0.re + alpha0.im * alpha0.im >= kLimit ||
        alpha1.re * alpha1.re + alpha1.im * alpha1.im >= kLimit)
        alpha0 = alpha1 = {0.0f, 0.0f};
    *a0 = alpha0;
    *a1 = alpha1;
}

// ---- Four bands. Divisions by a zero lane are computed and masked away (to +0, as the
// one-band path writes; -(a / b) equals (-a) / b, so negating first keeps that zero positive).
inline V4 usableDiv(V4 num, V4 den) {
    const __m128 ok = _mm_cmpneq_ps(den.v, _mm_setzero_ps());
    return {_mm_and_ps(ok, _mm_div_ps(num.v, den.v))};
}
inline V4 neg(V4 a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }
// Lanes to keep: both squared magnitudes at most the limit.
inline __m128 keep(V4 m0, V4 m1) {
    return _mm_cmple_ps(_mm_max_ps(m0.v, m1.v), _mm_set1_ps(kLimit));
}
inline V4 masked(V4 a, __m128 k) { return {_mm_and_ps(a.v, k)}; }

void realFour(const RealCov<V4>& c, float* a0, float* a1) {
    const V4 alpha1 = usableDiv(c.p01 * c.p12 - c.p02 * c.p11, realDet(c, splat(kRegular)));
    const V4 alpha0 = usableDiv(neg(c.p01 + alpha1 * c.p12), c.p11);
    const __m128 k = keep(alpha0 * alpha0, alpha1 * alpha1);
    _mm_storeu_ps(a0, masked(alpha0, k).v);
    _mm_storeu_ps(a1, masked(alpha1, k).v);
}

struct CplxOut4 {
    V4 a0re, a0im, a1re, a1im;
};
CplxOut4 cplxFour(const CplxCov<V4>& c) {
    const V4 d = cplxDet(c, splat(kRegular));
    const Cplx<V4> alpha1{usableDiv(c.p01.re * c.p12.re - c.p01.im * c.p12.im - c.p02.re * c.p11, d),
                          usableDiv(c.p01.re * c.p12.im + c.p01.im * c.p12.re - c.p02.im * c.p11, d)};
    const Cplx<V4> t = mulConj(alpha1, c.p12);
    const Cplx<V4> alpha0{usableDiv(neg(c.p01.re + t.re), c.p11), usableDiv(neg(c.p01.im + t.im), c.p11)};
    const __m128 k = keep(alpha0.re * alpha0.re + alpha0.im * alpha0.im,
                          alpha1.re * alpha1.re + alpha1.im * alpha1.im);
    return {masked(alpha0.re, k), masked(alpha0.im, k), masked(alpha1.re, k), masked(alpha1.im, k)};
}

// Four interleaved complex values as split lanes.
inline Cplx<V4> loadInterleaved(const Okv32fc* p) {
    const __m128 lo = _mm_loadu_ps(&p[0].re), hi = _mm_loadu_ps(&p[2].re);
    return {{_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))}, {_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))}};
}
inline void storeInterleaved(Okv32fc* p, V4 re, V4 im) {
    _mm_storeu_ps(&p[0].re, _mm_unpacklo_ps(re.v, im.v));
    _mm_storeu_ps(&p[2].re, _mm_unpackhi_ps(re.v, im.v));
}

}  // namespace

StatusCode okvsPredictCoef_SBR_R_32f_D2L(const Okv32f* const* pSrc, Okv32f* pAlpha0, Okv32f* pAlpha1, int k,
                                         int len) {
    if (!pSrc || !pAlpha0 || !pAlpha1) return okvErrNullPtr;
    if (len < 1) return okvOk;
    int b = 0;
    if (k > 3)
        for (; b + 4 <= k; b += 4)
            realFour(realCov([&](int m) { return V4{_mm_loadu_ps(pSrc[m] + b)}; }, len, zero4()), pAlpha0 + b,
                     pAlpha1 + b);
    for (; b < k; ++b)
        realOne(realCov([&](int m) { return pSrc[m][b]; }, len, 0.0f), pAlpha0 + b, pAlpha1 + b);
    return okvOk;
}

StatusCode okvsPredictCoef_SBR_C_32f_D2L(const Okv32f* const* pSrcRe, const Okv32f* const* pSrcIm,
                                         Okv32f* pAlpha0Re, Okv32f* pAlpha0Im, Okv32f* pAlpha1Re,
                                         Okv32f* pAlpha1Im, int k, int len) {
    if (!pSrcRe || !pSrcIm || !pAlpha0Re || !pAlpha0Im || !pAlpha1Re || !pAlpha1Im) return okvErrNullPtr;
    if (len < 1) return okvOk;
    int b = 0;
    if (k > 3)
        for (; b + 4 <= k; b += 4) {
            const CplxOut4 o = cplxFour(cplxCov(
                [&](int m) { return Cplx<V4>{{_mm_loadu_ps(pSrcRe[m] + b)}, {_mm_loadu_ps(pSrcIm[m] + b)}}; },
                len, zero4()));
            _mm_storeu_ps(pAlpha0Re + b, o.a0re.v);
            _mm_storeu_ps(pAlpha0Im + b, o.a0im.v);
            _mm_storeu_ps(pAlpha1Re + b, o.a1re.v);
            _mm_storeu_ps(pAlpha1Im + b, o.a1im.v);
        }
    for (; b < k; ++b) {
        Cplx<float> a0, a1;
        cplxOne(cplxCov([&](int m) { return Cplx<float>{pSrcRe[m][b], pSrcIm[m][b]}; }, len, 0.0f), &a0, &a1);
        pAlpha0Re[b] = a0.re;
        pAlpha0Im[b] = a0.im;
        pAlpha1Re[b] = a1.re;
        pAlpha1Im[b] = a1.im;
    }
    return okvOk;
}

StatusCode okvsPredictCoef_SBR_C_32fc_D2L(const Okv32fc* const* pSrc, Okv32fc* pAlpha0, Okv32fc* pAlpha1, int k,
                                          int len) {
    if (!pSrc || !pAlpha0 || !pAlpha1) return okvErrNullPtr;
    if (len < 1) return okvOk;
    int b = 0;
    if (k > 3)
        for (; b + 4 <= k; b += 4) {
            const CplxOut4 o = cplxFour(cplxCov([&](int m) { return loadInterleaved(pSrc[m] + b); }, len, zero4()));
            storeInterleaved(pAlpha0 + b, o.a0re, o.a0im);
            storeInterleaved(pAlpha1 + b, o.a1re, o.a1im);
        }
    for (; b < k; ++b) {
        Cplx<float> a0, a1;
        cplxOne(cplxCov([&](int m) { return Cplx<float>{pSrc[m][b].re, pSrc[m][b].im}; }, len, 0.0f), &a0, &a1);
        pAlpha0[b] = {a0.re, a0.im};
        pAlpha1[b] = {a1.re, a1.im};
    }
    return okvOk;
}

}  // namespace OKV_NS
