// AAC joint stereo on grouped spectra: mid/side to left/right, and intensity stereo (the
// right channel rebuilt from the left with the gain 2^(-position/4)).
#include <emmintrin.h>

#include "aac/aac_spectral_data.h"
#include "aac/band_layout.h"

namespace OKV_NS {

namespace {

// (l, r) -> (l + r, l - r), 32-bit wrapping.
void sumDiff(Okv32s* l, Okv32s* r, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(l + i), _mm_add_epi32(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r + i), _mm_sub_epi32(a, b));
    }
    for (; i < n; ++i) {
        const Okv32u a = Okv32u(l[i]), b = Okv32u(r[i]);
        l[i] = Okv32s(a + b);
        r[i] = Okv32s(a - b);
    }
}

// Right band from the left one for intensity position p and sign s. Positions beyond
// -119..135 take the same rules with the shifts running out: a left shift of 32 or more
// leaves 0 in the 32-bit word, a right shift of the product saturates to 0 or -1.
void intensityBand(const Okv32s* l, Okv32s* r, int n, int p, int s)
{
    using aacspectral_data::kIsGain;
    if (p >= -3 && p <= 7) {
        const int64_t t = kIsGain[p + 3];
        for (int i = 0; i < n; ++i) {
            const int32_t v = int32_t(Okv32u(l[i]) << 2);
            r[i] = s * int32_t((v * t) >> 32);
        }
    } else if (p >= 8) {
        const int64_t t = kIsGain[(p & 3) + 3];
        const int sh = (p >> 2) - 2 > 63 ? 63 : (p >> 2) - 2;
        for (int i = 0; i < n; ++i) r[i] = s * int32_t(((l[i] * t) >> 32) >> sh);
    } else {
        const int64_t t = kIsGain[3 - ((-p) & 3)];
        const int sh = ((-p) >> 2) + 2;
        for (int i = 0; i < n; ++i) {
            const int32_t v = sh > 31 ? 0 : int32_t(Okv32u(l[i]) << sh);
            r[i] = s * int32_t((v * t) >> 32);
        }
    }
}

}  // namespace

StatusCode okvsDecodeMsStereo_AAC_32s_I(Okv32s* pSrcDstL, Okv32s* pSrcDstR, int msMaskPresent, const Okv8u* pMsUsed,
                                        Okv8u* pSfbCbR, int numWinGrp, const int* pLenWinGrp, int maxSfb,
                                        int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    if (!pSrcDstL || !pSrcDstR || !pMsUsed || !pSfbCbR || !pLenWinGrp) return okvErrNullPtr;
    if (StatusCode st = checkGrouped(winLen, numWinGrp, pLenWinGrp, maxSfb, samplingRateIndex, [&] {
            return StatusCode(msMaskPresent == 1 || msMaskPresent == 2 ? okvOk : okvErrAacMsMask);
        });
        st != okvOk)
        return st;
    forEachBand(samplingRateIndex, winLen, numWinGrp, pLenWinGrp, maxSfb, [&](int i, int at, int n) {
        Okv8u& cb = pSfbCbR[i];
        const bool flag = pMsUsed[i / maxSfb * 60 + i % maxSfb] != 0;
        if (cb == 14 || cb == 15) {
            if (msMaskPresent == 1 && flag) cb = cb == 14 ? 15 : 14;
        } else if (cb != 13 && (msMaskPresent == 2 || flag)) {
            sumDiff(pSrcDstL + at, pSrcDstR + at, n);
        }
        return true;
    });
    return okvOk;
}

StatusCode okvsDecodeIsStereo_AAC_32s(const Okv32s* pSrcL, Okv32s* pDstR, const Okv16s* pScaleFactor,
                                      const Okv8u* pSfbCb, int numWinGrp, const int* pLenWinGrp, int maxSfb,
                                      int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    if (!pSrcL || !pDstR || !pScaleFactor || !pSfbCb || !pLenWinGrp) return okvErrNullPtr;
    if (StatusCode st = checkGrouped(winLen, numWinGrp, pLenWinGrp, maxSfb, samplingRateIndex); st != okvOk)
        return st;
    forEachBand(samplingRateIndex, winLen, numWinGrp, pLenWinGrp, maxSfb, [&](int i, int at, int n) {
        if (pSfbCb[i] == 14 || pSfbCb[i] == 15)
            intensityBand(pSrcL + at, pDstR + at, n, pScaleFactor[i], pSfbCb[i] == 15 ? 1 : -1);
        return true;
    });
    return okvOk;
}

}  // namespace OKV_NS
