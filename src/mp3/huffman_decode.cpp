// Layer III Huffman decoding: big-values pairs in up to three regions, then count1 quadruples.
//
// The reader loads 64 bits at the current byte for every pair or quadruple (at least 57 valid
// bits, enough for the longest code with both escapes and signs), so the stream must stay
// readable 8 bytes past the end of the budget. A pair that ends past the budget stops the
// big-values decoding at once (the call then fails), so no read goes further than that.
#include "mp3/huff_tables.h"
#include "mp3/mp3_bits.h"
#include "mp3/sfb_tables.h"

namespace OKV_NS {

namespace {

constexpr int sext(Okv32u v, int bits) { return (int)(v << (32 - bits)) >> (32 - bits); }

// Bit at position `at` of the window (0 = most significant).
constexpr Okv32u bitAt(Okv64u w, int at) { return (Okv32u)((w << at) >> 63); }

// Walks the tree from the internal node that first-level entry e points to, consuming the
// bits of `bits` from the top; leaves the leaf in e and returns the bits used.
template <class T>
constexpr int treeWalk(const T* t, Okv64u bits, Okv32u& e) {
    Okv32u q = 16 + (e >> 1);
    int n = 0;
    for (e = t[q]; !(e & 1); e = t[q], ++n, bits <<= 1) {
        const Okv32u one = 16 + (e >> 1), zero = q + 1;
        q = (Okv64s)bits < 0 ? one : zero;
    }
    return n;
}

struct HuffStream {
    const Okv8u* base;
    Okv32u pos;
    Okv64u window() const { return mp3LoadBe64(base + (pos >> 3)) << (pos & 7); }
};

// Applies the sign bit at `used` to a non-zero v (without a branch: signs are random).
constexpr int withSign(Okv64u w, int& used, int v) {
    const int nz = v != 0;
    const int neg = -(int)(bitAt(w, used) & (Okv32u)nz);
    used += nz;
    return (v ^ neg) - neg;
}

// Escape bits and sign bits that follow a pair's code; `used` counts the bits of the window.
template <bool kLin>
constexpr void finishPair(Okv64u w, int& used, int x, int y, int linbits, Okv32s* out) {
    if (kLin && x == 15) {
        x += (int)((w << used) >> (64 - linbits));
        used += linbits;
    }
    x = withSign(w, used, x);
    if (kLin && y == 15) {
        y += (int)((w << used) >> (64 - linbits));
        used += linbits;
    }
    out[0] = x;
    out[1] = withSign(w, used, y);
}

// First-level leaves other than "4-bit code, signs follow", indexed by kind (low 4 bits) >> 1:
// bits used, and the magnitudes that the fifth bit signs, added to the entry's signed fields.
struct FirstLevel {
    int used, x, y;
};
// Small: kinds 1 and 3 fields only (4, 3 bits), 5 and 7 zeros (2, 1 bits), 9 x = +-2, 13 y = +-1.
constexpr FirstLevel kSmallFirst[8] = {{4, 0, 0}, {3, 0, 0}, {2, 0, 0}, {1, 0, 0},
                                       {5, 2, 0}, {0, 0, 0}, {5, 0, 1}, {0, 0, 0}};
// Big: kind 1 x field (4 bits), 3 and 7 zeros (3, 1 bits), 9 x = +-1, 11 y = +-1, 13 x field
// and y = +-1.
constexpr FirstLevel kBigFirst[8] = {{4, 0, 0}, {3, 0, 0}, {0, 0, 0}, {1, 0, 0},
                                     {5, 1, 0}, {5, 0, 1}, {5, 0, 1}, {0, 0, 0}};

// One pair of a small table (byte entries, values 0..7) at the top of w; returns the bits used.
constexpr int smallPair(const Okv8u* t, Okv64u w, Okv32s* out) {
    Okv32u e = t[w >> 60];
    if ((e & 15) == 15 || (e & 15) == 11) {  // 4-bit code, signs follow
        int used = 4;
        finishPair<false>(w, used, (int)(e >> 6) & 3, (int)(e >> 4) & 3, 0, out);
        return used;
    }
    if (e & 1) {
        const FirstLevel& f = kSmallFirst[(e >> 1) & 7];
        const int unit = 1 - 2 * (int)bitAt(w, 4);  // the fifth bit as a sign
        out[0] = sext(e >> 6, 2) + f.x * unit;
        out[1] = sext(e >> 4, 2) + f.y * unit;
        return f.used;
    }
    int used = 4 + treeWalk(t, w << 4, e);
    finishPair<false>(w, used, (int)(e >> 5), (int)(e >> 2) & 7, 0, out);
    return used;
}

// One pair of a big table (16-bit entries, values 0..15, escapes when kLin).
template <bool kLin>
constexpr int bigPair(const Okv16u* t, int linbits, Okv64u w, Okv32s* out) {
    Okv32u e = t[w >> 60];
    if ((e & 15) == 15 || (e & 15) == 5) {  // 4-bit code, escapes and signs follow
        int used = 4;
        finishPair<kLin>(w, used, (int)(e >> 8) & 15, (int)(e >> 4) & 15, linbits, out);
        return used;
    }
    if (e & 1) {
        const FirstLevel& f = kBigFirst[(e >> 1) & 7];
        const int unit = 1 - 2 * (int)bitAt(w, 4);  // the fifth bit as a sign
        out[0] = sext(e >> 8, 4) + f.x * unit;
        out[1] = f.y * unit;
        return f.used;
    }
    int used = 4 + treeWalk(t, w << 4, e);
    finishPair<kLin>(w, used, (int)(e >> 6) & 15, (int)(e >> 2) & 15, linbits, out);
    return used;
}

// Whole-pair lookup on the next kFastBits bits, derived from the pair tables at compile time:
// an entry holds bits used (1..kFastBits, 0 = take the table path), signed x and y (5 bits
// each). A pair qualifies when its code and signs fit in the look-ahead, it decodes the same
// whatever bits follow (all zeros and all ones are tried) and no value is 15 (which may take
// escape bits).
constexpr int kFastBits = 10;
struct FastPairs {
    Okv16u e[1 << kFastBits];
};

template <class Pair>
constexpr FastPairs buildFastPairs(Pair pair) {
    FastPairs f{};
    for (int p = 0; p < (1 << kFastBits); ++p) {
        const Okv64u w = (Okv64u)p << (64 - kFastBits);
        Okv32s o[2] = {}, ones[2] = {};
        const int used = pair(w, o);
        const bool same = pair(w | (~0ull >> kFastBits), ones) == used && ones[0] == o[0] && ones[1] == o[1];
        const bool fits = used <= kFastBits && o[0] > -15 && o[0] < 15 && o[1] > -15 && o[1] < 15;
        if (same && fits) f.e[p] = (Okv16u)(used | (o[0] & 31) << 4 | (o[1] & 31) << 9);
    }
    return f;
}

// Slot of a table's lookup: the escape tables 16..23 and 24..31 share one code table each.
constexpr int fastSlot(int tableSelect) { return tableSelect < 16 ? tableSelect : 16 + (tableSelect >= 24); }

struct AllFastPairs {
    FastPairs t[18];
};
constexpr AllFastPairs kFastPairs = [] {
    AllFastPairs a{};
    for (int ts = 0; ts < 32; ++ts) {
        const Mp3PairTable& tab = mp3PairTables[ts];
        if (tab.kind == 1)
            a.t[fastSlot(ts)] = buildFastPairs([&](Okv64u w, Okv32s* o) { return smallPair(tab.small, w, o); });
        else if (tab.kind == 2)
            a.t[fastSlot(ts)] = buildFastPairs([&](Okv64u w, Okv32s* o) { return bigPair<false>(tab.big, 0, w, o); });
    }
    return a;
}();

// Pairs of one region; `pair` decodes a pair the lookup does not cover. Returns false when a
// pair ends past `end`. A window holds at least 57 valid bits, so whole-pair lookups run on in
// one window while kFastBits of it remain: the next lookup does not wait for a reload.
template <class Pair>
inline bool decodePairs(HuffStream& s, const FastPairs& fast, Pair pair, Okv32s* out, int pairs, Okv32u end) {
    for (int i = 0; i < pairs;) {
        Okv64u w = s.window();
        Okv32u f = fast.e[w >> (64 - kFastBits)];
        int used = (int)(f & 15);
        if (!used) {
            s.pos += (Okv32u)pair(w, out);
            out += 2;
            ++i;
            if (s.pos > end) return false;
            continue;
        }
        for (int valid = 57;;) {
            out[0] = sext(f >> 4, 5);
            out[1] = sext(f >> 9, 5);
            out += 2;
            ++i;
            s.pos += (Okv32u)used;
            if (s.pos > end) return false;
            w <<= used;
            valid -= used;
            if (i == pairs || valid < kFastBits) break;
            f = fast.e[w >> (64 - kFastBits)];
            used = (int)(f & 15);
            if (!used) break;
        }
    }
    return true;
}

// One count1 quadruple at the top of w; returns the bits used (at most 10 with the signs).
constexpr int quad(bool tableB, Okv64u w, Okv32s* o) {
    int used;
    if (tableB) {
        const Okv32u m = ~(Okv32u)(w >> 60) & 15;
        used = 4;
        for (int k = 0; k < 4; ++k) o[k] = withSign(w, used, (int)(m >> (3 - k)) & 1);
        return used;
    }
    const Okv32u look = (Okv32u)(w >> 58);
    if (look >= 32) {
        o[0] = o[1] = o[2] = o[3] = 0;
        return 1;
    }
    if (look < 6) {
        const Okv32u m = mp3Count1A[look] >> 3;
        used = 6;
        for (int k = 0; k < 4; ++k) o[k] = withSign(w, used, (int)(m >> (3 - k)) & 1);
        return used;
    }
    Okv32u e;
    if (look >= 16) {
        e = mp3Count1A[look];
        used = 5;
    } else {
        e = mp3Count1A[mp3Count1A[look] + bitAt(w, 6)];
        used = 7;
    }
    o[0] = sext(e >> 6, 2);
    o[1] = sext(e >> 4, 2);
    o[2] = sext(e >> 2, 2);
    o[3] = sext(e, 2);
    return used;
}

// Whole-quadruple lookup on the next 10 bits for both count1 tables: bits used in the low 4
// bits, then the four values as signed 2-bit fields.
struct FastQuads {
    Okv16u e[2][1024];
    bool complete;  // every quadruple depends on its 10 bits only
};
constexpr FastQuads kFastQuads = [] {
    FastQuads f{};
    f.complete = true;
    for (int b = 0; b < 2; ++b)
        for (int p = 0; p < 1024; ++p) {
            Okv32s o[4] = {}, ones[4] = {};
            const int used = quad(b != 0, (Okv64u)p << 54, o);
            f.complete &= quad(b != 0, (Okv64u)p << 54 | (~0ull >> 10), ones) == used && ones[0] == o[0] &&
                          ones[1] == o[1] && ones[2] == o[2] && ones[3] == o[3];
            f.e[b][p] = (Okv16u)(used | (o[0] & 3) << 4 | (o[1] & 3) << 6 | (o[2] & 3) << 8 | (o[3] & 3) << 10);
        }
    return f;
}();
static_assert(kFastQuads.complete);

// Count1 quadruples from index idx while bits remain; returns the end of the kept values.
int decodeCount1(HuffStream& s, bool tableB, Okv32s* dst, int idx, Okv32u end) {
    const Okv16u* fast = kFastQuads.e[tableB];
    while (idx < 574 && s.pos < end) {
        // Quadruples take at most 10 bits: five of them fit the 57 valid bits of one window.
        Okv64u w = s.window();
        for (int k = 0; k < 5 && idx < 574 && s.pos < end; ++k) {
            const Okv32u f = fast[w >> 54];
            Okv32s* o = dst + idx;
            o[0] = sext(f >> 4, 2);
            o[1] = sext(f >> 6, 2);
            o[2] = sext(f >> 8, 2);
            o[3] = sext(f >> 10, 2);
            s.pos += f & 15;
            w <<= f & 15;
            idx += 4;
        }
    }
    if (s.pos > end) idx -= 4;  // the last quadruple overran the budget: drop it
    return idx;
}

// Shared engine once the front end has checked its arguments and placed the region starts.
StatusCode decodeRegions(Okv8u** ppBitStream, int* pOffset, Okv32s* dst, int* pBound, const MP3SideInfo* si,
                         int budget, int r1, int r2) {
    const int n = 2 * si->big_values;
    const int start[4] = {0, r1, r2, n};
    if (budget == 0) {
        for (int r = 0; r < 3; ++r)
            if (start[r + 1] > start[r] && (unsigned)si->table_select[r] > 31) return okvErrMp3SideInfo;
        for (int i = 0; i < 576; ++i) dst[i] = 0;
        *pBound = 0;
        return okvOk;
    }

    const Okv32u offset = (Okv32u)*pOffset;
    const Okv32u end = offset + (Okv32u)budget;
    HuffStream s{*ppBitStream, offset};
    bool ok = true;
    for (int r = 0; r < 3 && ok; ++r) {
        const int pairs = (start[r + 1] - start[r]) >> 1;
        if (pairs <= 0) continue;
        if ((unsigned)si->table_select[r] > 31) return okvErrMp3SideInfo;  // earlier regions stay decoded
        Okv32s* out = dst + start[r];
        const Mp3PairTable& tab = mp3PairTables[si->table_select[r]];
        const FastPairs& fast = kFastPairs.t[fastSlot(si->table_select[r])];
        if (tab.kind == 0)
            for (int i = 0; i < 2 * pairs; ++i) out[i] = 0;
        else if (tab.kind == 1)
            ok = decodePairs(s, fast, [&](Okv64u w, Okv32s* o) { return smallPair(tab.small, w, o); }, out, pairs, end);
        else if (tab.linbits)
            ok = decodePairs(s, fast, [&](Okv64u w, Okv32s* o) { return bigPair<true>(tab.big, tab.linbits, w, o); },
                             out, pairs, end);
        else
            ok = decodePairs(s, fast, [&](Okv64u w, Okv32s* o) { return bigPair<false>(tab.big, 0, w, o); }, out,
                             pairs, end);
    }
    if (!ok) {
        *ppBitStream += s.pos >> 3;
        *pOffset = (int)(s.pos & 7);
        return okvErrBadData;
    }

    int idx = decodeCount1(s, si->count1table_select != 0, dst, n, end);
    for (int i = idx; i < 576; ++i) dst[i] = 0;
    while (idx > 0 && dst[idx - 1] == 0) --idx;
    *pBound = idx;
    *ppBitStream += end >> 3;
    *pOffset = (int)(end & 7);
    return okvOk;
}

inline int clampTo(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Region starts are whole pairs: an odd boundary from a caller's table is rounded down.
inline int regionStart(int v, int lo, int n) { return clampTo(v, lo, n) & ~1; }

// Region starts without window switching (three regions); sets *r1, *r2 or fails.
StatusCode longRegions(const MP3SideInfo* si, const Okv16s* longRow, int n, int* r1, int* r2) {
    const int c0 = si->region0_count, c1 = si->region1_count;
    if (c0 < 0 || c1 < 0 || c0 + c1 >= 21) return okvErrMp3SideInfo;
    *r1 = regionStart(longRow[c0 + 1], 0, n);
    *r2 = regionStart(longRow[c0 + c1 + 2], *r1, n);
    return okvOk;
}

}  // namespace

StatusCode okvsHuffmanDecodeSfb_MP3_1u32s(Okv8u** ppBitStream, int* pOffset, Okv32s* pDstIs, int* pDstNonZeroBound,
                                          const MP3SideInfo* pSideInfo, const MP3FrameHeader* pFrameHeader,
                                          int hufSize, const Okv16s* pSfbTableLong) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pDstIs || !pDstNonZeroBound || !pSideInfo || !pFrameHeader)
        return okvErrNullPtr;
    const MP3SideInfo* si = pSideInfo;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)*pOffset > 7 || hufSize < 0 || hufSize > si->part2_3_length) return okvErrBadArg;
    if ((unsigned)si->big_values > 288 || (unsigned)si->block_type > 3 || (unsigned)si->window_switching_flag > 1 ||
        (unsigned)si->count1table_select > 1)
        return okvErrMp3SideInfo;
    if ((unsigned)h->id > 1 || h->layer != 1 || (unsigned)h->sampling_frequency > 2) return okvErrMp3FrameHeader;

    const int n = 2 * si->big_values;
    int r1, r2 = n;
    if (si->window_switching_flag) {
        if (si->block_type == 0) return okvErrMp3SideInfo;
        r1 = (h->id == 1 || si->block_type == 2) ? 36 : 54;
        if (r1 > n) r1 = n;
    } else {
        const StatusCode st =
            longRegions(si, pSfbTableLong + (h->id * 3 + h->sampling_frequency) * 23, n, &r1, &r2);
        if (st != okvOk) return st;
    }
    return decodeRegions(ppBitStream, pOffset, pDstIs, pDstNonZeroBound, si, hufSize, r1, r2);
}

