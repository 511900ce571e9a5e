// Fuzz input read as a stream of bytes, big-endian words and float bit patterns; zeros once
// the input is used up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    uint32_t word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return v;
    }
    float f32() {
        const uint32_t b = word();
        float f;
        std::memcpy(&f, &b, 4);
        return f;
    }
};
