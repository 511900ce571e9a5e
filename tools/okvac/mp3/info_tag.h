// The tag frame written ahead of a constant-bitrate stream: an "Info" header (frame and byte
// counts, seek table) with the extension that carries the encoder delay and padding, which
// decoders use to trim the stream to the input's length. It decodes as silence elsewhere.
#pragma once
#include <cstdint>
#include <vector>

#include "okvac.h"

struct InfoTotals {
    long long frames = 0;      // audio frames after the tag frame
    long long bytes = 0;       // bytes of those frames
    uint16_t audioCrc = 0;     // CRC-16 (reflected 0x8005, from 0) of those bytes
    int delay = 0, padding = 0;  // samples per channel ahead of and after the input
    int kbps = 0;
};

// The tag frame for a stream of frames with header h.
std::vector<uint8_t> infoTagFrame(const MP3FrameHeader& h, const InfoTotals& t);
