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
    // After mono.analyse(): e is the element whose frame came in this block, or null; without
    // a valid payload the last stereo parameters hold. Writes a block to left and right.
    bool run(const SbrElement* e, SbrChannel& mono, float* left, float* right);
    // Whether the element's last payload carried parametric-stereo data.
    static bool present(const SbrElement& e);

private:
    PsReader reader_;
    PsDecoder dec_;
    PsFrame frame_;
    SbrChannel right_;  // its matrix and synthesis bank carry the right channel
};
