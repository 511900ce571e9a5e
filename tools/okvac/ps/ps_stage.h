// Parametric stereo on a mono SBR channel: reads the element's PS payload, mixes the channel's
// QMF matrix into a left and a right matrix and synthesises both.
#pragma once
#include "ps_decoder.h"
#include "ps_reader.h"
#include "sbr/sbr_channel.h"

class SbrElement;

class PsStage {
public:
    bool init(bool down) { return right_.init(down); }  // down: as the mono channel's synthesis
    // Whether the element's payload, just read, carried parametric-stereo data.
    static bool present(const SbrElement& e);
    // Reads the PS data of the element's payload right after the payload itself (the payload
    // buffer does not outlive its fill element).
    void read(const SbrElement& e);
    // After mono.analyse(): mixes with the parameters read since the last call (without any,
    // the last ones hold) and writes a block to left and right.
    bool run(SbrChannel& mono, float* left, float* right);

private:
    PsReader reader_;
    PsDecoder dec_;
    PsFrame frame_;
    bool have_ = false;
    SbrChannel right_;  // its matrix and synthesis bank carry the right channel
};
