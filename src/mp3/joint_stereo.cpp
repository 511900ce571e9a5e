// Layer III joint stereo for one granule: mid/side below the intensity bound, intensity
// positions from the bound up.
#include "mp3/psy_math.h"
#include "mp3/sfb_tables.h"

namespace OKV_NS {

namespace {

// Left/right energy ratio in Q15 at the midpoints between intensity positions.
constexpr Okv32s kIsRatioSqr[6] = {568, 5622, 19293, 55653, 190986, 1890566};

// (2 (a +- b) * (1/sqrt 2 in Q31, rounded up)) >> 32, the doubled sum wrapping in 32 bits.
inline Okv32s msScale(Okv32u twice) { return (Okv32s)(((Okv64s)(Okv32s)twice * 0x5A82799A) >> 32); }

void midSide(Okv32s* l, Okv32s* r, int from, int to) {
    for (int i = from; i < to; ++i) {
        const Okv32u a = (Okv32u)l[i], b = (Okv32u)r[i];
        l[i] = msScale((a + b) << 1);
        r[i] = msScale((a - b) << 1);
    }
}

// eL / eR in Q15, saturated to 2^31 - 1 (eR > 0). With e = m * 2^(32 - s) and
// 1/mR = rec * 2^(sRec - 61): eL / eR * 2^15 = mL * rec * 2^(sR - sL + sRec - 46).
Okv32s energyRatio(Okv64u eL, Okv64u eR) {
    if (eL == 0) return 0;
    Okv32u mL = 0, mR = 0;
    int sL = 0, sR = 0, sRec = 0;
    Okv32s rec = 0;
    mp3fx::norm64(eL, mL, sL);
    mp3fx::norm64(eR, mR, sR);
    if (mR >= 0x80000000u) mR >>= 1, --sR;  // keep the reciprocal's input below 2^31
    mp3fx::reciprocal(mR, rec, sRec);
    const Okv64u prod = (Okv64u)mL * (Okv64u)rec;  // < 2^63
    const int sh = sR - sL + sRec - 46;
    if (sh >= 0) return sh >= 31 || prod > (0x7FFFFFFFull >> sh) ? 0x7FFFFFFF : (Okv32s)(prod << sh);
    const Okv64u q = sh <= -64 ? 0 : prod >> -sh;
    return q > 0x7FFFFFFF ? 0x7FFFFFFF : (Okv32s)q;
}

// Intensity position of lines [from, to) and the lines folded into the left channel.
Okv8s intensity(Okv32s* l, Okv32s* r, int from, int to) {
    Okv64u eL = 0, eR = 0;
    for (int i = from; i < to; ++i) {
        eL += (Okv64u)((Okv64s)l[i] * l[i]);
        eR += (Okv64u)((Okv64s)r[i] * r[i]);
    }
    int pos = 6;
    if (eR != 0) {
        const Okv32s ratio = energyRatio(eL, eR);
        pos = 0;
        while (pos < 6 && ratio >= kIsRatioSqr[pos]) ++pos;
    }
    for (int i = from; i < to; ++i) {
        const Okv32u ml = l[i] < 0 ? 0u - (Okv32u)l[i] : (Okv32u)l[i];
        const Okv32u mr = r[i] < 0 ? 0u - (Okv32u)r[i] : (Okv32u)r[i];
        const bool negative = ml > mr ? l[i] < 0 : r[i] < 0;
        const Okv32u sum = ml + mr;
        l[i] = (Okv32s)(negative ? 0u - sum : sum);
        r[i] = 0;
    }
    return (Okv8s)pos;
}

inline int clampBound(int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; }

}  // namespace

// Beyond the listed checks: a header whose id or sampling_frequency has no band table is refused
// (okvErrMp3FrameHeader), and bounds read from the caller are limited to the band count.
// Intensity positions cover long bands bound..21 (22 entries) or short bands bound..12 of each
// window at 3 * band + window (39 entries).
StatusCode okvsJointStereoEncode_MP3_32s_I(Okv32s* pSrcDstXrL, Okv32s* pSrcDstXrR, Okv8s* pDstIsPos,
                                           const MP3FrameHeader* pFrameHeader, const MP3SideInfo* pSideInfo,
                                           int* pIsSfbBound) {
    if (!pSrcDstXrL || !pSrcDstXrR || !pDstIsPos || !pFrameHeader || !pSideInfo || !pIsSfbBound)
        return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if (h->mode != 1) return okvOk;
    const bool ms = (h->mode_extension & 2) != 0, is = (h->mode_extension & 1) != 0;
    if ((ms || is) && pSideInfo[0].block_type != pSideInfo[1].block_type) return okvErrMp3SideInfo;
    if ((unsigned)h->id > 1 || (unsigned)h->sampling_frequency > 2) return okvErrMp3FrameHeader;

    const int row = h->id * 3 + h->sampling_frequency;
    Okv32s* l = pSrcDstXrL;
    Okv32s* r = pSrcDstXrR;
    if (pSideInfo[0].block_type != 2) {
        const Okv16s* sfb = mp3SfbLong[row];
        const int bound = is ? clampBound(pIsSfbBound[0], 22) : 22;
        if (!is) pIsSfbBound[0] = 22;
        if (ms) midSide(l, r, 0, sfb[bound]);
        if (is)
            for (int b = bound; b < 22; ++b) pDstIsPos[b] = intensity(l, r, sfb[b], sfb[b + 1]);
        return okvOk;
    }
    const Okv16s* sfb = mp3SfbShort[row];
    for (int w = 0; w < 3; ++w) {
        const int bound = is ? clampBound(pIsSfbBound[w], 13) : 13;
        if (!is) pIsSfbBound[w] = 13;
        for (int b = 0; b < 13; ++b) {
            const int width = sfb[b + 1] - sfb[b];
            const int from = 3 * sfb[b] + w * width;
            if (b < bound) {
                if (ms) midSide(l, r, from, from + width);
            } else {
                pDstIsPos[3 * b + w] = intensity(l, r, from, from + width);
            }
        }
    }
    return okvOk;
}

}  // namespace OKV_NS
