// Decoding a whole Layer III stream held in memory, frame by frame, to interleaved 16-bit PCM.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3/mp3_decoder.h"
#include "mp3/mp3_stream.h"

class Mp3StreamDecoder {
public:
    Mp3StreamDecoder(const uint8_t* data, size_t len, bool floatSynth);
    bool ok() const { return dec_.ok(); }
    int channels() const { return channels_; }   // the most any frame has (mono frames are doubled)
    int sampleRate() const { return rate_; }      // of the first frame; decoding stops where it changes
    double estimatedSeconds() const { return rate_ ? double(totalSamples_) / rate_ : 0.0; }
    // PCM of the next frame (frames sample frames of channels() values); false at the end.
    bool next(const int16_t** pcm, size_t* frames);
    size_t position() const { return scan_.position(); }
    long frames() const { return frames_; }
    long failedFrames() const { return failed_; }

private:
    const uint8_t* data_;
    size_t len_;
    Mp3FrameScanner scan_;
    Mp3Decoder dec_;
    std::vector<int16_t> pcm_;
    int channels_ = 1, rate_ = 44100;  // the rate stays at 44.1 kHz for a stream without frames
    long long totalSamples_ = 0;
    long frames_ = 0, failed_ = 0;
    bool sawAudio_ = false, stopped_ = false;
    long long skip_ = 0, remaining_ = -1;  // gapless trimming from a LAME tag
};
