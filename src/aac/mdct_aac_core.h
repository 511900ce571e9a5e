// AAC MDCT cores through a quarter-length complex FFT (M = 1024 or 128 coefficients, order
// 9 or 6 of the FFT), shared by the filterbank exports and the long-term prediction tools.
#pragma once

#include "core/okv_internal.h"

namespace OKV_NS::aacmdct {

// Inverse core: M coefficients x (Q3) to M outputs y, from which the 2M-sample
// inverse transform follows (see imdctSample). `bfp` selects the block-floating-point core
// with rounded post-twiddles; without it the post-twiddle keeps the high 32 bits and the
// caller provides the FFT headroom.
void inverse(const Okv32s* x, Okv32s* y, int order, bool bfp);

// Sample n (0..2M-1) of the inverse transform from the core output y of M values.
inline int32_t imdctSample(const Okv32s* y, int m, int n)
{
    if (n < m / 2) return y[n];
    if (n < m) return int32_t(0u - Okv32u(y[m - 1 - n]));
    if (n < 3 * m / 2) return y[n - m / 2];
    return y[5 * m / 2 - 1 - n];
}

// Forward cores: 2M windowed samples u to M coefficients X (X may alias u). The
// block-floating-point core rounds per the scale it found; the plain one rounds the
// pre-twiddle to the input scale and truncates the post-twiddle.
void forwardBfp(const Okv32s* u, Okv32s* X, int order);
void forwardPlain(const Okv32s* u, Okv32s* X, int order);

}  // namespace OKV_NS::aacmdct
