// Float MDCT of 12, 36 and powers of two from 32: fold and pre-rotation,
// an N/4-point complex DFT, post-rotation and unfold.
#include "core/kernels.h"
#include "core/trig.h"
#include "transform/mdct.h"
#include "transform/mdct_rot.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

bool valid_len(int len) { return len == 12 || len == 36 || (len >= 32 && ownsLog2(len) >= 0); }

constexpr float kSin60 = 0.8660254037844386f;

inline void dft3(OkvCx& a, OkvCx& b, OkvCx& c) {
    OkvCx s = b + c, d = b - c;
    OkvCx m{a.re - 0.5f * s.re, a.im - 0.5f * s.im};
    OkvCx r{kSin60 * d.im, -kSin60 * d.re};  // -i sin60 (b - c)
    a = a + s;
    b = m + r;
    c = m - r;
}

struct Tw9 {
    OkvCx w1, w2, w4;
};
constexpr Tw9 kTw9{{float(okv_cospi(2.0 / 9)), float(-okv_sinpi(2.0 / 9))},
                   {float(okv_cospi(4.0 / 9)), float(-okv_sinpi(4.0 / 9))},
                   {float(okv_cospi(8.0 / 9)), float(-okv_sinpi(8.0 / 9))}};

// Forward DFT of 3 or 9 points in place (9 = 3 x 3).
void small_dft(OkvCx* z, int q) {
    if (q == 3) {
        dft3(z[0], z[1], z[2]);
        return;
    }
    OkvCx y[9];
    for (int n2 = 0; n2 < 3; ++n2) {
        OkvCx a = z[n2], b = z[n2 + 3], c = z[n2 + 6];
        dft3(a, b, c);
        y[3 * n2] = a;
        y[3 * n2 + 1] = b;
        y[3 * n2 + 2] = c;
    }
    y[4] = y[4] * kTw9.w1;
    y[5] = y[5] * kTw9.w2;
    y[7] = y[7] * kTw9.w2;
    y[8] = y[8] * kTw9.w4;
    for (int k1 = 0; k1 < 3; ++k1) {
        OkvCx a = y[k1], b = y[3 + k1], c = y[6 + k1];
        dft3(a, b, c);
        z[k1] = a;
        z[k1 + 3] = b;
        z[k1 + 6] = c;
    }
}

StatusCode get_size(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    if (!valid_len(len)) return okvErrSize;
    if (len == 12 || len == 36) {
        *pSpecSize = 2 * len + 168;
        *pInitBufSize = 0;
        *pWorkBufSize = 4 * len + 128;
        return okvOk;
    }
    int fs, fi, fw;
    StatusCode st = okvsFFTGetSize_C_32fc(ownsLog2(len) - 2, kFftNoDiv, 0, &fs, &fi, &fw);
    if (st != okvOk) return st;
    const Okv64s spec = 2 * Okv64s(len) + 168 + fs + 64, work = 4 * Okv64s(len) + fw + 64 + 128;
    if (spec > INT32_MAX || work > INT32_MAX) return okvErrSize;  // from 2^29 points
    *pSpecSize = int(spec);
    *pInitBufSize = fi;
    *pWorkBufSize = int(work);
    return okvOk;
}

template <class Spec>
StatusCode init(Spec** ppSpec, int len, Okv8u* pMem, Okv8u* pInitBuf, Okv32s id) {
    if (!ppSpec || !pMem) return okvErrNullPtr;
    if (!valid_len(len)) return okvErrSize;
    int ss = 0, is = 0, ws = 0;
    get_size(len, &ss, &is, &ws);
    OkvMdctSpec* s = ownsMdctHeader(pMem, len, ws);
    Okv8u* a = reinterpret_cast<Okv8u*>(s);
    Okv32f* tw = reinterpret_cast<Okv32f*>(a + 64);
    ownsMdctTable_32f(tw, len);
    s->twiddle = tw;
    if (len != 12 && len != 36) {
        const int order = ownsLog2(len) - 2;
        s->fftOrder = order;
        OkvsFFTSpec_32f* fft;
        StatusCode st = okvsFFTInit_C_32fc(&fft, order, kFftNoDiv, 0, ownsAlign64(a + 64 + 2 * len),
                                           pInitBuf);
        if (st != okvOk) return st;
        s->fft = fft;
    }
    s->id = id;
    *ppSpec = reinterpret_cast<Spec*>(s);
    return okvOk;
}

