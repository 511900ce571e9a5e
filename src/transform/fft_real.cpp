// Real FFT in Perm format through the half-length complex core: the N reals
// are N/2 complex values (even samples real, odd imaginary); a recombination
// pass with W^k = exp(-2 pi i k / N) separates the two half spectra.
#include <xmmintrin.h>

#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/fft_small.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

// Twiddles W^k, k >= 1: orders up to 5 read the 32-point constants, orders
// 6..17 a table in blocks of 4 real and 4 imaginary parts for k = 4b+1 ..
// 4b+4, larger orders a coarse (k >> 10) and a fine (k & 1023) table.
struct RecTw {
    const OkvsFFTSpec_32f* s;
    int stride;

    Okv32fc one(int k) const {
        if (s->order <= 5) return {kOkvTw32.re[k * stride], kOkvTw32.im[k * stride]};
        if (!s->recFine) {
            const Okv32f* t = &s->recFwd->re + 8 * ((k - 1) >> 2) + ((k - 1) & 3);
            return {t[0], t[4]};
        }
        Okv32fc c = s->recFwd[k >> 10], f = s->recFine[k & 1023];
        return {c.re * f.re - c.im * f.im, c.re * f.im + c.im * f.re};
    }
    // W^k .. W^(k+3) for k = 4b + 1.
    void four(int k, __m128* re, __m128* im) const {
        if (!s->recFine) {
            const Okv32f* t = &s->recFwd->re + 2 * (k - 1);
            *re = _mm_load_ps(t);
            *im = _mm_load_ps(t + 4);
            return;
        }
        alignas(16) float r[4], i[4];
        for (int j = 0; j < 4; ++j) {
            const Okv32fc w = one(k + j);
            r[j] = w.re;
            i[j] = w.im;
        }
        *re = _mm_load_ps(r);
        *im = _mm_load_ps(i);
    }
};

inline __m128 rev4(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// z[k..k+3] and z[h-k-3..h-k] as real and imaginary parts, the back ones
// reversed so that lane j holds z[h-k-j].
inline void load_pair(const Okv32fc* z, int k, int h, __m128* ar, __m128* ai, __m128* br, __m128* bi) {
    const float* f = &z[k].re;
    const __m128 a0 = _mm_loadu_ps(f), a1 = _mm_loadu_ps(f + 4);
    const float* g = &z[h - k - 3].re;
    const __m128 b0 = _mm_loadu_ps(g), b1 = _mm_loadu_ps(g + 4);
    *ar = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(2, 0, 2, 0));
    *ai = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(3, 1, 3, 1));
    *br = rev4(_mm_shuffle_ps(b0, b1, _MM_SHUFFLE(2, 0, 2, 0)));
    *bi = rev4(_mm_shuffle_ps(b0, b1, _MM_SHUFFLE(3, 1, 3, 1)));
}

inline void store_pair(Okv32fc* z, int k, int h, __m128 xr, __m128 xi, __m128 yr, __m128 yi) {
    float* f = &z[k].re;
    _mm_storeu_ps(f, _mm_unpacklo_ps(xr, xi));
    _mm_storeu_ps(f + 4, _mm_unpackhi_ps(xr, xi));
    yr = rev4(yr);
    yi = rev4(yi);
    float* g = &z[h - k - 3].re;
    _mm_storeu_ps(g, _mm_unpacklo_ps(yr, yi));
    _mm_storeu_ps(g + 4, _mm_unpackhi_ps(yr, yi));
}

