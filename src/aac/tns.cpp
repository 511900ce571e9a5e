// Temporal noise shaping over spectra in window order: per filter, the coefficient indices
// become direct-form LPC coefficients (step-up recursion in Q31, rescaled to stay within
// 2^26), then an all-pole (decoder) or all-zero (encoder) filter runs over the filter's
// region, upwards or downwards.
//
// The side data is packed as the channel record keeps it: per window a filter count and a
// resolution; per filter a length and an order, and, for a non-zero order, a direction and
// `order` coefficient indices. Long windows take orders up to 20 (the Main profile's limit;
// the step-up recursion runs in Q39 above order 12 to keep its precision), short ones up to 7;
// larger orders are refused before any conversion.
#include "aac/aac_spectral_data.h"
#include "aac/band_layout.h"

namespace OKV_NS::aacspectral {

using namespace aacspectral_data;

namespace {

constexpr int kMaxOrder = 20;

struct Lpc {
    int32_t a[kMaxOrder + 1];  // a[1..order]
    int q;                     // fraction bits of a
};

bool decodeCoef(const Okv8s* idx, int order, int res, Lpc& lpc)
{
    int64_t a[kMaxOrder + 1], prev[kMaxOrder + 1];
    for (int m = 1; m <= order; ++m) {
        const int c = idx[m - 1];
        if (c < -8 || c > 7) return false;
        // Resolution 3 reads entries 0..15; indices outside -4..3 (never coded in 3 bits) take
        // the extended values of the table.
        const int64_t k = kIqTns[16 * res - 40 + c];
        for (int i = 1; i < m; ++i) prev[i] = a[i];
        if (order <= 12) {
            for (int i = 1; i < m; ++i) a[i] = prev[i] + ((((prev[m - i] + 512) >> 10) * k) >> 21);
            a[m] = k;
        } else {
            for (int i = 1; i < m; ++i) a[i] = prev[i] + ((((prev[m - i] + (1 << 22)) >> 23) * k) >> 8);
            a[m] = k * 256;
        }
    }
    int64_t big = 0;
    for (int i = 1; i <= order; ++i) big = a[i] < 0 ? (-a[i] > big ? -a[i] : big) : (a[i] > big ? a[i] : big);
    const int top = order <= 12 ? 31 : 39;
    int q = top;
    while (big > (int64_t(1) << 26)) big >>= 1, --q;
    for (int i = 1; i <= order; ++i) lpc.a[i] = int32_t(a[i] >> (top - q));
    lpc.q = q;
    return true;
}

// All-pole (decode) or all-zero (encode) filter over n samples from x with stride dir.
template <bool Encode>
void runFilter(Okv32s* x, int n, int dir, const Lpc& lpc, int order)
{
    int64_t hist[kMaxOrder] = {};  // hist[i] = output (decode) or input (encode) i + 1 back
    const int q = lpc.q;
    for (int s = 0; s < n; ++s, x += dir) {
        int64_t acc = int64_t(Okv64u(int64_t(*x)) << q);
        if constexpr (Encode)
            for (int i = 0; i < order; ++i) acc += lpc.a[i + 1] * hist[i];
        else
            for (int i = 0; i < order; ++i) acc -= lpc.a[i + 1] * hist[i];
        const int32_t y = int32_t(acc >> q);
        for (int i = order - 1; i > 0; --i) hist[i] = hist[i - 1];
        hist[0] = Encode ? *x : y;
        *x = y;
    }
}

template <bool Encode>
StatusCode tns(Okv32s* x, const int* nFilt, const int* length, const int* order, const int* coefRes,
               const Okv8s* coef, const int* direction, int maxSfb, int rate, int winLen)
{
    const bool longWin = winLen == 1024;
    const Bands bd = bands(rate, longWin);
    const int maxBand = longWin ? kTnsMaxBandsLong[rate] : kTnsMaxBandsShort[rate];
    const int limit = maxSfb < maxBand ? maxSfb : maxBand;
    const int windows = longWin ? 1 : 8;
    for (int w = 0; w < windows; ++w, x += winLen) {
        const int n = nFilt[w];
        if (n < 0 || n > (longWin ? 3 : 1)) return okvErrAacTnsNumFilt;
        int top = bd.count;
        for (int f = 0; f < n; ++f) {
            const int len = *length++;
            if (len < 0 || len > bd.count) return okvErrAacTnsLen;
            const int bottom = top - len > 0 ? top - len : 0;
            const int ord = *order++;
            if (ord < 0 || ord > (longWin ? kMaxOrder : 7)) return okvErrAacTnsOrder;
            if (ord != 0) {
                if (coefRes[w] != 3 && coefRes[w] != 4) return okvErrAacTnsCoefRes;
                Lpc lpc;
                if (!decodeCoef(coef, ord, coefRes[w], lpc)) return okvErrAacTnsCoef;
                coef += ord;
                const int start = bd.off[bottom < limit ? bottom : limit];
                const int end = bd.off[top < limit ? top : limit];
                const int dir = *direction++;
                if (dir != 0 && dir != 1) return okvErrAacTnsDirect;
                if (end > start) {
                    if (dir == 0) runFilter<Encode>(x + start, end - start, 1, lpc, ord);
                    else runFilter<Encode>(x + end - 1, end - start, -1, lpc, ord);
                }
            }
            top = bottom;
        }
    }
    return okvOk;
}

StatusCode checkTail(int maxSfb, int rate, int winLen)
{
    if (Okv32u(rate) > 11) return okvErrAacSmplRate;
    if (maxSfb < 0 || maxSfb > kMaxSfbLimit) return okvErrAacMaxSfb;
    if (maxSfb > bands(rate, winLen == 1024).count) return okvErrAacMaxSfb;
    return okvOk;
}

}  // namespace

}  // namespace OKV_NS::aacspectral

