// Real FFT in Perm format through the half-length complex core: the N reals
// are N/2 complex values (even samples real, odd imaginary); a recombination
// pass with W^k = exp(-2 pi i k / N) separates the two half spectra.
#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/fft_small.h"
#include "transform/fft_sse.h"
#include "transform/work_buf.h"

namespace OKV_NS {
namespace {

// Twiddle W^k of the spec; orders up to 5 read the 32-point constants.
struct RecTw {
    const OkvsFFTSpec_32f* s;
    int stride;

    Okv32fc one(int k) const {
        if (s->order <= 5) return {kOkvTw32.re[k * stride], kOkvTw32.im[k * stride]};
        if (!s->recFine) return s->recFwd[k];
        Okv32fc c = s->recFwd[k >> 10], f = s->recFine[k & 1023];
        return {c.re * f.re - c.im * f.im, c.re * f.im + c.im * f.re};
    }
    __m128 two(int k) const {
        if (!s->recFine) return cx_ld(s->recFwd + k);
        return cx_mul<false>(cx_ld2(s->recFwd + (k >> 10), s->recFwd + ((k + 1) >> 10)),
                             cx_ld2(s->recFine + (k & 1023), s->recFine + ((k + 1) & 1023)));
    }
};

inline Okv32fc cmul(Okv32fc a, Okv32fc w) {
    return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
}

inline __m128 swap_halves(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }

// In place on z[0..h-1] = FFT of the packed signal; writes Perm scaled by sc.
void recombine_fwd(Okv32fc* z, int h, const RecTw& tw, float sc) {
    const float half = 0.5f * sc;
    const Okv32fc z0 = z[0];
    z[0] = {(z0.re + z0.im) * sc, (z0.re - z0.im) * sc};
    if (h < 2) return;
    int k = 1;
    if (tw.s->order > 5) {
        const __m128 hv = _mm_set1_ps(half), conj = cx_neg_im_mask();
        for (; k + 1 < h / 2; k += 2) {
            __m128 a = cx_ld(z + k);
            __m128 b = _mm_xor_ps(swap_halves(cx_ld(z + h - k - 1)), conj);
            __m128 s = _mm_add_ps(a, b), d = _mm_sub_ps(a, b);
            __m128 p = cx_mul<false>(cx_rot90<false>(d), tw.two(k));
            cx_st(z + k, _mm_mul_ps(_mm_add_ps(s, p), hv));
            __m128 r = _mm_xor_ps(_mm_mul_ps(_mm_sub_ps(s, p), hv), conj);
            cx_st(z + h - k - 1, swap_halves(r));
        }
    }
    for (; k < h / 2; ++k) {
        Okv32fc a = z[k], b = z[h - k];
        Okv32fc s{a.re + b.re, a.im - b.im}, d{a.re - b.re, a.im + b.im};
        Okv32fc p = cmul({d.im, -d.re}, tw.one(k));
        z[k] = {(s.re + p.re) * half, (s.im + p.im) * half};
        z[h - k] = {(s.re - p.re) * half, -(s.im - p.im) * half};
    }
    z[h / 2] = {z[h / 2].re * sc, -z[h / 2].im * sc};
}

// Perm in x[0..h-1] to the packed spectrum in z (x may equal z), scaled by sc.
void recombine_inv(const Okv32fc* x, Okv32fc* z, int h, const RecTw& tw, float sc) {
    const Okv32fc x0 = x[0];
    z[0] = {(x0.re + x0.im) * sc, (x0.re - x0.im) * sc};
    if (h < 2) return;
    int k = 1;
    if (tw.s->order > 5) {
        const __m128 sv = _mm_set1_ps(sc), conj = cx_neg_im_mask();
        for (; k + 1 < h / 2; k += 2) {
            __m128 a = cx_ld(x + k);
            __m128 b = _mm_xor_ps(swap_halves(cx_ld(x + h - k - 1)), conj);
            __m128 s = _mm_add_ps(a, b), d = _mm_sub_ps(a, b);
            __m128 q = cx_rot90<true>(cx_mul<true>(d, tw.two(k)));
            cx_st(z + k, _mm_mul_ps(_mm_add_ps(s, q), sv));
            __m128 r = _mm_xor_ps(_mm_mul_ps(_mm_sub_ps(s, q), sv), conj);
            cx_st(z + h - k - 1, swap_halves(r));
        }
    }
    for (; k < h / 2; ++k) {
        Okv32fc a = x[k], b = x[h - k];
        Okv32fc s{a.re + b.re, a.im - b.im}, d{a.re - b.re, a.im + b.im};
        Okv32fc w = tw.one(k);
        Okv32fc q = cmul(d, {w.re, -w.im});  // d * conj(W^k); i*q = (-q.im, q.re)
        z[k] = {(s.re - q.im) * sc, (s.im + q.re) * sc};
        z[h - k] = {(s.re + q.im) * sc, -(s.im - q.re) * sc};
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
        for (Okv64s k = 0; k < n / 4; ++k) t[k] = ownsTwiddle(k, n);
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
