// Real FFT in Perm format through the half-length complex core: the N reals
// are N/2 complex values (even samples real, odd imaginary); a recombination
// pass with W^k = exp(-2 pi i k / N) separates the two half spectra.
#include <xmmintrin.h>

#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/fft_small.h"
#include "transform/work_buf.h"

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

inline Okv32fc cmul(Okv32fc a, Okv32fc w) {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
}

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

// In place on z[0..h-1] = FFT of the packed signal; writes Perm scaled by sc.
// With s = Z[k] + conj Z[h-k], d = Z[k] - conj Z[h-k], P = W^k (-i d):
// X[k] = (s + P) / 2, X[h-k] = conj(s - P) / 2.
void recombine_fwd(Okv32fc* z, int h, const RecTw& tw, float sc) {
    const float half = 0.5f * sc;
    const Okv32fc z0 = z[0];
    z[0] = {(z0.re + z0.im) * sc, (z0.re - z0.im) * sc};
    if (h < 2) return;
    int k = 1;
    if (tw.s->order > 5) {
        const __m128 hv = _mm_set1_ps(half);
        for (; k + 3 < h / 2; k += 4) {
            __m128 ar, ai, br, bi, wr, wi;
            load_pair(z, k, h, &ar, &ai, &br, &bi);
            tw.four(k, &wr, &wi);
            const __m128 sr = _mm_add_ps(ar, br), si = _mm_sub_ps(ai, bi);
            const __m128 dr = _mm_sub_ps(ar, br), di = _mm_add_ps(ai, bi);
            const __m128 pr = _mm_add_ps(_mm_mul_ps(wr, di), _mm_mul_ps(wi, dr));
            const __m128 pi = _mm_sub_ps(_mm_mul_ps(wi, di), _mm_mul_ps(wr, dr));
            store_pair(z, k, h, _mm_mul_ps(_mm_add_ps(sr, pr), hv), _mm_mul_ps(_mm_add_ps(si, pi), hv),
                       _mm_mul_ps(_mm_sub_ps(sr, pr), hv), _mm_mul_ps(_mm_sub_ps(pi, si), hv));
        }
    }
    for (; k < h / 2; ++k) {
        Okv32fc a = z[k], b = z[h - k];
        Okv32fc s{a.re + b.re, a.im - b.im}, d{a.re - b.re, a.im + b.im};
        Okv32fc p = cmul({d.im, -d.re}, tw.one(k));
        z[k] = {(s.re + p.re) * half, (s.im + p.im) * half};
        z[h - k] = {(s.re - p.re) * half, (p.im - s.im) * half};
    }
    z[h / 2] = {z[h / 2].re * sc, -z[h / 2].im * sc};
}

// Perm in x[0..h-1] to the packed spectrum in z (x may equal z), scaled by sc:
// with s, d as above from X and Q = conj(W^k) d, Z[k] = s + i Q, Z[h-k] = conj(s - i Q).
void recombine_inv(const Okv32fc* x, Okv32fc* z, int h, const RecTw& tw, float sc) {
    const Okv32fc x0 = x[0];
    z[0] = {(x0.re + x0.im) * sc, (x0.re - x0.im) * sc};
    if (h < 2) return;
    int k = 1;
    if (tw.s->order > 5) {
        const __m128 sv = _mm_set1_ps(sc);
        for (; k + 3 < h / 2; k += 4) {
            __m128 ar, ai, br, bi, wr, wi;
            load_pair(x, k, h, &ar, &ai, &br, &bi);
            tw.four(k, &wr, &wi);
            const __m128 sr = _mm_add_ps(ar, br), si = _mm_sub_ps(ai, bi);
            const __m128 dr = _mm_sub_ps(ar, br), di = _mm_add_ps(ai, bi);
            const __m128 qr = _mm_add_ps(_mm_mul_ps(dr, wr), _mm_mul_ps(di, wi));
            const __m128 qi = _mm_sub_ps(_mm_mul_ps(di, wr), _mm_mul_ps(dr, wi));
            store_pair(z, k, h, _mm_mul_ps(_mm_sub_ps(sr, qi), sv), _mm_mul_ps(_mm_add_ps(si, qr), sv),
                       _mm_mul_ps(_mm_add_ps(sr, qi), sv), _mm_mul_ps(_mm_sub_ps(qr, si), sv));
        }
    }
    for (; k < h / 2; ++k) {
        Okv32fc a = x[k], b = x[h - k];
        Okv32fc s{a.re + b.re, a.im - b.im}, d{a.re - b.re, a.im + b.im};
        Okv32fc w = tw.one(k);
        Okv32fc q = cmul(d, {w.re, -w.im});
        z[k] = {(s.re - q.im) * sc, (s.im + q.re) * sc};
        z[h - k] = {(s.re + q.im) * sc, (q.re - s.im) * sc};
    }
    const Okv32fc m = x[h / 2];
    z[h / 2] = {2.0f * m.re * sc, -2.0f * m.im * sc};
}

StatusCode check(const void* pSrc, const void* pDst, const OkvsFFTSpec_32f* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    if (pSpec->id != kFftIdR32f) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
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
    StatusCode st = check(pSrc, pDst, pSpec);
    if (st != okvOk) return st;
    const float sc = pSpec->fwdScale ? pSpec->scale : 1.0f;
    if (pSpec->order == 0) {
        pDst[0] = pSrc[0] * sc;
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    Okv32fc* z = reinterpret_cast<Okv32fc*>(pDst);
    ownsFFTCore_32fc(reinterpret_cast<const Okv32fc*>(pSrc), z, pSpec, false, wb.get());
    const int h = 1 << (pSpec->order - 1);
    recombine_fwd(z, h, RecTw{pSpec, pSpec->order <= 5 ? 32 >> pSpec->order : 1}, sc);
    return okvOk;
}

StatusCode okvsFFTInv_PermToR_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec,
                                  Okv8u* pBuffer) {
    StatusCode st = check(pSrc, pDst, pSpec);
    if (st != okvOk) return st;
    const float sc = pSpec->invScale ? pSpec->scale : 1.0f;
    if (pSpec->order == 0) {
        pDst[0] = pSrc[0] * sc;
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    Okv32fc* z = reinterpret_cast<Okv32fc*>(pDst);
    const int h = 1 << (pSpec->order - 1);
    recombine_inv(reinterpret_cast<const Okv32fc*>(pSrc), z, h,
                  RecTw{pSpec, pSpec->order <= 5 ? 32 >> pSpec->order : 1}, sc);
    ownsFFTCore_32fc(z, z, pSpec, true, wb.get());
    return okvOk;
}

}  // namespace OKV_NS
