#include "coupling_element.h"

#include "aac_tables.h"

// Named: the fuzz targets build the front-end as one translation unit.
namespace cce {

// 2^(-f/8) in Q30, f = 0..7.
constexpr int64_t kEighthPow[8] = {1073741824, 984625594, 902905651, 827968132,
                                   759250125,  696235434, 638450708, 585461881};
constexpr int kEightShort = 2;

}  // namespace cce

int64_t applyCouplingGain(int32_t v, CouplingGain g) {
    const int32_t m = g.eighths < -8 * 24 ? -8 * 24 : g.eighths;
    const int shift = 30 + (m >> 3);  // at least 6
    if (shift > 62) return 0;
    const int64_t r = (v * cce::kEighthPow[m & 7] + (int64_t(1) << (shift - 1))) >> shift;
    return g.negative ? -r : r;
}

bool CouplingHeader::read(BitCursor* bc) {
    tag = int(bc->read(4));
    independent = bc->read(1);
    numTargets = int(bc->read(3)) + 1;
    lists = 0;
    for (int t = 0; t < numTargets; ++t) {
        Target& x = targets[t];
        x.pair = bc->read(1);
        x.tag = int(bc->read(4));
        x.sel = x.pair ? int(bc->read(2)) : 2;
        lists += x.sel == 3 ? 2 : 1;
    }
    domain = int(bc->read(1));
    sign = bc->read(1);
    scale = int(bc->read(2));
    return bc->left() >= 0;
}

void CouplingHeader::targetLists(int t, int list[2]) const {
    int first = 0;
    for (int i = 0; i < t; ++i) first += targets[i].sel == 3 ? 2 : 1;
    const int sel = targets[t].sel;
    list[0] = sel == 1 ? -1 : first;
    list[1] = !targets[t].pair || sel == 2 ? -1 : sel == 3 ? first + 1 : first;
}

bool CouplingGains::read(const CouplingHeader& h, const Okv8u** p, int* off, const uint8_t* end,
                         const OkvsVLCDecodeSpec_32s* sf, const Okv8u* cb, int groups, int maxSfb) {
    const int bands = groups * maxSfb;
    auto code = [&](int* delta) {
        Okv16s d;
        if (okvsVLCDecodeOne_1u16s(p, off, &d, sf) < 0) return false;
        *delta = d - 60;
        return *p < end || (*p == end && *off == 0);
    };
    for (CouplingGain& g : gain_[0]) g = CouplingGain{};
    for (int c = 1; c < h.lists; ++c) {
        bool common = true;
        if (!h.independent) {
            BitCursor bc{*p, *off, end};
            common = bc.read(1);
            *p = bc.p, *off = bc.off;
        }
        int value = 0;
        if (common) {
            // A common gain carries no sign.
            if (!code(&value)) return false;
            const CouplingGain g{value * (1 << h.scale), false};
            for (CouplingGain& x : gain_[c]) x = g;
            continue;
        }
        // Differences from band to band over the bands that carry a spectrum; with signed
        // gains the lowest bit of the running value is the sign.
        for (int i = 0; i < bands; ++i) {
            if (cb[i] == 0) continue;
            int delta;
            if (!code(&delta)) return false;
            value += delta;
            gain_[c][i] = h.sign ? CouplingGain{(value >> 1) * (1 << h.scale), (value & 1) != 0}
                                 : CouplingGain{value * (1 << h.scale), false};
        }
    }
    return true;
}

void coupleSpectrum(Okv32s* dst, const Okv32s* src, const CouplingGains& gains, int list, const AACIcsInfo& ics,
                    const Okv8u* cb, int rateIndex) {
    const bool isShort = ics.winSequence == cce::kEightShort;
    const Okv16s* offsets = isShort ? shortBandOffsets(rateIndex) : longBandOffsets(rateIndex);
    int base = 0;
    for (int g = 0; g < ics.numWinGrp; ++g) {
        const int windows = isShort ? ics.lenWinGrp[g] : 1;
        for (int b = 0; b < ics.maxSfb; ++b) {
            const int i = g * ics.maxSfb + b;
            if (cb[i] == 0) continue;
            const CouplingGain gain = gains.band(list, i);
            for (int w = 0; w < windows; ++w)
                for (int k = base + 128 * w + offsets[b]; k < base + 128 * w + offsets[b + 1]; ++k) {
                    const int64_t v = dst[k] + applyCouplingGain(src[k], gain);
                    dst[k] = Okv32s(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
                }
        }
        base += 128 * windows;
    }
}
