// Layer III Huffman tables.
//
// Pair tables: 16 first-level entries indexed by 4 stream bits, then a binary tree (node q:
// 0-branch at q + 1, 1-branch at 16 + (entry >> 1)); entries with bit 0 set are leaves.
// Small tables use bytes (tree leaf x = e >> 5, y = (e >> 2) & 7), big tables 16-bit words
// (tree leaf x = (e >> 6) & 15, y = (e >> 2) & 15). First-level leaves carry a kind in their
// low 4 bits that says how many bits they use and where x, y and their signs come from.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

struct Mp3PairTable {
    const Okv8u* small;   // set for small tables (values 0..7)
    const Okv16u* big;    // set for big tables (values 0..15)
    int linbits;          // escape bits after a value 15 (big tables only)
    int kind;             // 0 all zero, 1 small, 2 big
};

}  // namespace OKV_NS

// mp3PairTables[32], indexed by table_select, and mp3Count1A[52]: count1 table A, 6-bit
// look-ahead: 16..31 four signed 2-bit fields (5 bits used); 6..15 index of the entry pair
// selected by the 7th bit (7 bits used); 0..5 value mask << 3 | (bits used - 8).
#include "mp3/huff_tables_data.h"
