// AAC long-term prediction: the prediction from the reconstructed history, its addition to
// the spectrum in the flagged bands, and the history update through the inverse transform.
//
// Lags reading outside the history: a prediction never reads outside the 3072 samples. Reads
// past the end (short or negative lags) give the zero tail of the prediction; a lag that would
// read before the start (long lag above 2048, short lag of a used window above 2816) is refused
// with okvErrSize before anything is written.
//
// Short-window shapes in the update: window 0 rises with the previous frame's shape, windows 1
// to 7 with the current one (each follows a short window of the current frame), as the
// filterbank's own overlap-add does, so the history matches the decoded output.
#include <emmintrin.h>

#include "aac/mdct_aac_window.h"
#include "aac/band_layout.h"
#include "core/kernels.h"

namespace OKV_NS {

namespace {

constexpr int kHistory = 3072;
constexpr int kLongLtpBands = 40;
constexpr int kShortLtpBands = 8;

// dst[i] = (h[start + i] x coef) >> 14 for the samples inside the history, zeros after.
// Four at a time in 16-bit halves: with h = 65536 hi + lo (hi and lo signed), the low 32 bits
// of the 64-bit result are 4 coef (hi + [lo < 0]) + ((lo coef) >> 14), both products exact.
void predictBlock(const Okv32s* h, Okv32s* dst, int64_t start, int len, int coef)
{
    const int64_t avail = kHistory - start;
    const int n = avail <= 0 ? 0 : avail < len ? int(avail) : len;
    const Okv32s* src = n ? h + start : h;
    const __m128i cHi = _mm_set1_epi32(int(Okv32u(coef) << 16)), cLo = _mm_set1_epi32(coef & 0xFFFF);
    const __m128i c32 = _mm_set1_epi32(coef);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i hiC = _mm_madd_epi16(v, cHi), loC = _mm_madd_epi16(v, cLo);
        const __m128i loNeg = _mm_srai_epi32(_mm_slli_epi32(v, 16), 31);
        const __m128i r = _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(hiC, _mm_and_si128(loNeg, c32)), 2),
                                        _mm_srai_epi32(loC, 14));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), r);
    }
    for (; i < n; ++i) dst[i] = int32_t((int64_t(src[i]) * coef) >> 14);
    for (int i = n; i < len; ++i) dst[i] = 0;
}

void addBand(const Okv32s* pred, Okv32s* x, int from, int to)
{
    for (int k = from; k < to; ++k) x[k] = int32_t(Okv32u(x[k]) + Okv32u(pred[k]));
}

}  // namespace

StatusCode okvsLongTermPredict_AAC_32s(const Okv32s* pHistory, Okv32s* pDstPred, const AACLtpData* pLtpData,
                                       int winSequence)
{
    if (!pHistory || !pDstPred || !pLtpData) return okvErrNullPtr;
    if (Okv32u(winSequence) > 3) return okvErrAacWinSeq;
    const int coef = pLtpData->ltpCoef;
    if (winSequence != aacmdct::kEightShort) {
        if (pLtpData->ltpLag > 2048) return okvErrSize;
        predictBlock(pHistory, pDstPred, 2048 - int64_t(pLtpData->ltpLag), 2048, coef);
        return okvOk;
    }
    for (int w = 0; w < 8; ++w)
        if (pLtpData->ltpShortUsed[w] && pLtpData->ltpShortLag[w] > 2816) return okvErrSize;
    for (int w = 0; w < 8; ++w)
        if (pLtpData->ltpShortUsed[w])
            predictBlock(pHistory, pDstPred + 256 * w, 2816 - int64_t(pLtpData->ltpShortLag[w]), 256, coef);
    return okvOk;
}

StatusCode okvsLongTermReconstruct_AAC_32s(const Okv32s* pSrcPredSpec, Okv32s* pSrcDstSpec, const int* pBandFlags,
                                           int winSequence, int samplingRateIndex)
{
    if (!pSrcPredSpec || !pSrcDstSpec || !pBandFlags) return okvErrNullPtr;
    if (Okv32u(winSequence) > 3) return okvErrAacWinSeq;
    if (Okv32u(samplingRateIndex) > 11) return okvErrAacSmplRate;
    if (winSequence != aacmdct::kEightShort) {
        const Okv16s* off = aacspectral::bands(samplingRateIndex, true).off;
        for (int b = 0; b < kLongLtpBands; ++b)
            if (pBandFlags[b + 1]) addBand(pSrcPredSpec, pSrcDstSpec, off[b], off[b + 1]);
        return okvOk;
    }
    const Okv16s* off = aacspectral::bands(samplingRateIndex, false).off;
    for (int w = 0; w < 8; ++w)
        if (pBandFlags[w]) addBand(pSrcPredSpec + 128 * w, pSrcDstSpec + 128 * w, off[0], off[kShortLtpBands]);
    return okvOk;
}

StatusCode okvsLtpUpdate_AAC_32s(const Okv32s* pSrcSpec, Okv32s* pSrcDstHistory, int winSequence, int winShape,
                                 int prevWinShape, Okv32s* pWorkBuf)
{
    if (!pSrcSpec || !pSrcDstHistory || !pWorkBuf) return okvErrNullPtr;
    if (Okv32u(winSequence) > 3) return okvErrAacWinSeq;
    if (Okv32u(winShape) > 1 || Okv32u(prevWinShape) > 1) return okvErrAacWinShape;
    Okv32s* h = pSrcDstHistory;
    Okv32s* y = pWorkBuf;          // core output, 1024
    Okv32s* z = pWorkBuf + 1024;   // unfolded inverse transform, 2048
    Okv32s* t = pWorkBuf + 3072;   // windowed, 2048
    okvsMove_8u(reinterpret_cast<const Okv8u*>(h + 1024), reinterpret_cast<Okv8u*>(h), 2048 * 4);
    if (winSequence != aacmdct::kEightShort) {
        aacmdct::inverse(pSrcSpec, y, 9, true);
        aacmdct::imdctExpand(y, z, 1024);
        aacmdct::windowInput<true>(z, t, winSequence, winShape, prevWinShape);
        okvsAdd_32s_ISfs(t, h + 1024, 1024, 0);
        okvsCopy_32s(t + 1024, h + 2048, 1024);
        return okvOk;
    }
    okvsZero_32s(h + 2048, 1024);
    for (int w = 0; w < 8; ++w) {
        aacmdct::inverse(pSrcSpec + 128 * w, y, 6, true);
        aacmdct::imdctExpand(y, z, 128);
        aacmdct::windowInput<true>(z, t, winSequence, winShape, w == 0 ? prevWinShape : winShape);
        okvsAdd_32s_ISfs(t, h + 1472 + 128 * w, 256, 0);
    }
    return okvOk;
}

}  // namespace OKV_NS
