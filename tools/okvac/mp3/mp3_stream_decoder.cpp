#include "mp3_stream_decoder.h"

#include <cstdio>

namespace {
constexpr int kDecoderDelay = 529;  // samples of the synthesis that a LAME tag's delay excludes
constexpr long kMaxReports = 10;
}  // namespace

Mp3StreamDecoder::Mp3StreamDecoder(ReadWindow& in, bool floatSynth) : in_(in), scan_(in), dec_(floatSynth) {
    if (!in_.rewind()) return;
    Mp3FrameScanner pre(in_);
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    while (pre.next(&f, &size, &fi)) {
        if (!rate_) rate_ = fi.sampleRate;
        if (fi.sampleRate != rate_) break;
        if (fi.channels > channels_) channels_ = fi.channels;
    }
    if (!in_.rewind()) channels_ = rate_ = 0;
}

bool Mp3StreamDecoder::next(const int16_t** pcm, size_t* frames) {
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    while (!stopped_ && scan_.next(&f, &size, &fi)) {
        if (!rate_) rate_ = fi.sampleRate;
        if (!channels_) channels_ = fi.channels;
        if (fi.sampleRate != rate_) {
            std::fprintf(stderr, "okvac decode: the sampling rate changes at byte %llu; stopping there\n",
                         (unsigned long long)scan_.frameOffset());
            stopped_ = true;
            break;
        }
        // A tag frame carries no audio. Its gapless trimming applies before the first audio
        // frame only; one further on (concatenated files) is just passed over.
        Mp3Gapless gl;
        if (mp3IsTagFrame(f, size, fi, &gl)) {
            if (!sawAudio_ && gl.delay >= 0) {
                skip_ = gl.delay + kDecoderDelay;
                if (gl.frames > 0) remaining_ = gl.frames * fi.samples - gl.delay - gl.padding;
            }
            continue;
        }
        sawAudio_ = true;
        ++frames_;
        const size_t n = size_t(fi.samples);
        pcm_.resize(n * size_t(channels_));
        const bool mix = fi.channels > channels_;
        if (mix) wide_.resize(n * 2);
        const char* err =
            dec_.decode(f, size, in_.avail() >= Mp3Decoder::kInputPad, fi, mix ? 2 : channels_, mix ? wide_.data() : pcm_.data());
        if (mix)
            for (size_t i = 0; i < n; ++i) pcm_[i] = int16_t((wide_[2 * i] + wide_[2 * i + 1]) >> 1);
        if (err && ++failed_ <= kMaxReports)
            std::fprintf(stderr, "okvac decode: frame %ld at byte %llu: %s; silence instead%s\n", frames_,
                         (unsigned long long)scan_.frameOffset(), err,
                         failed_ == kMaxReports ? " (further failures not shown)" : "");
        size_t first = 0, count = n;
        if (skip_) {
            first = skip_ < (long long)count ? size_t(skip_) : count;
            skip_ -= first;
        }
        count -= first;
        // The tag's length trims the encoder padding of its last frame; frames past it (more
        // audio appended) are written whole.
        if (remaining_ == 0 && sawEnd_) remaining_ = -1;
        if (remaining_ >= 0) {
            if ((long long)count >= remaining_) count = size_t(remaining_), sawEnd_ = true;
            remaining_ -= count;
        }
        if (!count) continue;
        *pcm = pcm_.data() + first * channels_;
        *frames = count;
        return true;
    }
    return false;
}
