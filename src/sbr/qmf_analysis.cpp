// 32-band QMF analysis, complex (one 32-point FFT between pre- and post-rotations) and real
// (a folded 32-point inverse DCT). Per slot: 32 new samples enter the 320-float delay line
// reversed, five window taps give u[0..63], the modulation gives 32 bands.
#include "sbr/qmf_spec.h"

namespace OKV_NS {
namespace {

using namespace sbrqmf;

struct alignas(16) AnaTables {
    Okv32f preRe[32], preIm[32];    // exp(-i (4m + 1) pi / 256)
    Okv32f postRe[17], postIm[17];  // 2 exp(-i m pi / 64)
};
constexpr AnaTables makeAnaTables() {
    AnaTables t{};
    for (int m = 0; m < 32; ++m) {
        const Okv32fc e = expmi(4 * m + 1, 256);
        t.preRe[m] = e.re;
        t.preIm[m] = e.im;
    }
    for (int m = 0; m <= 16; ++m) {
        const Okv32fc e = expmi(m, 64);
        t.postRe[m] = 2.0f * e.re;
        t.postIm[m] = 2.0f * e.im;
    }
    return t;
}
constexpr AnaTables kAna = makeAnaTables();

// Stores the slot's samples reversed at the position and windows the line into u[0..63].
inline void windowSlot(const Okv32f* x, const Okv32f* w, Okv32f* delay, int p, Okv32f* u) {
    for (int k = 0; k < 32; ++k) delay[p + k] = x[31 - k];
    for (int half = 0; half < 2; ++half) {
        int start[5];
        for (int j = 0; j < 5; ++j) start[j] = (p + 32 * half + 64 * j) % 320;
        windowTaps<32, 5>(w + 32 * half, 64, delay, start, u + 32 * half);
    }
}

inline int nextPos(int p) { return p == 0 ? 288 : p - 32; }

// Lanes 3..0 of v as lanes 0..3.
inline __m128 reversed(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// X[k] = sum_n u[n] 2 exp(i pi/64 (k + 1/2)(2n - 1/2)) into re/im, u[64] = -u[0] given. The
// spec holds the tables of a split-array FFT; its interleaved core runs on the same tables.
void modulateCplx(const Okv32f* u, const OkvsFFTSpec_32f* fft, Okv32f* re, Okv32f* im) {
    alignas(16) Okv32fc z[32], f[32];
    const __m128 sign = _mm_set1_ps(-0.0f);
    // z[m] = (-u[64 - m] + i u[32 - m]) exp(-i (4m + 1) pi / 256), four m at a time.
    for (int m = 0; m < 32; m += 4) {
        const __m128 a = _mm_xor_ps(reversed(_mm_loadu_ps(u + 61 - m)), sign);
        const __m128 b = reversed(_mm_loadu_ps(u + 29 - m));
        const __m128 pr = _mm_load_ps(kAna.preRe + m), pi = _mm_load_ps(kAna.preIm + m);
        const __m128 zr = _mm_sub_ps(_mm_mul_ps(a, pr), _mm_mul_ps(b, pi));
        const __m128 zi = _mm_add_ps(_mm_mul_ps(b, pr), _mm_mul_ps(a, pi));
        _mm_store_ps(&z[m].re, _mm_unpacklo_ps(zr, zi));
        _mm_store_ps(&z[m + 2].re, _mm_unpackhi_ps(zr, zi));
    }
    ownsFFT_32fc(z, f, fft, false, nullptr);
    // X[2m] = Z[m] 2 exp(-i m pi / 64), X[2m + 1] = conj(Z[31 - m]) 2 exp(-i (m + 1) pi / 64).
    for (int m = 0; m < 16; m += 4) {
        const __m128 l0 = _mm_load_ps(&f[m].re), l1 = _mm_load_ps(&f[m + 2].re);
        const __m128 fr = _mm_shuffle_ps(l0, l1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 fi = _mm_shuffle_ps(l0, l1, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 h0 = _mm_load_ps(&f[28 - m].re), h1 = _mm_load_ps(&f[30 - m].re);
        const __m128 cr = _mm_shuffle_ps(h1, h0, _MM_SHUFFLE(0, 2, 0, 2));
        const __m128 ci = _mm_xor_ps(_mm_shuffle_ps(h1, h0, _MM_SHUFFLE(1, 3, 1, 3)), sign);
        const __m128 er = _mm_loadu_ps(kAna.postRe + m), ei = _mm_loadu_ps(kAna.postIm + m);
        const __m128 orr = _mm_loadu_ps(kAna.postRe + m + 1), oi = _mm_loadu_ps(kAna.postIm + m + 1);
        const __m128 xr = _mm_sub_ps(_mm_mul_ps(fr, er), _mm_mul_ps(fi, ei));
        const __m128 xi = _mm_add_ps(_mm_mul_ps(fr, ei), _mm_mul_ps(fi, er));
        const __m128 yr = _mm_sub_ps(_mm_mul_ps(cr, orr), _mm_mul_ps(ci, oi));
        const __m128 yi = _mm_add_ps(_mm_mul_ps(cr, oi), _mm_mul_ps(ci, orr));
        _mm_store_ps(re + 2 * m, _mm_unpacklo_ps(xr, yr));
        _mm_store_ps(re + 2 * m + 4, _mm_unpackhi_ps(xr, yr));
        _mm_store_ps(im + 2 * m, _mm_unpacklo_ps(xi, yi));
        _mm_store_ps(im + 2 * m + 4, _mm_unpackhi_ps(xi, yi));
    }
}

// X[k] = sum_n u[n] 2 cos(pi/64 (k + 1/2)(2n - 96)) by folding onto an inverse DCT.
void modulateReal(const Okv32f* u, const OkvsDCTSpec_32f* dct, Okv8u* work, Okv32f* out) {
    alignas(16) Okv32f t[32];
    t[0] = 11.313708f * u[48];
    for (int k = 1; k < 16; ++k) t[k] = 8.0f * (u[48 - k] + u[48 + k]);
    for (int k = 0; k < 16; ++k) t[16 + k] = 8.0f * (u[32 - k] - u[k]);
    okvsDCTInv_32f(t, out, dct, work);
}

// Output row writers: the bands below kx, zeros above.
struct RealRows {
    Okv32f** dst;
    int offset, kx;
    void operator()(int l, const Okv32f* re, const Okv32f*) const {
        Okv32f* row = dst[offset + l];
        for (int k = 0; k < kx; ++k) row[k] = re[k];
        for (int k = kx; k < 32; ++k) row[k] = 0.0f;
    }
};
struct SplitRows {
    Okv32f** dre;
    Okv32f** dim;
    int offset, kx;
    void operator()(int l, const Okv32f* re, const Okv32f* im) const {
        Okv32f* rr = dre[offset + l];
        Okv32f* ri = dim[offset + l];
        for (int k = 0; k < kx; ++k) {
            rr[k] = re[k];
            ri[k] = im[k];
        }
        for (int k = kx; k < 32; ++k) rr[k] = ri[k] = 0.0f;
    }
};
struct CplxRows {
    Okv32fc** dst;
    int offset, kx;
    void operator()(int l, const Okv32f* re, const Okv32f* im) const {
        Okv32fc* row = dst[offset + l];
        for (int k = 0; k < kx; ++k) row[k] = {re[k], im[k]};
        for (int k = kx; k < 32; ++k) row[k] = {0.0f, 0.0f};
    }
};

// Runs the slots; store(l, re, im) writes one output row from the 32 computed bands.
template <bool CPLX, class Store>
void analyse(const Okv32f* src, const Okv32f* w, int nLoop, SBRQMFSpec_32f* s, Okv8u* work, const Store& store) {
    int p = s->pos;
    alignas(16) Okv32f u[68], re[32], im[32];
    for (int l = 0; l < nLoop; ++l) {
        windowSlot(src + 32 * l, w, s->delay, p, u);
        u[64] = -u[0];
        if constexpr (CPLX)
            modulateCplx(u, fftOf(s), re, im);
        else
            modulateReal(u, dctOf(s), work, re);
        store(l, re, im);
        p = nextPos(p);
    }
    s->pos = p;
}

}  // namespace

StatusCode okvsAnalysisFilter_SBR_RToR_32f_D2L(const Okv32f* pSrc, Okv32f** pDst, const Okv32f* pSbrTableWindow,
                                               int nLoop, int offset, int kx, SBRQMFSpec_32f* pSpec,
                                               Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kAnaReal.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (unsigned(kx) > 32) return okvErrSize;
    if (nLoop < 1) return okvOk;
    analyse<false>(pSrc, pSbrTableWindow, nLoop, pSpec, pWorkBuf, RealRows{pDst, offset, kx});
    return okvOk;
}

StatusCode okvsAnalysisFilter_SBR_RToC_32f_D2L(const Okv32f* pSrc, Okv32f** pDstRe, Okv32f** pDstIm,
                                               const Okv32f* pSbrTableWindow, int nLoop, int offset, int kx,
                                               SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow || !pWorkBuf) return okvErrNullPtr;
    if (pSpec->id != kAnaCplx32f.id) return okvErrContextMatch;
    if (unsigned(kx) > 32) return okvErrSize;
    if (!pSrc || !pDstRe || !pDstIm) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    analyse<true>(pSrc, pSbrTableWindow, nLoop, pSpec, pWorkBuf, SplitRows{pDstRe, pDstIm, offset, kx});
    return okvOk;
}

StatusCode okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(const Okv32f* pSrc, Okv32fc** pDst,
                                                   const Okv32f* pSbrTableWindow, int nLoop, int offset, int kx,
                                                   SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kAnaCplx32fc.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (unsigned(kx) > 32) return okvErrSize;
    if (nLoop < 1) return okvOk;
    analyse<true>(pSrc, pSbrTableWindow, nLoop, pSpec, pWorkBuf, CplxRows{pDst, offset, kx});
    return okvOk;
}

}  // namespace OKV_NS
