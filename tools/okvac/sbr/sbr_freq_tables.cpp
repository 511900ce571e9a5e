#include "sbr/sbr_freq_tables.h"

#include <algorithm>
#include <cmath>

#include "sbr/sbr_tables_data.h"

namespace {

int nint(double v) { return int(std::floor(v + 0.5)); }

// Band widths of numBands logarithmic steps from a to b, sorted ascending; false when a width is 0.
bool logWidths(int a, int b, int numBands, int* dk) {
    const double r = double(b) / a;
    for (int k = 0; k < numBands; ++k)
        dk[k] = nint(a * std::pow(r, double(k + 1) / numBands)) - nint(a * std::pow(r, double(k) / numBands));
    std::sort(dk, dk + numBands);
    return numBands > 0 && dk[0] > 0;
}

bool buildMaster(const SbrHeader& h, int k0, int k2, int* master, int* nMaster) {
    int dk[64];
    if (h.freqScale == 0) {
        const int step = h.alterScale ? 2 : 1;
        // Rounded to nearest: the band count may overshoot k2, and the first widths shrink.
        const int numBands = 2 * nint((k2 - k0) / (2.0 * step));
        if (numBands <= 0 || numBands > 63) return false;
        for (int k = 0; k < numBands; ++k) dk[k] = step;
        // Spread the difference to k2 over the widths: take from the first, give to the last.
        int diff = k2 - (k0 + numBands * step);
        for (int k = diff < 0 ? 0 : numBands - 1; diff != 0; diff < 0 ? ++k : --k) {
            if (k < 0 || k >= numBands) return false;
            dk[k] += diff < 0 ? -1 : 1;
            diff += diff < 0 ? 1 : -1;
        }
        master[0] = k0;
        for (int k = 0; k < numBands; ++k) {
            if (dk[k] <= 0) return false;
            master[k + 1] = master[k] + dk[k];
        }
        *nMaster = numBands;
        return true;
    }
    const int bands = h.freqScale == 1 ? 12 : h.freqScale == 2 ? 10 : 8;
    const double warp = h.alterScale ? 1.3 : 1.0;
    const bool twoRegions = 49 * k2 > 110 * k0;  // k2 / k0 > 2.2449
    const int k1 = twoRegions ? 2 * k0 : k2;
    const int numBands0 = 2 * nint(bands * std::log2(double(k1) / k0) / 2);
    if (numBands0 <= 0 || numBands0 > 63 || !logWidths(k0, k1, numBands0, dk)) return false;
    master[0] = k0;
    for (int k = 0; k < numBands0; ++k) master[k + 1] = master[k] + dk[k];
    *nMaster = numBands0;
    if (!twoRegions) return true;
    const int numBands1 = 2 * nint(bands * std::log2(double(k2) / k1) / (2 * warp));
    int dk1[64];
    if (numBands1 <= 0 || numBands0 + numBands1 > 64 || !logWidths(k1, k2, numBands1, dk1)) return false;
    // The upper region's narrowest band may not be narrower than the lower region's widest.
    if (dk1[0] < dk[numBands0 - 1]) {
        const int change = dk[numBands0 - 1] - dk1[0];
        dk1[0] += change;
        dk1[numBands1 - 1] -= change;
        std::sort(dk1, dk1 + numBands1);
        if (dk1[0] <= 0) return false;
    }
    for (int k = 0; k < numBands1; ++k) master[numBands0 + k + 1] = master[numBands0 + k] + dk1[k];
    *nMaster = numBands0 + numBands1;
    return true;
}

}  // namespace

