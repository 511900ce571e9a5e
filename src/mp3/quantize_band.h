// Quantisation of one band: nint((x 2^-26 / 2^(s/4))^0.75 - 0.0946) for magnitudes x >= 0.
//
// With q = -s, a = q >> 2 and f = q & 3: y = x 2^(f/4), Y = y 2^(a - 26) rounded, and Y^0.75 from
// a table below 256 and quadratic pieces above (exact floor(Y^0.75 + 0.4054) up to 1024, 8192
// from 165109 on). A step above 0 quantises too: the shifts extend to negative a. From a = 26 up
// Y = y << (a - 26), continuing the rounding shift, so that the result stays the value above.
#pragma once
#include "mp3/quantize_tables.h"

namespace OKV_NS {
namespace mp3q {

constexpr Okv32s powThreeQuarters(Okv64s Y) {
    if (Y < 1) return 0;
    if (Y < 256) return kBase.v[Y];
    if (Y < 513) return (Okv32s)(((((((69158 * Y - 141725722) * Y) >> 9) + 516649276) * Y >> 10) + 21421594) >> 21);
    if (Y < 1025) {
        const Okv32s r = (Okv32s)(((((((14536 * Y - 59579710) * Y) >> 9) + 434432160) * Y >> 10) + 35451886) >> 21);
        return Y == 738 ? r - 1 : r;
    }
    if (Y >= 165109) return 8192;
    const int k = Y >= 65537 ? 11 : 4 + (32 - __builtin_clz((Okv32u)(Y >> 10)));
    return (Okv32s)((((((-(Okv64s)kPowC[k] * Y) >> 9) + kPowB[k]) * Y >> 10) + kPowA[k] + (1 << 20)) >> 21);
}

// Y for one magnitude at (a, f).
constexpr Okv64s scaled(Okv32u x, int a, int f) {
    Okv64u y = x;
    if (f) y = ((Okv64u)x * 8u * (Okv64u)kPow2Quarter[f - 1] + 0x80000000u) >> 32;
    if (a >= 26) return a >= 58 ? (y ? (Okv64s)1 << 40 : 0) : (Okv64s)(y << (a - 26));  // y < 2^32
    const int t = 24 - a;
    if (t > 0 && (t >= 32 || x < (1u << t))) return 0;  // Y below 1/2
    return (Okv64s)((y + ((Okv64u)1 << (25 - a))) >> (26 - a));
}

// out[i] = quantised x[i]; returns the largest output.
inline Okv32s quantizeBand(const Okv32s* x, int n, int s, Okv32s* out) {
    const int q = -s, a = q >> 2, f = q & 3;
    Okv32s most = 0;
    for (int i = 0; i < n; ++i) {
        const Okv32s v = powThreeQuarters(scaled((Okv32u)x[i], a, f));
        out[i] = v;
        most = v > most ? v : most;
    }
    return most;
}

}  // namespace mp3q
}  // namespace OKV_NS
