// Main-profile frequency-domain prediction for the frame decoder: one predictor state of 1024
// lines per output channel, fed with a single-precision copy of each long-window channel made
// as a float decoder makes it, so that it tracks the encoder's predictor bit for bit.
#pragma once
#include <string>
#include <vector>

#include "okvac.h"

class MainPrediction {
public:
    MainPrediction() = default;
    ~MainPrediction();
    MainPrediction(const MainPrediction&) = delete;
    MainPrediction& operator=(const MainPrediction&) = delete;

    // Nothing unless the stream is a Main one; then one state per output channel, all reset.
    // Without active prediction the Main syntax is still read but no line is predicted.
    std::string configure(bool enabled, bool active, int channels, int rateIndex);
    bool enabled() const { return !states_.empty(); }
    int limit() const { return enabled() ? limit_ : 0; }
    void resetAll();

    // Before inverse quantisation: the float spectrum of stream slot 0 or 1 from its quantised
    // values (long windows only; intensity, noise and zero bands 0).
    void dequantise(int slot, const AACIcsInfo& ics, const Okv32s* q, const Okv16s* sf, const Okv8u* cb);
    // The pair's M/S on the float copies: the flags the Q3 conversion used (group 0), bands
    // whose right channel is noise or intensity left alone, as there.
    void midSide(const Okv8u* msFlags, const Okv8u* cbRight, int maxSfb);
    // After M/S, before intensity: predicts and updates the channel's lines (its state reset on
    // short frames), puts predicted lines back into the Q3 spectrum and applies the resets.
    std::string predict(int slot, int out, const AACIcsInfo& ics, const Okv8u* cb, Okv32s* spec);

private:
    std::vector<FDPState*> states_;
    bool active_ = true;
    int limit_ = 0;          // prediction band limit of the rate
    int offsets_[52] = {};   // long-window band offsets
    alignas(16) Okv32f x_[2][1024];
};
