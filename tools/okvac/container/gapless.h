// Gapless playback metadata: which decoded samples per channel belong to the programme.
#pragma once
#include <cstdint>
#include <string>

struct Gapless {
    int64_t skip = 0;     // samples dropped at the start (encoder delay)
    int64_t length = -1;  // samples kept after that, -1 = all
};

// Parses an iTunSMPB comment (" 00000000 DELAY PADDING LENGTH ..." in hexadecimal).
bool parseITunSmpb(const std::string& text, Gapless* g);
