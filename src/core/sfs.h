// Integer scaling with round-half-to-even and saturation (the _Sfs rule).
//
// The exact result r is multiplied by 2^-sf: a right shift rounds half to
// even, a left shift saturates, and the value is then saturated to the
// destination type. Working on the exact 64-bit result makes every branch of
// the rule (shifts of 31, 32 and more included) fall out of the arithmetic.
#pragma once

#include "okvac.h"

namespace OKV_NS {

// r / 2^s rounded half to even, s >= 1.
constexpr Okv64s okv_shr_rne(Okv64s r, int s) {
    if (s >= 64) return 0;  // |r / 2^s| <= 1/2 and a tie goes to the even 0
    Okv64s q = r >> s;
    Okv64u rem = static_cast<Okv64u>(r) & ((Okv64u(1) << s) - 1);
    Okv64u half = Okv64u(1) << (s - 1);
    if (rem > half || (rem == half && (q & 1))) ++q;
    return q;
}

constexpr Okv64s okv_clamp64(Okv64s v, Okv64s lo, Okv64s hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// r * 2^-sf, rounded and saturated to [lo, hi].
constexpr Okv64s okv_sfs(Okv64s r, int sf, Okv64s lo, Okv64s hi) {
    if (sf > 0) return okv_clamp64(okv_shr_rne(r, sf), lo, hi);
    if (sf == 0 || r == 0) return okv_clamp64(r, lo, hi);
    if (-sf >= 32) return r > 0 ? hi : lo;  // every non-zero input saturates
    // Beyond +-2^31 every shift saturates anyway; the clamp keeps the product in range.
    r = okv_clamp64(r, -(Okv64s(1) << 31), Okv64s(1) << 31);
    return okv_clamp64(r * (Okv64s(1) << -sf), lo, hi);
}

constexpr Okv32s okv_sfs32(Okv64s r, int sf) {
    return static_cast<Okv32s>(okv_sfs(r, sf, INT32_MIN, INT32_MAX));
}

constexpr Okv16s okv_sfs16(Okv64s r, int sf) {
    return static_cast<Okv16s>(okv_sfs(r, sf, INT16_MIN, INT16_MAX));
}

constexpr Okv32s okv_sat32(Okv64s v) { return static_cast<Okv32s>(okv_clamp64(v, INT32_MIN, INT32_MAX)); }
constexpr Okv16s okv_sat16(Okv64s v) { return static_cast<Okv16s>(okv_clamp64(v, INT16_MIN, INT16_MAX)); }

}  // namespace OKV_NS
