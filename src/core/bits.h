// Small helpers shared by every family: alignment tests and byte access.
#pragma once

#include <cstdint>

#include "okvac.h"

namespace OKV_NS {

// True when p is not on a 16-byte boundary (the condition of okvWrnMisaligned).
inline bool okv_misaligned16(const void* p) {
    return (reinterpret_cast<uintptr_t>(p) & 15u) != 0;
}

// Rounds p up to the next multiple of 64 bytes.
inline Okv8u* okv_align64(void* p) {
    uintptr_t a = (reinterpret_cast<uintptr_t>(p) + 63u) & ~static_cast<uintptr_t>(63u);
    return reinterpret_cast<Okv8u*>(a);
}

// Rounds a byte count up to a multiple of 64.
constexpr Okv32s okv_round64(Okv32s bytes) { return (bytes + 63) & ~63; }

// The four bytes at p as one big-endian 32-bit word.
inline Okv32u okv_load_be32(const Okv8u* p) {
    return (Okv32u(p[0]) << 24) | (Okv32u(p[1]) << 16) | (Okv32u(p[2]) << 8) | Okv32u(p[3]);
}

}  // namespace OKV_NS
