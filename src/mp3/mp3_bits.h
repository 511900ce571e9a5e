// MSB-first bit reading for the Layer III unpackers: a base pointer and a bit position.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

inline Okv32u mp3LoadBe32(const Okv8u* p) {
    return (Okv32u)p[0] << 24 | (Okv32u)p[1] << 16 | (Okv32u)p[2] << 8 | p[3];
}

inline Okv64u mp3LoadBe64(const Okv8u* p) {
    return (Okv64u)mp3LoadBe32(p) << 32 | mp3LoadBe32(p + 4);
}

struct Mp3Bits {
    const Okv8u* base;
    Okv32u pos;  // bits consumed from base

    // Next n bits (0..25), right-aligned; reads the four bytes at the current byte.
    Okv32u get(int n) {
        if (n == 0) return 0;
        Okv32u w = mp3LoadBe32(base + (pos >> 3)) << (pos & 7);
        pos += (Okv32u)n;
        return w >> (32 - n);
    }
};

}  // namespace OKV_NS
