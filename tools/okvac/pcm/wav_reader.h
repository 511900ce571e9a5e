// PCM input for the encoder: a WAV file (16- or 24-bit integer, 32-bit float, EXTENSIBLE) or
// raw 16-bit little-endian interleaved samples, delivered as 16-bit samples.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pcm/input_file.h"

class WavReader {
public:
    // raw: rate and channels given (0: parse a WAV header). False with error() set.
    bool open(ByteSource& in, int rawRate, int rawChannels);
    // Up to `frames` sample frames into out (interleaved); the count, 0 at the end, -1 on error.
    long read(int16_t* out, long frames);
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    const std::string& error() const { return error_; }

private:
    bool fill(size_t n);
    ByteSource* in_ = nullptr;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    int rate_ = 0, channels_ = 0, bytesPer_ = 2;
    bool float_ = false;
    long long dataLeft_ = -1;  // bytes of the data chunk still to read; -1 up to the end
    std::string error_;
};
