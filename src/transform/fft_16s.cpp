// 16-bit complex FFT: a fixed-point core for 2, 4 and 8 points, the float
// core (through a conversion) for everything else.
#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

inline bool integer_path(int order, int hint) { return order < 4 && (hint == 0 || hint == 1); }

inline Okv64s align_dn64(Okv64s v) { return v & ~Okv64s(63); }

// sqrt(2)/2 * (a + b) and sqrt(2)/2 * (a - b) in split precision.
inline Okv32s hi16(Okv32s v) { return v >> 16; }
inline Okv32s lo15(Okv32s v) { return (v & 65535) >> 1; }
inline Okv32s mul_sum(Okv32s a, Okv32s b) {
    return (hi16(a) + hi16(b)) * 46340 + (((lo15(a) + lo15(b)) * 11585 + 4096) >> 13);
}
inline Okv32s mul_diff(Okv32s a, Okv32s b) {
    return (hi16(a) - hi16(b)) * 46340 + (((lo15(a) - lo15(b)) * 11585 + 4096) >> 13);
}

struct Ci {
    Okv32s re, im;
};

// Radix-4 DIF butterfly on v[n + j q], outputs in binary bit-reversed slots.
inline void dif4(Ci* v, int n, int q) {
    Ci a = v[n], b = v[n + q], c = v[n + 2 * q], d = v[n + 3 * q];
    Ci s0{a.re + c.re, a.im + c.im}, s1{a.re - c.re, a.im - c.im};
    Ci s2{b.re + d.re, b.im + d.im}, s3{b.re - d.re, b.im - d.im};
    v[n] = {s0.re + s2.re, s0.im + s2.im};
    v[n + q] = {s0.re - s2.re, s0.im - s2.im};       // X2 of the four
    v[n + 2 * q] = {s1.re + s3.im, s1.im - s3.re};   // X1 = s1 - i s3
    v[n + 3 * q] = {s1.re - s3.im, s1.im + s3.re};   // X3 = s1 + i s3
}

// Sfs-style final step with rounding half up and 16-bit saturation.
inline Okv16s round_shift(Okv64s x, int t) {
    if (t > 0) {
        if (t > 62) t = 62;
        x = (x + (Okv64s(1) << (t - 1))) >> t;
    } else if (t < 0) {
        if (x != 0 && -t >= 32) return x > 0 ? 32767 : -32768;
        x *= Okv64s(1) << -t;
    }
    return Okv16s(x > 32767 ? 32767 : x < -32768 ? -32768 : x);
}

void int_fft(const Okv16sc* src, Okv16sc* dst, const OkvsFFTSpec_16sc* s, int scaleFactor) {
    const int order = s->order, n = 1 << order, sh = 15 - order;
    Ci v[8];
    for (int i = 0; i < n; ++i) v[i] = {Okv32s(src[i].re) << sh, Okv32s(src[i].im) << sh};
    if (n == 2) {
        Ci a = v[0], b = v[1];
        v[0] = {a.re + b.re, a.im + b.im};
        v[1] = {a.re - b.re, a.im - b.im};
    } else if (n == 4) {
        dif4(v, 0, 1);
    } else {
        dif4(v, 0, 2);
        dif4(v, 1, 2);
        Ci y2 = v[3], y1 = v[5], y3 = v[7];
        v[3] = {y2.im, -y2.re};                                       // W8^2
        v[5] = {mul_sum(y1.re, y1.im), mul_diff(y1.im, y1.re)};       // W8^1
        v[7] = {mul_diff(y3.im, y3.re), -mul_sum(y3.re, y3.im)};      // W8^3
        for (int i = 0; i < 8; i += 2) {
            Ci a = v[i], b = v[i + 1];
            v[i] = {a.re + b.re, a.im + b.im};
            v[i + 1] = {a.re - b.re, a.im - b.im};
        }
    }
    if (s->invSqrt2)
        for (int i = 0; i < n; ++i) {
            Okv32s* p[2] = {&v[i].re, &v[i].im};
            for (Okv32s* x : p) *x = (*x >> 16) * 46340 + (((*x & 65535) * 23170) >> 15);
        }
    const int t = sh + s->fwdShift + scaleFactor;
    Okv16sc out[8];
    for (int i = 0; i < n; ++i) out[s->bitrev[i]] = {round_shift(v[i].re, t), round_shift(v[i].im, t)};
    for (int i = 0; i < n; ++i) dst[i] = out[i];
}

}  // namespace

