// Writes 16-bit PCM as a WAV file (name ending in .wav; WAVE_FORMAT_EXTENSIBLE above two
// channels), raw to stdout (-) or raw to a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

class PcmWriter {
public:
    // mask: WAVE speaker positions of the channels, used above two channels.
    bool open(const char* name, int channels, int rate, uint32_t mask = 0);
    bool write(const int16_t* pcm, size_t frames);  // frames of `channels` interleaved samples
    bool close();                                    // completes the WAV header

private:
    bool header(uint32_t dataBytes);
    std::FILE* f_ = nullptr;
    bool wav_ = false, ok_ = true;
    int channels_ = 1, rate_ = 0;
    uint32_t mask_ = 0;
    uint64_t bytes_ = 0;
};
