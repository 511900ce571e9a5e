// Decodes AAC-LC raw data blocks to 16-bit PCM with the library's exports: noiseless decoding,
// inverse quantisation, M/S, noise substitution, intensity, TNS and the inverse MDCT.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "aac_config.h"
#include "main_prediction.h"
#include "okvac.h"

class AacFrameDecoder {
public:
    AacFrameDecoder();
    ~AacFrameDecoder();
    AacFrameDecoder(const AacFrameDecoder&) = delete;
    AacFrameDecoder& operator=(const AacFrameDecoder&) = delete;

    std::string configure(const AacConfig& cfg);  // cfg.layout must be set; empty on success
    int channels() const { return layout_.channels; }

    // Decodes the raw data block at (*p, *off), which must end by end; at least
    // aacbounds::kGuardBytes zero bytes must follow end. Writes 1024 interleaved sample frames
    // to pcm and leaves the cursor after the block's byte alignment. On failure returns what
    // went wrong: pcm then holds silence and the overlap is cleared.
    std::string decodeBlock(const uint8_t** p, int* off, const uint8_t* end, int16_t* pcm);

    bool sawSbr() const { return sawSbr_; }  // an SBR extension payload was met
    void clearOverlap();

private:
    struct Channel;
    struct Stream;  // one decoded individual channel stream
    std::string decodeElements(const uint8_t** p, int* off, const uint8_t* end);
    std::string readStream(const uint8_t** p, int* off, Stream* s, bool commonWin, AACMainHeader* mh);
    std::string decodeSingle(const uint8_t** p, int* off, int out);
    std::string decodePair(const uint8_t** p, int* off, int out0, int out1);
    std::string skipCoupling(const uint8_t** p, int* off, const uint8_t* end);
    std::string spectralTools(Stream* l, Stream* r, const AACChanPairElt* cpe);
    std::string synthesise(Stream* s, int out);

    AacConfig cfg_;
    ChannelLayout layout_;
    std::vector<Channel> ch_;      // per output channel
    std::vector<uint8_t> present_; // output channels written by the current block
    Stream* st_[2];
    int seed_ = 0;
    bool sawSbr_ = false;
    OkvsVLCDecodeSpec_32s* sfSpec_ = nullptr;  // scalefactor codebook for coupling gains
    MainPrediction main_;
};
