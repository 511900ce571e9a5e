// Float FFT specs: sizes, Init/InitAlloc/Free/GetBufSize and the checked
// complex transforms.
#include <xmmintrin.h>

#include "core/kernels.h"
#include "core/trig.h"
#include "transform/fft.h"
#include "transform/fft_small.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

inline Okv64s align_dn64(Okv64s v) { return v & ~Okv64s(63); }

// Bit-reversal table bytes for N.
inline Okv64s rev_bytes(Okv64s n) { return align_dn64((n & ~Okv64s(3)) + 67); }

// Block and buffer orders of the blocked decomposition that the reported sizes
// follow for orders 16 and up. The transform itself runs whole-array stages
// there, with the stage tables that fit the innermost level and the base table.
inline int blk_order(int order) { return order <= 18 ? 4 : order <= 20 ? 6 : 8; }
inline int buf_order(int order) { return order <= 18 ? 10 : 14; }

inline int inner_order(int order) {
    while (order >= 16) order -= blk_order(order);
    return order;
}

// Spec part without the final 256 and work part (with its + 64) of the complex kind.
void cplx_parts(int order, Okv64s* spec, Okv64s* init, Okv64s* work) {
    const Okv64s n = Okv64s(1) << order;
    if (order <= 5) {
        *spec = 208 - 256;
        *init = 0;
        *work = 0;
    } else if (order <= 15) {
        *spec = align_dn64(8 * n + 71) + rev_bytes(n);
        *init = order < 11 ? 0 : rev_bytes(n) + 64;
        *work = align_dn64(8 * n + 63) + 64;
    } else {
        const int m = inner_order(order);
        Okv64s s = align_dn64(8 * (Okv64s(1) << m) + 71);
        Okv64s w = align_dn64(8 * (Okv64s(1) << m) + 63);
        // Levels from the innermost outward: every L with L - blk[L] chaining down to m.
        int levels[4], nl = 0;
        for (int l = order; l >= 16; l -= blk_order(l)) levels[nl++] = l;
        for (int i = nl - 1; i >= 0; --i) {
            s += 8 * (Okv64s(1) << (levels[i] - 1));
            Okv64s b = 8 * (Okv64s(1) << buf_order(levels[i]));
            if (b > w) w = b;
        }
        if (order == 16) {
            s += rev_bytes(n);
        } else {
            s += 4 * (Okv64s(1) << (order - 10)) + 1088;
            if (w < 16384) w = 16384;
        }
        *spec = s;
        *init = rev_bytes(n) + 64;
        *work = w + 64;
    }
}

StatusCode check_sizes(int order, int flag, const int* a, const int* b, const int* c) {
    if (order < 0 || order > 30) return okvErrFftOrder;
    if (!a || !b || !c) return okvErrNullPtr;
    if (!ownsFFTFlagValid(flag)) return okvErrFftFlag;
    return okvOk;
}

// Lays out the tables of a complex transform of order corder from p on;
// returns the end of the used memory.
Okv8u* layout_cplx(OkvsFFTSpec_32f* s, int corder, Okv8u* p) {
    s->corder = corder;
    if (corder <= 3) return p;
    if (corder <= 5) {
        s->bitrev = kOkvFftSmallTabs.rev;
        s->twiddle = corder == 4 ? kOkvFftSmallTabs.tw16 : kOkvFftSmallTabs.tw32;
        return p;
    }
    const int n = 1 << corder;
    int first = corder & 1 ? 8 : 4, lmax = n;
    if (corder <= 15) {
        Okv32s* rev = reinterpret_cast<Okv32s*>(p);
        const int groups = n / first, bits = corder - (first == 8 ? 3 : 2);
        for (int g = 0; g < groups; g += 4) {
            Okv32u r = 0;
            for (int b = 0; b < bits; ++b) r |= ((Okv32u(g) >> b) & 1u) << (bits - 1 - b);
            rev[g >> 2] = Okv32s(r);
        }
        s->bitrev = rev;
        p = ownsAlign64(p + 4 * (groups / 4));
    } else {
        lmax = 1 << inner_order(corder);
    }
    Okv32f* tw = reinterpret_cast<Okv32f*>(p);
    s->twiddle = tw;
    int stages = 0;
    const int n4 = ownsFFTRadix4Stages(corder);
    for (int l = first; l < n; ++stages) {
        const int radix = stages < n4 ? 4 : 8;
        if (radix * l > lmax) break;
        ownsFFTStageTable(tw, l, radix);
        tw += 2 * (radix - 1) * l;
        l *= radix;
    }
    p = ownsAlign64(reinterpret_cast<Okv8u*>(tw));
    if (corder >= 16) {
        s->tabStages = stages;
        Okv32fc* base = reinterpret_cast<Okv32fc*>(p);
        for (int k = 0; k < n / 2; ++k) base[k] = ownsTwiddle(k, n);
        s->base = base;
        p = ownsAlign64(p + 4 * Okv64s(n));
    }
    return p;
}

}  // namespace

