// Layer III encoder (MPEG-1, MPEG-2 LSF) built on the library's exports: psychoacoustic model, analysis
// filterbank, forward MDCT, mid/side, quantisation, bit reservoir and packers. Frames come out in order once their
// main-data slot is filled (main data may start in earlier frames' slots).
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "mp3/block_types.h"
#include "mp3/huffman_writer.h"
#include "okvac.h"

class Mp3Encoder {
public:
    enum class Mode { Stereo, Joint, Mono };
    // False with *error set for a rate, bitrate or layout that cannot be written. intensity lets
    // joint stereo use intensity stereo where the psychoacoustic model asks for it.
    bool init(int rate, int inChannels, int kbps, Mode mode, bool crc, bool intensity, std::string* error);
    // One frame of frameSamples() sample frames (interleaved, inChannels); complete frames go to out.
    void encode(const int16_t* pcm, std::vector<uint8_t>& out);
    // Before the tag and the first frame, for an input known to hold only samples (per channel):
    // one that short goes in behind a lead of silence, which the tag's delay includes.
    void setInputLength(long long samples);
    // Frames of silence until the decoded signal holds all samples (per channel) of the input
    // that went in, then the remaining frames, their slots padded with zeros.
    void finish(long long samples, std::vector<uint8_t>& out);
    int channels() const { return nch_; }
    int frameSamples() const { return 576 * granules_; }  // per channel
    // The tag frame that goes ahead of the stream: with the totals of the frames written so far
    // and samples (per channel) of input once they are all written; before any, a tag that
    // gives only the delay.
    std::vector<uint8_t> infoTag(long long samples) const;

private:
    struct Pending {
        std::vector<uint8_t> head;  // header, CRC and side information
        size_t slot;                // main-data bytes of the frame
    };
    void emit(std::vector<uint8_t>& out);
    // Joint stereo and quantisation of the frame's spectra xr (in: as transformed, out:
    // quantised) into sf, scfsi, count1 and huf; with intensity stereo, bound ends where
    // decoders will find it.
    void quantise(std::vector<Okv32s>& xr, MP3SideInfo* si, MP3PsyRatio* ratio, int* bound, Okv8s* sf, int* scfsi,
                  int* count1, int* huf, int bits);
    // LSF main data of the frame's records at p (zeroed) in mainData_; returns the bits written.
    long writeLsf(const Okv32s* xr, const Okv8s* sf, MP3SideInfo* si, const int* count1, int rec, Okv8u* p);

    MP3FrameHeader h_{};
    MP3BitReservoir resv_{};
    int lead_ = 0;  // samples of silence ahead of the input
    int inChannels_ = 0, nch_ = 0, granules_ = 2, kbps_ = 0, rate_ = 0, padAcc_ = 0;
    bool crc_ = false, intensity_ = false;
    int lastGain_[2] = {210, 210};  // global_gain of each channel's granules, smoothed
    std::vector<int16_t> pcm_[2];       // kHistory samples of history, the frame, then the lead's samples of the input ahead
    std::vector<int16_t> psyIn_;        // the frame interleaved for the model
    std::vector<Okv8u> psyState_, psyWork_;
    BlockTypes blockTypes_;
    std::vector<Okv32s> overlap_[2];
    std::vector<uint8_t> mainData_;     // main data not yet placed in a frame
    // Per-frame buffers, sized at init: spectra, one granule's subbands, scalefactors, the
    // spectra kept for a second quantisation pass and the quantiser's work.
    std::vector<Okv32s> xr_, sub_, spectra_, quantWork_;
    std::vector<Okv8s> sf_;
    std::deque<Pending> pending_;
    HuffmanWriter huffman_;  // LSF only
    long long encoded_ = 0, frames_ = 0, bytes_ = 0;  // frames encoded, frames written and their bytes
    uint16_t audioCrc_ = 0;
};
