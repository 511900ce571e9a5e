// Orthonormal DCT-II / DCT-III. Method by length: straight-line kernels for
// 1, 2, 4, 8; the real FFT for other powers of two; a cosine table below 36;
// a chirp convolution through the complex FFT from 36.
//
// The FFT and chirp methods use v[m] = x[2m], v[N-1-m] = x[2m+1] and V its
// N-point DFT: X[k] = c(k) Re(w^k V[k]) and X[N-k] = -c(k) Im(w^k V[k]) with
// w = exp(-i pi / 2N).
#include "core/kernels.h"
#include "core/trig.h"
#include "transform/dct.h"
#include "transform/fft_small.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

inline Okv64s a64(Okv64s v) { return (v + 63) & ~Okv64s(63); }
inline bool is_pow2(int n) { return (n & (n - 1)) == 0; }
inline int log2i(Okv64s n) { return 63 - __builtin_clzll(Okv64u(n)); }
inline bool small_len(int n) { return n == 1 || n == 2 || n == 4 || n == 8; }
inline int conv_m(int n) { return n & 1 ? n : n / 2; }
inline int conv_l_order(int m) {
    int o = 0;
    while ((Okv64s(1) << o) < 2 * Okv64s(m) - 1) ++o;
    return o;
}

// 8-point orthonormal DCT-II matrix.
struct Dct8 {
    float c[8][8];
};
constexpr Dct8 make_dct8() {
    Dct8 d{};
    for (int k = 0; k < 8; ++k)
        for (int n = 0; n < 8; ++n)
            d.c[k][n] = float((k == 0 ? 0.35355339059327373 : 0.5) * okv_cospi((2 * n + 1) * k / 16.0));
    return d;
}
constexpr Dct8 kDct8 = make_dct8();

void small_fwd(const Okv32f* x, Okv32f* y, int n) {
    Okv32f t[8];
    for (int i = 0; i < n; ++i) t[i] = x[i];
    if (n == 1) {
        y[0] = t[0];
    } else if (n == 2) {
        const float h = 0.70710677f;
        y[0] = h * t[0] + h * t[1];
        y[1] = h * t[0] - h * t[1];
    } else if (n == 4) {
        const float a = t[0] + t[3], b = t[1] + t[2], c = t[0] - t[3], d = t[1] - t[2];
        y[0] = 0.5f * (a + b);
        y[2] = 0.5f * (a - b);
        y[1] = 0.6532815f * c + 0.27059805f * d;
        y[3] = 0.27059805f * c - 0.6532815f * d;
    } else {
        for (int k = 0; k < 8; ++k) {
            float s = 0;
            for (int i = 0; i < 8; ++i) s += kDct8.c[k][i] * t[i];
            y[k] = s;
        }
    }
}

// The 1- and 2-point transforms are their own inverses.
void small_inv(const Okv32f* x, Okv32f* y, int n) {
    if (n <= 2) return small_fwd(x, y, n);
    Okv32f t[8];
    for (int i = 0; i < n; ++i) t[i] = x[i];
    if (n == 4) {
        const float a = 0.5f * t[0], b = 0.5f * t[2];
        const float c = 0.6532815f * t[1] + 0.27059805f * t[3];
        const float d = 0.27059805f * t[1] - 0.6532815f * t[3];
        y[0] = (a + b) + c;
        y[3] = (a + b) - c;
        y[1] = (a - b) + d;
        y[2] = (a - b) - d;
    } else {
        for (int i = 0; i < 8; ++i) {
            float s = 0;
            for (int k = 0; k < 8; ++k) s += kDct8.c[k][i] * t[k];
            y[i] = s;
        }
    }
}

// Index into x of v[j].
inline int v_index(int j, int n) { return 2 * j < n ? 2 * j : 2 * (n - 1 - j) + 1; }

// X[k], X[n-k] from V[k] for k = 1 .. n/2 (rounded up) - 1.
void finish_fwd(const OkvsDCTSpec_32f* s, OkvCx v0, const OkvCx* vk, Okv32f* y) {
    const int n = s->len;
    y[0] = v0.re * s->c0;
    for (int k = 1; 2 * k < n; ++k) {
        OkvCx p = vk[k] * OkvCx{s->post[k].re, s->post[k].im};
        y[k] = p.re;
        y[n - k] = -p.im;
    }
}

