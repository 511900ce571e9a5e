// Decoding a whole AAC stream held in memory (ADTS, ADIF or the first AAC track of an MP4/3GP
// file) to interleaved 16-bit PCM, with gapless trimming.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../pcm/pcm_source.h"
#include "aac_config.h"
#include "aac_frame_decoder.h"
#include "../container/adts_scanner.h"
#include "../container/detect.h"
#include "../container/mp4_reader.h"

// The whole input is held in memory: an MP4 file needs random access to its boxes and samples.
class AacStreamDecoder final : public PcmSource {
public:
    // coreOnly: decode just the AAC core of an HE-AAC stream, at the core's rate; sbrLowPower:
    // SBR on the real-valued fixed-point banks.
    AacStreamDecoder(std::vector<uint8_t> data, AacContainer kind, bool gapless, bool coreOnly = false,
                     bool sbrLowPower = false);

    // Reads the configuration; false with *why set when the stream cannot be decoded.
    bool setup(std::string* why);
    void setPrediction(bool on) { prediction_ = on; }  // AAC Main; before setup
    int channels() const override { return dec_.channels(); }
    // Twice the core rate once SBR runs (known after setup when signalled, else after the first block).
    int sampleRate() const override { return cfg_.sampleRate * dec_.blockLength() / 1024; }
    uint32_t channelMask() const override { return dec_.psActive() ? 0x3 : cfg_.layout.mask; }  // PS: left, right
    // Notes for the user (HE-AAC decoded as its core), known after setup and as decoding goes.
    std::string notes() const;

    // PCM of the next frame; false at the end. Frames that fail are silent and reported on
    // stderr (at most a few lines); an ADIF stream stops at its first failing block.
    bool next(const int16_t** pcm, size_t* frames) override;
    long frames() const override { return frames_; }
    long failedFrames() const override { return failed_; }

private:
    bool nextAdts();
    bool nextAdif();
    bool nextMp4();
    void load(const uint8_t* p, size_t n);  // into the guarded frame buffer
    void report(const std::string& what);
    void silence(int blocks);
    void startTrim();
    void sbrCheck();  // reports a damaged SBR payload of the last block

    std::vector<uint8_t> in_;
    const uint8_t* data_;
    size_t len_, pos_ = 0;
    AacContainer kind_;
    bool gapless_, coreOnly_, sbrLowPower_, prediction_ = true;
    AacConfig cfg_;
    AacFrameDecoder dec_;
    AdtsScanner adts_;
    AdtsInfo first_{};
    Mp4AacTrack track_;
    size_t au_ = 0;
    std::vector<uint8_t> buf_;
    std::vector<int16_t> pcm_;
    size_t pcmFrames_ = 0;
    long frames_ = 0, failed_ = 0;
    bool stopped_ = false, sbrNoted_ = false;
    int64_t skip_ = 0, remaining_ = -1;
    int64_t trimScale_ = 0;  // units of skip_ and remaining_ per second until the first block; 0 once converted
    long sbrReports_ = 0;
};
