#include "mp3/huffman_writer.h"

#include <vector>

// The library's code lists, derived from its decoding tables, in a namespace of the tool's own.
#pragma push_macro("OKV_NS")
#undef OKV_NS
#define OKV_NS okvac_tool_tables
#include "mp3/huffman_encode_codes.h"
#pragma pop_macro("OKV_NS")

namespace {

using okvac_tool_tables::mp3PairTables;
using okvac_tool_tables::mp3enc::kEncodeTables;
using okvac_tool_tables::mp3enc::pairSlot;

// Codeword followed by the sign bits (1: negative) of the non-zero values, first value first.
VLCCodeEntry signedEntry(int value, Okv32u code, int len, const int* v, int n) {
    for (int i = 0; i < n; ++i)
        if (v[i]) code = code << 1 | (v[i] < 0), ++len;
    return VLCCodeEntry{value, code, len};
}

}  // namespace

HuffmanWriter::~HuffmanWriter() {
    for (int t = 0; t < 32; ++t)
        if (t < 17 || t == 24) okvsVLCEncodeFree_32s(pair_[t]);
    for (OkvsVLCEncodeSpec_32s* s : quad_) okvsVLCEncodeFree_32s(s);
}

bool HuffmanWriter::init() {
    std::vector<VLCCodeEntry> e;
    for (int t = 1; t < 32; ++t) {
        if (mp3PairTables[t].kind == 0) continue;
        if (t > 16 && t != 24) {  // same codes as 16 or 24, other linbits
            pair_[t] = pair_[t < 24 ? 16 : 24];
            continue;
        }
        const auto& c = kEncodeTables.pair[pairSlot(t)];
        const int m = c.xlen - 1;  // 15 in the escape tables: the escape entry
        e.clear();
        for (int x = -m; x <= m; ++x)
            for (int y = -m; y <= m; ++y) {
                const auto& k = c.c[(x < 0 ? -x : x) * c.xlen + (y < 0 ? -y : y)];
                const int v[2] = {x, y};
                e.push_back(signedEntry(32 * x + y + 15, k.code, k.len, v, 2));
            }
        if (okvsVLCEncodeInitAlloc_32s(e.data(), (int)e.size(), &pair_[t]) != okvOk) return false;
    }
    for (int s = 0; s < 2; ++s) {
        e.clear();
        for (int q = 0; q < 81; ++q) {
            const int v[4] = {q / 27 - 1, q / 9 % 3 - 1, q / 3 % 3 - 1, q % 3 - 1};
            const int idx = (v[0] != 0) << 3 | (v[1] != 0) << 2 | (v[2] != 0) << 1 | (v[3] != 0);
            e.push_back(signedEntry(q, kEncodeTables.count1[s][idx].code, kEncodeTables.count1[s][idx].len, v, 4));
        }
        if (okvsVLCEncodeInitAlloc_32s(e.data(), (int)e.size(), &quad_[s]) != okvOk) return false;
    }
    return true;
}

int HuffmanWriter::bestTable(const Okv16s* v, int n) const {
    int m = 0;
    for (int i = 0; i < n; ++i) m = v[i] > m ? v[i] : -v[i] > m ? -v[i] : m;
    if (!m) return 0;
    int best = 0, bestBits = 0;
    for (int t = 1; t < 32; ++t) {
        const auto& c = kEncodeTables.pair[pairSlot(t)];
        if (!pair_[t] || (m >= 15 ? c.xlen < 16 || m - 15 >= 1 << mp3PairTables[t].linbits : m >= c.xlen)) continue;
        Okv32s bits = 0;
        okvsVLCCountEscBits_MP3_16s32s(v, n, mp3PairTables[t].linbits, &bits, pair_[t]);
        if (!best || bits < bestBits) best = t, bestBits = bits;
    }
    return best;
}

void HuffmanWriter::write(const Okv32s* ix, MP3SideInfo& si, int count1Len, const Okv16s* longBands, Okv8u** p, int* off) {
    const int e = 2 * si.big_values;
    for (int i = 0; i < e + count1Len; ++i) v_[i] = (Okv16s)ix[i];
    int r1, r2;
    if (si.window_switching_flag) {
        r1 = si.block_type == 2 ? 36 : 54, r2 = e;
        if (si.block_type != 2) {
            r1 = r1 < e ? r1 : e;
            si.table_select[0] = bestTable(v_, r1);
            si.table_select[1] = bestTable(v_ + r1, e - r1);
        }
    } else {
        r1 = longBands[si.region0_count + 1], r2 = longBands[si.region0_count + si.region1_count + 2];
    }
    r1 = r1 < e ? r1 : e;
    r2 = r2 < e ? r2 : e;
    const int starts[4] = {0, r1, r2, e};
    for (int r = 0; r < 3; ++r) {
        const int t = si.table_select[r], n = starts[r + 1] - starts[r];
        if (t && n > 0) okvsVLCEncodeEscBlock_MP3_16s1u(v_ + starts[r], n, mp3PairTables[t].linbits, p, off, pair_[t]);
    }
    for (int i = 0; i < count1Len; i += 4) {
        const Okv16s* q = v_ + e + i;
        v_[e + i / 4] = (Okv16s)(27 * (q[0] + 1) + 9 * (q[1] + 1) + 3 * (q[2] + 1) + q[3] + 1);
    }
    if (count1Len) okvsVLCEncodeBlock_16s1u(v_ + e, count1Len / 4, p, off, quad_[si.count1table_select]);
}