// M-point DFT of buf[0..m-1] by chirp convolution; result in buf[0..m-1].
void chirp_dft(const OkvsDCTSpec_32f* s, OkvCx* buf, Okv8u* work) {
    const int m = s->m, l = 1 << s->fft->order;
    for (int i = 0; i < m; ++i) buf[i] = buf[i] * OkvCx{s->chirp[i].re, s->chirp[i].im};
    for (int i = m; i < l; ++i) buf[i] = {0, 0};
    Okv32fc* b = reinterpret_cast<Okv32fc*>(buf);
    ownsFFT_32fc(b, b, s->fft, false, work);
    okvsMul_32fc_I(s->kernel, b, l);
    ownsFFT_32fc(b, b, s->fft, true, work);
    for (int i = 0; i < m; ++i) buf[i] = buf[i] * OkvCx{s->chirp[i].re, s->chirp[i].im};
}

// Forward with the chirp method: V from the M-point DFT (even N: packed pairs).
void conv_fwd(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len, m = s->m, l = 1 << s->fft->order;
    OkvCx* z = reinterpret_cast<OkvCx*>(w);
    Okv8u* fw = w + 8 * Okv64s(l);
    if (n & 1) {
        for (int j = 0; j < n; ++j) z[j] = {x[v_index(j, n)], 0};
        chirp_dft(s, z, fw);
        finish_fwd(s, z[0], z, y);
        return;
    }
    for (int j = 0; j < m; ++j) z[j] = {x[v_index(2 * j, n)], x[v_index(2 * j + 1, n)]};
    chirp_dft(s, z, fw);
    // V[k] = (Z[k] + conj Z[m-k]) / 2 - i W^k (Z[k] - conj Z[m-k]) / 2, k = 1 .. m-1;
    // V[0] = Re Z0 + Im Z0, V[m] = Re Z0 - Im Z0. V is written over z[k] in pairs.
    const OkvCx z0 = z[0];
    for (int k = 1; 2 * k <= m; ++k) {
        const OkvCx a = z[k], b = cx_conj(z[m - k]);
        const OkvCx e{0.5f * (a.re + b.re), 0.5f * (a.im + b.im)};
        const OkvCx d{0.5f * (a.re - b.re), 0.5f * (a.im - b.im)};
        const OkvCx wd = OkvCx{s->rec[k].re, s->rec[k].im} * d;
        z[k] = {e.re + wd.im, e.im - wd.re};  // e - i W d
        if (m - k != k) {
            const OkvCx wd2 = OkvCx{s->rec[m - k].re, s->rec[m - k].im} * OkvCx{-d.re, d.im};
            z[m - k] = {e.re + wd2.im, -e.im - wd2.re};
        }
    }
    finish_fwd(s, {z0.re + z0.im, 0}, z, y);
    y[m] = (z0.re - z0.im) * s->c0;
}

