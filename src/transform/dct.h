// Internal orthonormal DCT of any length: forward type II, inverse type III.
#pragma once

#include "transform/fft.h"

namespace OKV_NS {

enum : Okv32s {
    kDctIdFwd = 21,
    kDctIdInv = 22,
};

struct OkvsDCTSpec_32f {
    Okv32s id;
    Okv32s len;
    Okv32s hint;
    Okv32s workSize;
    Okv32s allocated;
    Okv32f c0;        // 1/sqrt(N)
    Okv32f ck;        // sqrt(2/N)
    Okv32s smallKernel;
    Okv32s fftMethod;
    Okv32s convMethod;
    Okv32s m;         // convolution: DFT length M; L is 1 << fft->order
    Okv32s pad;
    const Okv32f* cosTab;   // direct method: cos(pi m / 2N), m < 4N
    const Okv32fc* post;    // FFT and convolution methods: c(k) exp(-i pi k / 2N)
    const Okv32fc* chirp;   // exp(-i pi n^2 / M)
    const Okv32fc* kernel;  // FFT of the conjugate chirp, divided by L
    const Okv32fc* rec;     // even N: exp(-2 pi i k / N), k < M
    const OkvsFFTSpec_32f* fft;
};
static_assert(sizeof(OkvsDCTSpec_32f) <= 96, "DCT header");

StatusCode okvsDCTFwdGetSize_32f(int len, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize);
StatusCode okvsDCTInvGetSize_32f(int len, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize);
StatusCode okvsDCTFwdInit_32f(OkvsDCTSpec_32f** ppSpec, int len, int hint, Okv8u* pMem,
                              Okv8u* pInitBuf);
StatusCode okvsDCTInvInit_32f(OkvsDCTSpec_32f** ppSpec, int len, int hint, Okv8u* pMem,
                              Okv8u* pInitBuf);
StatusCode okvsDCTFwd_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsDCTSpec_32f* pSpec,
                          Okv8u* pBuffer);
StatusCode okvsDCTInv_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsDCTSpec_32f* pSpec,
                          Okv8u* pBuffer);

}  // namespace OKV_NS
