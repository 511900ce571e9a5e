// Stages of the Layer III psychoacoustic model in fixed point: tables per sampling frequency,
// threshold factor, perceptual entropy, conversion to scalefactor bands and block-type
// sequencing. Energies are unsigned 64-bit sums of squared FFT lines.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {
namespace mp3psy {

constexpr int kMaxPartLong = 63, kMaxPartShort = 42;
constexpr Okv32s kQ31One = 0x7FFFFFFF;

struct BlockTables {
    int parts;               // partitions
    const Okv16s* part;      // first FFT line of each partition, then the end
    const Okv16u* bound;     // first and last masker per maskee partition
    const Okv16u* spread;    // spreading x normalisation, Q15, packed over those ranges
    const Okv32s* bmld;      // BMLD factor, Q31
    const Okv64s* quiet;     // threshold in quiet
    const Okv32s* smr;       // short blocks: signal-to-mask factor, Q31 (null for long)
    const Okv8u* sfbPart;    // first partition of each band, then the closing partition
    const Okv32s* sfbWeight; // weight of each band's first partition, Q31
};

// e * w >> 31 and e * w >> 15 for a Q31 or Q15 factor (a 64 x 64 -> 128-bit product).
inline Okv64u mulQ31(Okv64u e, Okv32u w) { return (Okv64u)((unsigned __int128)e * w >> 31); }
inline Okv64u mulQ15(Okv64u e, Okv32u w) { return (Okv64u)((unsigned __int128)e * w >> 15); }

// Long and short tables of sampling-frequency index sf (0 44.1, 1 48, 2 32 kHz).
const BlockTables& longTables(int sf);
const BlockTables& shortTables(int sf);

// x^1.18813 for a Q31 x, Q31.
Okv32s pow118813(Okv32u x);
// Threshold factor (Q31) for the normalised unpredictability r (Q31).
Okv32s thresholdFactor(Okv32s r);
// min(num / den, 1) in Q31; 0x7FFFFFFF when den is 0.
Okv32s q31Ratio(Okv64u num, Okv64u den);
// Sum over partitions of lines x log10(max(1, e / (thr + 1))), rounded down.
Okv32s perceptualEntropy(const Okv64u* e, const Okv64u* thr, const BlockTables& t);
// Ratio threshold / energy of each band from partition energies and thresholds, written at
// ratio[stride * sb], sb = 0..bands-1.
void convertToSfb(const Okv64u* e, const Okv64u* thr, const BlockTables& t, int bands, Okv32s* ratio, int stride);
// Block type of the granule held back, from the type before it and the short-block wishes of
// it and of the granule after it.
int heldBlockType(int prevType, bool heldShort, bool nextShort);

}  // namespace mp3psy
}  // namespace OKV_NS
