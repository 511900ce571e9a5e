// 64-band QMF synthesis and 32-band downsampled synthesis, complex and real forms. Per slot
// the modulation makes 128 (downsampled: 64) new values at the delay position, then ten
// window taps over the delay line give 64 (32) output samples.
//
// Full-rate complex modulation: with X = a + ib, n' = n - 64 and psi = pi (2k + 1)(2n' + 1) / 256,
//   64 v[n] = sum_k (-1)^k (a_k sin psi + b_k cos psi),
// a DST-IV of a' = (-1)^k a plus a DCT-IV of b' = (-1)^k b for n' >= 0 and their difference
// mirrored for n' < 0. Each 64-point DCT-IV is one 32-point complex FFT between rotations
// (the DST-IV is the DCT-IV of the reversed input with alternate output signs).
#include "sbr/qmf_spec.h"

namespace OKV_NS {
namespace {

using namespace sbrqmf;

struct SynTables {
    Okv32fc pre[32];   // exp(-i pi (4m + 1) / 256)
    Okv32fc post[32];  // exp(-i pi k / 64) / 64
};
constexpr SynTables makeSynTables() {
    SynTables t{};
    for (int m = 0; m < 32; ++m) {
        t.pre[m] = expmi(4 * m + 1, 256);
        const Okv32fc e = expmi(m, 64);
        t.post[m] = {e.re * 0.015625f, e.im * 0.015625f};
    }
    return t;
}
constexpr SynTables kSyn = makeSynTables();

struct DownTables {
    Okv32fc pre[32];   // exp(i pi k / 128)
    Okv32fc post[64];  // -exp(i pi (4n + 1) / 256) / 64
};
constexpr DownTables makeDownTables() {
    DownTables t{};
    for (int k = 0; k < 32; ++k) {
        const Okv32fc e = expmi(k, 128);
        t.pre[k] = {e.re, -e.im};
    }
    for (int n = 0; n < 64; ++n) {
        const Okv32fc e = expmi(4 * n + 1, 256);
        t.post[n] = {-e.re * 0.015625f, e.im * 0.015625f};
    }
    return t;
}
constexpr DownTables kDown = makeDownTables();

inline Okv32fc cmul(Okv32fc a, Okv32fc b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

// v[0..127] from the 64 bands of one slot (re, im).
void modulateCplx(const Okv32f* re, const Okv32f* im, const OkvsFFTSpec_32f* fft, Okv32f* v) {
    alignas(16) Okv32fc ta[32], tb[32];
    for (int m = 0; m < 32; ++m) {
        // Inputs 2m (sign +) and 63 - 2m (sign -) of a' reversed and of b'.
        ta[m] = cmul({-re[63 - 2 * m], re[2 * m]}, kSyn.pre[m]);
        tb[m] = cmul({im[2 * m], -im[63 - 2 * m]}, kSyn.pre[m]);
    }
    ownsFFT_32fc(ta, ta, fft, false, nullptr);
    ownsFFT_32fc(tb, tb, fft, false, nullptr);
    for (int k = 0; k < 32; ++k) {
        const Okv32fc ya = cmul(ta[k], kSyn.post[k]), yb = cmul(tb[k], kSyn.post[k]);
        v[64 + 2 * k] = ya.re + yb.re;
        v[63 - 2 * k] = yb.re - ya.re;
        v[127 - 2 * k] = ya.im - yb.im;
        v[2 * k] = -yb.im - ya.im;
    }
}

// v[n] = 1/32 sum_k X[k] cos(pi/128 (k + 1/2)(2n - 64)) from a 64-point DCT-II. v[96] is
// zero and never written.
void modulateReal(const Okv32f* x, const OkvsDCTSpec_32f* dct, Okv8u* work, Okv32f* v) {
    alignas(16) Okv32f y[64];
    okvsDCTFwd_32f(x, y, dct, work);
    y[0] *= 1.4142135f;
    for (int j = 0; j < 64; ++j) y[j] *= 0.17677669f;
    for (int j = 0; j < 32; ++j) v[32 + j] = v[32 - j] = y[j];
    v[0] = y[32];
    for (int j = 0; j < 32; ++j) v[64 + j] = y[32 + j];
    for (int j = 1; j < 32; ++j) v[128 - j] = -y[32 + j];
}

// v[n] = Re(sum_k X[k] / 64 exp(i pi/64 (k + 1/2)(2n - 127.5))) through a 64-point inverse FFT
// of the pre-rotated bands.
void modulateDownCplx(const Okv32f* re, const Okv32f* im, const OkvsFFTSpec_32f* fft, Okv8u* work, Okv32f* v) {
    alignas(16) Okv32fc z[64];
    for (int k = 0; k < 32; ++k) z[k] = cmul({re[k], im[k]}, kDown.pre[k]);
    for (int k = 32; k < 64; ++k) z[k] = {0.0f, 0.0f};
    ownsFFT_32fc(z, z, fft, true, ownsAlign64(work));
    for (int n = 0; n < 64; ++n) v[n] = z[n].re * kDown.post[n].re - z[n].im * kDown.post[n].im;
}

// The downsampled real form: a 32-point DCT-II scattered by symmetry; v[48] is never written.
void modulateDownReal(const Okv32f* x, const OkvsDCTSpec_32f* dct, Okv8u* work, Okv32f* v) {
    alignas(16) Okv32f y[32];
    okvsDCTFwd_32f(x, y, dct, work);
    y[0] *= 1.4142135f;
    for (int j = 0; j < 32; ++j) y[j] *= 0.125f;
    for (int j = 0; j < 16; ++j) v[16 + j] = v[16 - j] = y[j];
    v[0] = y[16];
    for (int j = 0; j < 16; ++j) v[32 + j] = y[16 + j];
    for (int j = 1; j < 16; ++j) v[64 - j] = -y[16 + j];
}

// Runs the slots of a full-rate (BANDS = 64) or downsampled (32) bank; the modulator writes
// the slot's 2 * BANDS new values.
template <int BANDS, class Modulator>
void synthesise(Okv32f* dst, const Okv32f* w, int nLoop, SBRQMFSpec_32f* s, const Modulator& mod) {
    constexpr int kLine = 20 * BANDS;
    int p = s->pos;
    for (int l = 0; l < nLoop; ++l) {
        if constexpr (BANDS == 64)
            mod.full(l, s->delay + p);
        else
            mod.down(l, s->delay + p);
        int start[10];
        for (int j = 0; j < 10; ++j) start[j] = (p + (j / 2) * 4 * BANDS + (j & 1) * 3 * BANDS) % kLine;
        windowTaps<BANDS, 10>(w, BANDS, s->delay, start, dst + BANDS * l);
        p = p == 0 ? kLine - 2 * BANDS : p - 2 * BANDS;
    }
    s->pos = p;
}

// Deinterleaves one row of complex bands.
template <int N>
inline void split(const Okv32fc* row, Okv32f* re, Okv32f* im) {
    for (int k = 0; k < N; ++k) {
        re[k] = row[k].re;
        im[k] = row[k].im;
    }
}

// Slot modulators: one per input form, called with the slot index and the delay-line
// place of its new values.
struct CplxSplit {
    const Okv32f** re;
    const Okv32f** im;
    const OkvsFFTSpec_32f* fft;
    Okv8u* work;
    void full(int l, Okv32f* v) const { modulateCplx(re[l], im[l], fft, v); }
    void down(int l, Okv32f* v) const { modulateDownCplx(re[l], im[l], fft, work, v); }
};
struct CplxInterleaved {
    const Okv32fc** src;
    const OkvsFFTSpec_32f* fft;
    Okv8u* work;
    void full(int l, Okv32f* v) const {
        alignas(16) Okv32f re[64], im[64];
        split<64>(src[l], re, im);
        modulateCplx(re, im, fft, v);
    }
    void down(int l, Okv32f* v) const {
        alignas(16) Okv32f re[32], im[32];
        split<32>(src[l], re, im);
        modulateDownCplx(re, im, fft, work, v);
    }
};
struct Real {
    const Okv32f** src;
    const OkvsDCTSpec_32f* dct;
    Okv8u* work;
    void full(int l, Okv32f* v) const { modulateReal(src[l], dct, work, v); }
    void down(int l, Okv32f* v) const { modulateDownReal(src[l], dct, work, v); }
};

}  // namespace

StatusCode okvsSynthesisFilter_SBR_CToR_32f_D2L(const Okv32f** pSrcRe, const Okv32f** pSrcIm, Okv32f* pDst,
                                                const Okv32f* pSbrTableWindow, int nLoop, SBRQMFSpec_32f* pSpec,
                                                Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow || !pWorkBuf) return okvErrNullPtr;
    if (pSpec->id != kSynCplx32f.id) return okvErrContextMatch;
    if (!pSrcRe || !pSrcIm || !pDst) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<64>(pDst, pSbrTableWindow, nLoop, pSpec, CplxSplit{pSrcRe, pSrcIm, fftOf(pSpec), pWorkBuf});
    return okvOk;
}

StatusCode okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(const Okv32fc** pSrc, Okv32f* pDst,
                                                    const Okv32f* pSbrTableWindow, int nLoop,
                                                    SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kSynCplx32fc.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<64>(pDst, pSbrTableWindow, nLoop, pSpec, CplxInterleaved{pSrc, fftOf(pSpec), pWorkBuf});
    return okvOk;
}

StatusCode okvsSynthesisFilter_SBR_RToR_32f_D2L(const Okv32f** pSrc, Okv32f* pDst, const Okv32f* pSbrTableWindow,
                                                int nLoop, SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kSynReal.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<64>(pDst, pSbrTableWindow, nLoop, pSpec, Real{pSrc, dctOf(pSpec), pWorkBuf});
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBR_CToR_32f_D2L(const Okv32f** pSrcRe, const Okv32f** pSrcIm, Okv32f* pDst,
                                                    const Okv32f* pSbrTableWindow, int nLoop,
                                                    SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow || !pWorkBuf) return okvErrNullPtr;
    if (pSpec->id != kDownCplx32f.id) return okvErrContextMatch;
    if (!pSrcRe || !pSrcIm || !pDst) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<32>(pDst, pSbrTableWindow, nLoop, pSpec, CplxSplit{pSrcRe, pSrcIm, fftOf(pSpec), pWorkBuf});
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(const Okv32fc** pSrc, Okv32f* pDst,
                                                        const Okv32f* pSbrTableWindow, int nLoop,
                                                        SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kDownCplx32fc.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<32>(pDst, pSbrTableWindow, nLoop, pSpec, CplxInterleaved{pSrc, fftOf(pSpec), pWorkBuf});
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBR_RToR_32f_D2L(const Okv32f** pSrc, Okv32f* pDst,
                                                    const Okv32f* pSbrTableWindow, int nLoop,
                                                    SBRQMFSpec_32f* pSpec, Okv8u* pWorkBuf) {
    if (!pSpec || !pSbrTableWindow) return okvErrNullPtr;
    if (pSpec->id != kDownReal.id) return okvErrContextMatch;
    if (!pSrc || !pDst || !pWorkBuf) return okvErrNullPtr;
    if (nLoop < 1) return okvOk;
    synthesise<32>(pDst, pSbrTableWindow, nLoop, pSpec, Real{pSrc, dctOf(pSpec), pWorkBuf});
    return okvOk;
}

}  // namespace OKV_NS