template <class Spec>
StatusCode init_alloc(Spec** ppSpec, int len, Okv32s id) {
    return ownsAllocInit<OkvMdctSpec>(
        ppSpec, [&](int* s, int* i, int* w) { return get_size(len, s, i, w); },
        [&](Okv8u* mem, Okv8u* ib) { return init(ppSpec, len, mem, ib, id); });
}

// Scalar fold, rotation, DFT and post-rotation for 12 and 36.
void fwd_small(const Okv32f* x, Okv32f* dst, const OkvMdctSpec* s, OkvCx* z) {
    const int n = s->len, q = n / 4;
    const Okv32f* tw = static_cast<const Okv32f*>(s->twiddle);
    for (int m = 0; m < q; ++m) {
        OkvMdctFold f = ownsMdctFold(n, m);
        Okv32f u = (f.uNeg ? -x[f.u0] : x[f.u0]) - x[f.u1];
        Okv32f v = (f.vNeg ? -x[f.v0] : x[f.v0]) - x[f.v1];
        Okv32f sn = tw[2 * m], cs = tw[2 * m + 1];
        z[m] = {cs * u + sn * v, cs * v - sn * u};
    }
    small_dft(z, q);
    for (int m = 0; m < q; ++m) {
        Okv32f sn = tw[2 * m], cs = tw[2 * m + 1];
        dst[2 * m] = cs * z[m].re + sn * z[m].im;
        dst[n / 2 - 1 - 2 * m] = sn * z[m].re - cs * z[m].im;
    }
}

void inv_small(const Okv32f* x, Okv32f* dst, const OkvMdctSpec* s, OkvCx* z) {
    const int n = s->len, q = n / 4;
    const Okv32f* tw = static_cast<const Okv32f*>(s->twiddle);
    for (int m = 0; m < q; ++m) {
        Okv32f sn = tw[2 * m], cs = tw[2 * m + 1];
        Okv32f a = x[2 * m], b = x[n / 2 - 1 - 2 * m];
        z[m] = {a * cs + b * sn, b * cs - a * sn};
    }
    small_dft(z, q);
    for (int m = 0; m < q; ++m) {
        Okv32f sn = tw[2 * m], cs = tw[2 * m + 1];
        Okv32f u = cs * z[m].re + sn * z[m].im, v = sn * z[m].re - cs * z[m].im;
        OkvMdctFold f = ownsMdctFold(n, m);
        dst[f.u0] = f.uNeg ? -u : u;
        dst[f.u1] = -u;
        dst[f.v0] = f.vNeg ? -v : v;
        dst[f.v1] = -v;
    }
}

