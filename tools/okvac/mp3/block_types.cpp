#include "mp3/block_types.h"

#include <algorithm>

#include "mp3/sfb_bands.h"

bool attackAt(const int16_t* const* channels, int nch, int end) {
    // Second-difference energy of 32 segments of 32 samples: the difference keeps a click's
    // energy and takes most of a tone's away.
    long long e[32] = {};
    for (int c = 0; c < nch; ++c)
        for (int i = end - 1024; i < end; ++i) {
            const long long d = channels[c][i] - 2 * channels[c][i - 1] + channels[c][i - 2];
            e[(i - end + 1024) >> 5] += d * d;
        }
    // An attack: a segment from 256 to 832 with five times the energy of each of the eight
    // before it, above a floor (a difference amplitude of 128 per channel).
    for (int j = 8; j < 26; ++j) {
        long long before = 0;
        for (int k = j - 8; k < j; ++k) before = std::max(before, e[k]);
        if (e[j] > 5 * before && e[j] > 128LL * 128 * 32 * nch) return true;
    }
    return false;
}

namespace {

// Short ratios for a granule the model analysed as long: each short band takes the smallest
// ratio of the long bands it overlaps (0, no masking information, counts as 1), the same in all
// three windows.
void shortFromLong(MP3PsyRatio& r, int row) {
    Okv32s l[21];
    std::copy(r.ratio, r.ratio + 21, l);
    for (int sb = 0; sb < 12; ++sb) {
        const int lo = 3 * kSfbShort[row][sb], hi = 3 * kSfbShort[row][sb + 1];
        Okv32s m = 0x7FFFFFFF;
        for (int b = 0; b < 21; ++b)
            if (kSfbLong[row][b] < hi && kSfbLong[row][b + 1] > lo && l[b]) m = std::min(m, l[b]);
        std::fill(r.ratio + 3 * sb, r.ratio + 3 * sb + 3, m);
    }
}

}  // namespace

void BlockTypes::decide(MP3SideInfo* si, MP3PsyRatio* ratio, const bool* attack, int granules, int nch, int row) {
    for (int gr = 0; gr < granules; ++gr) {
        // The model fixes a record's type one granule late: a short type says the record itself
        // wanted short blocks, a start type that the granule after it did.
        const bool heldAttack = gr ? attack[gr - 1] : held_, nextAttack = attack[gr];
        for (int ch = 0; ch < nch; ++ch) {
            MP3SideInfo& s = si[gr * nch + ch];
            const int model = s.block_type;
            const bool wish = model == 2 || heldAttack, next = model == 1 || nextAttack;
            int& prev = prev_[ch];
            // No window joins short blocks on both sides: a granule between two short ones is short.
            const int type = wish || (next && prev == 2) ? 2 : next ? 1 : prev == 2 ? 3 : 0;
            if (type == 2 && model != 2) shortFromLong(ratio[gr * nch + ch], row);
            s.block_type = type, s.window_switching_flag = type != 0, prev = type;
        }
    }
    held_ = attack[granules - 1];
}
