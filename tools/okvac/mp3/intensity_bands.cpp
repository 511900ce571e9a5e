#include "mp3/intensity_bands.h"

#include "mp3/sfb_bands.h"

namespace {

// 2^((2k + 1) / 4) in Q16: an energy ratio at or above entry k rounds to more than k quarter
// steps of amplitude.
constexpr unsigned __int128 kStepEdge[7] = {77936, 110218, 155872, 220436, 311744, 440872, 623487};

Okv8s band(const Okv32s* l0, const Okv32s* r0, Okv32s* l, Okv32s* r, int from, int to) {
    unsigned __int128 eL = 0, eR = 0;
    for (int i = from; i < to; ++i) {
        eL += (unsigned __int128)((Okv64s)l0[i] * l0[i]);
        eR += (unsigned __int128)((Okv64s)r0[i] * r0[i]);
    }
    const bool leftLouder = eL >= eR;
    const unsigned __int128 loud = leftLouder ? eL : eR, quiet = leftLouder ? eR : eL;
    int k = 0;
    while (k < 7 && loud && loud << 16 >= quiet * kStepEdge[k]) ++k;
    for (int i = from; i < to; ++i) l[i] = leftLouder ? l0[i] : r0[i], r[i] = 0;
    // Some decoders take position 7 for the illegal one in LSF as well: four steps with the
    // right channel louder become three or five, split at an energy ratio of 4.
    if (k == 4 && !leftLouder) return loud >= quiet * 4 ? 9 : 5;
    return (Okv8s)(k == 0 ? 0 : leftLouder ? 2 * k : 2 * k - 1);
}

}  // namespace

void lsfIntensity(const Okv32s* l0, const Okv32s* r0, Okv32s* l, Okv32s* r, Okv8s* pos, bool shortBlock, int row,
                  const int* bound) {
    if (!shortBlock) {
        const Okv16s* sfb = kSfbLong[row];
        for (int b = bound[0]; b < 21; ++b) pos[b] = band(l0, r0, l, r, sfb[b], sfb[b + 1]);
        return;
    }
    const Okv16s* sfb = kSfbShort[row];
    for (int w = 0; w < 3; ++w)
        for (int b = bound[w]; b < 12; ++b) {
            const int width = sfb[b + 1] - sfb[b], from = 3 * sfb[b] + w * width;
            pos[3 * b + w] = band(l0, r0, l, r, from, from + width);
        }
}

bool settleBound(const Okv32s* q, bool shortBlock, int row, int* bound) {
    bool moved = false;
    for (int w = 0; w < (shortBlock ? 3 : 1); ++w) {
        int last = 0;
        for (int b = 0; b < (shortBlock ? 13 : 22); ++b) {
            const int width = shortBlock ? kSfbShort[row][b + 1] - kSfbShort[row][b] : 0;
            const int from = shortBlock ? 3 * kSfbShort[row][b] + w * width : kSfbLong[row][b];
            const int to = shortBlock ? from + width : kSfbLong[row][b + 1];
            for (int i = from; i < to; ++i) last = q[i] ? b + 1 : last;
        }
        if (last < bound[w]) bound[w] = last, moved = true;
    }
    return moved;
}
