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

// Bit position reached from base: bytes moved times 8 plus the offset.
inline long bitPos(const Okv8u* base, const Okv8u* p, int offset) { return (p - base) * 8L + offset; }

}  // namespace mp3enc_test
