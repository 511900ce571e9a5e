// Bit counts of quantised values under the Layer III Huffman tables and the table choice.
#pragma once
#include "mp3/huffman_encode_codes.h"

namespace OKV_NS {
namespace mp3q {

using mp3enc::kEncodeTables;

// Bits of pairs [0, n) of v under table ts (1..31): codes, escape bits, sign bits.
inline int pairBits(const Okv32s* v, int n, int ts) {
    const mp3enc::PairCodes& t = kEncodeTables.pair[mp3enc::pairSlot(ts)];
    const int linbits = mp3PairTables[ts].linbits;
    int bits = 0;
    if (ts < 16) {
        for (int i = 0; i < n; i += 2)
            bits += t.c[v[i] * t.xlen + v[i + 1]].len + (v[i] != 0) + (v[i + 1] != 0);
        return bits;
    }
    for (int i = 0; i < n; i += 2) {
        const int x = v[i] < 15 ? v[i] : 15, y = v[i + 1] < 15 ? v[i + 1] : 15;
        bits += t.c[x * 16 + y].len + (x != 0) + (y != 0) + linbits * ((x == 15) + (y == 15));
    }
    return bits;
}

// Tables without escapes grouped by row length.
constexpr Okv8u kGroups[6][4] = {{1, 0, 0, 0}, {2, 3, 0, 0}, {5, 6, 0, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}, {13, 15, 0, 0}};
constexpr Okv8u kGroupXlen[6] = {2, 3, 4, 6, 8, 16};

// The cheapest table for magnitudes v[0, n) (n even) and its bits; a later candidate wins a tie,
// an escape table of 24..31 only when strictly cheaper than the one of 16..23.
inline int chooseTable(const Okv32s* v, int n, int* bitsOut) {
    Okv32s m = 0;
    for (int i = 0; i < n; ++i) m = v[i] > m ? v[i] : m;
    if (m == 0) {
        *bitsOut = 0;
        return 0;
    }
    if (m < 15) {
        int g = 0;
        while (kGroupXlen[g] <= m) ++g;
        int best = 0, bestBits = 0;
        for (int k = 0; k < 4 && kGroups[g][k]; ++k) {
            const int b = pairBits(v, n, kGroups[g][k]);
            if (!best || b <= bestBits) best = kGroups[g][k], bestBits = b;
        }
        *bitsOut = bestBits;
        return best;
    }
    const int esc = m - 15;
    int a = 16, b = 24;
    while (a < 23 && (1 << mp3PairTables[a].linbits) <= esc) ++a;
    while (b < 31 && (1 << mp3PairTables[b].linbits) <= esc) ++b;
    const int bitsA = pairBits(v, n, a), bitsB = pairBits(v, n, b);
    *bitsOut = bitsB < bitsA ? bitsB : bitsA;
    return bitsB < bitsA ? b : a;
}

// Count1 quadruples [0, 4 * quads) of v: bits and whether table B is the choice.
inline int count1Bits(const Okv32s* v, int quads, int* tableB) {
    int a = 0, signs = 0;
    for (int q = 0; q < quads; ++q, v += 4) {
        const int idx = (v[0] != 0) << 3 | (v[1] != 0) << 2 | (v[2] != 0) << 1 | (v[3] != 0);
        a += kEncodeTables.count1[0][idx].len;
        signs += __builtin_popcount((unsigned)idx);
    }
    const int b = 4 * quads;
    *tableB = b <= a;
    return (b <= a ? b : a) + signs;
}

}  // namespace mp3q
}  // namespace OKV_NS
