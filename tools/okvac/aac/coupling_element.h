// Coupling channel elements: the element header, the gain element lists, and the coupling of
// the element's spectrum onto a target channel (dependent switching). Independent switching
// adds the element's own filterbank output to the targets' output, gain by gain, with
// applyCouplingGain.
#pragma once
#include <cstdint>

#include "bit_cursor.h"
#include "okvac.h"

// A gain of ±2^(-eighths/8): every gain element value is a power of 2^(1/8).
struct CouplingGain {
    int32_t eighths = 0;
    bool negative = false;
};

// v times the magnitude of g, rounded to the nearest integer (halves up), with the sign of g;
// gains above 2^24 count as 2^24.
int64_t applyCouplingGain(int32_t v, CouplingGain g);

struct CouplingHeader {
    static constexpr int kMaxTargets = 8, kMaxLists = 2 * kMaxTargets;
    struct Target {
        bool pair;
        int tag;
        int sel;  // pairs: left flag << 1 | right flag
    };
    int tag = 0;
    bool independent = false;
    int domain = 0;  // dependent switching: 0 on the spectra before TNS, 1 after TNS
    bool sign = false;
    int scale = 0;   // gain steps of 2^(2^scale / 8)
    Target targets[kMaxTargets];
    int numTargets = 0;
    int lists = 0;

    // Reads everything before the element's channel stream; false when it runs past the end.
    bool read(BitCursor* bc);
    // The gain list of each channel of target t; -1 for a channel that is not coupled. A pair
    // with neither flag set takes one list for both channels.
    void targetLists(int t, int list[2]) const;
};

class CouplingGains {
public:
    // Reads lists 1.. after the element's channel stream (cb: its band codebooks, groups x
    // maxSfb); list 0 is a gain of 1. False when a code is invalid or runs past end.
    bool read(const CouplingHeader& h, const Okv8u** p, int* off, const uint8_t* end, const OkvsVLCDecodeSpec_32s* sf,
              const Okv8u* cb, int groups, int maxSfb);
    CouplingGain band(int list, int index) const { return gain_[list][index]; }  // index: group x maxSfb + band
    CouplingGain common(int list) const { return gain_[list][0]; }            // independent switching

private:
    CouplingGain gain_[CouplingHeader::kMaxLists][8 * 16];
};

// Adds the coupling element's spectrum src (window order) times the list's band gains to the
// target spectrum dst (window order), in the element's bands whose codebook is not zero;
// sums saturate to 32 bits.
void coupleSpectrum(Okv32s* dst, const Okv32s* src, const CouplingGains& gains, int list, const AACIcsInfo& ics,
                    const Okv8u* cb, int rateIndex);
