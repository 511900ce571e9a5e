// Shared pieces of the frequency-domain predictor: state layout, validation, line resets.
#pragma once

#include "okvac.h"

namespace OKV_NS {
namespace fdp {

constexpr int kId = 59;
constexpr int kHeaderBytes = 64;
static_assert(sizeof(FDPState) == kHeaderBytes, "the header holds six pointers and four ints");

// Bytes of one state array: len floats rounded up to 64 bytes.
inline int arrayBytes(int len) { return (len * 4 + 63) & ~63; }

inline bool usable(const FDPState* s) { return s->id == kId; }

// A reset line predicts 0 and adapts from unit energies.
inline void resetLine(FDPState* s, int k)
{
    s->pCor0[k] = 0.0f;
    s->pCor1[k] = 0.0f;
    s->pVar0[k] = 1.0f;
    s->pVar1[k] = 1.0f;
    s->pR0[k] = 0.0f;
    s->pR1[k] = 0.0f;
}

// Band b's lines [*start, *end): offsets clamped to 0..len, a band never starting below the end
// of the previous non-empty band (prevEnd, advanced here).  Empty when *end <= *start.
inline void bandLines(const int* off, int b, int len, int* prevEnd, int* start, int* end)
{
    auto clamp = [len](int v) { return v < 0 ? 0 : (v > len ? len : v); };
    const int lo = clamp(off[b]);
    *start = lo < *prevEnd ? *prevEnd : lo;
    *end = clamp(off[b + 1]);
    if (*end > *start) *prevEnd = *end;
}

}  // namespace fdp
}  // namespace OKV_NS
