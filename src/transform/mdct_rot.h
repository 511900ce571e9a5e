// Rotation tables and the linear passes around the FFT of the float MDCT.
#pragma once

#include "transform/fft.h"
#include "transform/fft_small.h"

namespace OKV_NS {

// (sqrt2 sin a, sqrt2 cos a), a = (m + 1/8) 2 pi / len, for m < len/4: plain
// pairs for 12 and 36; for powers of two grouped per 4 front and 4 back slots.
void ownsMdctTable_32f(Okv32f* t, int len);

// Powers of two: fold + pre-rotation into z, post-rotation (+ unfold) out of z.
void ownsMdctFwdPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len);
void ownsMdctFwdPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len);
void ownsMdctInvPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len);
void ownsMdctInvPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len);

}  // namespace OKV_NS
