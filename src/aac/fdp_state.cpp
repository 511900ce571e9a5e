// Frequency-domain predictor state: size, layout in caller or own memory, release, resets.
#include "aac/fdp.h"
#include "okvcore/okvcore.h"

namespace OKV_NS {

using namespace fdp;

StatusCode okvsFDPGetSize_32f(int len, int* pSize)
{
    if (!pSize) return okvErrNullPtr;
    // Lengths whose size would not fit an int are refused like non-positive ones.
    if (len < 1 || len > ((0x7FFFFFFF - 2 * kHeaderBytes) / 6 - 63) / 4) return okvErrSize;
    *pSize = 6 * arrayBytes(len) + 2 * kHeaderBytes;
    return okvOk;
}

StatusCode okvsFDPInit_32f(FDPState** ppState, int len, void* pMem)
{
    if (!ppState || !pMem) return okvErrNullPtr;
    int size = 0;
    if (const StatusCode st = OKV_NS::okvsFDPGetSize_32f(len, &size); st != okvOk) return st;
    // The state starts at the first 64-byte boundary of the block (pMem itself when aligned),
    // its arrays right after the header; GetSize's slack covers the shift.
    FDPState* s = reinterpret_cast<FDPState*>((reinterpret_cast<Okv64u>(pMem) + 63) & ~Okv64u(63));
    const Okv64u first = reinterpret_cast<Okv64u>(s) + kHeaderBytes;
    Okv32f** arrays[6] = {&s->pCor0, &s->pCor1, &s->pVar0, &s->pVar1, &s->pR0, &s->pR1};
    for (int i = 0; i < 6; ++i)
        *arrays[i] = reinterpret_cast<Okv32f*>(first + Okv64u(i) * Okv64u(arrayBytes(len)));
    s->len = len;
    s->id = kId;
    s->selfOwned = 0;
    s->reserved = 0;
    for (int k = 0; k < len; ++k) resetLine(s, k);
    *ppState = s;
    return okvOk;
}

StatusCode okvsFDPInitAlloc_32f(FDPState** ppState, int len)
{
    if (!ppState) return okvErrNullPtr;
    int size = 0;
    if (const StatusCode st = OKV_NS::okvsFDPGetSize_32f(len, &size); st != okvOk) return st;
    void* block = okvMalloc(size);
    if (!block) return okvErrMemAlloc;
    FDPState* s = nullptr;
    if (const StatusCode st = OKV_NS::okvsFDPInit_32f(&s, len, block); st != okvOk) {
        okvFree(block);
        return st;
    }
    s->selfOwned = 1;
    *ppState = s;
    return okvOk;
}

StatusCode okvsFDPFree_32f(FDPState* pState)
{
    if (!pState) return okvErrNullPtr;
    if (!usable(pState)) return okvErrContextMatch;
    pState->id = 0;
    if (pState->selfOwned == 1) okvFree(pState);
    return okvOk;
}

StatusCode okvsFDPReset_32f(FDPState* pState)
{
    if (!pState) return okvErrNullPtr;
    if (!usable(pState)) return okvErrContextMatch;
    for (int k = 0; k < pState->len; ++k) resetLine(pState, k);
    return okvOk;
}

StatusCode okvsFDPResetSfb_32f(const int* pBandOffset, int nBands, const unsigned char* pResetFlag,
                               FDPState* pState)
{
    if (!pBandOffset || !pResetFlag || !pState) return okvErrNullPtr;
    if (nBands < 1) return okvErrSize;
    if (!usable(pState)) return okvErrContextMatch;
    int prevEnd = 0;
    for (int b = 0; b < nBands; ++b) {
        int start, end;
        bandLines(pBandOffset, b, pState->len, &prevEnd, &start, &end);
        if (pResetFlag[b])
            for (int k = start; k < end; ++k) resetLine(pState, k);
    }
    return okvOk;
}

StatusCode okvsFDPResetGroup_32f(int start, int step, FDPState* pState)
{
    if (!pState) return okvErrNullPtr;
    if (start < 0) return okvErrSize;
    if (step < 1) return okvErrStep;
    if (!usable(pState)) return okvErrContextMatch;
    // 64-bit index: start + step may pass INT_MAX.
    for (Okv64s k = start; k < pState->len; k += step) resetLine(pState, int(k));
    return okvOk;
}

}  // namespace OKV_NS
