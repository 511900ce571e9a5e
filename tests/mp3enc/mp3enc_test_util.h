// Helpers of the Layer III encoder tests.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "mp3/mp3_test_util.h"
#include "okvac.h"

namespace mp3enc_test {

using mp3test::header;

// Row length of each pair table (0: no table) and escape bits of each table_select.
constexpr int kXlen[16] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16};
constexpr int kLinbits[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};

// Bit position reached from base: bytes moved times 8 plus the offset.
inline long bitPos(const Okv8u* base, const Okv8u* p, int offset) { return (p - base) * 8L + offset; }

}  // namespace mp3enc_test
