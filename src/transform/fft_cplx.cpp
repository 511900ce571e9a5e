// Complex float FFT core: straight-line kernels up to 8 points; from 16 points
// a first pass of radix 4 or 8 that reads the input in bit-reversed order,
// then radix-4 and radix-8 decimation-in-time stages.
#include <emmintrin.h>

#include <cstddef>

#include "core/kernels.h"
#include "transform/fft.h"
#include "transform/fft_small.h"

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
    default: small_fft<8, INV>(src, dst); break;
    }
}

// Between the first pass and the last stage the data are kept in blocks of
// four complex values, 4 real parts then 4 imaginary parts, so that every
// register holds four independent butterflies.
struct V {
    __m128 re, im;
};
inline V operator+(V a, V b) { return {_mm_add_ps(a.re, b.re), _mm_add_ps(a.im, b.im)}; }
inline V operator-(V a, V b) { return {_mm_sub_ps(a.re, b.re), _mm_sub_ps(a.im, b.im)}; }
// a * w, or a * conj(w) when INV.
template <bool INV>
inline V vmul(V a, V w) {
    if (INV)
        return {_mm_add_ps(_mm_mul_ps(a.re, w.re), _mm_mul_ps(a.im, w.im)),
                _mm_sub_ps(_mm_mul_ps(a.im, w.re), _mm_mul_ps(a.re, w.im))};
    return {_mm_sub_ps(_mm_mul_ps(a.re, w.re), _mm_mul_ps(a.im, w.im)),
            _mm_add_ps(_mm_mul_ps(a.re, w.im), _mm_mul_ps(a.im, w.re))};
}
// -i v (forward) or +i v (inverse).
template <bool INV>
inline V vrot90(V v) {
    const __m128 z = _mm_setzero_ps();
    return INV ? V{_mm_sub_ps(z, v.im), v.re} : V{v.im, _mm_sub_ps(z, v.re)};
}
template <bool INV>
inline V vscale(V v, __m128 k) { return {_mm_mul_ps(v.re, k), _mm_mul_ps(v.im, k)}; }
template <bool INV>
inline V vrot45(V v) { return vscale<INV>(v + vrot90<INV>(v), _mm_set1_ps(0.70710678118654752f)); }
template <bool INV>
inline V vrot135(V v) { return vscale<INV>(vrot90<INV>(v) - v, _mm_set1_ps(0.70710678118654752f)); }

