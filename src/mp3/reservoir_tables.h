// MPEG-1 Layer III frame sizes: bytes per frame without padding, floor(144 * bitrate / fs).
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

constexpr int kMp3Mpeg1Kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMp3Mpeg1Rate[3] = {44100, 48000, 32000};

struct Mp3SlotTable {
    int v[3][15] = {};
    constexpr Mp3SlotTable() {
        for (int f = 0; f < 3; ++f)
            for (int b = 0; b < 15; ++b) v[f][b] = 144000 * kMp3Mpeg1Kbps[b] / kMp3Mpeg1Rate[f];
    }
    constexpr const int* operator[](int f) const { return v[f]; }
};
constexpr Mp3SlotTable mp3Mpeg1Slots{};
static_assert(mp3Mpeg1Slots[0][1] == 104 && mp3Mpeg1Slots[0][14] == 1044 && mp3Mpeg1Slots[2][13] == 1152);

}  // namespace OKV_NS