StatusCode okvsHuffmanDecode_MP3_1u32s(Okv8u** ppBitStream, int* pOffset, Okv32s* pDstIs, int* pDstNonZeroBound,
                                       const MP3SideInfo* pSideInfo, const MP3FrameHeader* pFrameHeader,
                                       int hufSize) {
    return OKV_NS::okvsHuffmanDecodeSfb_MP3_1u32s(ppBitStream, pOffset, pDstIs, pDstNonZeroBound, pSideInfo, pFrameHeader,
                                          hufSize, &mp3SfbLong[0][0]);
}

StatusCode okvsHuffmanDecodeSfbMbp_MP3_1u32s(Okv8u** ppBitStream, int* pOffset, Okv32s* pDstIs,
                                             int* pDstNonZeroBound, const MP3SideInfo* pSideInfo,
                                             const MP3FrameHeader* pFrameHeader, int hufSize,
                                             const Okv16s* pSfbTableLong, const Okv16s* pSfbTableShort,
                                             const Okv16s* pMbp) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pDstIs || !pDstNonZeroBound || !pSideInfo || !pFrameHeader ||
        !pSfbTableLong || !pSfbTableShort || !pMbp)
        return okvErrNullPtr;
    const MP3SideInfo* si = pSideInfo;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)*pOffset > 7) return okvErrBadArg;
    if ((unsigned)h->id > 1) return okvErrMp3FrameHeader;
    if ((unsigned)si->big_values > 288 || (unsigned)si->block_type > 3 || (unsigned)si->window_switching_flag > 1)
        return okvErrMp3SideInfo;
    const int blockType = si->window_switching_flag ? si->block_type : 0;
    if (si->window_switching_flag && blockType == 0) return okvErrMp3SideInfo;
    if (h->layer != 1 || (unsigned)h->sampling_frequency > 2) return okvErrMp3FrameHeader;
    if ((unsigned)si->count1table_select > 1 || hufSize < 0 || hufSize > si->part2_3_length) return okvErrMp3SideInfo;

    const int row = h->id * 3 + h->sampling_frequency;
    const Okv16s* lng = pSfbTableLong + row * 23;
    const Okv16s* sht = pSfbTableShort + row * 14;
    const int n = 2 * si->big_values;
    int r1, r2 = n;
    if (!si->window_switching_flag) {
        const StatusCode st = longRegions(si, lng, n, &r1, &r2);
        if (st != okvOk) return st;
    } else {
        int c;
        if (blockType != 2) {
            c = lng[8];
        } else if (!si->mixed_block_flag) {
            c = 3 * (sht[3] - sht[0]);
        } else {
            // The long bands of the mixed block, then mbp[1] short windows: the band that
            // straddles the boundary contributes two windows, each later band three.
            c = lng[clampTo(pMbp[row * 2], 0, 22)];
            int j = 0;
            while (j < 14 && 3 * sht[j] <= c) ++j;
            for (int k = 0; k < pMbp[row * 2 + 1]; ++k) {
                const int b = j + (k + 1) / 3;
                if (b < 1 || b > 13) break;
                c += sht[b] - sht[b - 1];
            }
        }
        r1 = regionStart(c, 0, n);
    }
    return decodeRegions(ppBitStream, pOffset, pDstIs, pDstNonZeroBound, si, hufSize, r1, r2);
}

}  // namespace OKV_NS
