// The tool's own reads of AAC syntax (element identifiers, tags, configuration fields), on the
// library's cursor convention: a byte pointer and a bit offset 0..7 from the most significant
// bit. Reads past end return zero bits, so the cursor never touches memory beyond it.
#pragma once
#include <cstddef>
#include <cstdint>

struct BitCursor {
    const uint8_t* p;
    int off;
    const uint8_t* end;

    uint32_t read(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const uint32_t bit = p < end ? (*p >> (7 - off)) & 1 : 0;
            v = v << 1 | bit;
            if (++off == 8) off = 0, ++p;
        }
        return v;
    }
    void skip(size_t bits) {
        p += (size_t(off) + bits) / 8;
        off = int((size_t(off) + bits) % 8);
    }
    void align() {
        if (off) off = 0, ++p;
    }
    // Bits from here to end (negative once past it).
    long long left() const { return (end - p) * 8LL - off; }
};
