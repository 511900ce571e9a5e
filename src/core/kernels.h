// Internal vector kernels shared by every family. Not exported.
// Shape: pointer arguments first, element count, then extra parameters;
// okvErrNullPtr before okvErrSize, nothing written before the checks pass.
#pragma once

#include <xmmintrin.h>

#include "core/okv_internal.h"

namespace OKV_NS {

StatusCode okvsCopy_8u(const Okv8u* src, Okv8u* dst, int len);
StatusCode okvsCopy_32s(const Okv32s* src, Okv32s* dst, int len);
StatusCode okvsCopy_32f(const Okv32f* src, Okv32f* dst, int len);
// Overlapping ranges allowed: the result is as if src were copied aside first.
StatusCode okvsMove_8u(const Okv8u* src, Okv8u* dst, int len);
StatusCode okvsMove_32f(const Okv32f* src, Okv32f* dst, int len);

StatusCode okvsZero_8u(Okv8u* dst, int len);
StatusCode okvsZero_16s(Okv16s* dst, int len);
StatusCode okvsZero_32s(Okv32s* dst, int len);
StatusCode okvsZero_32sc(Okv32sc* dst, int len);
StatusCode okvsZero_32f(Okv32f* dst, int len);
StatusCode okvsZero_32fc(Okv32fc* dst, int len);

StatusCode okvsSet_32s(Okv32s value, Okv32s* dst, int len);
// Unchecked byte fill.
void ownsSet_8u(Okv8u value, Okv8u* dst, int len);

// srcDst[i] = Sfs(srcDst[i] + src[i]) with the exact (33-bit) sum.
StatusCode okvsAdd_32s_ISfs(const Okv32s* src, Okv32s* srcDst, int len, int scaleFactor);
// scaleFactor is clamped to -15..31.
StatusCode okvsConvert_32s16s_Sfs(const Okv32s* src, Okv16s* dst, int len, int scaleFactor);
// round(src[i] * 2^-scaleFactor) saturated to 16 bits; rndMode okvRoundTowardZero,
// okvRoundHalfEven, anything else half away from zero. The caller's MXCSR is kept.
StatusCode okvsConvert_32f16s_Sfs(const Okv32f* src, Okv16s* dst, int len, int rndMode,
                                  int scaleFactor);
StatusCode okvsConvert_16s32f(const Okv16s* src, Okv32f* dst, int len);

StatusCode okvsMul_32fc(const Okv32fc* src1, const Okv32fc* src2, Okv32fc* dst, int len);
StatusCode okvsMul_32fc_I(const Okv32fc* src, Okv32fc* srcDst, int len);
// value 1: untouched; value 0: zeroed (NaN and infinity included).
StatusCode okvsMulC_32f_I(Okv32f* srcDst, int len, Okv32f value);
// value < 0: okvErrShift; >= 32: sign fill.
StatusCode okvsRShiftC_32s_I(int value, Okv32s* srcDst, int len);

StatusCode okvsSortAscend_32s_I(Okv32s* srcDst, int len);
// hint 1: float sums in blocks of 1024 with double totals; else all double. len >= 2.
StatusCode okvsStdDev_32f(const Okv32f* src, int len, Okv32f* pStdDev, int hint);
StatusCode okvsMinMax_16s(const Okv16s* src, int len, Okv16s* pMin, Okv16s* pMax);

StatusCode okvsConj_32fc(const Okv32fc* src, Okv32fc* dst, int len);
// A null part reads as zeros (both null: okvErrNullPtr).
StatusCode okvsRealToCplx_32f(const Okv32f* srcRe, const Okv32f* srcIm, Okv32fc* dst, int len);
StatusCode okvsCplxToReal_32fc(const Okv32fc* src, Okv32f* dstRe, Okv32f* dstIm, int len);

// Core-service allocation; len <= 0 gives null without calling the allocator.
Okv8u* okvsMalloc_8u(int len);
Okv32f* okvsMalloc_32f(int len);
void okvsFree(void* p);

// Sets the MXCSR rounding field for a scope and restores the caller's word.
class OkvRoundingScope {
public:
    enum Mode : unsigned { Nearest = 0x0000, Down = 0x2000, Up = 0x4000, TowardZero = 0x6000 };
    explicit OkvRoundingScope(Mode m) : saved_(_mm_getcsr()) {
        _mm_setcsr((saved_ & ~0x6000u) | m);
    }
    ~OkvRoundingScope() { _mm_setcsr(saved_); }
    OkvRoundingScope(const OkvRoundingScope&) = delete;
    OkvRoundingScope& operator=(const OkvRoundingScope&) = delete;

private:
    unsigned saved_;
};

}  // namespace OKV_NS
