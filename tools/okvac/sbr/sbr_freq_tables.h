// The SBR header fields and the frequency band tables they select: master table, high and low
// resolution envelope bands, noise floor bands, limiter bands and the HF generator's patches.
#pragma once

struct SbrHeader {
    int ampRes = 0, startFreq = 0, stopFreq = 0, xoverBand = 0;
    int freqScale = 2, alterScale = 1, noiseBands = 2;
    int limiterBands = 2, limiterGains = 2, interpolFreq = 1, smoothingMode = 1;

    // The fields whose change rebuilds the band tables and resets the decoder.
    bool sameBands(const SbrHeader& o) const {
        return startFreq == o.startFreq && stopFreq == o.stopFreq && xoverBand == o.xoverBand &&
               freqScale == o.freqScale && alterScale == o.alterScale && noiseBands == o.noiseBands;
    }
};

struct SbrFreqTables {
    static constexpr int kMaxMaster = 64;
    // The bitstream limit is five patches, but linear master tables from a low start band need
    // six (a stream of the check package does); the decoder takes up to eight.
    static constexpr int kMaxPatches = 8;
    int k0 = 0, k2 = 0, kx = 0, m = 0;  // first SBR band kx, SBR band count m
    int nMaster = 0, nHigh = 0, nLow = 0, nQ = 0, nLim = 0;
    int master[kMaxMaster + 1] = {};
    int high[kMaxMaster + 1] = {}, low[kMaxMaster + 1] = {}, noise[6] = {}, lim[kMaxMaster + 1] = {};
    int numPatches = 0, patchBands[kMaxPatches] = {}, patchStart[kMaxPatches] = {};

    // Builds everything from the header for an SBR rate (the output rate); false when the header
    // describes tables outside the bitstream's limits.
    bool build(const SbrHeader& h, int sbrRate);
    // Limiter bands only (they depend on bs_limiter_bands, which may change without a reset).
    void buildLimiter(int limiterBands);
};
