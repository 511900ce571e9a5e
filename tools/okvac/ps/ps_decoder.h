// Parametric-stereo synthesis: from a mono QMF-domain frame and its stereo parameters to a
// left and a right QMF-domain frame. The low QMF bands are split by the hybrid analysis
// (20- or 34-band configuration), a decorrelated copy is made with all-pass filters and
// delays, attenuated at transients, and mixed with the mono signal per parameter band and
// slot; the hybrid subbands are then summed back into QMF bands. The hybrid filters are
// centred on the output slot: they read six slots ahead in the split bands, which the caller
// supplies, so the output keeps the input's timing. Where a stream sends IPD/OPD phases, they
// rotate the mixing matrices (smoothed over three envelopes), as in the unrestricted decoder.
#pragma once
#include "okvac.h"
#include "ps_reader.h"

class PsDecoder {
public:
    static constexpr int kSlots = 32, kBands = 64;
    static constexpr int kLookahead = 6;  // extra input slots, of which bands 0..4 are read

    PsDecoder();

    // One frame: left and right are kSlots rows of kBands complex values, mono has kSlots +
    // kLookahead rows (the last ones are the next frame's first slots, needed in bands 0..4
    // only); left may be the mono buffer itself. `f` null: no parameters this frame, the last ones hold.
    // Fails only if the hybrid analysis does.
    StatusCode process(const PsFrame* f, const Okv32fc* mono, Okv32fc* left, Okv32fc* right);

private:
    static constexpr int kMaxSub = 91, kMaxPar = 34, kLongDelay = 14, kLinkHist = 5;
    struct Mix {
        float h[4];   // h11 h12 h21 h22
        float im[4];  // their imaginary parts, from the phases
    };

    StatusCode hybridAnalysis(const Okv32fc* mono);
    void decorrelate();
    void mix(const PsFrame* f, Okv32fc* left, Okv32fc* right);
    void switchConfig(bool is34);
    void targetMatrices(const PsFrame& f, int env, Mix* out);

    bool is34_ = false;
    Okv32fc qmfHist_[5][kLookahead] = {};  // slots before this frame of the bands that may be split
    // Mono subband signal: kLongDelay slots of history, then this frame's slots.
    Okv32fc s_[kMaxSub][kLongDelay + kSlots] = {};
    Okv32fc d_[kMaxSub][kSlots] = {};  // decorrelated signal of this frame
    Okv32fc link_[50][3][kLinkHist + kSlots] = {};  // all-pass link states
    float peak_[kMaxPar] = {}, smooth_[kMaxPar] = {}, diffSmooth_[kMaxPar] = {};
    Mix prev_[kMaxPar];  // matrices reached at the end of the previous frame
    uint8_t ipdHist_[17] = {}, opdHist_[17] = {};  // two previous phase indices: older * 8 + old
    float hybIn_[88] = {}, hybOut_[kSlots * 24] = {};
};
