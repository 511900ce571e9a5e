// A Layer III frame decoder assembled from the library's exports.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3_stream.h"
#include "okvac.h"

class Mp3Decoder {
public:
    static constexpr size_t kInputPad = 16;  // look-ahead of the library's bit readers

    explicit Mp3Decoder(bool floatSynth);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    bool ok() const { return ok_; }  // false when the float filterbanks could not be set up
    // Decodes one frame (size bytes at frame, described by fi) into fi.samples interleaved sample
    // frames of outChannels (1 or 2) channels; paddedInput says that 16 readable bytes follow the
    // frame. Returns nullptr on success, otherwise what went wrong; pcm then holds silence and
    // the decoder is ready for the next frame.
    const char* decode(const uint8_t* frame, size_t size, bool paddedInput, const Mp3FrameInfo& fi,
                       int outChannels, int16_t* pcm);

private:
    const char* decodeMainData(size_t start, const MP3FrameHeader& h, const Mp3FrameInfo& fi, int outChannels,
                               int16_t* pcm);
    void synthesise(int ch, int outChannels, int16_t* pcm);
    // Appends to the reservoir (keeping at least the last 511 bytes); returns the length before.
    size_t appendMainData(const uint8_t* p, size_t n);

    bool float_, ok_ = true;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> res_;  // bit reservoir: main data of the latest frames
    size_t resLen_ = 0;

    MP3SideInfo si_[4];
    int scfsi_[8];
    alignas(16) Okv8s scf_[80];
    alignas(16) Okv32s xr_[2 * 576];
    alignas(16) Okv32s work_[576];
    alignas(16) Okv32s slots_[576];
    int nzb_[2];

    alignas(16) Okv32s overlap_[2][576];
    int prevCount_[2] = {0, 0};
    alignas(16) Okv32s hist_[2][512];
    int pos_[2] = {0, 0};
    PQMFSynthesisSpec* spec_[2] = {nullptr, nullptr};
    alignas(16) Okv32f rows_[2][576];  // float synthesis output of one granule
};