bool ownsFFTFlagValid(int flag) {
    return flag == kFftNoDiv || flag == kFftDivFwdByN || flag == kFftDivInvByN ||
           flag == kFftDivBySqrtN;
}

Okv32f ownsInvSqrt(Okv32f x) {
    Okv32f y = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
    return y * -0.5f * (x * y * y - 3.0f);
}

Okv32fc ownsTwiddle(Okv64s k, Okv64s n) {
    double a = 2.0 * double(k) / double(n);
    return {float(okv_cospi(a)), float(-okv_sinpi(a))};
}

StatusCode okvsFFTGetSize_C_32fc(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize) {
    (void)hint;
    StatusCode st = check_sizes(order, flag, pSpecSize, pInitBufSize, pWorkBufSize);
    if (st != okvOk) return st;
    if (order > 28) return okvErrFftOrder;
    Okv64s s, i, w;
    cplx_parts(order, &s, &i, &w);
    *pSpecSize = int(s + 256);
    *pInitBufSize = int(i);
    *pWorkBufSize = int(w);
    return okvOk;
}

StatusCode okvsFFTGetSize_C_32f(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                int* pWorkBufSize) {
    return okvsFFTGetSize_C_32fc(order, flag, hint, pSpecSize, pInitBufSize, pWorkBufSize);
}

StatusCode okvsFFTGetSize_R_32f(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                int* pWorkBufSize) {
    (void)hint;
    StatusCode st = check_sizes(order, flag, pSpecSize, pInitBufSize, pWorkBufSize);
    if (st != okvOk) return st;
    if (order > 29) return okvErrFftOrder;
    const Okv64s n = Okv64s(1) << order;
    const Okv64s w2 = order < 18 ? align_dn64(2 * n + 63)
                                 : align_dn64(8 * (Okv64s(1) << (order - 12)) + 8255);
    Okv64s spec = 208, init = 0, work = 0;
    if (order >= 5) spec = 2 * w2 + 256;
    if (order >= 7) {
        Okv64s cs, ci;
        cplx_parts(order - 1, &cs, &ci, &work);
        spec += cs;
    }
    if (order > 10) init = rev_bytes(n) + 64;
    *pSpecSize = int(spec);
    *pInitBufSize = int(init);
    *pWorkBufSize = int(work);
    return okvOk;
}

// Shared Init of the float kinds; the real kind passes maxOrder 29.
StatusCode ownsFFTInitFloat(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                            Okv8u* pSpecMem, Okv8u* pInitBuf, int maxOrder, Okv32s id) {
    if (!ppSpec) return okvErrNullPtr;
    if (order < 0 || order > maxOrder) return okvErrFftOrder;
    if (!pSpecMem) return okvErrNullPtr;
    Okv8u* a = ownsAlign64(pSpecMem);
    OkvsFFTSpec_32f* s = reinterpret_cast<OkvsFFTSpec_32f*>(a);
    for (unsigned i = 0; i < sizeof(*s); ++i) a[i] = 0;
    *ppSpec = s;
    s->order = order;
    s->hint = hint;
    if (!ownsFFTFlagValid(flag)) return okvErrFftFlag;
    if (order >= 11 && !pInitBuf) return okvErrNullPtr;
    const Okv32f fn = float(Okv64s(1) << order);
    s->scale = 1.0f;
    if (flag == kFftDivFwdByN || flag == kFftDivInvByN) s->scale = 1.0f / fn;
    if (flag == kFftDivBySqrtN) s->scale = ownsInvSqrt(fn);
    s->fwdScale = flag == kFftDivFwdByN || flag == kFftDivBySqrtN;
    s->invScale = flag == kFftDivInvByN || flag == kFftDivBySqrtN;
    int spec = 0, init = 0, work = 0;
    if (id == kFftIdR32f)
        okvsFFTGetSize_R_32f(order, flag, hint, &spec, &init, &work);
    else
        okvsFFTGetSize_C_32fc(order, flag, hint, &spec, &init, &work);
    s->workSize = work;
    Okv8u* p = a + 128;
    if (id == kFftIdR32f) {
        p = layout_cplx(s, order > 0 ? order - 1 : 0, p);
        ownsFFTRealTables(s, p);
    } else {
        layout_cplx(s, order, p);
    }
    s->id = id;
    return okvOk;
}

