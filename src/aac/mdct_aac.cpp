// AAC filterbank: inverse MDCT with windowing and overlap-add (16-bit PCM or 32-bit in
// place), and windowing with the forward MDCT. The rising half of a window takes the previous
// frame's shape, the falling half the current one; windows are Q31, read backwards to fall.
//
// Overlap-add sums are formed in 64 bits; the PCM path then rounds once ((sum + 4) >> 3) and
// saturates, the in-place path keeps the low 32 bits.
#include "aac/mdct_aac_window.h"

namespace OKV_NS {

namespace {

using namespace aacmdct;

StatusCode checkShapes(int seq, int shape, int prevShape)
{
    if (Okv32u(seq) > 3) return okvErrAacWinSeq;
    if (Okv32u(shape) > 1 || Okv32u(prevShape) > 1) return okvErrAacWinShape;
    return okvOk;
}

// One frame of inverse transform, windowing and overlap-add: out[n] (64-bit) and the new
// overlap. Sh is the window product shift: 31 for the PCM path, 32 for the in-place path,
// which also halves the flat (unwindowed) parts.
template <int Sh>
void synthesise(const Okv32s* x, Okv32s* o, int seq, int shape, int prev, int64_t* out)
{
    constexpr bool kHalf = Sh == 32;
    auto mulw = [](int32_t v, int32_t w) { return (int64_t(v) * w) >> Sh; };
    const int32_t* lc = longWin(shape);
    const int32_t* sc = shortWin(shape);
    Okv32s y[1024], z[2048];
    if (seq == kEightShort) {
        int64_t acc[1600] = {};
        for (int w = 0; w < 8; ++w) {
            aacmdct::inverse(x + 128 * w, y, 6, !kHalf);
            aacmdct::imdctExpand(y, z, 128);
            const int32_t* rise = w == 0 ? shortWin(prev) : sc;
            int64_t* a = acc + 448 + 128 * w;
            for (int n = 0; n < 128; ++n) a[n] += mulw(z[n], rise[n]);
            for (int n = 0; n < 128; ++n) a[128 + n] += mulw(z[128 + n], sc[127 - n]);
        }
        for (int n = 0; n < 1024; ++n) out[n] = acc[n] + o[n];
        for (int n = 0; n < 576; ++n) o[n] = int32_t(acc[1024 + n]);
        for (int n = 576; n < 1024; ++n) o[n] = 0;
        return;
    }
    aacmdct::inverse(x, y, 9, !kHalf);
    aacmdct::imdctExpand(y, z, 1024);
    if (seq != kLongStop) {
        const int32_t* lp = longWin(prev);
        for (int n = 0; n < 1024; ++n) out[n] = mulw(z[n], lp[n]) + o[n];
    } else {
        const int32_t* sp = shortWin(prev);
        for (int n = 0; n < 448; ++n) out[n] = o[n];
        for (int n = 448; n < 576; ++n) out[n] = mulw(z[n], sp[n - 448]) + o[n];
        for (int n = 576; n < 1024; ++n) out[n] = kHalf ? int64_t(o[n]) - (y[1023 - n] >> 1) : int64_t(z[n]) + o[n];
    }
    if (seq != kLongStart) {
        for (int n = 0; n < 1024; ++n) o[n] = int32_t(mulw(z[1024 + n], lc[1023 - n]));
    } else {
        for (int n = 0; n < 448; ++n) o[n] = kHalf ? z[1024 + n] >> 1 : z[1024 + n];
        for (int n = 448; n < 576; ++n) o[n] = int32_t(mulw(z[1024 + n], sc[575 - n]));
        for (int n = 576; n < 1024; ++n) o[n] = 0;
    }
}

}  // namespace

StatusCode okvsMDCTInv_AAC_32s16s(Okv32s* pSrc, Okv16s* pDst, Okv32s* pOverlap, int winSequence, int winShape,
                                  int prevWinShape, int pcmStep)
{
    if (!pSrc || !pDst || !pOverlap) return okvErrNullPtr;
    if (StatusCode st = checkShapes(winSequence, winShape, prevWinShape); st != okvOk) return st;
    if (pcmStep < 1 || pcmStep > 2) return okvErrAacPcmStep;
    int64_t out[1024];
    synthesise<31>(pSrc, pOverlap, winSequence, winShape, prevWinShape, out);
    for (int n = 0; n < 1024; ++n) {
        const int64_t v = (out[n] + 4) >> 3;
        pSrc[n] = int32_t(v);
        pDst[n * pcmStep] = Okv16s(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
    return okvOk;
}

StatusCode okvsMDCTInv_AAC_32s_I(Okv32s* pSrcDst, Okv32s* pOverlap, int winSequence, int winShape, int prevWinShape,
                                 int len)
{
    if (!pSrcDst || !pOverlap) return okvErrNullPtr;
    if (StatusCode st = checkShapes(winSequence, winShape, prevWinShape); st != okvOk) return st;
    if (len != 1024) return okvErrSize;
    int64_t out[1024];
    synthesise<32>(pSrcDst, pOverlap, winSequence, winShape, prevWinShape, out);
    for (int n = 0; n < 1024; ++n) pSrcDst[n] = int32_t(out[n]);
    return okvOk;
}

StatusCode okvsMDCTFwd_AAC_32s(const Okv32s* pSrc, Okv32s* pDst, const Okv32s* pReserved, int winSequence,
                               int winShape, int prevWinShape, Okv32s* pWorkBuf)
{
    if (!pSrc || !pDst || !pReserved || !pWorkBuf) return okvErrNullPtr;
    if (StatusCode st = checkShapes(winSequence, winShape, prevWinShape); st != okvOk) return st;
    const int order = windowInput<true>(pSrc, pWorkBuf, winSequence, winShape, prevWinShape);
    aacmdct::forwardPlain(pWorkBuf, pWorkBuf, order);
    for (int n = 0; n < 2 << order; ++n) pDst[n] = pWorkBuf[n];
    return okvOk;
}

StatusCode okvsMDCTFwd_AAC_32s_I(Okv32s* pSrcDst, int winSequence, int winShape, int prevWinShape, int len)
{
    if (!pSrcDst) return okvErrNullPtr;
    if (StatusCode st = checkShapes(winSequence, winShape, prevWinShape); st != okvOk) return st;
    if (len != 2048) return okvErrSize;
    const int order = windowInput<false>(pSrcDst, pSrcDst, winSequence, winShape, prevWinShape);
    aacmdct::forwardBfp(pSrcDst, pSrcDst, order);
    return okvOk;
}

}  // namespace OKV_NS
