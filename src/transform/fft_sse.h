// SSE3 helpers on two interleaved complex floats per register.
#pragma once

#include <pmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/okv_internal.h"

namespace OKV_NS {

inline __m128 cx_ld(const Okv32fc* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
inline void cx_st(Okv32fc* p, __m128 v) { _mm_storeu_ps(reinterpret_cast<float*>(p), v); }
// Two single complex values from separate places, lane 0 from p0.
inline __m128 cx_ld2(const Okv32fc* p0, const Okv32fc* p1) {
    __m128 v = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p0)));
    return _mm_loadh_pi(v, reinterpret_cast<const __m64*>(p1));
}

inline __m128 cx_neg_im_mask() { return _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)); }
inline __m128 cx_neg_re_mask() { return _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)); }

// a * w, or a * conj(w) when INV.
template <bool INV>
inline __m128 cx_mul(__m128 a, __m128 w) {
    if (INV) w = _mm_xor_ps(w, cx_neg_im_mask());
    __m128 wr = _mm_moveldup_ps(w);
    __m128 wi = _mm_movehdup_ps(w);
    __m128 as = _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_addsub_ps(_mm_mul_ps(a, wr), _mm_mul_ps(as, wi));
}

// -i * v (forward) or +i * v (inverse).
template <bool INV>
inline __m128 cx_rot90(__m128 v) {
    __m128 s = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_xor_ps(s, INV ? cx_neg_re_mask() : cx_neg_im_mask());
}

}  // namespace OKV_NS
