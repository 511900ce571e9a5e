// Internal power-of-two FFT engine: complex interleaved, complex split, real
// (Perm-packed spectrum) and 16-bit complex kinds. Not exported.
#pragma once

#include "core/okv_internal.h"

namespace OKV_NS {

enum : Okv32s {
    kFftIdC16sc = 1,
    kFftIdC32fc = 4,
    kFftIdC32f = 5,
    kFftIdR32f = 6,
};

// Normalisation flags.
enum : int {
    kFftNoDiv = 8,
    kFftDivFwdByN = 1,
    kFftDivInvByN = 2,
    kFftDivBySqrtN = 4,
};

// Float spec (identifiers 4, 5, 6). The leading fields follow the documented
// header order; the rest is private layout.
struct OkvsFFTSpec_32f {
    Okv32s id;
    Okv32s order;
    Okv32s fwdScale;  // 1 when the forward direction multiplies by scale
    Okv32s invScale;
    Okv32f scale;
    Okv32s hint;
    Okv32s workSize;
    Okv32s allocated;
    const Okv32s* bitrev;     // first-pass source offset of every fourth group (orders 4..15)
    const Okv32f* twiddle;    // stage twiddles: the radix-4 stages, then the radix-8 ones
    const Okv32fc* recFwd;    // real kind: exp(-2 pi i k / N), k < N/4 (or coarse table)
    const Okv32fc* recFine;   // real kind, order >= 18: exp(-2 pi i k / N), k < 1024
    const Okv32fc* base;      // order >= 16: exp(-2 pi i k / N), k < N/2
    Okv8u* mem;               // block to release when allocated here
    Okv32s tabStages;         // order >= 16: stages served by the per-stage table
    Okv32s corder;            // order of the complex transform the tables serve
};
static_assert(sizeof(OkvsFFTSpec_32f) <= 88, "float FFT header");

struct OkvsFFTSpec_16sc {
    Okv32s id;
    Okv32s order;
    Okv32s fwdShift;
    Okv32s invShift;
    Okv32s invSqrt2;  // multiply by 1/sqrt(2) before the final shift
    Okv32s hint;
    Okv32s workSize;
    Okv32s floatPath;
    Okv32s allocated;
    Okv32s pad;
    const Okv32s* bitrev;
    Okv8u* mem;
    OkvsFFTSpec_32f* inner;  // float path only
};
static_assert(sizeof(OkvsFFTSpec_16sc) <= 128, "16-bit FFT header");

StatusCode okvsFFTGetSize_C_32fc(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize);
StatusCode okvsFFTGetSize_C_32f(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                int* pWorkBufSize);
StatusCode okvsFFTGetSize_R_32f(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                int* pWorkBufSize);
StatusCode okvsFFTGetSize_C_16sc(int order, int flag, int hint, int* pSpecSize, int* pInitBufSize,
                                 int* pWorkBufSize);

StatusCode okvsFFTInit_C_32fc(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                              Okv8u* pSpecMem, Okv8u* pInitBuf);
StatusCode okvsFFTInit_C_32f(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                             Okv8u* pSpecMem, Okv8u* pInitBuf);
StatusCode okvsFFTInit_R_32f(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint,
                             Okv8u* pSpecMem, Okv8u* pInitBuf);
StatusCode okvsFFTInit_C_16sc(OkvsFFTSpec_16sc** ppSpec, int order, int flag, int hint,
                              Okv8u* pSpecMem, Okv8u* pInitBuf);

StatusCode okvsFFTInitAlloc_C_32fc(OkvsFFTSpec_32f** ppSpec, int order, int flag, int hint);
StatusCode okvsFFTInitAlloc_C_16sc(OkvsFFTSpec_16sc** ppSpec, int order, int flag, int hint);
StatusCode okvsFFTFree_C_32fc(OkvsFFTSpec_32f* pSpec);
StatusCode okvsFFTFree_C_16sc(OkvsFFTSpec_16sc* pSpec);

StatusCode okvsFFTGetBufSize_C_32fc(const OkvsFFTSpec_32f* pSpec, int* pSize);
StatusCode okvsFFTGetBufSize_C_16sc(const OkvsFFTSpec_16sc* pSpec, int* pSize);

StatusCode okvsFFTFwd_CToC_32fc(const Okv32fc* pSrc, Okv32fc* pDst, const OkvsFFTSpec_32f* pSpec,
                                Okv8u* pBuffer);
StatusCode okvsFFTInv_CToC_32fc(const Okv32fc* pSrc, Okv32fc* pDst, const OkvsFFTSpec_32f* pSpec,
                                Okv8u* pBuffer);
StatusCode okvsFFTFwd_CToC_32f(const Okv32f* pSrcRe, const Okv32f* pSrcIm, Okv32f* pDstRe,
                               Okv32f* pDstIm, const OkvsFFTSpec_32f* pSpec, Okv8u* pBuffer);
StatusCode okvsFFTFwd_RToPerm_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec,
                                  Okv8u* pBuffer);
StatusCode okvsFFTInv_PermToR_32f(const Okv32f* pSrc, Okv32f* pDst, const OkvsFFTSpec_32f* pSpec,
                                  Okv8u* pBuffer);
StatusCode okvsFFTFwd_CToC_16sc_Sfs(const Okv16sc* pSrc, Okv16sc* pDst,
                                    const OkvsFFTSpec_16sc* pSpec, int scaleFactor,
                                    Okv8u* pBuffer);

// Unchecked complex core (the real kind runs it on its half-length tables,
// unscaled); ownsFFT_32fc adds the direction's scaling.
void ownsFFTCore_32fc(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, bool inverse,
                      Okv8u* work);
// Unchecked complex core for callers that hold a valid spec and a work buffer
// of the stored size (64-byte aligned) or larger; src may equal dst.
void ownsFFT_32fc(const Okv32fc* src, Okv32fc* dst, const OkvsFFTSpec_32f* spec, bool inverse,
                  Okv8u* work);

// Unchecked forward transform of split data (identifier 5 spec).
void ownsFFTSplit_32f(const Okv32f* re, const Okv32f* im, Okv32f* dre, Okv32f* dim,
                      const OkvsFFTSpec_32f* spec, Okv8u* work);

bool ownsFFTFlagValid(int flag);
// Newton-refined reciprocal square root of the processor estimate.
Okv32f ownsInvSqrt(Okv32f x);
// exp(-2 pi i k / n) rounded to float.
Okv32fc ownsTwiddle(Okv64s k, Okv64s n);
// Recombination tables of the real kind, from p on.
void ownsFFTRealTables(OkvsFFTSpec_32f* s, Okv8u* p);

// Number of radix-4 stages (the first ones) after the first pass of the
// block path; the remaining levels go in radix-8 stages.
inline int ownsFFTRadix4Stages(int order) {
    const int levels = order - (order & 1 ? 3 : 2);
    return levels % 3 == 0 ? 0 : levels % 3 == 1 ? 2 : 1;
}

// Rounds p up to the next multiple of 64.
inline Okv8u* ownsAlign64(Okv8u* p) {
    return reinterpret_cast<Okv8u*>((reinterpret_cast<Okv64u>(p) + 63) & ~Okv64u(63));
}

}  // namespace OKV_NS
