// TNS side data of a channel, as the frame decoder hands it to the TNS exports, and the
// decoder's own filter for long windows with a filter above order 12.
//
// Only the Main profile codes such orders (up to 20). The library's TNS takes them through a
// step-up recursion that keeps 16 fractional bits of each coefficient it reuses; behind a
// high-gain filter (a loud onset) that moves the spectrum by a part in a thousand, more than
// 10 LSB at the output. These windows are filtered here instead: the library's reflection
// coefficients, the recursion and the all-pole filters in double precision, every output
// rounded to the nearest Q3 value.
#pragma once
#include "okvac.h"

struct TnsSide {
    const int *nFilt, *length, *order, *coefRes, *direction;
    const Okv8s* coef;
    int maxSfb;
};

// True when the long window's filters need the decoder's own filter.
bool tnsAboveOrder12(const TnsSide& t);

// The filters of one long window of x, side data as the library's noiseless decoder leaves it
// (lengths already limited to the band count).
void tnsLongWindow(Okv32s* x, const TnsSide& t, int rateIndex);