// Inverse with the chirp method: rebuild V, then v = Re(DFT(conj V)) / N.
void conv_inv(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len, m = s->m, l = 1 << s->fft->order;
    OkvCx* z = reinterpret_cast<OkvCx*>(w);
    Okv8u* fw = w + 8 * Okv64s(l);
    // conj(V[k]) / N for k < N with V[k] = conj(t_k) (X[k] - i X[N-k]) / (c^2 N), t = post.
    auto vk = [&](int k) -> OkvCx {
        if (k == 0) return {x[0] * s->c0, 0};
        const OkvCx t{s->post[k].re, s->post[k].im};
        const OkvCx xk{x[k], -x[n - k]};
        const OkvCx v = cx_conj(t) * xk;
        const float g = 0.5f;  // 1 / (c^2 N)
        return {v.re * g, -v.im * g};
    };
    if (n & 1) {
        for (int k = 0; k < n; ++k) {
            if (2 * k < n) {
                z[k] = vk(k);
            } else {
                const OkvCx c = vk(n - k);
                z[k] = {c.re, -c.im};
            }
        }
        chirp_dft(s, z, fw);
        for (int j = 0; j < n; ++j) y[v_index(j, n)] = z[j].re;
        return;
    }
    // Even: Z[k] = E[k] + i O[k], E = V[k] + conj V[m-k], O = conj(W^k) (V[k] - conj V[m-k])
    // from V / N (the halves and 1/m of the inverse DFT cancel against 1/N, N = 2m);
    // z = conj(DFT(conj Z)) then holds v[2j] + i v[2j+1].
    auto vfull = [&](int k) -> OkvCx {  // V[k] / N for 0 <= k <= m
        if (k == m) return {x[m] * s->c0, 0};
        const OkvCx c = vk(k);
        return {c.re, -c.im};
    };
    for (int k = 0; k < m; ++k) {
        const OkvCx a = vfull(k), b = cx_conj(vfull(m - k));
        const OkvCx e{a.re + b.re, a.im + b.im}, d{a.re - b.re, a.im - b.im};
        const OkvCx o = cx_conj(OkvCx{s->rec[k].re, s->rec[k].im}) * d;
        z[k] = {e.re - o.im, -(e.im + o.re)};  // conj(e + i o)
    }
    chirp_dft(s, z, fw);
    for (int j = 0; j < m; ++j) {
        y[v_index(2 * j, n)] = z[j].re;
        y[v_index(2 * j + 1, n)] = -z[j].im;
    }
}

// Forward with the real FFT (powers of two from 16).
void fft_fwd(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len;
    Okv32f* v = reinterpret_cast<Okv32f*>(w);
    for (int j = 0; j < n; ++j) v[j] = x[v_index(j, n)];
    okvsFFTFwd_RToPerm_32f(v, v, s->fft, w + 4 * Okv64s(n));
    const OkvCx* vk = reinterpret_cast<const OkvCx*>(v);  // vk[k] = V[k] for 1 <= k < n/2
    finish_fwd(s, {v[0], 0}, vk, y);
    y[n / 2] = v[1] * s->c0;  // c sqrt(1/2) = 1/sqrt(N)
}

void fft_inv(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len;
    Okv32f* v = reinterpret_cast<Okv32f*>(w);
    v[0] = x[0] * s->c0;
    v[1] = x[n / 2] * s->c0;
    for (int k = 1; 2 * k < n; ++k) {
        const OkvCx t{s->post[k].re, s->post[k].im};
        const OkvCx c = cx_conj(t) * OkvCx{x[k], -x[n - k]};
        v[2 * k] = 0.5f * c.re;
        v[2 * k + 1] = 0.5f * c.im;
    }
    okvsFFTInv_PermToR_32f(v, v, s->fft, w + 4 * Okv64s(n));
    for (int j = 0; j < n; ++j) y[v_index(j, n)] = v[j];
}

void direct_fwd(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len;
    Okv32f* t = reinterpret_cast<Okv32f*>(w);
    for (int i = 0; i < n; ++i) t[i] = x[i];
    for (int k = 0; k < n; ++k) {
        float acc = 0;
        for (int i = 0; i < n; ++i) acc += t[i] * s->cosTab[((2 * i + 1) * k) % (4 * n)];
        y[k] = acc * (k == 0 ? s->c0 : s->ck);
    }
}

void direct_inv(const Okv32f* x, Okv32f* y, const OkvsDCTSpec_32f* s, Okv8u* w) {
    const int n = s->len;
    Okv32f* t = reinterpret_cast<Okv32f*>(w);
    for (int k = 0; k < n; ++k) t[k] = x[k] * (k == 0 ? s->c0 : s->ck);
    for (int i = 0; i < n; ++i) {
        float acc = 0;
        for (int k = 0; k < n; ++k) acc += t[k] * s->cosTab[((2 * i + 1) * k) % (4 * n)];
        y[i] = acc;
    }
}

