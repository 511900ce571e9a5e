// One frame of SBR data for one channel as read from the bitstream: the time/frequency grid,
// inverse-filtering modes, envelope and noise-floor values (delta-decoded, not yet
// dequantised) and the sinusoid flags.
#pragma once
#include <cstdint>

#include "sbr/sbr_freq_tables.h"

struct SbrGrid {
    enum Class { kFixFix = 0, kFixVar = 1, kVarFix = 2, kVarVar = 3 };
    int frameClass = kFixFix;
    int numEnv = 1, numNoise = 1;
    int tE[6] = {0, 16};  // envelope borders in time slots of two QMF slots
    int tQ[3] = {0, 16};  // noise floor borders
    int freqRes[5] = {1};
    int pointer = 0;
    int lA = -1;  // transient envelope, -1 for none

    // Borders and transient envelope from the parsed fields; false when they do not ascend.
    bool derive(int absLead, int absTrail, const int* relLead, int nRelLead, const int* relTrail, int nRelTrail);
};

struct SbrChannelFrame {
    SbrGrid grid;
    int ampRes = 0;  // the frame's resolution (FIXFIX with one envelope forces 1.5 dB)
    int dfEnv[5] = {}, dfNoise[2] = {};
    int invf[5] = {};
    int env[5][64] = {};   // envelope values per envelope and band (after delta decoding)
    int noise[2][5] = {};  // noise floor values
    bool addHarmonicFlag = false;
    uint8_t addHarmonic[64] = {};
};
