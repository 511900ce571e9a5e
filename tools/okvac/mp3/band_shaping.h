// Spectrum and masking ratios of one granule and channel prepared for the quantiser.
#pragma once
#include "okvac.h"

// The quantiser derives each band's step from the band's peak and its masking ratio, so a
// quiet band far below the loud ones would get a finer step than they do and spend bits on
// detail under their noise. Before quantisation:
//  - bands whose peak lies 48 dB or more below the granule's loudest band, or below a quarter
//    of the step of the channel's recent granules (prevGain: their global_gain; 210 for none),
//    are cleared: at that step they would round to zero;
//  - every other band's ratio is raised so that its step is not finer than the loudest band's,
//    with 5 dB to spare (the loudest band's ratio counts at least 0.001, the finest step class).
// row: band-table row (id * 3 + sampling_frequency).
void shapeBands(Okv32s* xr, MP3PsyRatio& ratio, const MP3SideInfo& si, int row, int prevGain);