StatusCode okvsFFTInit_C_32fc(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                              Okv8u* pSpecMem, Okv8u* pInitBuf) {
    return ownsFFTInitFloat(ppSpec, order, flag, hint, pSpecMem, pInitBuf, 28, kFftIdC32fc);
}

StatusCode okvsFFTInit_C_32f(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                             Okv8u* pSpecMem, Okv8u* pInitBuf) {
    StatusCode st = okvsFFTInit_C_32fc(ppSpec, order, flag, hint, pSpecMem, pInitBuf);
    if (st == okvOk) (*ppSpec)->id = kFftIdC32f;
    return st;
}

StatusCode okvsFFTInit_R_32f(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                             Okv8u* pSpecMem, Okv8u* pInitBuf) {
    return ownsFFTInitFloat(ppSpec, order, flag, hint, pSpecMem, pInitBuf, 29, kFftIdR32f);
}

StatusCode okvsFFTInitAlloc_C_32fc(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint) {
    return ownsAllocInit<OkvsFFTSpec_32f>(
        ppSpec,
        [&](int* s, int* i, int* w) { return okvsFFTGetSize_C_32fc(order, flag, hint, s, i, w); },
        [&](Okv8u* mem, Okv8u* ib) { return okvsFFTInit_C_32fc(ppSpec, order, flag, hint, mem, ib); });
}

StatusCode okvsFFTFree_C_32fc(OkvsFFTSpec_32f* pSpec) { return ownsFreeSpec(pSpec, kFftIdC32fc); }

StatusCode okvsFFTGetBufSize_C_32fc(const OkvsFFTSpec_32f* pSpec, int* pSize) {
    return ownsSpecBufSize(pSpec, pSize, kFftIdC32fc);
}

namespace {

template <bool INV>
StatusCode cplx_transform(const Okv32fc* pSrc, Okv32fc* pDst, const OkvsFFTSpec_32f* pSpec,
                          Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    if (pSpec->id != kFftIdC32fc) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    ownsFFT_32fc(pSrc, pDst, pSpec, INV, wb.get());
    return okvOk;
}

}  // namespace

StatusCode okvsFFTFwd_CToC_32fc(const Okv32fc* pSrc, Okv32fc* pDst, const OkvsFFTSpec_32f* pSpec,
                                Okv8u* pBuffer) {
    return cplx_transform<false>(pSrc, pDst, pSpec, pBuffer);
}

StatusCode okvsFFTInv_CToC_32fc(const Okv32fc* pSrc, Okv32fc* pDst, const OkvsFFTSpec_32f* pSpec,
                                Okv8u* pBuffer) {
    return cplx_transform<true>(pSrc, pDst, pSpec, pBuffer);
}

StatusCode okvsFFTFwd_CToC_32f(const Okv32f* pSrcRe, const Okv32f* pSrcIm, Okv32f* pDstRe,
                               Okv32f* pDstIm, const OkvsFFTSpec_32f* pSpec, Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    if (pSpec->id != kFftIdC32f) return okvErrContextMatch;
    if (!pSrcRe || !pSrcIm || !pDstRe || !pDstIm) return okvErrNullPtr;
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    ownsFFTSplit_32f(pSrcRe, pSrcIm, pDstRe, pDstIm, pSpec, wb.get());
    return okvOk;
}

}  // namespace OKV_NS
