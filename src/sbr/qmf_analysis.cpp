// 32-band QMF analysis, complex (one 32-point FFT between pre- and post-rotations) and real
// (a folded 32-point inverse DCT). Per slot: 32 new samples enter the 320-float delay line
// reversed, five window taps give u[0..63], the modulation gives 32 bands.
#include "sbr/qmf_spec.h"

namespace OKV_NS {
namespace {

using namespace sbrqmf;

struct AnaTables {
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

// X[k] = sum_n u[n] 2 exp(i pi/64 (k + 1/2)(2n - 1/2)) into re/im. The spec holds the tables
// of a split-array FFT; its interleaved core runs on the same tables.
void modulateCplx(const Okv32f* u, const OkvsFFTSpec_32f* fft, Okv32f* re, Okv32f* im) {
    alignas(16) Okv32fc z[32], f[32];
    for (int m = 0; m < 32; ++m) {
        const Okv32f a = m ? -u[64 - m] : u[0], b = u[32 - m];  // u[64] = -u[0]
        z[m] = {a * kAna.preRe[m] - b * kAna.preIm[m], b * kAna.preRe[m] + a * kAna.preIm[m]};
    }
    ownsFFT_32fc(z, f, fft, false, nullptr);
    for (int m = 0; m < 16; ++m) {
        re[2 * m] = f[m].re * kAna.postRe[m] - f[m].im * kAna.postIm[m];
        im[2 * m] = f[m].re * kAna.postIm[m] + f[m].im * kAna.postRe[m];
        const Okv32f cr = f[31 - m].re, ci = -f[31 - m].im;
        re[2 * m + 1] = cr * kAna.postRe[m + 1] - ci * kAna.postIm[m + 1];
        im[2 * m + 1] = cr * kAna.postIm[m + 1] + ci * kAna.postRe[m + 1];
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
        for (int k = 0; k < 32; ++k) row[k] = k < kx ? re[k] : 0.0f;
    }
};
struct SplitRows {
    Okv32f** dre;
    Okv32f** dim;
    int offset, kx;
    void operator()(int l, const Okv32f* re, const Okv32f* im) const {
        Okv32f* rr = dre[offset + l];
        Okv32f* ri = dim[offset + l];
        for (int k = 0; k < 32; ++k) {
            rr[k] = k < kx ? re[k] : 0.0f;
            ri[k] = k < kx ? im[k] : 0.0f;
        }
    }
};
struct CplxRows {
    Okv32fc** dst;
    int offset, kx;
    void operator()(int l, const Okv32f* re, const Okv32f* im) const {
        Okv32fc* row = dst[offset + l];
        for (int k = 0; k < 32; ++k) row[k] = k < kx ? Okv32fc{re[k], im[k]} : Okv32fc{0.0f, 0.0f};
    }
};

// Runs the slots; store(l, re, im) writes one output row from the 32 computed bands.
template <bool CPLX, class Store>
void analyse(const Okv32f* src, const Okv32f* w, int nLoop, SBRQMFSpec_32f* s, Okv8u* work, const Store& store) {
    int p = s->pos;
    alignas(16) Okv32f u[64], re[32], im[32];
    for (int l = 0; l < nLoop; ++l) {
        windowSlot(src + 32 * l, w, s->delay, p, u);
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