namespace OKV_NS {

StatusCode okvsDecodeTNS_AAC_32s_I(Okv32s* pSrcDst, const int* pTnsNumFilt, const int* pTnsRegionLen,
                                   const int* pTnsFiltOrder, const int* pTnsFiltCoefRes, const Okv8s* pTnsFiltCoef,
                                   const int* pTnsDirect, int maxSfb, int profile, int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    (void)profile;
    if (!pSrcDst || !pTnsNumFilt || !pTnsRegionLen || !pTnsFiltOrder || !pTnsFiltCoefRes || !pTnsFiltCoef ||
        !pTnsDirect)
        return okvErrNullPtr;
    if (winLen != 1024 && winLen != 128) return okvErrAacWinLen;
    if (StatusCode st = checkTail(maxSfb, samplingRateIndex, winLen); st != okvOk) return st;
    return tns<false>(pSrcDst, pTnsNumFilt, pTnsRegionLen, pTnsFiltOrder, pTnsFiltCoefRes, pTnsFiltCoef, pTnsDirect,
                      maxSfb, samplingRateIndex, winLen);
}

StatusCode okvsEncodeTNS_AAC_32s_I(Okv32s* pSrcDst, const int* pTnsNumFilt, const int* pTnsRegionLen,
                                   const int* pTnsFiltOrder, const int* pTnsFiltCoefRes, const Okv8s* pTnsFiltCoef,
                                   const int* pTnsDirect, int maxSfb, int profile, int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    if (!pSrcDst || !pTnsNumFilt || !pTnsRegionLen || !pTnsFiltOrder || !pTnsFiltCoefRes || !pTnsFiltCoef ||
        !pTnsDirect)
        return okvErrNullPtr;
    if (winLen != 1024 && winLen != 128) return okvErrAacWinLen;
    if (profile != 1) return okvErrAacProfile;
    if (StatusCode st = checkTail(maxSfb, samplingRateIndex, winLen); st != okvOk) return st;
    return tns<true>(pSrcDst, pTnsNumFilt, pTnsRegionLen, pTnsFiltOrder, pTnsFiltCoefRes, pTnsFiltCoef, pTnsDirect,
                     maxSfb, samplingRateIndex, winLen);
}

}  // namespace OKV_NS
