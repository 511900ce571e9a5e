// okvac decode for AAC input: stream set-up, the decoding loop and the output file.
#pragma once
#include <cstdint>
#include <vector>

#include "../container/detect.h"

// Exit status 0 when decoded (failing frames are silent and reported), 1 when the input or
// output fails, 3 when the stream is of a kind the decoder does not handle.
int decodeAac(const std::vector<uint8_t>& in, AacContainer kind, const char* outName, bool gapless);
