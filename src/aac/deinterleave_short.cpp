// Grouped, band-interleaved short-window spectra to window order.
#include "aac/band_layout.h"
#include "core/kernels.h"

namespace OKV_NS {

StatusCode okvsDeinterleaveSpectrum_AAC_32s(const Okv32s* pSrc, Okv32s* pDst, int numWinGrp, const int* pLenWinGrp,
                                            int maxSfb, int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    if (!pSrc || !pDst || !pLenWinGrp) return okvErrNullPtr;
    if (winLen != 128) return okvErrAacWinLen;
    if (StatusCode st = checkGrouped(winLen, numWinGrp, pLenWinGrp, maxSfb, samplingRateIndex); st != okvOk)
        return st;
    const Bands bd = bands(samplingRateIndex, false);
    const int top = bd.off[maxSfb];
    for (int g = 0; g < numWinGrp; ++g) {
        const int len = pLenWinGrp[g];
        const Okv32s* s = pSrc;
        for (int b = 0; b < maxSfb; ++b) {
            const int width = bd.off[b + 1] - bd.off[b];
            for (int w = 0; w < len; ++w, s += width) okvsCopy_32s(s, pDst + 128 * w + bd.off[b], width);
        }
        for (int w = 0; w < len; ++w) okvsZero_32s(pDst + 128 * w + top, 128 - top);
        pSrc += 128 * len;
        pDst += 128 * len;
    }
    return okvOk;
}

}  // namespace OKV_NS
