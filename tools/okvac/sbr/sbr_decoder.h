// SBR for the channel elements of an AAC stream: reads the extension payloads of fill elements,
// keeps each element's header and band tables, and turns each channel's 1024 core samples into
// 2048 output samples.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sbr/sbr_bitstream.h"
#include "sbr/sbr_channel.h"

// One SCE or CPE's SBR state: header, tables, and the frame read from the current block.
class SbrElement {
public:
    // Reads one extension payload (the bits after the 4-bit extension type; crc: type 14).
    // False with *why set when the payload is damaged; the frame then counts as absent.
    bool read(const uint8_t* payload, int bits, bool pair, bool crc, const SbrHuffman& hf, int sbrRate, std::string* why);
    void clearFrame() { haveFrame_ = false; }
    bool haveFrame() const { return haveFrame_; }
    // Resets since the stream start: a channel resets when this moves on.
    int generation() const { return generation_; }

    const SbrHeader& header() const { return hdr_; }
    const SbrFreqTables& tables() const { return tab_; }
    const SbrChannelFrame& frame(int ch) const { return frame_[ch]; }
    const SbrLevels& levels(int ch) const { return levels_[ch]; }
    // The parametric-stereo extension of the last payload: start and length in bits within the
    // payload buffer that was read (length 0 when there was none).
    const uint8_t* psData() const { return psData_; }
    int psBitOffset() const { return psOffset_; }
    int psBits() const { return psBits_; }

private:
    bool readData(BitCursor* bc, bool pair, const SbrHuffman& hf);
    void dequantise(bool pair);

    SbrHeader hdr_;
    SbrFreqTables tab_;
    bool haveHeader_ = false, tablesOk_ = false, haveFrame_ = false;
    int generation_ = 0;
    bool coupled_ = false;
    SbrChannelFrame frame_[2];
    SbrDeltaState delta_[2];
    SbrLevels levels_[2];
    const uint8_t* psData_ = nullptr;
    int psOffset_ = 0, psBits_ = 0;
};

class SbrDecoder {
public:
    // One element per layout slot (slots without SBR data, such as an LFE, stay empty) and one
    // SBR channel per output channel, at the SBR rate sbrRate (twice the core rate). down: the
    // downsampled 32-band synthesis; lp: low power (real-valued fixed-point banks).
    bool configure(int sbrRate, int numSlots, int channels, bool down = false, bool lp = false);
    // Reads an extension payload for the element in layout slot s.
    bool read(int slot, const uint8_t* payload, int bits, bool pair, bool crc, std::string* why);
    void startBlock();
    // Two halves per output channel c. analyse: QMF analysis of its core samples and, when the
    // element (slot, index) carried valid SBR data, HF generation and adjustment; else the
    // upsampled core. Between the halves channel(c).matrix() holds the QMF-domain signal (the
    // point where parametric stereo takes the mono matrix, with element(slot).psBits()).
    // synthesise: 2048 (downsampled: 1024) output samples.
    void analyse(int c, int slot, int index, const int16_t* core);
    bool synthesise(int c, float* out) { return ch_[size_t(c)]->synthesise(out); }
    bool process(int c, int slot, int index, const int16_t* core, float* out) {
        analyse(c, slot, index, core);
        return synthesise(c, out);
    }
    SbrChannel& channel(int c) { return *ch_[size_t(c)]; }
    const SbrElement& element(int slot) const { return el_[size_t(slot)]; }

private:
    int rate_ = 0;
    SbrHuffman hf_;
    std::vector<SbrElement> el_;
    std::vector<std::unique_ptr<SbrChannel>> ch_;
    std::vector<int> chGeneration_;
};