// Recombination between the packed half-length spectrum Z and Perm X, in
// place or from x to z. With s = A[k] + conj A[h-k], d = A[k] - conj A[h-k]
// for the input A and T = Im(W^k) d -+ i Re(W^k) d (forward, inverse):
// B[k] = (s + T) k, B[h-k] = conj(s - T) k, with k = sc / 2 forward (A = Z,
// B = X) and k = sc inverse (A = X, B = Z / 2). B[0] takes (A0.re + A0.im,
// A0.re - A0.im) sc and B[h/2] = 2 k conj A[h/2].
template <bool INV>
void recombine(const Okv32fc* x, Okv32fc* z, int h, const RecTw& tw, float sc) {
    const float kk = INV ? sc : 0.5f * sc;
    const Okv32fc x0 = x[0];
    z[0] = {(x0.re + x0.im) * sc, (x0.re - x0.im) * sc};
    if (h < 2) return;
    int k = 1;
    if (tw.s->order > 5) {
        const __m128 kv = _mm_set1_ps(kk);
        for (; k + 3 < h / 2; k += 4) {
            __m128 ar, ai, br, bi, wr, wi;
            load_pair(x, k, h, &ar, &ai, &br, &bi);
            tw.four(k, &wr, &wi);
            const __m128 sr = _mm_add_ps(ar, br), si = _mm_sub_ps(ai, bi);
            const __m128 dr = _mm_sub_ps(ar, br), di = _mm_add_ps(ai, bi);
            const __m128 ur = _mm_mul_ps(wi, dr), ui = _mm_mul_ps(wi, di);
            const __m128 vr = _mm_mul_ps(wr, di), vi = _mm_mul_ps(wr, dr);
            const __m128 tr = INV ? _mm_sub_ps(ur, vr) : _mm_add_ps(ur, vr);
            const __m128 ti = INV ? _mm_add_ps(ui, vi) : _mm_sub_ps(ui, vi);
            store_pair(z, k, h, _mm_mul_ps(_mm_add_ps(sr, tr), kv), _mm_mul_ps(_mm_add_ps(si, ti), kv),
                       _mm_mul_ps(_mm_sub_ps(sr, tr), kv), _mm_mul_ps(_mm_sub_ps(ti, si), kv));
        }
    }
    for (; k < h / 2; ++k) {
        const Okv32fc a = x[k], b = x[h - k], w = tw.one(k);
        const Okv32fc s{a.re + b.re, a.im - b.im}, d{a.re - b.re, a.im + b.im};
        const float tr = INV ? w.im * d.re - w.re * d.im : w.im * d.re + w.re * d.im;
        const float ti = INV ? w.im * d.im + w.re * d.re : w.im * d.im - w.re * d.re;
        z[k] = {(s.re + tr) * kk, (s.im + ti) * kk};
        z[h - k] = {(s.re - tr) * kk, (ti - s.im) * kk};
    }
    const Okv32fc m = x[h / 2];
    z[h / 2] = {2.0f * kk * m.re, -2.0f * kk * m.im};
}

// Forward: the complex core on the packed signal, then recombination.
// Inverse: recombination into the packed spectrum, then the inverse core.
template <bool INV>
StatusCode real_transform(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec, Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    if (pSpec->id != kFftIdR32f) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    const float sc = (INV ? pSpec->invScale : pSpec->fwdScale) ? pSpec->scale : 1.0f;
    if (pSpec->order == 0) {
        pDst[0] = pSrc[0] * sc;
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    const Okv32fc* x = reinterpret_cast<const Okv32fc*>(pSrc);
    Okv32fc* z = reinterpret_cast<Okv32fc*>(pDst);
    const int h = 1 << (pSpec->order - 1);
    const RecTw tw{pSpec, pSpec->order <= 5 ? 32 >> pSpec->order : 1};
    if (INV) {
        recombine<true>(x, z, h, tw, sc);
        ownsFFTCore_32fc(z, z, pSpec, true, wb.get());
    } else {
        ownsFFTCore_32fc(x, z, pSpec, false, wb.get());
        recombine<false>(z, z, h, tw, sc);
    }
    return okvOk;
}

}  // namespace

void ownsFFTRealTables(OkvsFFTSpec_32f* s, Okv8u* p) {
    const int order = s->order;
    if (order <= 5) return;
    const Okv64s n = Okv64s(1) << order;
    Okv32fc* t = reinterpret_cast<Okv32fc*>(ownsAlign64(p));
    s->recFwd = t;
    if (order < 18) {
        Okv32f* f = &t->re;
        for (Okv64s k = 1; k < n / 4; ++k) {
            const Okv32fc w = ownsTwiddle(k, n);
            f[8 * ((k - 1) >> 2) + ((k - 1) & 3)] = w.re;
            f[8 * ((k - 1) >> 2) + 4 + ((k - 1) & 3)] = w.im;
        }
        return;
    }
    const Okv64s coarse = n / 4096;
    for (Okv64s j = 0; j < coarse; ++j) t[j] = ownsTwiddle(1024 * j, n);
    Okv32fc* f = t + coarse;
    for (int k = 0; k < 1024; ++k) f[k] = ownsTwiddle(k, n);
    s->recFine = f;
}

StatusCode okvsFFTFwd_RToPerm_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec,
                                  Okv8u* pBuffer) {
    return real_transform<false>(pSrc, pDst, pSpec, pBuffer);
}

StatusCode okvsFFTInv_PermToR_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec,
                                  Okv8u* pBuffer) {
    return real_transform<true>(pSrc, pDst, pSpec, pBuffer);
}

}  // namespace OKV_NS