StatusCode get_size(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    if (len < 1) return okvErrSize;
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    if (is_pow2(len) ? len > (1 << 28) : len > (1 << 25) - 1) return okvErrSize;
    const Okv64s n = len;
    if (small_len(len)) {
        *pSpecSize = 160;
        *pInitBufSize = 0;
        *pWorkBufSize = 0;
    } else if (is_pow2(len)) {
        int rs, ri, rw;
        StatusCode st = okvsFFTGetSize_R_32f(log2i(n), kFftNoDiv, 0, &rs, &ri, &rw);
        if (st != okvOk) return st;
        *pSpecSize = int(rs + 4 * n + 192);
        *pInitBufSize = ri > 0 ? ri + 64 : 0;
        *pWorkBufSize = int(rw + 4 * n + 64);
    } else if (len < 36) {
        *pSpecSize = int(16 * n + 192);
        *pInitBufSize = 0;
        *pWorkBufSize = int(4 * n + 64);
    } else {
        const int m = conv_m(len), lo = conv_l_order(m);
        int cs, ci, cw;
        StatusCode st = okvsFFTGetSize_C_32fc(lo, kFftNoDiv, 0, &cs, &ci, &cw);
        if (st != okvOk) return st;
        *pSpecSize = int(cs + 8 * (3 * Okv64s(m) + (Okv64s(1) << lo)) + 192);
        *pInitBufSize = (ci > cw ? ci : cw) + 64;
        *pWorkBufSize = int(cw + 8 * (Okv64s(1) << lo) + 64);
    }
    return okvOk;
}

inline Okv32fc expi(double turnsOfPi) {  // exp(-i pi t)
    return {float(okv_cospi(turnsOfPi)), float(-okv_sinpi(turnsOfPi))};
}

StatusCode init(OkvsDCTSpec_32f** ppSpec, int len, int hint, Okv8u* pMem, Okv8u* pInitBuf, Okv32s id) {
    if (len < 1) return okvErrSize;
    if (!ppSpec || !pMem) return okvErrNullPtr;
    if (is_pow2(len) ? len > (1 << 28) : len > (1 << 26) - 1) return okvErrSize;
    Okv8u* a = ownsAlign64(pMem);
    OkvsDCTSpec_32f* s = reinterpret_cast<OkvsDCTSpec_32f*>(a);
    for (unsigned i = 0; i < 96; ++i) a[i] = 0;
    const Okv64s n = len;
    s->len = len;
    s->hint = hint;
    s->c0 = ownsInvSqrt(float(len));
    s->ck = float(1.4142135623730951 / __builtin_sqrt(double(len)));
    Okv8u* p = a + 128;
    if (small_len(len)) {
        s->smallKernel = 1;
    } else if (is_pow2(len)) {
        s->fftMethod = 1;
        int rs, ri, rw;
        okvsFFTGetSize_R_32f(log2i(n), kFftNoDiv, 0, &rs, &ri, &rw);
        s->workSize = int(rw + 4 * n + 64);
        Okv32fc* t = reinterpret_cast<Okv32fc*>(p);
        for (Okv64s k = 0; k < n / 2; ++k) {
            const Okv32fc e = expi(double(k) / (2.0 * double(n)));
            const float c = k == 0 ? s->c0 : s->ck;
            t[k] = {c * e.re, c * e.im};
        }
        s->post = t;
        OkvsFFTSpec_32f* f;
        StatusCode st = okvsFFTInit_R_32f(&f, log2i(n), kFftNoDiv, 0, p + 4 * n, pInitBuf);
        if (st != okvOk) return st;
        s->fft = f;
    } else if (len < 36) {
        s->workSize = int(4 * n + 64);
        Okv32f* t = reinterpret_cast<Okv32f*>(p);
        for (int m = 0; m < 4 * len; ++m) t[m] = float(okv_cospi(double(m) / (2.0 * len)));
        s->cosTab = t;
    } else {
        s->convMethod = 1;
        const int m = conv_m(len), lo = conv_l_order(m);
        const Okv64s l = Okv64s(1) << lo;
        s->m = m;
        int cs, ci, cw;
        okvsFFTGetSize_C_32fc(lo, kFftNoDiv, 0, &cs, &ci, &cw);
        s->workSize = int(cw + 8 * l + 64);
        if (!pInitBuf) return okvErrNullPtr;
        Okv32fc* chirp = reinterpret_cast<Okv32fc*>(p);
        Okv32fc* kern = chirp + m;
        Okv32fc* post = kern + l;
        Okv32fc* rec = post + m;
        for (Okv64s j = 0; j < m; ++j) chirp[j] = expi(double((j * j) % (2 * m)) / double(m));
        for (Okv64s k = 0; k < m; ++k) {
            const Okv32fc e = expi(double(k) / (2.0 * double(n)));
            const float c = k == 0 ? s->c0 : s->ck;
            post[k] = {c * e.re, c * e.im};
            rec[k] = expi(2.0 * double(k) / double(n));
        }
        OkvsFFTSpec_32f* f;
        StatusCode st = okvsFFTInit_C_32fc(&f, lo, kFftNoDiv, 0, reinterpret_cast<Okv8u*>(rec + m), pInitBuf);
        if (st != okvOk) return st;
        // Kernel: FFT of h[j] = exp(+i pi j^2 / M) on -(M-1) .. M-1, circularly, over L.
        for (Okv64s j = 0; j < l; ++j) kern[j] = {0, 0};
        for (Okv64s j = 0; j < m; ++j) {
            const Okv32fc c = chirp[j];
            kern[j] = {c.re, -c.im};
            if (j > 0) kern[l - j] = {c.re, -c.im};
        }
        ownsFFT_32fc(kern, kern, f, false, ownsAlign64(pInitBuf));
        okvsMulC_32f_I(&kern->re, int(2 * l), 1.0f / float(l));
        s->chirp = chirp;
        s->kernel = kern;
        s->post = post;
        s->rec = rec;
        s->fft = f;
    }
    s->id = id;
    *ppSpec = s;
    return okvOk;
}

