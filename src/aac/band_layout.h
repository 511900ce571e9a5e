// Scalefactor band layout and the argument checks shared by the AAC spectral tools.
#pragma once

#include "core/okv_internal.h"
#include "aac/band_tables_data.h"

namespace OKV_NS::aacspectral {

inline constexpr int kMaxSfbLimit = 51;

// Band offsets (count + 1 entries) and band count of a rate index and window length.
struct Bands {
    const Okv16s* off;
    int count;
};

inline Bands bands(int rateIndex, bool longWin)
{
    if (longWin) return {kSwbOffsetLong[rateIndex], kNumSwbLong[rateIndex]};
    return {kSwbOffsetShort[rateIndex], kNumSwbShort[rateIndex]};
}

// Window-group lengths of a call: long windows always form one group of one window (the
// length entry is not read); short ones need 1..8 windows per group and at most 8 in all,
// so that no group runs past the 1024-sample frame.
inline bool groupsValid(int winLen, int numWinGrp, const int* lenWinGrp)
{
    if (winLen == 1024) return numWinGrp == 1;
    if (numWinGrp < 1 || numWinGrp > 8) return false;
    int total = 0;
    for (int g = 0; g < numWinGrp; ++g) {
        if (lenWinGrp[g] < 1 || lenWinGrp[g] > 8) return false;
        total += lenWinGrp[g];
    }
    return total <= 8;
}

inline int groupLen(int winLen, const int* lenWinGrp, int g) { return winLen == 1024 ? 1 : lenWinGrp[g]; }

// Visits the bands below maxSfb of a grouped frame: fn(g * maxSfb + b, start, width) with the
// band's first sample and its width over all windows of the group. fn returns false to stop;
// the visit then returns false.
template <class Fn>
bool forEachBand(int rateIndex, int winLen, int numWinGrp, const int* lenWinGrp, int maxSfb, Fn fn)
{
    const Bands bd = bands(rateIndex, winLen == 1024);
    for (int g = 0, base = 0; g < numWinGrp; ++g) {
        const int len = groupLen(winLen, lenWinGrp, g);
        for (int b = 0; b < maxSfb; ++b)
            if (!fn(g * maxSfb + b, base + bd.off[b] * len, (bd.off[b + 1] - bd.off[b]) * len)) return false;
        base += winLen * len;
    }
    return true;
}

// The check chain of the grouped-layout tools: window length, groups, maxSfb, rate, then
// (after any tool-specific check in `extra`) maxSfb against the band count.
template <class Extra>
StatusCode checkGrouped(int winLen, int numWinGrp, const int* lenWinGrp, int maxSfb, int rateIndex, Extra extra)
{
    if (winLen != 1024 && winLen != 128) return okvErrAacWinLen;
    if (!groupsValid(winLen, numWinGrp, lenWinGrp)) return okvErrAacWinGrp;
    if (maxSfb < 0 || maxSfb > kMaxSfbLimit) return okvErrAacMaxSfb;
    if (Okv32u(rateIndex) > 11) return okvErrAacSmplRate;
    if (StatusCode st = extra(); st != okvOk) return st;
    if (maxSfb > bands(rateIndex, winLen == 1024).count) return okvErrAacMaxSfb;
    return okvOk;
}

inline StatusCode checkGrouped(int winLen, int numWinGrp, const int* lenWinGrp, int maxSfb, int rateIndex)
{
    return checkGrouped(winLen, numWinGrp, lenWinGrp, maxSfb, rateIndex, [] { return StatusCode(okvOk); });
}

}  // namespace OKV_NS::aacspectral