bool SbrFreqTables::build(const SbrHeader& h, int sbrRate) {
    int r = 0;
    while (r < 9 && sbrtab::kRates[r] != sbrRate) ++r;
    if (r == 9) return false;
    k0 = sbrtab::kK0[r][h.startFreq];
    k2 = h.stopFreq < 14 ? sbrtab::kK2[r][h.stopFreq] : std::min(64, (h.stopFreq == 14 ? 2 : 3) * k0);
    const int maxSpan = sbrRate <= 32000 ? 48 : sbrRate == 44100 ? 35 : 32;
    if (k2 <= k0 || k2 - k0 > maxSpan) return false;
    if (!buildMaster(h, k0, k2, master, &nMaster)) return false;
    if (h.xoverBand >= nMaster) return false;
    nHigh = nMaster - h.xoverBand;
    for (int i = 0; i <= nHigh; ++i) high[i] = master[i + h.xoverBand];
    nLow = (nHigh + 1) / 2;
    for (int i = 0; i <= nLow; ++i) low[i] = i == 0 ? high[0] : high[2 * i - (nHigh & 1)];
    kx = high[0];
    m = high[nHigh] - kx;
    if (kx > 32 || kx + m > 64 || m <= 0 || m > 49) return false;
    nQ = std::max(1, nint(h.noiseBands * std::log2(double(k2) / kx)));
    if (nQ > 5) return false;
    noise[0] = low[0];
    for (int k = 1, i = 0; k <= nQ; ++k) {
        i += (nLow - i) / (nQ + 1 - k);
        noise[k] = low[i];
    }
    // Patches: copy runs of low bands upwards until kx + m is covered.
    const int goalSb = sbrtab::kGoalSb[r];
    int k = nMaster;
    if (goalSb < kx + m) {
        k = 0;
        for (int i = 0; master[i] < goalSb; ++i) k = i + 1;
    }
    int msb = k0, usb = kx, sb = 0;
    numPatches = 0;
    for (int guard = 0; guard < 64; ++guard) {
        int j = k + 1, odd;
        do {
            --j;
            sb = master[j];
            odd = (sb - 2 + k0) % 2;
        } while (sb > k0 - 1 + msb - odd);
        const int bands = std::max(sb - usb, 0);
        if (bands > 0) {
            if (numPatches == SbrFreqTables::kMaxPatches) return false;
            patchBands[numPatches] = bands;
            patchStart[numPatches] = k0 - odd - bands;
            if (patchStart[numPatches] < 0) return false;
            usb = msb = sb;
            ++numPatches;
        } else {
            msb = kx;
        }
        if (master[k] - sb < 3) k = nMaster;
        if (sb == kx + m) break;
    }
    if (sb != kx + m || numPatches == 0) return false;
    if (numPatches > 1 && patchBands[numPatches - 1] < 3) --numPatches;
    buildLimiter(h.limiterBands);
    return true;
}

void SbrFreqTables::buildLimiter(int limiterBands) {
    if (limiterBands == 0) {
        lim[0] = low[0];
        lim[1] = low[nLow];
        nLim = 1;
        return;
    }
    int border[kMaxPatches + 1];
    border[0] = kx;
    for (int p = 0; p < numPatches; ++p) border[p + 1] = border[p] + patchBands[p];
    // The top of the SBR range counts as a border too: when a last short patch was dropped, the
    // last patch border lies below it, and merging must not leave the top bands outside every
    // limiter band.
    auto isBorder = [&](int v) {
        return v == low[nLow] || std::find(border, border + numPatches + 1, v) != border + numPatches + 1;
    };
    int n = 0;
    for (int i = 0; i <= nLow; ++i) lim[n++] = low[i];
    for (int p = 1; p < numPatches; ++p) lim[n++] = border[p];
    std::sort(lim, lim + n);
    nLim = n - 1;
    const double perOctave = sbrtab::kLimBands[limiterBands];
    // Merge neighbours closer than 0.49 of a limiter band, keeping patch borders.
    for (int k = 1; k <= nLim;) {
        const double octaves = std::log2(double(lim[k]) / lim[k - 1]);
        int drop = -1;
        if (octaves * perOctave < 0.49) {
            if (lim[k] == lim[k - 1] || !isBorder(lim[k])) drop = k;
            else if (!isBorder(lim[k - 1])) drop = k - 1;
        }
        if (drop < 0) {
            ++k;
            continue;
        }
        std::copy(lim + drop + 1, lim + nLim + 1, lim + drop);
        --nLim;
    }
}