StatusCode okvsFFTGetSize_C_16sc(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize) {
    if (order < 0 || order > 30) return okvErrFftOrder;
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    if (!ownsFFTFlagValid(flag)) return okvErrFftFlag;
    const Okv64s n = Okv64s(1) << order;
    if (order == 0) {
        *pSpecSize = 136;
        *pInitBufSize = 0;
        *pWorkBufSize = 0;
    } else if (integer_path(order, hint)) {
        *pSpecSize = int(align_dn64(8 * n + 63) + align_dn64((n & ~3) + 67) + 192);
        *pInitBufSize = int(align_dn64((n / 4) * 2 + 65) + 64);
        *pWorkBufSize = int(8 * n + 64);
    } else {
        int spec, init, work;
        StatusCode st = okvsFFTGetSize_C_32fc(order, flag, hint, &spec, &init, &work);
        if (st != okvOk) return st;
        if (work + 8 * n + 64 > INT32_MAX) return okvErrFftOrder;  // order 28: not representable
        *pSpecSize = spec + 192;
        *pInitBufSize = init + 64;
        *pWorkBufSize = int(work + 8 * n + 64);
    }
    return okvOk;
}

StatusCode okvsFFTInit_C_16sc(OkvsFFTSpec_16sc** ppSpec, int order, int flag, int hint,
                              Okv8u* pSpecMem, Okv8u* pInitBuf) {
    if (!ppSpec) return okvErrNullPtr;
    if (order < 0 || order > 30) return okvErrFftOrder;
    if (!pSpecMem) return okvErrNullPtr;
    Okv8u* a = ownsAlign64(pSpecMem);
    OkvsFFTSpec_16sc* s = reinterpret_cast<OkvsFFTSpec_16sc*>(a);
    for (unsigned i = 0; i < sizeof(*s); ++i) a[i] = 0;
    *ppSpec = s;
    s->order = order;
    s->hint = hint;
    if (!ownsFFTFlagValid(flag)) return okvErrFftFlag;
    if (order > 0 && !pInitBuf) return okvErrNullPtr;
    if (flag == kFftDivFwdByN) s->fwdShift = order;
    if (flag == kFftDivInvByN) s->invShift = order;
    if (flag == kFftDivBySqrtN) {
        s->fwdShift = s->invShift = order >> 1;
        s->invSqrt2 = order & 1;
    }
    int spec, init, work;
    StatusCode st = okvsFFTGetSize_C_16sc(order, flag, hint, &spec, &init, &work);
    if (st != okvOk) return st;
    s->workSize = work;
    if (order > 0 && !integer_path(order, hint)) {
        st = okvsFFTInit_C_32fc(&s->inner, order, flag, hint, a + 64, pInitBuf);
        if (st != okvOk) return st;
        s->floatPath = 1;
    } else if (order > 0) {
        Okv32s* rev = reinterpret_cast<Okv32s*>(a + 64);
        const int n = 1 << order;
        for (int i = 0; i < n; ++i) {
            int r = 0;
            for (int b = 0; b < order; ++b) r |= ((i >> b) & 1) << (order - 1 - b);
            rev[i] = r;
        }
        s->bitrev = rev;
    }
    s->id = kFftIdC16sc;
    return okvOk;
}

StatusCode okvsFFTInitAlloc_C_16sc(OkvsFFTSpec_16sc** ppSpec, int order, int flag, int hint) {
    return ownsAllocInit<OkvsFFTSpec_16sc>(
        ppSpec,
        [&](int* s, int* i, int* w) { return okvsFFTGetSize_C_16sc(order, flag, hint, s, i, w); },
        [&](Okv8u* mem, Okv8u* ib) { return okvsFFTInit_C_16sc(ppSpec, order, flag, hint, mem, ib); });
}

StatusCode okvsFFTFree_C_16sc(OkvsFFTSpec_16sc* pSpec) { return ownsFreeSpec(pSpec, kFftIdC16sc); }

StatusCode okvsFFTGetBufSize_C_16sc(const OkvsFFTSpec_16sc* pSpec, int* pSize) {
    return ownsSpecBufSize(pSpec, pSize, kFftIdC16sc);
}

StatusCode okvsFFTFwd_CToC_16sc_Sfs(const Okv16sc* pSrc, Okv16sc* pDst,
                                    const OkvsFFTSpec_16sc* pSpec, int scaleFactor,
                                    Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    if (pSpec->id != kFftIdC16sc) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (pSpec->order == 0) {
        pDst[0] = {round_shift(pSrc[0].re, scaleFactor), round_shift(pSrc[0].im, scaleFactor)};
        return okvOk;
    }
    if (!pSpec->floatPath) {
        int_fft(pSrc, pDst, pSpec, scaleFactor);
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    const int n2 = 2 << pSpec->order;
    Okv32fc* f = reinterpret_cast<Okv32fc*>(wb.get());
    Okv8u* rest = ownsAlign64(wb.get() + 4 * Okv64s(n2));
    okvsConvert_16s32f(&pSrc->re, &f->re, n2);
    // Orders 6..15 have a whole transform's room after the floats: run out of place there.
    Okv32fc* g = pSpec->order >= 6 && pSpec->order <= 15 ? reinterpret_cast<Okv32fc*>(rest) : f;
    ownsFFT_32fc(f, g, pSpec->inner, false, g == f ? rest : nullptr);
    okvsConvert_32f16s_Sfs(&g->re, &pDst->re, n2, okvRoundHalfEven, scaleFactor);
    return okvOk;
}

}  // namespace OKV_NS
