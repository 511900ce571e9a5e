// Decodes AAC-LC raw data blocks to 16-bit PCM with the library's exports: noiseless decoding,
// inverse quantisation, M/S, noise substitution, intensity, TNS and the inverse MDCT, and the
// coupling channel elements. The channels of a block are finished (LTP, TNS, filterbank) once
// all its elements are read, since a coupling element follows the channels it feeds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aac_config.h"
#include "ltp_channel.h"
#include "main_prediction.h"
#include "okvac.h"
#include "ps/ps_stage.h"
#include "sbr/sbr_decoder.h"

class AacFrameDecoder {
public:
    AacFrameDecoder();
    ~AacFrameDecoder();
    AacFrameDecoder(const AacFrameDecoder&) = delete;
    AacFrameDecoder& operator=(const AacFrameDecoder&) = delete;

    // cfg.layout must be set. Unless coreOnly, SBR runs when the configuration signals it or
    // when the first block carries an SBR payload (output at twice the core rate).
    // lowPower: SBR on the real-valued fixed-point QMF banks.
    void configure(const AacConfig& cfg, bool coreOnly = false, bool lowPower = false);
    // Output channels: a mono stream with SBR gives two unless its configuration rules out
    // parametric stereo (known after the first block when SBR is not signalled).
    int channels() const { return psOn_ ? 2 : layout_.channels; }
    int maxChannels() const { return mayPs() ? 2 : layout_.channels; }
    bool psActive() const { return psOn_; }
    bool sbrActive() const { return sbrOn_; }
    // SBR doubles the rate, unless the configuration asks for its downsampled form (an SBR
    // output rate equal to the core's).
    int blockLength() const { return sbrOn_ && !sbrDown_ ? 2048 : 1024; }

    // Decodes the raw data block at (*p, *off), which must end by end; at least
    // aacbounds::kGuardBytes zero bytes must follow end. Writes blockLength() interleaved sample frames
    // to pcm and leaves the cursor after the block's byte alignment. On failure returns what
    // went wrong: pcm then holds silence and the overlap is cleared.
    std::string decodeBlock(const uint8_t** p, int* off, const uint8_t* end, int16_t* pcm);

    bool sawSbr() const { return sawSbr_; }  // an SBR extension payload was met
    // A damaged SBR payload of the last block (that block's channel was decoded as the
    // upsampled core), or empty.
    const std::string& sbrProblem() const { return sbrProblem_; }
    SbrDecoder* sbr() { return sbr_.get(); }
    void clearOverlap();

private:
    struct Channel;
    struct Stream;    // one decoded individual channel stream
    struct Coupling;  // a coupling channel element and its filterbank state
    static constexpr int kMaxElements = 64;  // per raw data block; more is damage
    static constexpr int kCouplingTags = 16;
    std::string decodeElements(const uint8_t** p, int* off, const uint8_t* end);
    // second: the second channel of a pair (its LTP data follows the first's).
    std::string readStream(const uint8_t** p, int* off, Stream* s, bool commonWin, AACMainHeader* mh, bool second);
    std::string decodeSingle(const uint8_t** p, int* off, int out);
    std::string decodePair(const uint8_t** p, int* off, int out0, int out1);
    std::string decodeCoupling(const uint8_t** p, int* off, const uint8_t* end);
    std::string spectralTools(Stream* l, Stream* r, const AACChanPairElt* cpe);
    std::string temporalTools(Stream* s);
    std::string finishChannels();
    // Calls f(coupling, gain list) for every coupling element of the block that feeds output
    // channel out; independent: the time-domain ones, else the dependent ones of domain.
    template <class F> void forEachCoupling(int out, bool independent, int domain, F f);
    std::string synthesise(Stream* s, int out);
    void readFill(const Okv8u* data, int count);
    std::string sbrOutput(int16_t* pcm);
    bool startSbr();
    void startPs();
    // Parametric stereo needs the complex QMF domain: low power keeps such a stream mono.
    bool mayPs() const {
        return cfg_.ps != 0 && !coreOnly_ && !sbrLp_ && layout_.channels == 1 && layout_.slots.size() == 1;
    }

    AacConfig cfg_;
    ChannelLayout layout_;
    std::vector<Channel> ch_;      // per output channel
    std::vector<uint8_t> present_; // output channels written by the current block
    std::vector<LtpChannel> ltp_;  // per output channel, LTP streams only
    std::unique_ptr<Stream[]> streams_;  // per output channel, then two for elements outside the layout
    std::unique_ptr<Coupling[]> cce_;    // per element instance tag, from the first coupling element on
    struct Placed {
        int type, tag, out[2];
    };
    Placed placed_[kMaxElements];  // the channel elements of the current block
    int numPlaced_ = 0;
    int seed_ = 0;
    bool sawSbr_ = false;
    MainPrediction main_;
    bool coreOnly_ = false, sbrOn_ = false, sbrDown_ = false, sbrLp_ = false;
    long blocks_ = 0;
    int lastSlot_ = -1;  // layout slot of the last channel element, -1 when it has none
    bool lastPair_ = false;
    std::unique_ptr<SbrDecoder> sbr_;
    std::vector<int> chSlot_, chIndex_;  // per output channel: layout slot and place in it
    std::vector<std::vector<float>> sbrOut_;
    std::unique_ptr<PsStage> ps_;  // set while a mono stream is decoded to stereo
    bool psOn_ = false;
    std::string sbrProblem_;
    OkvsVLCDecodeSpec_32s* sfSpec_ = nullptr;  // scalefactor codebook of the coupling gains
};
