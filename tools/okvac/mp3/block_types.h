// Block types of the Layer III encoder. The library's model wants short blocks from its
// perceptual entropy, which misses a click on a loud tone (at the LSF rates, read with the tables
// of the MPEG-1 rate of the same index, nearly always): the encoder adds its own attack detector
// and places the start, short and stop blocks from the union of both wishes.
#pragma once
#include <cstdint>

#include "okvac.h"

// Whether the 1024 samples of the model's input that end at end (in channel buffers with at
// least 1026 samples before end) hold an attack in samples 256 to 832, the span of the short
// blocks with eight segments of history before them.
bool attackAt(const int16_t* const* channels, int nch, int end);

class BlockTypes {
public:
    // Re-decides the block types of one frame's records (granule-major) from the model's types and
    // the attacks of the granules the model read (attack[gr], gr < granules). A record made short
    // where the model had it long gets short ratios from its long ones. row: id * 3 + sampling_frequency.
    void decide(MP3SideInfo* si, MP3PsyRatio* ratio, const bool* attack, int granules, int nch, int row);

private:
    int prev_[2] = {};     // type of each channel's last granule
    bool held_ = false;    // attack in the granule the model holds back
};
