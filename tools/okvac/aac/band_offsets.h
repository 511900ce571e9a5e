// Scalefactor-band offsets of the 1024- and 128-line windows per sampling-rate index (0..11),
// with the long window's band count and TNS band limit, from the library's band tables.
#pragma once
#include "okvac.h"

const Okv16s* longBandOffsets(int rateIndex);
const Okv16s* shortBandOffsets(int rateIndex);
int longBandCount(int rateIndex);
int tnsMaxBandsLong(int rateIndex);
