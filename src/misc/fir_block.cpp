// FIR filter across successive blocks: output k weighs element k of the last nTaps blocks.
#include <xmmintrin.h>

#include "core/bits.h"
#include "core/kernels.h"

namespace OKV_NS {
namespace {

constexpr Okv32s kFirBlockId = 58;

struct FirBlock {
    Okv32f* history;  // nTaps rows of stride floats
    Okv16s nTaps;
    Okv16s len;
    Okv16s stride;    // len rounded up to a multiple of 4
    Okv16s position;  // row of the newest block
    Okv32s id;
};

inline FirBlock* state(FIRBlockState* p) { return reinterpret_cast<FirBlock*>(p); }

// dst[k] op= tap * row[k] over len elements; each element keeps its own order of sums.
template <bool Add>
void accumulate(Okv32f* dst, const Okv32f* row, Okv32f tap, int len) {
    const __m128 t = _mm_set1_ps(tap);
    int k = 0;
    for (; k + 4 <= len; k += 4) {
        __m128 p = _mm_mul_ps(t, _mm_loadu_ps(row + k));
        if (Add) p = _mm_add_ps(_mm_loadu_ps(dst + k), p);
        _mm_storeu_ps(dst + k, p);
    }
    for (; k < len; ++k) dst[k] = Add ? dst[k] + tap * row[k] : tap * row[k];
}

}  // namespace

StatusCode okvsFIRBlockInitAlloc_32f(FIRBlockState** ppState, int nTaps, int len) {
    if (!ppState) return okvErrNullPtr;
    // Counts are kept in 16 bits, the stride too.
    if (nTaps < 1 || len < 1 || nTaps > 32767 || len > 32764) return okvErrFirLen;
    auto* s = reinterpret_cast<FirBlock*>(okvsMalloc_8u(int(sizeof(FirBlock))));
    if (!s) return okvErrMemAlloc;
    const int stride = (len + 3) & ~3;
    const Okv64s total = Okv64s(nTaps) * stride;
    s->history = total <= INT32_MAX ? okvsMalloc_32f(int(total)) : nullptr;
    if (!s->history) {
        okvsFree(s);
        return okvErrMemAlloc;
    }
    okvsZero_32f(s->history, int(total));
    s->nTaps = Okv16s(nTaps);
    s->len = Okv16s(len);
    s->stride = Okv16s(stride);
    s->position = 0;
    s->id = kFirBlockId;
    *ppState = reinterpret_cast<FIRBlockState*>(s);
    return okvOk;
}

StatusCode okvsFIRBlockFree_32f(FIRBlockState* pState) {
    if (!pState) return okvErrNullPtr;
    FirBlock* s = state(pState);
    if (s->id != kFirBlockId) return okvErrContextMatch;
    s->id = 0;
    okvsFree(s->history);
    okvsFree(s);
    return okvOk;
}

StatusCode okvsFIRBlockOne_32f(const Okv32f* pSrc, Okv32f* pDst, FIRBlockState* pState, const Okv32f* pTaps) {
    if (!pSrc || !pDst || !pState || !pTaps) return okvErrNullPtr;
    FirBlock* s = state(pState);
    if (s->id != kFirBlockId) return okvErrContextMatch;
    const int n = s->nTaps, len = s->len;
    if (len < 1 || n < 1 || s->position < 0 || s->position >= n) return okvErrFirLen;
    const int pos = s->position + 1 == n ? 0 : s->position + 1;
    s->position = Okv16s(pos);
    Okv32f* newest = s->history + size_t(pos) * s->stride;
    okvsCopy_32f(pSrc, newest, len);
    accumulate<false>(pDst, newest, pTaps[0], len);
    for (int j = 0; j < n - 1; ++j) {  // oldest block first
        const int r = (pos + 1 + j) % n;
        accumulate<true>(pDst, s->history + size_t(r) * s->stride, pTaps[n - 1 - j], len);
    }
    const bool misaligned = okv_misaligned16(pSrc) || okv_misaligned16(pDst) || okv_misaligned16(pTaps);
    return misaligned ? okvWrnMisaligned : okvOk;
}

}  // namespace OKV_NS
