// Fixed-point helpers of the SBR prediction: guard bits, covariance normalisation, reciprocal.
#pragma once

#include <cstdint>

#include "okvac.h"

namespace OKV_NS {
namespace sbrfx {

// Leading zero bits of a 32-bit value; 32 for zero.
inline int guardBits(uint32_t g) { return g ? __builtin_clz(g) : 32; }

inline uint64_t magnitude(int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v); }

// Brings n 64-bit accumulators to below 2^30 in magnitude, all by the same shift (right when
// the largest needs more than 30 bits, else left on the low word, modulo 32). The common
// exponent is dropped: the callers form ratios and products of like scale only.
inline void normalise(int64_t* e, int n) {
    uint64_t all = 0;
    for (int i = 0; i < n; ++i) all |= magnitude(e[i]);
    const uint32_t hi = static_cast<uint32_t>(all >> 32), lo = static_cast<uint32_t>(all);
    const int g = hi ? guardBits(hi) : 32 + guardBits(lo);
    for (int i = 0; i < n; ++i)
        e[i] = 64 - g > 30 ? e[i] >> (34 - g)
                           : static_cast<int32_t>(static_cast<uint32_t>(e[i]) << ((g + 30) & 31));
}

// Reciprocal of a positive value: with s = guardBits(value) - 1 (written to *pShift) and
// y = value << s in [2^30, 2^31), returns about 2^60 / y from a first estimate and four
// Newton steps in 32-bit values with 64-bit products.
inline int32_t invWrap(int32_t value, int* pShift) {
    const int s = guardBits(static_cast<uint32_t>(value)) - 1;
    *pShift = s;
    const int64_t y = static_cast<int32_t>(static_cast<uint32_t>(value) << s);
    constexpr int64_t kThird = 0x15555555, kHalf = 0x20000000;
    int32_t r = static_cast<int32_t>(((kHalf - ((y * kThird) >> 32)) * kThird) >> 28) & ~15;
    for (int i = 0; i < 4; ++i)
        r = static_cast<int32_t>(((r * (kHalf - ((y * r) >> 32))) >> 32) * 16);
    return r;
}

}  // namespace sbrfx
}  // namespace OKV_NS
