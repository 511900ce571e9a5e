// Helpers of the Layer III encoder tests.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace mp3enc_test {

inline MP3FrameHeader header(int id, int mode, int sf = 0, int modeExt = 0) {
    MP3FrameHeader h{};
    h.id = id;
    h.layer = 1;
    h.protection_bit = 1;
    h.mode = mode;
    h.mode_extension = modeExt;
    h.sampling_frequency = sf;
    h.bitrate_index = 9;
    return h;
}

// Row length of each pair table (0: no table) and escape bits of each table_select.
constexpr int kXlen[16] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16};
constexpr int kLinbits[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};

// Bit position reached from base: bytes moved times 8 plus the offset.
inline long bitPos(const Okv8u* base, const Okv8u* p, int offset) { return (p - base) * 8L + offset; }

}  // namespace mp3enc_test
