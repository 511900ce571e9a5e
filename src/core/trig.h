// sin(pi x) and cos(pi x) in double precision, usable at compile time and in
// Init functions. The library calls no libm; these give the same bits in both
// variants (plain double arithmetic, no contraction). Error below 1.5 ulp of the
// result for |x| < 2^50 (the reduction x - 2k is exact).
#pragma once

#include "okvac.h"

namespace OKV_NS {

namespace trig_detail {

// pi split so that t * kPiHi is exact for the t used below (26 significant bits).
constexpr double kPiHi = 3.14159262180328369140625;
constexpr double kPiLo = 3.178650954705639e-08;

// sin(y) for |y| <= pi/4, Taylor series to y^19.
constexpr double sin_poly(double y) {
    double y2 = y * y;
    double p = 1.0 / 121645100408832000.0;         // 1/19!
    p = p * -y2 + 1.0 / 355687428096000.0;         // 1/17!
    p = p * -y2 + 1.0 / 1307674368000.0;           // 1/15!
    p = p * -y2 + 1.0 / 6227020800.0;              // 1/13!
    p = p * -y2 + 1.0 / 39916800.0;                // 1/11!
    p = p * -y2 + 1.0 / 362880.0;                  // 1/9!
    p = p * -y2 + 1.0 / 5040.0;                    // 1/7!
    p = p * -y2 + 1.0 / 120.0;                     // 1/5!
    p = p * -y2 + 1.0 / 6.0;                       // 1/3!
    return y - y * y2 * p;
}

// cos(y) for |y| <= pi/4, Taylor series to y^20.
constexpr double cos_poly(double y) {
    double y2 = y * y;
    double p = 1.0 / 2432902008176640000.0;        // 1/20!
    p = p * -y2 + 1.0 / 6402373705728000.0;        // 1/18!
    p = p * -y2 + 1.0 / 20922789888000.0;          // 1/16!
    p = p * -y2 + 1.0 / 87178291200.0;             // 1/14!
    p = p * -y2 + 1.0 / 479001600.0;               // 1/12!
    p = p * -y2 + 1.0 / 3628800.0;                 // 1/10!
    p = p * -y2 + 1.0 / 40320.0;                   // 1/8!
    p = p * -y2 + 1.0 / 720.0;                     // 1/6!
    p = p * -y2 + 1.0 / 24.0;                      // 1/4!
    double h = 0.5 * y2;
    return (1.0 - h) + ((1.0 - (1.0 - h)) - h + y2 * y2 * p);
}

// pi * t for 0 <= t <= 1/4 with the product split to keep about 2^-70 error.
constexpr double pi_times(double t) {
    // Cut t to 26 significant bits so that th * kPiHi is exact.
    double th = static_cast<double>(static_cast<long long>(t * 67108864.0)) / 67108864.0;
    double tl = t - th;
    return th * kPiHi + (th * kPiLo + tl * (kPiHi + kPiLo));
}

// x reduced to [-1, 1] by whole periods (exact).
constexpr double reduce2(double x) {
    double k = static_cast<double>(static_cast<long long>(x * 0.5));
    double r = x - 2.0 * k;
    if (r > 1.0) r -= 2.0;
    if (r < -1.0) r += 2.0;
    return r;
}

// sin(pi t) for 0 <= t <= 1/2.
constexpr double sinpi_half(double t) {
    return t <= 0.25 ? sin_poly(pi_times(t)) : cos_poly(pi_times(0.5 - t));
}

}  // namespace trig_detail

// sin(pi x)
constexpr double okv_sinpi(double x) {
    double r = trig_detail::reduce2(x);
    double s = r < 0 ? -1.0 : 1.0;
    double t = r < 0 ? -r : r;       // [0, 1]
    if (t > 0.5) t = 1.0 - t;        // sin(pi t) = sin(pi (1 - t)), exact
    return s * trig_detail::sinpi_half(t);
}

// cos(pi x) = sin(pi (x + 1/2)), evaluated without rounding x + 1/2.
constexpr double okv_cospi(double x) {
    double t = trig_detail::reduce2(x);
    if (t < 0) t = -t;               // [0, 1], cos is even
    double s = 1.0;
    if (t > 0.5) { t = 1.0 - t; s = -1.0; }  // cos(pi t) = -cos(pi (1 - t))
    // cos(pi t) = sin(pi (1/2 - t)); 0.5 - t is exact for t in [0, 1/2].
    return s * trig_detail::sinpi_half(0.5 - t);
}

}  // namespace OKV_NS
