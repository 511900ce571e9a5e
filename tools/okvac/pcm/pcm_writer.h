// 16-bit PCM output: a WAV file for a name ending in .wav, otherwise raw little-endian
// interleaved samples (- writes raw PCM to stdout).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "output_file.h"

class PcmWriter {
public:
    bool open(const char* name, int channels, int rate);  // false with error() set
    bool write(const int16_t* pcm, size_t frames);        // frames of channels interleaved samples
    // Completes the WAV header and commits the output. A WAV on a pipe or FIFO keeps the
    // streaming sizes of its header (0xFFFFFFFF data bytes).
    bool finish();
    void discard() { out_.discard(); }
    const std::string& error() const { return out_.error(); }

private:
    void header(uint8_t* h, uint32_t dataBytes) const;
    OutputFile out_;
    bool wav_ = false;
    int channels_ = 1, rate_ = 0;
    uint64_t bytes_ = 0;
};
