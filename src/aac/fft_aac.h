// Fixed-point split-radix complex FFT of 32, 64, 128 or 512 points, shared by the AAC filterbank,
// the fixed-point SBR banks and the Layer III psychoacoustic model.
#pragma once

#include "core/okv_internal.h"

namespace OKV_NS {

// Forward DFT X[m] = sum x[n] e^(-2 pi i n m / K), K = 2^order (order 5, 6, 7 or 9), unscaled,
// in place, natural order in and out. Butterfly sums wrap at 32 bits; the caller leaves the
// headroom (the sum of the input magnitudes below 2^29 keeps every value within 32 bits).
void ownsIMDCT_FFT_32sc_I(Okv32sc* x, int order);

}  // namespace OKV_NS
