#include "mp3/band_shaping.h"

#include "mp3/sfb_bands.h"

namespace {

// log2(x) in Q8 for x > 0, the fraction taken linearly from the mantissa.
int log2q8(Okv32u x) {
    const int n = 31 - __builtin_clz(x);
    const Okv32u m = n >= 8 ? x >> (n - 8) : x << (8 - n);
    return n * 256 + (int)(m & 255);
}

constexpr Okv64s kQuarterQ15[4] = {32768, 38968, 46341, 55109};  // 2^(f/4), Q15

}  // namespace

void shapeBands(Okv32s* xr, MP3PsyRatio& ratio, const MP3SideInfo& si, int row, int prevGain) {
    const bool sh = si.window_switching_flag && si.block_type == 2;
    const int n = sh ? 36 : 21;
    int start[36], width[36];
    Okv32u peak[36], top = 0;
    int loudest = 0;
    for (int b = 0; b < n; ++b) {
        if (sh) {
            const int k = b / 3;
            width[b] = kSfbShort[row][k + 1] - kSfbShort[row][k];
            start[b] = 3 * kSfbShort[row][k] + b % 3 * width[b];
        } else {
            start[b] = kSfbLong[row][b];
            width[b] = kSfbLong[row][b + 1] - start[b];
        }
        Okv32u m = 0;
        for (int i = start[b]; i < start[b] + width[b]; ++i) {
            const Okv32u a = xr[i] < 0 ? 0u - (Okv32u)xr[i] : (Okv32u)xr[i];
            m = a > m ? a : m;
        }
        peak[b] = m;
        if (m > top) top = m, loudest = b;
    }
    if (!top) return;
    // Cleared below 1/256 of the loudest peak, or below a quarter of the recent step: 2^(24 + g / 4)
    // in the spectrum's scale, g = prevGain - 210.
    Okv64s cut = top >> 8;
    if (prevGain != 210) {
        const int s = 96 + prevGain - 210;
        const Okv64s q = s < 0 ? 0 : (kQuarterQ15[s & 3] << (s >> 2)) >> 15;
        cut = q > cut ? q : cut;
    }
    const int refRatio = ratio.ratio[loudest] > 2147484 ? ratio.ratio[loudest] : 2147484;  // 0.001 in Q31
    const int refLog = log2q8((Okv32u)refRatio), topLog = log2q8(top);
    for (int b = 0; b < n; ++b) {
        if (!peak[b]) continue;  // silent already; its ratio cannot matter
        if ((Okv64s)peak[b] < cut) {
            for (int i = start[b]; i < start[b] + width[b]; ++i) xr[i] = 0;
            continue;
        }
        int& r = ratio.ratio[b];
        if (!r) continue;  // no masking information: the quantiser treats the band as masked
        // Ratio 0.3 * ref * (top / peak)^1.2: a step as coarse as the loudest band's less 5 dB;
        // log2 0.3 = -445 / 256.
        const int lg = refLog + ((topLog - log2q8(peak[b])) * 307 >> 8) - 445;
        if (lg >= 31 * 256) {
            r = 0x7FFFFFFF;
            continue;
        }
        const Okv32s want = lg < 0 ? 0 : (Okv32s)(((Okv64s)(256 + (lg & 255)) << (lg >> 8)) >> 8);
        r = want > r ? want : r;
    }
}
