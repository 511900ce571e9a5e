// TwinVQ codebooks: header access and the four-row sweep shared by the searches.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstddef>

#include "core/okv_internal.h"

namespace OKV_NS {

// The structure sits at the caller's pMem, which need not be aligned for its fields:
// the header is read and written as bytes.
inline VQCodeBook ownsVQLoad(const VQCodeBook* p) {
    VQCodeBook b;
    __builtin_memcpy(&b, p, sizeof b);
    return b;
}

inline void ownsVQStore(VQCodeBook* p, const VQCodeBook& b) { __builtin_memcpy(p, &b, sizeof b); }

template <class T>
inline void ownsVQStoreField(VQCodeBook* p, std::size_t offset, T value) {
    __builtin_memcpy(reinterpret_cast<Okv8u*>(p) + offset, &value, sizeof value);
}

// Calls step(k, col) for k = 0..L-1 in order, lane j of col holding r[j][k]. Rows are
// 64-byte aligned and padded to a multiple of 64 bytes, so the 4-float chunk holding
// the last elements is read whole. Each lane accumulates in k order, as a scalar loop
// over one row would: results equal the plain per-row sums bit for bit.
template <class Step>
inline void ownsVQSweep4(const Okv32f* const r[4], int L, Step&& step) {
    const auto chunk = [&](int k, int n) {
        __m128 c0 = _mm_load_ps(r[0] + k), c1 = _mm_load_ps(r[1] + k);
        __m128 c2 = _mm_load_ps(r[2] + k), c3 = _mm_load_ps(r[3] + k);
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        step(k, c0);
        if (n > 1) step(k + 1, c1);
        if (n > 2) step(k + 2, c2);
        if (n > 3) step(k + 3, c3);
    };
    int k = 0;
    for (; k + 4 <= L; k += 4) chunk(k, 4);
    if (k < L) chunk(k, L - k);
}

// Lane masks of the sign flags: flag 1 gives multiplier -1.
inline __m128 ownsVQMultipliers(const Okv32s f[4]) {
    const __m128i bits = _mm_slli_epi32(_mm_setr_epi32(f[0], f[1], f[2], f[3]), 31);
    return _mm_or_ps(_mm_set1_ps(1.0f), _mm_castsi128_ps(bits));
}

}  // namespace OKV_NS
