// AAC MDCT cores through a quarter-length complex FFT (M = 1024 or 128 coefficients, order
// 9 or 6 of the FFT), shared by the filterbank exports and the long-term prediction tools.
#pragma once

#include "core/okv_internal.h"

namespace OKV_NS::aacmdct {

// Inverse core: M coefficients x (Q3) to M outputs y, from which the 2M-sample
// inverse transform follows (see imdctExpand). `bfp` selects the block-floating-point core
// with rounded post-twiddles; without it the post-twiddle keeps the high 32 bits and the
// caller provides the FFT headroom.
void inverse(const Okv32s* x, Okv32s* y, int order, bool bfp);

// The 2M-sample inverse transform z from the core output y of M values.
inline void imdctExpand(const Okv32s* y, Okv32s* z, int m)
{
    for (int n = 0; n < m / 2; ++n) {
        z[n] = y[n];
        z[m - 1 - n] = int32_t(0u - Okv32u(y[n]));
        z[m + n] = y[m / 2 + n];
        z[2 * m - 1 - n] = y[m / 2 + n];
    }
}

// Forward cores: 2M windowed samples u to M coefficients X (X may alias u). The
// block-floating-point core rounds per the scale it found; the plain one rounds the
// pre-twiddle to the input scale and truncates the post-twiddle.
void forwardBfp(const Okv32s* u, Okv32s* X, int order);
void forwardPlain(const Okv32s* u, Okv32s* X, int order);

}  // namespace OKV_NS::aacmdct
