// Perceptual noise substitution: noise bands are filled with normalised pseudo-random noise
// scaled to the band's energy 2^(sf/2) in Q3, independently per channel or, for M/S bands,
// with the seeds of channel 0 replayed in channel 1.
//
// Layout: the spectrum is in window order (window w at w * winLen), as the deinterleaver
// leaves it. Scalefactors and codebooks have one row of maxSfb entries per group and serve
// every window of the group. For a frame of single-window groups this is also the grouped
// layout. The saved seeds of the M/S variant have one row per window (window index x maxSfb
// + band), so that each window of a group is correlated with the same window of the other
// channel; with single-window groups the row is the group's.
#include <climits>

#include "aac/aac_spectral_data.h"
#include "aac/band_layout.h"

namespace OKV_NS::aacspectral {

using namespace aacspectral_data;

namespace {

void generateNoise(Okv32s* dst, int n, Okv32u& seed)
{
    const int64_t g = kNormEnergy[n - 1];
    int32_t energy = 0;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t x = int32_t((int64_t(int32_t(seed)) * g) >> 30);
        dst[i] = x;
        energy = int32_t(Okv32u(energy) + Okv32u(int32_t((int64_t(x) * x) >> 33)));
    }
    // Normalise to [2^30, 2^31). A band never has a zero energy (four or more samples); the
    // loop still ends after 32 doublings whatever the input.
    Okv32u e = Okv32u(energy);
    int k = 0;
    while (int32_t(e) < (1 << 30) && k < 32) e <<= 1, ++k;
    const int64_t en = int32_t(e);
    const int32_t r = int32_t((((en * en) >> 32) * kInvSqrtA + kInvSqrtB * en + (kInvSqrtC << 31)) >> 14);
    const int h = (k >> 1) - 1;
    for (int i = 0; i < n; ++i) {
        int64_t v = (int64_t(dst[i]) * r) >> 30;
        v = h > 0 ? int64_t(Okv64u(v) << h) : v >> -h;
        if (k & 1) v = (v * 1518500249) >> 30;
        dst[i] = int32_t(v);
    }
}

// 2^(sf/4) 2^10 (Q0) for a noise energy sf. Energies below 0 follow the same formula (down to
// 0); above 83 the factor leaves 32 bits and saturates to 2^31 - 1.
int32_t noiseFactor(int sf)
{
    const int64_t t = kPowQuarter[sf & 3];
    const int e = sf >> 2;
    if (e > 20) return INT_MAX;
    const int sh = 20 - e;
    return sh > 62 ? 0 : int32_t(t >> sh);
}

struct PnsArgs {
    Okv32s* x;
    int* ltp;
    const Okv8u* cb;
    const Okv16s* sf;
    int maxSfb, numWinGrp;
    const int* lenWinGrp;
    int rate, winLen;
    Okv32u* seed;
};

StatusCode check(const PnsArgs& a)
{
    if (a.maxSfb < 0 || a.maxSfb > kMaxSfbLimit) return okvErrAacMaxSfb;
    if (a.numWinGrp < 1 || a.numWinGrp > 8) return okvErrAacWinGrp;
    if (Okv32u(a.rate) > 11) return okvErrAacSmplRate;
    if (a.winLen != 1024 && a.winLen != 128) return okvErrAacWinLen;
    int windows = 0;
    for (int g = 0; g < a.numWinGrp; ++g) {
        if (a.lenWinGrp[g] < 1 || a.lenWinGrp[g] > 8) return okvErrAacWinGrp;
        windows += a.lenWinGrp[g];
    }
    // The windows must fit the frame, and maxSfb the band table: both are read before any
    // noise is written.
    if (windows * a.winLen > 1024) return okvErrAacWinGrp;
    if (a.maxSfb > bands(a.rate, a.winLen == 1024).count) return okvErrAacMaxSfb;
    return okvOk;
}

// pickSeed(window, band, group) returns the seed to generate a band from; it may save or
// substitute a copy.
template <class PickSeed>
void substitute(const PnsArgs& a, PickSeed pickSeed)
{
    const Bands bd = bands(a.rate, a.winLen == 1024);
    int win = 0;
    for (int g = 0; g < a.numWinGrp; ++g) {
        const Okv8u* cb = a.cb + g * a.maxSfb;
        const Okv16s* sf = a.sf + g * a.maxSfb;
        for (int w = 0; w < a.lenWinGrp[g]; ++w, ++win) {
            Okv32s* base = a.x + win * a.winLen;
            for (int b = 0; b < a.maxSfb; ++b) {
                if (cb[b] != 13) continue;
                // The LTP flag array has 41 entries: bands above 39 have no flag to clear.
                if (a.numWinGrp == 1 && b + 1 <= 40) a.ltp[b + 1] = 0;
                Okv32s* p = base + bd.off[b];
                const int n = bd.off[b + 1] - bd.off[b];
                generateNoise(p, n, pickSeed(win, b, g));
                const int64_t f = noiseFactor(sf[b]);
                for (int i = 0; i < n; ++i) p[i] = int32_t((p[i] * f) >> 38);
            }
        }
    }
}

}  // namespace

}  // namespace OKV_NS::aacspectral

namespace OKV_NS {

StatusCode okvsDecodePNS_AAC_32s(Okv32s* pSrcDst, int* pLtpFlag, const Okv8u* pSfbCb, const Okv16s* pScaleFactor,
                                 int maxSfb, int numWinGrp, const int* pLenWinGrp, int samplingRateIndex, int winLen,
                                 int* pRandomSeed)
{
    using namespace aacspectral;
    if (!pSrcDst || !pLtpFlag || !pSfbCb || !pScaleFactor || !pLenWinGrp || !pRandomSeed) return okvErrNullPtr;
    const PnsArgs a{pSrcDst, pLtpFlag, pSfbCb, pScaleFactor, maxSfb, numWinGrp, pLenWinGrp, samplingRateIndex, winLen,
                    reinterpret_cast<Okv32u*>(pRandomSeed)};
    if (StatusCode st = check(a); st != okvOk) return st;
    substitute(a, [&](int, int, int) -> Okv32u& { return *a.seed; });
    return okvOk;
}

StatusCode okvsDecodeMsPNS_AAC_32s(Okv32s* pSrcDst, int* pLtpFlag, const Okv8u* pSfbCb, const Okv16s* pScaleFactor,
                                   int maxSfb, int numWinGrp, const int* pLenWinGrp, int samplingRateIndex, int winLen,
                                   int* pRandomSeed, int channel, const Okv8u* pMsUsed, int* pNoiseState)
{
    using namespace aacspectral;
    if (!pSrcDst || !pLtpFlag || !pSfbCb || !pScaleFactor || !pLenWinGrp || !pRandomSeed || !pMsUsed || !pNoiseState)
        return okvErrNullPtr;
    const PnsArgs a{pSrcDst, pLtpFlag, pSfbCb, pScaleFactor, maxSfb, numWinGrp, pLenWinGrp, samplingRateIndex, winLen,
                    reinterpret_cast<Okv32u*>(pRandomSeed)};
    if (StatusCode st = check(a); st != okvOk) return st;
    Okv32u* saved = reinterpret_cast<Okv32u*>(pNoiseState);
    Okv32u copy = 0;
    substitute(a, [&](int win, int b, int g) -> Okv32u& {
        Okv32u& slot = saved[win * maxSfb + b];
        if (channel == 0) slot = *a.seed;
        if (channel == 1 && pMsUsed[g * 60 + b] != 0) return copy = slot;
        return *a.seed;
    });
    return okvOk;
}

}  // namespace OKV_NS
