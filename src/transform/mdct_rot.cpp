// Linear passes of the power-of-two float MDCT. The table holds for each
// step 4 sines and 4 cosines of the front slots m..m+3 and of the back slots
// q-4-m..q-1-m, so each step works on 4 + 4 slots.
#include <xmmintrin.h>

#include "core/trig.h"
#include "transform/mdct.h"
#include "transform/mdct_rot.h"

namespace OKV_NS {
namespace {

// Position of the sine of slot m in the grouped table (the cosine follows at +4).
inline int grouped(int m, int q) {
    if (m < q / 2) return 16 * (m >> 2) + (m & 3);
    const int back = q - 1 - m;  // 0.. from the end
    return 16 * (back >> 2) + 8 + (3 - (back & 3));
}

}  // namespace

void ownsMdctTable_32f(Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        const double a = (8.0 * m + 1.0) / (4.0 * len);  // (m + 1/8) 2 pi / len, in units of pi
        const int p = len % 3 == 0 ? 2 * m : grouped(m, q);
        t[p] = float(1.4142135623730951 * okv_sinpi(a));
        t[p + (len % 3 == 0 ? 1 : 4)] = float(1.4142135623730951 * okv_cospi(a));
    }
}

// Per step g the four 8-float blocks at q-8-8g, q+8g, 3q-8-8g and 3q+8g hold
// the folded inputs (outputs) of front slots 4g..4g+3 in ascending order and of
// back slots q-4-4g..q-1-4g: even positions ascending, odd positions descending.
namespace {

inline __m128 ld(const Okv32f* p) { return _mm_loadu_ps(p); }
inline __m128 evens(const Okv32f* p) { return _mm_shuffle_ps(ld(p), ld(p + 4), _MM_SHUFFLE(2, 0, 2, 0)); }
inline __m128 odds_rev(const Okv32f* p) { return _mm_shuffle_ps(ld(p + 4), ld(p), _MM_SHUFFLE(1, 3, 1, 3)); }
inline __m128 rev(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }
// p[2j] = e[j], p[2j+1] = o[3-j].
inline void put(Okv32f* p, __m128 e, __m128 o) {
    const __m128 r = rev(o);
    _mm_storeu_ps(p, _mm_unpacklo_ps(e, r));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(e, r));
}
inline __m128 neg(__m128 v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }

// 4 complex values from separate real and imaginary parts, and back.
inline void store_cx(Okv32fc* z, __m128 re, __m128 im) {
    Okv32f* p = &z->re;
    _mm_storeu_ps(p, _mm_unpacklo_ps(re, im));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(re, im));
}
inline void load_cx(const Okv32fc* z, __m128* re, __m128* im) {
    const __m128 a = _mm_loadu_ps(&z->re), b = _mm_loadu_ps(&z->re + 4);
    *re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    *im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
}

// (c u + s v, c v - s u)
inline void rotate(__m128 s, __m128 c, __m128 u, __m128 v, __m128* re, __m128* im) {
    *re = _mm_add_ps(_mm_mul_ps(c, u), _mm_mul_ps(s, v));
    *im = _mm_sub_ps(_mm_mul_ps(c, v), _mm_mul_ps(s, u));
}
// (c re + s im, s re - c im)
inline void unrotate(__m128 s, __m128 c, __m128 re, __m128 im, __m128* a, __m128* b) {
    *a = _mm_add_ps(_mm_mul_ps(c, re), _mm_mul_ps(s, im));
    *b = _mm_sub_ps(_mm_mul_ps(s, re), _mm_mul_ps(c, im));
}

}  // namespace

void ownsMdctFwdPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int g = 0; 8 * g < q; ++g, t += 16) {
        const Okv32f *p0 = x + q - 8 - 8 * g, *p1 = x + q + 8 * g;
        const Okv32f *p2 = x + 3 * q - 8 - 8 * g, *p3 = x + 3 * q + 8 * g;
        const __m128 uf = _mm_sub_ps(neg(evens(p3)), odds_rev(p2));
        const __m128 vf = _mm_sub_ps(odds_rev(p0), evens(p1));
        const __m128 ub = _mm_sub_ps(evens(p0), odds_rev(p1));
        const __m128 vb = _mm_sub_ps(neg(odds_rev(p3)), evens(p2));
        __m128 re, im;
        rotate(ld(t), ld(t + 4), uf, vf, &re, &im);
        store_cx(z + 4 * g, re, im);
        rotate(ld(t + 8), ld(t + 12), ub, vb, &re, &im);
        store_cx(z + q - 4 - 4 * g, re, im);
    }
}

void ownsMdctFwdPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int g = 0; 8 * g < q; ++g, t += 16) {
        __m128 re, im, pf, qf, pb, qb;
        load_cx(z + 4 * g, &re, &im);
        unrotate(ld(t), ld(t + 4), re, im, &pf, &qf);
        load_cx(z + q - 4 - 4 * g, &re, &im);
        unrotate(ld(t + 8), ld(t + 12), re, im, &pb, &qb);
        put(dst + 8 * g, pf, qb);
        put(dst + 2 * q - 8 - 8 * g, pb, qf);
    }
}

void ownsMdctInvPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int g = 0; 8 * g < q; ++g, t += 16) {
        const Okv32f *lo = x + 8 * g, *hi = x + 2 * q - 8 - 8 * g;
        const __m128 af = evens(lo), bb = odds_rev(lo), ab = evens(hi), bf = odds_rev(hi);
        __m128 re, im;
        rotate(ld(t), ld(t + 4), af, bf, &re, &im);
        store_cx(z + 4 * g, re, im);
        rotate(ld(t + 8), ld(t + 12), ab, bb, &re, &im);
        store_cx(z + q - 4 - 4 * g, re, im);
    }
}

void ownsMdctInvPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int g = 0; 8 * g < q; ++g, t += 16) {
        __m128 re, im, uf, vf, ub, vb;
        load_cx(z + 4 * g, &re, &im);
        unrotate(ld(t), ld(t + 4), re, im, &uf, &vf);
        load_cx(z + q - 4 - 4 * g, &re, &im);
        unrotate(ld(t + 8), ld(t + 12), re, im, &ub, &vb);
        put(dst + q - 8 - 8 * g, ub, vf);
        put(dst + q + 8 * g, neg(vf), neg(ub));
        put(dst + 3 * q - 8 - 8 * g, neg(vb), neg(uf));
        put(dst + 3 * q + 8 * g, neg(uf), neg(vb));
    }
}

}  // namespace OKV_NS
