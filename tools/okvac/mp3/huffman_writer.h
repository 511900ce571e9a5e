// Layer III Huffman data of one granule and channel written through the generic VLC encoders,
// for the streams the library's Layer III Huffman encoder does not take (MPEG-2 LSF).
#pragma once
#include "okvac.h"

class HuffmanWriter {
public:
    HuffmanWriter() = default;
    HuffmanWriter(const HuffmanWriter&) = delete;
    HuffmanWriter& operator=(const HuffmanWriter&) = delete;
    ~HuffmanWriter();
    bool init();  // builds the code specs; false when they cannot be allocated

    // Writes the big values and count1 quadruples of ix (signed, 576 values) as si describes them,
    // where decoders of LSF streams put region 1 of start and stop blocks at line 54 (not 36 as
    // the quantiser counted): the two regions of such a block get their tables anew. The bits
    // written are the Huffman part of part2_3_length.
    void write(const Okv32s* ix, MP3SideInfo& si, int count1Len, const Okv16s* longBands, Okv8u** p, int* off);

private:
    int bestTable(const Okv16s* v, int n) const;  // cheapest table for the pairs of v[0, n)
    OkvsVLCEncodeSpec_32s* pair_[32] = {};  // by table_select (16..23 and 24..31 share codes)
    OkvsVLCEncodeSpec_32s* quad_[2] = {};   // count1 tables A and B
    Okv16s v_[576];
};
