// Layer III encoding code lists, derived at compile time from the decoder's Huffman tables.
//
// Every code is found by walking the prefix tree of the decoding tables: a prefix decoded with
// zero bits after it either yields a code of exactly its own length (a leaf, recorded) or a
// longer one (an inner node, both extensions are tried). Trailing zeros make every sign inside a
// first-level look-up positive, so a decoded value is the magnitude and the code length is the
// bits used less one per non-zero value.
#pragma once
#include "mp3/huff_tables.h"

namespace OKV_NS {
namespace mp3enc {

struct Code {
    Okv16u code, len;  // codeword, first bit most significant, and its length
};

// One pair table: row length xlen, escape bits and codes indexed by xlen * x + y.
struct PairCodes {
    int xlen = 0;
    int linbits = 0;
    Code c[256] = {};
};

constexpr int sext(Okv32u v, int bits) { return (int)(v << (32 - bits)) >> (32 - bits); }

// First-level leaves by kind >> 1 (bits used, value added for a fifth bit of 0), as the decoder reads them.
struct FirstLevel {
    int used, x, y;
};
constexpr FirstLevel kSmallFirst[8] = {{4, 0, 0}, {3, 0, 0}, {2, 0, 0}, {1, 0, 0},
                                       {5, 2, 0}, {0, 0, 0}, {5, 0, 1}, {0, 0, 0}};
constexpr FirstLevel kBigFirst[8] = {{4, 0, 0}, {3, 0, 0}, {0, 0, 0}, {1, 0, 0},
                                     {5, 1, 0}, {5, 0, 1}, {5, 0, 1}, {0, 0, 0}};

// The pair coded at the top of w (bits after it zero): magnitudes and code length.
template <class T>
constexpr void pairAt(const T* t, bool big, Okv64u w, int& x, int& y, int& len) {
    Okv32u e = t[w >> 60];
    const Okv32u kind = e & 15;
    if (kind == 15 || kind == (big ? 5u : 11u)) {  // 4-bit code, fields hold the magnitudes
        x = big ? (int)(e >> 8) & 15 : (int)(e >> 6) & 3;
        y = (int)(e >> 4) & (big ? 15 : 3);
        len = 4;
        return;
    }
    if (e & 1) {
        const FirstLevel& f = (big ? kBigFirst : kSmallFirst)[(e >> 1) & 7];
        x = big ? sext(e >> 8, 4) + f.x : sext(e >> 6, 2) + f.x;
        y = big ? f.y : sext(e >> 4, 2) + f.y;
        len = f.used - (x != 0) - (y != 0);
        return;
    }
    Okv64u bits = w << 4;
    Okv32u q = 16 + (e >> 1);
    len = 4;
    for (e = t[q]; !(e & 1); e = t[q], ++len, bits <<= 1) q = (Okv64s)bits < 0 ? 16 + (e >> 1) : q + 1;
    x = big ? (int)(e >> 6) & 15 : (int)(e >> 5);
    y = big ? (int)(e >> 2) & 15 : (int)(e >> 2) & 7;
}

// Walks every prefix of up to 19 bits; decode(w, &index, &len) gives the code at the top of w.
template <class Decode>
constexpr void collect(Decode decode, Code* out, int& found) {
    struct Node {
        Okv32u bits;
        int n;
    } stack[40] = {{0, 1}, {1, 1}};
    int sp = 2;
    while (sp > 0) {
        const Node nd = stack[--sp];
        int index = 0, len = 0;
        decode((Okv64u)nd.bits << (64 - nd.n), index, len);
        if (len == nd.n) {
            out[index] = Code{(Okv16u)nd.bits, (Okv16u)len};
            ++found;
        } else if (nd.n < 19) {
            stack[sp++] = Node{nd.bits << 1, nd.n + 1};
            stack[sp++] = Node{nd.bits << 1 | 1, nd.n + 1};
        }
    }
}

constexpr PairCodes derivePair(const Mp3PairTable& t) {
    PairCodes p{};
    if (t.kind == 0) return p;
    const bool big = t.kind == 2;
    int maxv = 0;
    for (int pass = 0; pass < 2; ++pass) {  // first the row length, then the codes
        int found = 0;
        collect(
            [&](Okv64u w, int& index, int& len) {
                int x = 0, y = 0;
                if (big)
                    pairAt(t.big, true, w, x, y, len);
                else
                    pairAt(t.small, false, w, x, y, len);
                maxv = x > maxv ? x : maxv;
                index = pass ? p.xlen * x + y : 0;
            },
            p.c, found);
        p.xlen = maxv + 1;
        if (pass && found != p.xlen * p.xlen) p.xlen = -1;  // incomplete: caught by the static_assert
    }
    p.linbits = t.linbits;
    return p;
}

// Count1 table A, indexed by 8v + 4w + 2x + y; read as the decoder's 6-bit look-up does.
constexpr void quadAt(Okv64u w, int& index, int& len) {
    const Okv32u look = (Okv32u)(w >> 58);
    if (look >= 32) {
        index = 0, len = 1;
        return;
    }
    if (look < 6) {
        index = mp3Count1A[look] >> 3, len = 6;
        return;
    }
    const Okv32u e = look >= 16 ? mp3Count1A[look] : mp3Count1A[mp3Count1A[look]];
    index = 0;
    for (int k = 0; k < 4; ++k) index |= ((e >> (6 - 2 * k)) & 3) != 0 ? 8 >> k : 0;
    len = look >= 16 ? 4 : 5;
}

struct EncodeTables {
    PairCodes pair[18];  // tables 0..15, then 16 for 16..23 and 17 for 24..31
    Code count1[2][16];  // tables A and B
    int count1Found = 0;
    constexpr EncodeTables() {
        for (int s = 0; s < 18; ++s) pair[s] = derivePair(mp3PairTables[s < 16 ? s : s == 16 ? 16 : 24]);
        collect(quadAt, count1[0], count1Found);
        for (int i = 0; i < 16; ++i) count1[1][i] = Code{(Okv16u)(15 - i), 4};  // B: 4 inverted bits
    }
};

inline constexpr EncodeTables kEncodeTables{};

constexpr bool rowLengthsMatch() {
    constexpr int xlen[16] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16};
    for (int s = 0; s < 18; ++s)
        if (kEncodeTables.pair[s].xlen != (s < 16 ? xlen[s] : 16)) return false;
    return kEncodeTables.count1Found == 16;
}
static_assert(rowLengthsMatch(), "every pair and quadruple of the decoding tables has one code");

// Slot of kEncodeTables.pair for a table_select 0..31.
constexpr int pairSlot(int tableSelect) { return tableSelect < 16 ? tableSelect : 16 + (tableSelect >= 24); }

}  // namespace mp3enc
}  // namespace OKV_NS