template <bool INV>
StatusCode transform(const Okv32f* pSrc, Okv32f* pDst, const OkvsDCTSpec_32f* pSpec, Okv8u* pBuffer) {
    if (!pSpec || !pSrc || !pDst) return okvErrNullPtr;
    if (pSpec->id != (INV ? kDctIdInv : kDctIdFwd)) return okvErrContextMatch;
    if (pSpec->smallKernel) {
        if (INV)
            small_inv(pSrc, pDst, pSpec->len);
        else
            small_fwd(pSrc, pDst, pSpec->len);
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, pSpec->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    if (pSpec->fftMethod)
        INV ? fft_inv(pSrc, pDst, pSpec, wb.get()) : fft_fwd(pSrc, pDst, pSpec, wb.get());
    else if (pSpec->convMethod)
        INV ? conv_inv(pSrc, pDst, pSpec, wb.get()) : conv_fwd(pSrc, pDst, pSpec, wb.get());
    else
        INV ? direct_inv(pSrc, pDst, pSpec, wb.get()) : direct_fwd(pSrc, pDst, pSpec, wb.get());
    return okvOk;
}

}  // namespace

StatusCode okvsDCTFwdGetSize_32f(int len, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize) {
    (void)hint;
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}
StatusCode okvsDCTInvGetSize_32f(int len, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize) {
    (void)hint;
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}
StatusCode okvsDCTFwdInit_32f(OkvsDCTSpec_32f** ppSpec, int len, int hint, Okv8u* pMem,
                              Okv8u* pInitBuf) {
    return init(ppSpec, len, hint, pMem, pInitBuf, kDctIdFwd);
}
StatusCode okvsDCTInvInit_32f(OkvsDCTSpec_32f** ppSpec, int len, int hint, Okv8u* pMem,
                              Okv8u* pInitBuf) {
    return init(ppSpec, len, hint, pMem, pInitBuf, kDctIdInv);
}
StatusCode okvsDCTFwd_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsDCTSpec_32f* pSpec,
                          Okv8u* pBuffer) {
    return transform<false>(pSrc, pDst, pSpec, pBuffer);
}
StatusCode okvsDCTInv_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsDCTSpec_32f* pSpec,
                          Okv8u* pBuffer) {
    return transform<true>(pSrc, pDst, pSpec, pBuffer);
}

}  // namespace OKV_NS
