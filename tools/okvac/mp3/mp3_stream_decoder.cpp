#include "mp3/mp3_stream_decoder.h"

#include <cstdio>

namespace {
constexpr int kDecoderDelay = 529;  // samples of the synthesis that a LAME tag's delay excludes
constexpr long kMaxReports = 10;
}  // namespace

Mp3StreamDecoder::Mp3StreamDecoder(const uint8_t* data, size_t len, bool floatSynth)
    : data_(data), len_(len), scan_(data, len), dec_(floatSynth) {
    // Channel count, rate and length from a first pass over the headers.
    Mp3FrameScanner pre(data, len);
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    while (pre.next(&f, &size, &fi)) {
        if (!totalSamples_) rate_ = fi.sampleRate;
        if (fi.sampleRate != rate_) break;
        if (fi.channels > channels_) channels_ = fi.channels;
        totalSamples_ += fi.samples;
    }
}

bool Mp3StreamDecoder::next(const int16_t** pcm, size_t* frames) {
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    while (!stopped_ && scan_.next(&f, &size, &fi)) {
        if (fi.sampleRate != rate_) {
            std::fprintf(stderr, "okvac decode: the sampling rate changes at byte %zu; stopping there\n",
                         size_t(f - data_));
            stopped_ = true;
            break;
        }
        if (!sawAudio_) {
            Mp3Gapless gl;
            if (mp3IsTagFrame(f, size, fi, &gl)) {
                if (gl.delay >= 0) {
                    skip_ = gl.delay + kDecoderDelay;
                    if (gl.frames > 0) remaining_ = gl.frames * fi.samples - gl.delay - gl.padding;
                }
                continue;
            }
            sawAudio_ = true;
        }
        ++frames_;
        pcm_.resize(size_t(fi.samples) * channels_);
        const bool padded = size_t(f - data_) + size + 16 <= len_;
        const char* err = dec_.decode(f, size, padded, fi, channels_, pcm_.data());
        if (err && ++failed_ <= kMaxReports)
            std::fprintf(stderr, "okvac decode: frame %ld at byte %zu: %s; silence instead%s\n", frames_,
                         size_t(f - data_), err, failed_ == kMaxReports ? " (further failures not shown)" : "");
        size_t first = 0, count = size_t(fi.samples);
        if (skip_) {
            first = skip_ < (long long)count ? size_t(skip_) : count;
            skip_ -= first;
        }
        count -= first;
        if (remaining_ >= 0) {
            if ((long long)count > remaining_) count = size_t(remaining_);
            remaining_ -= count;
        }
        if (!count) continue;
        *pcm = pcm_.data() + first * channels_;
        *frames = count;
        return true;
    }
    return false;
}
