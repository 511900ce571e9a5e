// MSB-first bit reading for the AAC parsers, and the side-data parsers they share.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

enum { kOnlyLong = 0, kLongStart = 1, kEightShort = 2, kLongStop = 3 };

// A base pointer and the number of bits consumed from it.  Every load takes the four bytes at
// the byte holding the next unread bit and consumes at least one bit of that byte, so a reader
// never touches more than three bytes past the last bit it consumed.
struct AacBits {
    const Okv8u* base;
    Okv32u pos;

    AacBits(const Okv8u* p, int offset) : base(p), pos(Okv32u(offset)) {}

    // The next 25 or more bits, left-aligned.
    Okv32u peek() const { return okv_load_be32(base + (pos >> 3)) << (pos & 7); }
    // Next n bits (0..25), right-aligned.
    Okv32u get(int n) {
        if (n == 0) return 0;
        const Okv32u w = peek();
        pos += Okv32u(n);
        return w >> (32 - n);
    }
    int bit() { return int(get(1)); }
    void align() { pos = (pos + 7) & ~7u; }
    // Writes the position back to a (byte pointer, bit offset) cursor.
    void store(Okv8u** pp, int* pOffset) const {
        *pp += pos >> 3;
        *pOffset = int(pos & 7);
    }
};

// Window groups from the 7-bit grouping field: bit 6 belongs to window 1; a clear bit opens a
// new group.  Returns the group count.
inline int aacGroupWindows(int sfGrouping, int* lenWinGrp) {
    int g = 0;
    lenWinGrp[0] = 1;
    for (int w = 1; w < 8; ++w) {
        if ((sfGrouping >> (7 - w)) & 1) {
            ++lenWinGrp[g];
        } else {
            lenWinGrp[++g] = 1;
        }
    }
    return g + 1;
}

// TNS side data of one channel; fields as in AACTnsData.  Stops at an order above the limit.
StatusCode aacDecodeTnsData(AacBits& bs, int winSequence, int* nFilt, int* coefRes, int* length, int* order,
                            int* direction, Okv8s* coef,
                            int maxLongOrder = 12);

// LTP side data of one channel (ltpDataPresent is set by the caller).
void aacDecodeLtpData(AacBits& bs, int winSequence, int maxSfb, AACLtpData* ltp);

// Byte-array payload: n bytes of 8 bits each.
inline void aacGetBytes(AacBits& bs, Okv8u* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = Okv8u(bs.get(8));
}

}  // namespace OKV_NS
