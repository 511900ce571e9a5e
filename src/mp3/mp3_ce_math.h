// Square and cube roots for tables built at compile time (no libm; the compilers do not all
// fold __builtin_sqrt in constant expressions). Newton steps in long double, then one
// rounding to double: correctly rounded but for ties closer than 2^-64 relative.
#pragma once

namespace OKV_NS {
namespace mp3ce {

// r^k = x by Newton's method from above, for x > 0 and k = 2 or 3.
constexpr long double rootL(long double x, int k)
{
    long double r = x > 1 ? x : 1.0L;
    for (int i = 0; i < 200; ++i) {
        const long double p = k == 2 ? r : r * r;
        const long double next = r - (p * r - x) / (k * p);
        if (next >= r) break;
        r = next;
    }
    return r;
}

constexpr double sqrtCe(double x) { return x > 0 ? double(rootL(x, 2)) : 0.0; }
constexpr long double cbrtL(long double x) { return x > 0 ? rootL(x, 3) : 0.0L; }

}  // namespace mp3ce
}  // namespace OKV_NS
