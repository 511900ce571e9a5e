// The library's AAC tables the tool reads: scalefactor-band offsets of the 1024- and 128-line windows
// per sampling-rate index (0..11) with the long window's band count and TNS band limit, and the TNS
// reflection coefficients.
#pragma once
#include "okvac.h"

const Okv16s* longBandOffsets(int rateIndex);
const Okv16s* shortBandOffsets(int rateIndex);
int longBandCount(int rateIndex);
int tnsMaxBandsLong(int rateIndex);

// Reflection coefficient of index c (-8..7) at resolution res (3 or 4), as the library has it.
double tnsReflection(int res, int c);
