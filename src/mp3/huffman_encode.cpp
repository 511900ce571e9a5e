// Layer III Huffman encoding of one granule and channel: big-values pairs in up to three
// regions, count1 quadruples, then '1' bits up to the Huffman bit budget.
#include "mp3/huffman_encode_codes.h"
#include "mp3/pack_bits.h"
#include "mp3/sfb_tables.h"

namespace OKV_NS {

namespace {

using mp3enc::Code;
using mp3enc::kEncodeTables;
using mp3enc::PairCodes;

inline Okv32u mag(Okv32s v) { return v < 0 ? 0u - (Okv32u)v : (Okv32u)v; }
inline Okv32u neg(Okv32s v) { return (Okv32u)v >> 31; }

// Pairs of a table without escapes. Magnitudes beyond the table are the quantiser's to
// prevent; they are clamped to the last row and column so that no read leaves the table.
void smallPairs(Mp3BitSink& bs, const PairCodes& t, const Okv32s* v, int n) {
    const Okv32u last = (Okv32u)t.xlen - 1;
    for (int i = 0; i < n; i += 2) {
        Okv32u x = mag(v[i]), y = mag(v[i + 1]);
        x = x < last ? x : last;
        y = y < last ? y : last;
        const Code c = t.c[x * (Okv32u)t.xlen + y];
        Okv32u bits = c.code;
        int len = c.len;
        if (x) bits = bits << 1 | neg(v[i]), ++len;
        if (y) bits = bits << 1 | neg(v[i + 1]), ++len;
        bs.put(bits, len);
    }
}

// One value's escape and sign bits after a pair code of an escape table.
inline void escape(Mp3BitSink& bs, Okv32s v, Okv32u m, int linbits) {
    if (m == 0) return;
    if (m >= 15)
        bs.put((m - 15) << 1 | neg(v), linbits + 1);
    else
        bs.put(neg(v), 1);
}

void escapePairs(Mp3BitSink& bs, const PairCodes& t, int linbits, const Okv32s* v, int n) {
    for (int i = 0; i < n; i += 2) {
        const Okv32u x = mag(v[i]), y = mag(v[i + 1]);
        const Code c = t.c[(x < 15 ? x : 15) * 16 + (y < 15 ? y : 15)];
        bs.put(c.code, c.len);
        escape(bs, v[i], x, linbits);
        escape(bs, v[i + 1], y, linbits);
    }
}

}  // namespace

// Decisions beyond the argument checks: a table_select above 31 in a non-empty region fails as
// a negative one does; a region of no values needs no table; the unused tables 4 and 14 write
// nothing, as table 0 (decoders read zeros); the count1 region ends at line 576.
StatusCode okvsHuffmanEncode_MP3_32s1u(const Okv32s* pSrcIx, Okv8u** ppBitStream, int* pOffset,
                                       const MP3FrameHeader* pFrameHeader, const MP3SideInfo* pSideInfo,
                                       int count1Len, int hufSize) {
    if (!pSrcIx || !ppBitStream || !*ppBitStream || !pOffset || !pFrameHeader || !pSideInfo) return okvErrNullPtr;
    if ((unsigned)*pOffset > 7) return okvErrBadArg;
    const MP3SideInfo* si = pSideInfo;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)si->big_values > 288 || si->region0_count < 0 || si->region1_count < 0 ||
        si->region0_count + si->region1_count >= 21 || (unsigned)si->count1table_select > 1)
        return okvErrMp3SideInfo;
    if (h->id != 1 || h->layer != 1 || (unsigned)h->sampling_frequency > 2) return okvErrMp3FrameHeader;

    const int bv2 = 2 * si->big_values;
    int start[4] = {0, 36, bv2, bv2};
    if (!si->window_switching_flag || si->block_type == 0) {
        const Okv16s* row = mp3SfbLong[3 + h->sampling_frequency];
        start[1] = row[si->region0_count + 1];
        start[2] = row[si->region0_count + si->region1_count + 2];
    }
    for (int r = 1; r < 3; ++r) start[r] = start[r] < bv2 ? start[r] : bv2;

    Mp3BitSink bs(*ppBitStream, *pOffset);
    StatusCode st = okvOk;
    for (int r = 0; r < 3; ++r) {
        const int n = (start[r + 1] - start[r] + 1) & ~1;
        if (n <= 0) continue;
        const int ts = si->table_select[r];
        if ((unsigned)ts > 31) {
            st = okvErrMp3SideInfo;  // earlier regions stay written
            break;
        }
        const PairCodes& t = kEncodeTables.pair[mp3enc::pairSlot(ts)];
        if (ts >= 16)
            escapePairs(bs, t, mp3PairTables[ts].linbits, pSrcIx + start[r], n);
        else if (t.xlen > 0)  // tables 0, 4 and 14 have no codes and write nothing
            smallPairs(bs, t, pSrcIx + start[r], n);
    }
    if (st == okvOk) {
        const Code* quad = kEncodeTables.count1[si->count1table_select];
        const int room = (576 - bv2) >> 2;
        int quads = count1Len > 0 ? (count1Len + 3) >> 2 : 0;
        quads = quads < room ? quads : room;
        for (const Okv32s* v = pSrcIx + bv2; quads > 0; --quads, v += 4) {
            Okv32u index = 0, signs = 0;
            int ns = 0;
            for (int k = 0; k < 4; ++k)
                if (v[k]) index |= 8u >> k, signs = signs << 1 | neg(v[k]), ++ns;
            const Code c = quad[index];
            bs.put((Okv32u)c.code << ns | signs, c.len + ns);
        }
        bs.stuff(hufSize - bs.written());
    }
    bs.finish(ppBitStream, pOffset);
    return st;
}

}  // namespace OKV_NS
