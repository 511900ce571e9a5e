// Decoding a Layer III stream frame by frame to interleaved 16-bit PCM.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../pcm/pcm_source.h"
#include "../pcm/read_window.h"
#include "mp3_decoder.h"
#include "mp3_stream.h"

class Mp3StreamDecoder final : public PcmSource {
public:
    // An input that can rewind is scanned once ahead for its layout (the most channels any
    // frame has: mono frames are doubled); otherwise the first frame sets it and wider frames
    // are mixed down.
    Mp3StreamDecoder(ReadWindow& in, bool floatSynth);
    bool ok() const { return dec_.ok(); }  // false when the float filterbanks could not be set up
    bool next(const int16_t** pcm, size_t* frames) override;
    int channels() const override { return channels_; }
    int sampleRate() const override { return rate_; }  // decoding stops where it changes
    long frames() const override { return frames_; }
    long failedFrames() const override { return failed_; }

private:
    ReadWindow& in_;
    Mp3FrameScanner scan_;
    Mp3Decoder dec_;
    std::vector<int16_t> pcm_, wide_;
    int channels_ = 0, rate_ = 0;
    long frames_ = 0, failed_ = 0;
    bool sawAudio_ = false, stopped_ = false, sawEnd_ = false;
    long long skip_ = 0, remaining_ = -1;  // gapless trimming from a LAME tag
};