inline V ld_blk(const Okv32fc* p) {
    const float* f = &p->re;
    return {_mm_loadu_ps(f), _mm_loadu_ps(f + 4)};
}
inline void st_blk(Okv32fc* p, V v) {
    float* f = &p->re;
    _mm_storeu_ps(f, v.re);
    _mm_storeu_ps(f + 4, v.im);
}
// Block to four interleaved complex values.
inline void st_cx(Okv32fc* p, V v) {
    float* f = &p->re;
    _mm_storeu_ps(f, _mm_unpacklo_ps(v.re, v.im));
    _mm_storeu_ps(f + 4, _mm_unpackhi_ps(v.re, v.im));
}
// Two complex values from separate places, lane pair 0 from p0.
inline __m128 ld2(const Okv32fc* p0, const Okv32fc* p1) {
    const __m128 v = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p0)));
    return _mm_loadh_pi(v, reinterpret_cast<const __m64*>(p1));
}
// Four interleaved complex values from separate places.
inline V gather(const Okv32fc* p0, const Okv32fc* p1, const Okv32fc* p2, const Okv32fc* p3) {
    const __m128 a = ld2(p0, p1), b = ld2(p2, p3);
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

template <bool INV>
inline void dft4(V x0, V x1, V x2, V x3, V* y) {
    const V a0 = x0 + x2, a1 = x0 - x2, a2 = x1 + x3, a3 = vrot90<INV>(x1 - x3);
    y[0] = a0 + a2;
    y[2] = a0 - a2;
    y[1] = a1 + a3;
    y[3] = a1 - a3;
}

template <bool INV>
inline void dft8(const V* x, V* y) {
    V e[4], o[4];
    dft4<INV>(x[0], x[2], x[4], x[6], e);
    dft4<INV>(x[1], x[3], x[5], x[7], o);
    o[1] = vrot45<INV>(o[1]);
    o[2] = vrot90<INV>(o[2]);
    o[3] = vrot135<INV>(o[3]);
    for (int k = 0; k < 4; ++k) {
        y[k] = e[k] + o[k];
        y[k + 4] = e[k] - o[k];
    }
}

// R-point DFTs of four groups (one per lane), stored as blocks at out[R g].
template <int R, bool INV>
inline void first_quad(const V* x, Okv32fc* out) {
    V y[R];
    if constexpr (R == 4)
        dft4<INV>(x[0], x[1], x[2], x[3], y);
    else
        dft8<INV>(x, y);
    for (int b = 0; b < R; b += 4) {
        __m128 r0 = y[b].re, r1 = y[b + 1].re, r2 = y[b + 2].re, r3 = y[b + 3].re;
        __m128 i0 = y[b].im, i1 = y[b + 1].im, i2 = y[b + 2].im, i3 = y[b + 3].im;
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        st_blk(out + b, {r0, i0});
        st_blk(out + R + b, {r1, i1});
        st_blk(out + 2 * R + b, {r2, i2});
        st_blk(out + 3 * R + b, {r3, i3});
    }
}

// Loaders of one complex source value (as a pointer or a pair of floats).
struct CxLoad {
    const Okv32fc* src;
    V operator()(std::ptrdiff_t a, std::ptrdiff_t b, std::ptrdiff_t c, std::ptrdiff_t d) const {
        return gather(src + a, src + b, src + c, src + d);
    }
};
struct SplitLoad {
    const Okv32f* re;
    const Okv32f* im;
    V operator()(std::ptrdiff_t a, std::ptrdiff_t b, std::ptrdiff_t c, std::ptrdiff_t d) const {
        return {_mm_setr_ps(re[a], re[b], re[c], re[d]), _mm_setr_ps(im[a], im[b], im[c], im[d])};
    }
};

// Fused bit-reversal and first pass into dst (not overlapping the source):
// group g takes src[r + m n/R], r its bit-reversed index; the groups g+1,
// g+2, g+3 (g a multiple of 4) start n/2R, n/4R and 3n/4R further on.
template <int R, bool INV, class Load>
void first_pass_rev(Load src, Okv32fc* dst, int n, const Okv32s* rev) {
    const std::ptrdiff_t stride = n / R, h = n / (2 * R), q = n / (4 * R);
    for (int g = 0; g < n / R; g += 4) {
        const std::ptrdiff_t r = rev[g >> 2];
        V x[R];
        for (int m = 0; m < R; ++m) {
            const std::ptrdiff_t o = r + m * stride;
            x[m] = src(o, o + h, o + q, o + h + q);
        }
        first_quad<R, INV>(x, dst + R * g);
    }
}

// First pass in place on bit-reversed interleaved data: group g holds, in
// bit-reversed order, the R values its DFT combines.
template <int R, bool INV>
void first_pass_inplace(Okv32fc* x, int n) {
    constexpr int rev4[4] = {0, 2, 1, 3}, rev8[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int g = 0; g < n / R; g += 4) {
        Okv32fc* p = x + R * g;
        V v[R];
        for (int m = 0; m < R; ++m) {
            const int r = R == 4 ? rev4[m] : rev8[m];
            v[m] = gather(p + r, p + R + r, p + 2 * R + r, p + 3 * R + r);
        }
        first_quad<R, INV>(v, p);
    }
}

// Radix-4 and radix-8 DIT butterflies on blocks p + k l; the blocks hold the
// sub-transforms in bit-reversed order, w[k-1] = w^(k j).
template <bool INV, bool LAST>
inline void store_out(Okv32fc* p, V v) {
    if (LAST)
        st_cx(p, v);
    else
        st_blk(p, v);
}

template <int RADIX, bool INV, bool LAST>
inline void bfly(Okv32fc* p, int l, const V* w) {
    if constexpr (RADIX == 4) {
        const V a = ld_blk(p);
        const V b = vmul<INV>(ld_blk(p + l), w[1]);
        const V c = vmul<INV>(ld_blk(p + 2 * l), w[0]);
        const V d = vmul<INV>(ld_blk(p + 3 * l), w[2]);
        const V t0 = a + b, t1 = a - b, t2 = c + d, t3 = vrot90<INV>(c - d);
        store_out<INV, LAST>(p, t0 + t2);
        store_out<INV, LAST>(p + l, t1 + t3);
        store_out<INV, LAST>(p + 2 * l, t0 - t2);
        store_out<INV, LAST>(p + 3 * l, t1 - t3);
    } else {
        constexpr int rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
        V x[8], y[8];
        x[0] = ld_blk(p);
        for (int b = 1; b < 8; ++b) x[rev3[b]] = vmul<INV>(ld_blk(p + b * l), w[rev3[b] - 1]);
        dft8<INV>(x, y);
        for (int m = 0; m < 8; ++m) store_out<INV, LAST>(p + m * l, y[m]);
    }
}

inline V ld_tw(const Okv32f* t) { return {_mm_load_ps(t), _mm_load_ps(t + 4)}; }

// Stage over blocks of RADIX l with the stage's own twiddle table
// (RADIX - 1 blocks of 4 real and 4 imaginary parts for each four j).
template <int RADIX, bool INV, bool LAST>
void stage_tab(Okv32fc* x, int n, int l, const Okv32f* tw) {
    for (int g = 0; g < n; g += RADIX * l) {
        const Okv32f* t = tw;
        for (int j = 0; j < l; j += 4, t += 8 * (RADIX - 1)) {
            V w[RADIX - 1];
            for (int k = 0; k < RADIX - 1; ++k) w[k] = ld_tw(t + 8 * k);
            bfly<RADIX, INV, LAST>(x + g + j, l, w);
        }
    }
}

// Stage reading its twiddles from the base table exp(-2 pi i t / n), t < n/2.
template <int RADIX, bool INV, bool LAST>
void stage_base(Okv32fc* x, int n, int l, const Okv32fc* base) {
    const int s = n / (RADIX * l), halfN = n / 2;
    for (int j = 0; j < l; j += 4) {
        V w[RADIX - 1];
        for (int k = 1; k < RADIX; ++k) {
            float re[4], im[4];
            for (int i = 0; i < 4; ++i) {
                int t = k * (j + i) * s;
                const float sg = t < halfN ? 1.0f : -1.0f;
                if (t >= halfN) t -= halfN;
                re[i] = sg * base[t].re;
                im[i] = sg * base[t].im;
            }
            w[k - 1] = {_mm_loadu_ps(re), _mm_loadu_ps(im)};
        }
        for (int g = 0; g < n; g += RADIX * l) bfly<RADIX, INV, LAST>(x + g + j, l, w);
    }
}

template <int RADIX, bool INV>
void stage(Okv32fc* x, int n, int l, const Okv32f* tw, const Okv32fc* base) {
    const bool last = RADIX * l == n;
    if (tw)
        last ? stage_tab<RADIX, INV, true>(x, n, l, tw) : stage_tab<RADIX, INV, false>(x, n, l, tw);
    else
        last ? stage_base<RADIX, INV, true>(x, n, l, base) : stage_base<RADIX, INV, false>(x, n, l, base);
}

// The stages after the first pass (radix 4 first, then radix 8); the last one
// writes interleaved data.
template <bool INV>
void stages(Okv32fc* x, const OkvsFFTSpec_32f* spec) {
    const int order = spec->corder, n = 1 << order, n4 = ownsFFTRadix4Stages(order);
    const Okv32f* tw = spec->twiddle;
    int i = 0;
    for (int l = order & 1 ? 8 : 4; l < n; ++i) {
        const int radix = i < n4 ? 4 : 8;
        const Okv32f* t = spec->base == nullptr || i < spec->tabStages ? tw : nullptr;
        if (radix == 4)
            stage<4, INV>(x, n, l, t, spec->base);
        else
            stage<8, INV>(x, n, l, t, spec->base);
        tw += 2 * (radix - 1) * l;
        l *= radix;
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
void fft_large(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, Okv8u* work) {
    const int order = spec->corder, n = 1 << order;
    const bool odd = order & 1;
    if (spec->base == nullptr) {
        Okv32fc local[32];
        if (src == dst) {
            Okv32fc* tmp = n <= 32 ? local : reinterpret_cast<Okv32fc*>(work);
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
    stages<INV>(dst, spec);
}

}  // namespace

void ownsFFTCore_32fc(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, bool inverse,
                      Okv8u* work) {
    const int order = spec->corder;
    if (order <= 3) {
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
        stages<false>(z, spec);
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

}  // namespace OKV_NS
