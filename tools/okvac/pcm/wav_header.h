// RIFF/WAVE headers for 16-bit PCM: the plain format for one or two channels, the extensible
// one, with its speaker mask, for more.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kWavHeaderMax = 68;

// Writes the header into out (kWavHeaderMax bytes) and returns its length. mask 0 with more
// than two channels leaves the speaker positions unassigned.
size_t wavHeader(uint8_t* out, int channels, int rate, uint32_t mask, uint32_t dataBytes);