template <bool INV, class Spec>
StatusCode transform(const Okv32f* pSrc, Okv32f* pDst, const Spec* pSpec, Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    const OkvMdctSpec* s = reinterpret_cast<const OkvMdctSpec*>(pSpec);
    if (s->id != (INV ? kMdctIdInv32f : kMdctIdFwd32f)) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    OkvWorkBuf wb(pBuffer, s->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    Okv8u* w = wb.get();
    if (s->len == 12 || s->len == 36) {
        OkvCx* z = reinterpret_cast<OkvCx*>(w);
        if (INV)
            inv_small(pSrc, pDst, s, z);
        else
            fwd_small(pSrc, pDst, s, z);
        return okvOk;
    }
    const OkvsFFTSpec_32f* fft = static_cast<const OkvsFFTSpec_32f*>(s->fft);
    // Rotated values in the first 2N bytes, the FFT out of place into the next 2N.
    Okv32fc* z = reinterpret_cast<Okv32fc*>(w);
    Okv32fc* zf = reinterpret_cast<Okv32fc*>(w + 2 * s->len);
    Okv8u* fw = w + 4 * s->len;
    const Okv32f* tw = static_cast<const Okv32f*>(s->twiddle);
    if (INV) {
        ownsMdctInvPre_32f(pSrc, z, tw, s->len);
        ownsFFT_32fc(z, zf, fft, false, fw);
        ownsMdctInvPost_32f(zf, pDst, tw, s->len);
    } else {
        ownsMdctFwdPre_32f(pSrc, z, tw, s->len);
        ownsFFT_32fc(z, zf, fft, false, fw);
        ownsMdctFwdPost_32f(zf, pDst, tw, s->len);
    }
    return okvOk;
}

}  // namespace

StatusCode okvsMDCTFwdGetSize_32f(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}
StatusCode okvsMDCTInvGetSize_32f(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}
StatusCode okvsMDCTFwdInit_32f(OkvsMDCTFwdSpec_32f** ppSpec, int len, Okv8u* pMem, Okv8u* pInitBuf) {
    return init(ppSpec, len, pMem, pInitBuf, kMdctIdFwd32f);
}
StatusCode okvsMDCTInvInit_32f(OkvsMDCTInvSpec_32f** ppSpec, int len, Okv8u* pMem, Okv8u* pInitBuf) {
    return init(ppSpec, len, pMem, pInitBuf, kMdctIdInv32f);
}
StatusCode okvsMDCTFwdInitAlloc_32f(OkvsMDCTFwdSpec_32f** ppSpec, int len) {
    return init_alloc(ppSpec, len, kMdctIdFwd32f);
}
StatusCode okvsMDCTInvInitAlloc_32f(OkvsMDCTInvSpec_32f** ppSpec, int len) {
    return init_alloc(ppSpec, len, kMdctIdInv32f);
}
StatusCode okvsMDCTFwdFree_32f(OkvsMDCTFwdSpec_32f* pSpec) {
    return ownsFreeSpec(ownsMdctSpec(pSpec), kMdctIdFwd32f);
}
StatusCode okvsMDCTInvFree_32f(OkvsMDCTInvSpec_32f* pSpec) {
    return ownsFreeSpec(ownsMdctSpec(pSpec), kMdctIdInv32f);
}
StatusCode okvsMDCTFwdGetBufSize_32f(const OkvsMDCTFwdSpec_32f* pSpec, int* pSize) {
    return ownsSpecBufSize(ownsMdctSpec(pSpec), pSize, kMdctIdFwd32f);
}
StatusCode okvsMDCTInvGetBufSize_32f(const OkvsMDCTInvSpec_32f* pSpec, int* pSize) {
    return ownsSpecBufSize(ownsMdctSpec(pSpec), pSize, kMdctIdInv32f);
}
StatusCode okvsMDCTFwd_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsMDCTFwdSpec_32f* pSpec,
                           Okv8u* pBuffer) {
    return transform<false>(pSrc, pDst, pSpec, pBuffer);
}
StatusCode okvsMDCTInv_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsMDCTInvSpec_32f* pSpec,
                           Okv8u* pBuffer) {
    return transform<true>(pSrc, pDst, pSpec, pBuffer);
}
StatusCode okvsMDCTFwd_32f_I(Okv32f* pSrcDst, const OkvsMDCTFwdSpec_32f* pSpec, Okv8u* pBuffer) {
    return transform<false>(pSrcDst, pSrcDst, pSpec, pBuffer);
}
StatusCode okvsMDCTInv_32f_I(Okv32f* pSrcDst, const OkvsMDCTInvSpec_32f* pSpec, Okv8u* pBuffer) {
    return transform<true>(pSrcDst, pSrcDst, pSpec, pBuffer);
}

}  // namespace OKV_NS
