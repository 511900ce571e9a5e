// Fixed-point helpers of the Layer III encoder: normalisation, reciprocal, square root,
// base-2 logarithm and x^1.18813. Products are 64-bit with signed operands.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {
namespace mp3fx {

// Left shifts that bring the highest set bit of x to bit 30 (30 for 0, 0 from 2^30 up).
constexpr int norm(Okv32u x) {
    if (x >= (1u << 30)) return 0;
    if (x == 0) return 30;
    return __builtin_clz(x) - 1;
}

// 1/x ~ mant * 2^(shift - 61).
constexpr void reciprocal(Okv32u x, Okv32s& mant, int& shift) {
    const int s = norm(x);
    const Okv64s y = (Okv64s)(Okv32u)(x << s);
    const Okv64s y2 = (y * y) >> 32;
    const Okv64s y3 = (y2 * y) >> 32;
    mant = (Okv32s)((-965766563LL * y3 + 1438104507LL * y2 - 790041808LL * y + (189646461LL << 32)) >> 27);
    shift = s;
}

// (hi:lo) = mant * 2^(32 - shift).
constexpr void norm64(Okv32u hi, Okv32u lo, Okv32u& mant, int& shift) {
    if (hi != 0) {
        const int s = norm(hi);
        mant = s ? (hi << s) | (lo >> (32 - s)) : hi;
        shift = s;
    } else if (lo >= 0x80000000u) {
        mant = lo >> 1;
        shift = 31;
    } else {
        const int s = norm(lo);
        mant = lo << s;
        shift = s + 32;
    }
}

constexpr void norm64(Okv64u v, Okv32u& mant, int& shift) { norm64((Okv32u)(v >> 32), (Okv32u)v, mant, shift); }

// sqrt(v) * 32.
constexpr Okv32s sqrt64(Okv64u v) {
    Okv32u m = 0;
    int e = 0;
    norm64(v, m, e);
    const Okv64s mm = m;
    Okv64s p = ((mm * mm) >> 32) * -13008 + 28828 * mm + (m ? 10409LL << 31 : 0);
    p >>= 15;
    if ((e & 1) == 0) p = (p * 23170) >> 14;
    const int k = (e >> 1) - 5;
    return (Okv32s)(k >= 0 ? p >> k : p << -k);
}

// log2(x) = ip + frac / 2^14.
constexpr void log2(Okv32u x, int& ip, Okv16s& frac) {
    const int s = norm(x);
    ip = 30 - s;
    const Okv64s t = (Okv32s)(x << s) >> 16;
    frac = (Okv16s)((-(27019LL << 14) + -5520 * ((t * t) >> 14) + 32687 * t) >> 14);
}

}  // namespace mp3fx
}  // namespace OKV_NS
