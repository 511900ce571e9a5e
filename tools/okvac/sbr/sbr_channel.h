// One output channel of the SBR decoder: QMF analysis of the core output, high-frequency
// generation and adjustment in the QMF domain, and QMF synthesis at twice the core rate.
#pragma once
#include <cstdint>
#include <vector>

#include "okvac.h"
#include "sbr/sbr_frame.h"

// Dequantised envelope and noise floor of one channel's frame.
struct SbrLevels {
    float env[5][64];    // per envelope and resolution band
    float noise[2][5];   // per noise envelope and noise band
};

class SbrChannel {
public:
    static constexpr int kSlots = 32;      // QMF slots per frame
    static constexpr int kOutRows = 38;    // matrix rows: 32 slots plus 6 slots of low-band look-ahead
    static constexpr int kLowRows = 40;    // analysis rows: 8 from the previous frame, then 32

    // down: the downsampled 32-band synthesis. lp: low power, the real-valued fixed-point banks
    // (the matrix then carries real values; imaginary parts are ignored by the synthesis).
    // False when a QMF bank cannot be built.
    bool init(bool down, bool lp = false);
    // Starts over after a header that changes the band tables.
    void reset() { reset_ = true; }

    // Analysis of 1024 core samples and, when a frame is given, HF generation and adjustment;
    // without one (no SBR data, or damaged data) the matrix holds the core alone. Fills matrix().
    void analyse(const int16_t* core, const SbrHeader* h, const SbrFreqTables* t, const SbrChannelFrame* f,
                 const SbrLevels* lv);
    // The hook between the two halves: rows 0..31 are the slots synthesised next, rows 32..37 the
    // low bands of the next frame's first slots; lowRow(r) is analysis row r (row 8 = this
    // frame's first slot, band values 0..31).
    Okv32fc* matrix(int row) { return out_[row]; }
    Okv32fc* lowRow(int row) { return low_[row]; }
    // Synthesis of matrix rows 0..31 into 2048 samples (downsampled: bands 0..31 into 1024).
    bool synthesise(float* pcm);

private:
    void hfGenerate(const SbrFreqTables& t, const SbrChannelFrame& f);
    void hfAdjust(const SbrHeader& h, const SbrFreqTables& t, const SbrChannelFrame& f, const SbrLevels& lv);
    void assemble(int kx, int iTemp, int kxPrev);

    struct Bank {
        std::vector<uint8_t> mem, init, work;
        SBRQMFSpec_32f* spec = nullptr;
    };
    Bank ana_, syn_;
    std::vector<uint8_t> fixedAna_, fixedSyn_;  // fixed-point bank structures (low power)
    bool down_ = false, lp_ = false;
    alignas(16) float lowRe_[kLowRows][32] = {};  // low power: the real analysis rows
    alignas(16) Okv32fc low_[kLowRows][32] = {};
    alignas(16) Okv32fc high_[kLowRows][64] = {};  // generated high band, rows as low_
    alignas(16) Okv32fc y_[kLowRows][64] = {};     // adjusted high band by output slot
    alignas(16) Okv32fc out_[kOutRows][64] = {};
    alignas(16) float core_[1024] = {};
    // Carried between frames.
    float bwPrev_[5] = {};
    int invfPrev_[5] = {};
    float gHist_[4][64] = {}, qHist_[4][64] = {};  // smoothing history: the last four slots
    uint8_t sinePrev_[64] = {};                     // sinusoids of the last envelope
    int noiseIndex_ = 0, sineIndex_ = 0;
    int iTemp_ = 0;         // slots of this frame still covered by the previous frame's envelopes
    int kxPrev_ = 32;
    bool transientPrev_ = false;  // the previous frame's transient sits at its end
    bool reset_ = true;
};
