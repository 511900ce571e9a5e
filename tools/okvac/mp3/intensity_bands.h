// Intensity-stereo helpers of the Layer III encoder: LSF positions, and the bound decoders read
// back from the right channel's quantised values.
#pragma once
#include "okvac.h"

// LSF intensity for one granule. The library's joint-stereo encoder writes MPEG-1 positions
// (tangent ratios); LSF decoders read a position p as a level step instead: the coded channel
// is played at full level on one side and 2^(-k/4) on the other, k = (p + 1) >> 1 (odd p: left
// attenuated, even p: right). So for each band from the bound up, the louder channel's lines
// from l0, r0 (the spectra before joint stereo) go to l, r is cleared, and pos (the layout of
// the scalefactor array: long band b, or 3 * band + window) gets p with k the energy ratio
// rounded to quarter steps in amplitude, at most 7 (-10.5 dB), which keeps p below 15, the
// smallest illegal value of the 4-bit partitions; p = 7 is never written. The top band (21 long, 12 short) has no
// scalefactor of its own; the quantiser clears it.
void lsfIntensity(const Okv32s* l0, const Okv32s* r0, Okv32s* l, Okv32s* r, Okv8s* pos, bool shortBlock, int row,
                  const int* bound);

// Lowers bound (1 value for long blocks, 3 for short) to where decoders will place it: one
// past the last band (per window for short blocks) in which the right channel's quantised
// values q are non-zero. Returns whether any bound moved.
bool settleBound(const Okv32s* q, bool shortBlock, int row, int* bound);
