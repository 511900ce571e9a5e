// MP4/3GP reader: the first AAC audio track's decoder configuration, sample table and gapless
// metadata (edit list, else an iTunSMPB comment).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gapless.h"

struct Mp4AacTrack {
    int objectTypeIndication = 0;     // 0x40 MPEG-4 audio, 0x66..0x68 MPEG-2 AAC
    std::vector<uint8_t> config;      // the decoder-specific information (AudioSpecificConfig)
    std::vector<uint64_t> offsets;    // per access unit, from the start of the file
    std::vector<uint32_t> sizes;
    uint32_t timescale = 0;           // of the track; the gapless counts are in its units
    Gapless gapless;
};

// True when data starts with an MP4/3GP box structure.
bool looksLikeMp4(const uint8_t* data, size_t len);

// Finds the first AAC track. On failure returns false and says why in *why.
bool mp4ReadAacTrack(const uint8_t* data, size_t len, Mp4AacTrack* track, std::string* why);
