// Complex float FFT core: straight-line kernels up to 32 points, then a
// bit-reversed first pass (radix 4 or 8) followed by radix-4 DIT stages.
#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/fft_small.h"
#include "transform/fft_sse.h"

namespace OKV_NS {
namespace {

template <int N, bool INV>
void small_fft(const Okv32fc* src, Okv32fc* dst) {
    OkvCx in[N];
    for (int i = 0; i < N; ++i) in[i] = {src[i].re, src[i].im};
    OkvCx out[N];
    ownsSmallDft<N, INV>(in, 1, out);
    for (int i = 0; i < N; ++i) dst[i] = {out[i].re, out[i].im};
}

template <bool INV>
void small_dispatch(int order, const Okv32fc* src, Okv32fc* dst) {
    switch (order) {
    case 0: dst[0] = src[0]; break;
    case 1: small_fft<2, INV>(src, dst); break;
    case 2: small_fft<4, INV>(src, dst); break;
    case 3: small_fft<8, INV>(src, dst); break;
    case 4: small_fft<16, INV>(src, dst); break;
    default: small_fft<32, INV>(src, dst); break;
    }
}

// 4-point DFT of x[0..3] (natural order), two transforms per register.
template <bool INV>
inline void dft4(__m128 x0, __m128 x1, __m128 x2, __m128 x3, __m128* y) {
    __m128 a0 = _mm_add_ps(x0, x2), a1 = _mm_sub_ps(x0, x2);
    __m128 a2 = _mm_add_ps(x1, x3), a3 = cx_rot90<INV>(_mm_sub_ps(x1, x3));
    y[0] = _mm_add_ps(a0, a2);
    y[2] = _mm_sub_ps(a0, a2);
    y[1] = _mm_add_ps(a1, a3);
    y[3] = _mm_sub_ps(a1, a3);
}

template <bool INV>
inline void dft8(const __m128* x, __m128* y) {
    __m128 e[4], o[4];
    dft4<INV>(x[0], x[2], x[4], x[6], e);
    dft4<INV>(x[1], x[3], x[5], x[7], o);
    o[1] = cx_rot45<INV>(o[1]);
    o[2] = cx_rot90<INV>(o[2]);
    o[3] = cx_rot135<INV>(o[3]);
    for (int k = 0; k < 4; ++k) {
        y[k] = _mm_add_ps(e[k], o[k]);
        y[k + 4] = _mm_sub_ps(e[k], o[k]);
    }
}

// First pass in place on bit-reversed data: group g holds, in bit-reversed
// order, the R values its DFT combines.
template <int R, bool INV>
void first_pass_inplace(Okv32fc* x, int n) {
    constexpr int rev4[4] = {0, 2, 1, 3}, rev8[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int g = 0; g < n / R; g += 2) {
        Okv32fc* p0 = x + R * g;
        Okv32fc* p1 = p0 + R;
        __m128 v[R], y[R];
        for (int m = 0; m < R; ++m) {
            const int r = R == 4 ? rev4[m] : rev8[m];
            v[m] = cx_ld2(p0 + r, p1 + r);
        }
        if constexpr (R == 4)
            dft4<INV>(v[0], v[1], v[2], v[3], y);
        else
            dft8<INV>(v, y);
        for (int k = 0; k < R; k += 2) {
            cx_st(p0 + k, _mm_movelh_ps(y[k], y[k + 1]));
            cx_st(p1 + k, _mm_movehl_ps(y[k + 1], y[k]));
        }
    }
}

// Loaders of two complex source values as one register.
struct CxLoad {
    const Okv32fc* src;
    __m128 operator()(std::ptrdiff_t a, std::ptrdiff_t b) const { return cx_ld2(src + a, src + b); }
};
struct SplitLoad {
    const Okv32f* re;
    const Okv32f* im;
    __m128 operator()(std::ptrdiff_t a, std::ptrdiff_t b) const { return _mm_setr_ps(re[a], im[a], re[b], im[b]); }
};

// Fused bit-reversal and first pass into dst (not overlapping the source):
// for each pair of groups g, g+1 the R-point DFTs of src[r + m n/R], where
// r is the bit-reversed group index and r + n/(2R) that of group g+1.
template <int R, bool INV, class Load>
void first_pass_rev(Load src, Okv32fc* dst, int n, const Okv32s* rev) {
    const std::ptrdiff_t stride = n / R, half = n / (2 * R);
    for (int g = 0; g < n / R; g += 2) {
        const std::ptrdiff_t r = rev[g >> 1];
        __m128 x[R], y[R];
        for (int m = 0; m < R; ++m) x[m] = src(r + m * stride, r + half + m * stride);
        if constexpr (R == 4)
            dft4<INV>(x[0], x[1], x[2], x[3], y);
        else
            dft8<INV>(x, y);
        for (int k = 0; k < R; k += 2) {
            cx_st(dst + R * g + k, _mm_movelh_ps(y[k], y[k + 1]));
            cx_st(dst + R * (g + 1) + k, _mm_movehl_ps(y[k + 1], y[k]));
        }
    }
}

template <bool INV>
inline void radix4_bfly(Okv32fc* p, int l, __m128 w1, __m128 w2, __m128 w3) {
    __m128 a = cx_ld(p);
    __m128 b = cx_mul<INV>(cx_ld(p + l), w2);
    __m128 c = cx_mul<INV>(cx_ld(p + 2 * l), w1);
    __m128 d = cx_mul<INV>(cx_ld(p + 3 * l), w3);
    __m128 t0 = _mm_add_ps(a, b), t1 = _mm_sub_ps(a, b);
    __m128 t2 = _mm_add_ps(c, d), t3 = cx_rot90<INV>(_mm_sub_ps(c, d));
    cx_st(p, _mm_add_ps(t0, t2));
    cx_st(p + 2 * l, _mm_sub_ps(t0, t2));
    cx_st(p + l, _mm_add_ps(t1, t3));
    cx_st(p + 3 * l, _mm_sub_ps(t1, t3));
}

// Radix-4 stage over blocks of 4l with the stage's own twiddle table
// (w1, w2, w3 for each pair of j, 12 floats per pair).
template <bool INV>
void stage_tab(Okv32fc* x, int n, int l, const Okv32f* tw) {
    for (int g = 0; g < n; g += 4 * l) {
        const Okv32f* t = tw;
        for (int j = 0; j < l; j += 2, t += 12)
            radix4_bfly<INV>(x + g + j, l, _mm_load_ps(t), _mm_load_ps(t + 4), _mm_load_ps(t + 8));
    }
}

// Radix-4 stage reading its twiddles from the base table exp(-2 pi i t / n), t < n/2.
template <bool INV>
void stage_base(Okv32fc* x, int n, int l, const Okv32fc* base) {
    const int s = n / (4 * l), halfN = n / 2;
    const __m128 neg = _mm_set1_ps(-0.0f);
    for (int j = 0; j < l; j += 2) {
        __m128 w1 = cx_ld2(base + j * s, base + (j + 1) * s);
        __m128 w2 = cx_ld2(base + 2 * j * s, base + 2 * (j + 1) * s);
        int t0 = 3 * j * s, t1 = 3 * (j + 1) * s;
        __m128 w3 = cx_ld2(base + (t0 < halfN ? t0 : t0 - halfN), base + (t1 < halfN ? t1 : t1 - halfN));
        __m128 sign = _mm_shuffle_ps(t0 < halfN ? _mm_setzero_ps() : neg,
                                     t1 < halfN ? _mm_setzero_ps() : neg, 0);
        w3 = _mm_xor_ps(w3, sign);
        for (int g = 0; g < n; g += 4 * l) radix4_bfly<INV>(x + g + j, l, w1, w2, w3);
    }
}

inline Okv32u bit_reverse(Okv32u v, int bits) {
    v = __builtin_bswap32(v);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    return v >> (32 - bits);
}

void permute(const Okv32fc* src, Okv32fc* dst, int order) {
    const Okv32u n = 1u << order;
    if (src != dst) {
        for (Okv32u i = 0; i < n; ++i) dst[bit_reverse(i, order)] = src[i];
        return;
    }
    for (Okv32u i = 0; i < n; ++i) {
        Okv32u r = bit_reverse(i, order);
        if (r > i) {
            Okv32fc t = dst[i];
            dst[i] = dst[r];
            dst[r] = t;
        }
    }
}

template <bool INV>
void radix4_stages(Okv32fc* x, const OkvsFFTSpec_32f* spec) {
    const int order = spec->corder, n = 1 << order;
    const Okv32f* tw = spec->twiddle;
    int stage = 0;
    for (int l = order & 1 ? 8 : 4; l < n; l *= 4, ++stage) {
        if (spec->base == nullptr || stage < spec->tabStages) {
            stage_tab<INV>(x, n, l, tw);
            tw += 6 * l;
        } else {
            stage_base<INV>(x, n, l, spec->base);
        }
    }
}

template <bool INV>
void fft_large(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, Okv8u* work) {
    const int order = spec->corder, n = 1 << order;
    const bool odd = order & 1;
    if (spec->base == nullptr) {
        if (src == dst) {
            Okv32fc* tmp = reinterpret_cast<Okv32fc*>(work);
            okvsCopy_32f(&src->re, &tmp->re, 2 * n);
            src = tmp;
        }
        if (odd)
            first_pass_rev<8, INV>(CxLoad{src}, dst, n, spec->bitrev);
        else
            first_pass_rev<4, INV>(CxLoad{src}, dst, n, spec->bitrev);
    } else {
        permute(src, dst, order);
        if (odd)
            first_pass_inplace<8, INV>(dst, n);
        else
            first_pass_inplace<4, INV>(dst, n);
    }
    radix4_stages<INV>(dst, spec);
}

}  // namespace

void ownsFFTCore_32fc(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, bool inverse,
                      Okv8u* work) {
    const int order = spec->corder;
    if (order <= 5) {
        if (inverse)
            small_dispatch<true>(order, src, dst);
        else
            small_dispatch<false>(order, src, dst);
    } else if (inverse) {
        fft_large<true>(src, dst, spec, work);
    } else {
        fft_large<false>(src, dst, spec, work);
    }
}

void ownsFFT_32fc(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, bool inverse,
                  Okv8u* work) {
    ownsFFTCore_32fc(src, dst, spec, inverse, work);
    if (inverse ? spec->invScale : spec->fwdScale)
        okvsMulC_32f_I(&dst->re, 2 << spec->corder, spec->scale);
}

// Forward transform of split data. Orders up to 15 run the interleaved
// core in the work buffer; larger orders run radix-2 stages on the split
// arrays in place with the base table.
void ownsFFTSplit_32f(const Okv32f* re, const Okv32f* im, Okv32f* dre, Okv32f* dim,
                      const OkvsFFTSpec_32f* spec, Okv8u* work) {
    const int order = spec->corder, n = 1 << order;
    if (order <= 5) {
        Okv32fc t[32];
        for (int i = 0; i < n; ++i) t[i] = {re[i], im[i]};
        ownsFFT_32fc(t, t, spec, false, nullptr);
        okvsCplxToReal_32fc(t, dre, dim, n);
        return;
    }
    if (order <= 15) {
        Okv32fc* z = reinterpret_cast<Okv32fc*>(work);
        if (order & 1)
            first_pass_rev<8, false>(SplitLoad{re, im}, z, n, spec->bitrev);
        else
            first_pass_rev<4, false>(SplitLoad{re, im}, z, n, spec->bitrev);
        radix4_stages<false>(z, spec);
        okvsCplxToReal_32fc(z, dre, dim, n);
    } else {
        if (re != dre) okvsCopy_32f(re, dre, n);
        if (im != dim) okvsCopy_32f(im, dim, n);
        for (Okv32u i = 0; i < Okv32u(n); ++i) {
            Okv32u r = bit_reverse(i, order);
            if (r > i) {
                Okv32f t = dre[i];
                dre[i] = dre[r];
                dre[r] = t;
                t = dim[i];
                dim[i] = dim[r];
                dim[r] = t;
            }
        }
        for (int l = 1; l < n; l *= 2) {
            const int s = n / (2 * l);
            for (int j = 0; j < l; ++j) {
                const Okv32fc w = spec->base[j * s];
                for (int g = j; g < n; g += 2 * l) {
                    const Okv32f br = dre[g + l], bi = dim[g + l];
                    const Okv32f tr = br * w.re - bi * w.im, ti = br * w.im + bi * w.re;
                    dre[g + l] = dre[g] - tr;
                    dim[g + l] = dim[g] - ti;
                    dre[g] += tr;
                    dim[g] += ti;
                }
            }
        }
    }
    if (spec->fwdScale) {
        okvsMulC_32f_I(dre, n, spec->scale);
        okvsMulC_32f_I(dim, n, spec->scale);
    }
}

// Fills the radix-4 stage table of quarter length l: for each pair of j the
// twiddles w^j, w^2j, w^3j with w = exp(-2 pi i / (4 l)).
void ownsFFTStageTable(Okv32f* t, int l) {
    for (int j = 0; j < l; j += 2, t += 12)
        for (int k = 1; k <= 3; ++k)
            for (int h = 0; h < 2; ++h) {
                double a = double(k * (j + h)) / (2.0 * l);
                t[4 * (k - 1) + 2 * h] = float(okv_cospi(a));
                t[4 * (k - 1) + 2 * h + 1] = float(-okv_sinpi(a));
            }
}

}  // namespace OKV_NS
