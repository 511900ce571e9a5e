// Compiled decoding tables: sizes, level widths, element widths, refusals, insertion order.
#include <gtest/gtest.h>

#include <cstdlib>

#include "vlc_test_util.h"

namespace {

using vlct::BitSink;

int plain_size(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes) {
    int size = -1;
    StatusCode st = okvsVLCDecodeGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), &size);
    return st == okvOk ? size : st;
}

// Builds the spec at every misalignment 0..63 and decodes the stream of codes
// of entries idx, checking the values.
void expect_decodes(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes,
                    const std::vector<int>& idx) {
    BitSink s;
    for (int i : idx) s.put(e[i].code, e[i].length);
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    const int size = plain_size(e, sizes);
    ASSERT_GT(size, 0);
    for (size_t shift : {0, 1, 13, 63}) {
        vlct::SpecMem m;
        auto* spec = static_cast<OkvsVLCDecodeSpec_32s*>(m.at(size, shift));
        ASSERT_EQ(okvOk, okvsVLCDecodeInit_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), spec));
        std::vector<Okv16s> out(idx.size());
        const Okv8u* p = s.bytes.data();
        int off = 0;
        ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, out.data(), int(out.size()), spec));
        for (size_t i = 0; i < idx.size(); ++i) EXPECT_EQ(Okv16s(e[idx[i]].value), out[i]) << "symbol " << i;
        EXPECT_EQ(s.nbits, uint64_t(p - s.bytes.data()) * 8 + uint64_t(off));
    }
}

TEST(VlcDecodeTable, SizesFollowTheLevelLayout) {
    // L = 3, one size 3, values <= 1: T = 9, b_l = 2, W = 5, E = 8.
    std::vector<VLCCodeEntry> small = {{1, 0b0, 1}, {0, 0b10, 2}, {1, 0b110, 3}, {0, 0b111, 3}};
    EXPECT_EQ(169, plain_size(small, {3}));
    expect_decodes(small, {3}, {0, 1, 2, 3, 3, 0});
    // Sizes {5, 5, 5} for L = 12 give widths 5, 5, 2: T = 33 + 33 + 5 with one
    // prefix per level; b_l = 3, b_t = 7, W = 8.
    std::vector<VLCCodeEntry> deep = {{0, 1, 1}, {1, 0, 12}, {2, 1, 12}, {3, 0b01, 2}, {4, 0b001, 3}};
    EXPECT_EQ(71 + 160, plain_size(deep, {5, 5, 5}));
    expect_decodes(deep, {5, 5, 5}, {1, 2, 0, 3, 4, 2});
    // Sizes after the running sum reaches L are not examined.
    EXPECT_EQ(71 + 160, plain_size(deep, {5, 5, 5, 0, -3}));
    // Two distinct 5-bit prefixes at level 1, and a 3-level walk for one code.
    std::vector<VLCCodeEntry> two = {{0, 1, 1},         {1, 0b01, 2},      {2, 0b001, 3},    {3, 0b0001, 4},
                                     {4, 0b0000000, 7}, {5, 0b0000001, 7}, {6, 0b000001, 6}, {7, 0b0000100, 7},
                                     {8, 0b0000101, 7}, {9, 0b000011, 6}};
    // Level 0: 33; level 1 (w = 2): prefixes 00000, 00001 -> 2 * 5.  b_l = 3,
    // field b_v + 1 = 5, W = 9: 16-bit elements.
    EXPECT_EQ(43 * 2 + 160, plain_size(two, {5, 2}));
    expect_decodes(two, {5, 2}, {4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 9, 4});
    // UTuple: + 176, and its own width rule: N = 2, B = 4: W = b_l + 8 + 1.
    int size = 0;
    const Okv32s s3[] = {3};
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleGetSize_32s(small.data(), 4, s3, 1, 2, 4, &size));
    EXPECT_EQ(9 * 2 + 176, size);  // W = 2 + 8 + 1 = 11 -> E = 16
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleGetSize_32s(small.data(), 4, s3, 1, 1, 4, &size));
    EXPECT_EQ(9 + 176, size);  // W = 7 -> E = 8
}

TEST(VlcDecodeTable, ElementWidthsHoldEveryValueExactly) {
    // The same 2-bit code with growing values: 8-, 16- and 32-bit elements.
    const struct {
        int32_t v[4];
        int size;
    } widths[] = {
        {{0, 16, 7, 3}, 5 + 160},                  // zero-extended 8-bit field: b_v + 1 = 5 bits hold 0..31
        {{-15, 15, -1, 0}, 5 + 160},               // sign-extended field
        {{-16, 16, 0, 1}, 10 + 160},               // 5 bits cannot hold both: 16-bit elements
        {{-300, 1000, 5, 0}, 10 + 160},
        {{-300, 1000, 32767, -32768}, 20 + 160},   // 32-bit elements
        {{70000, -70000, 5, 0}, 20 + 160},
        {{0x7FFFFFF0, 0, 1, 2}, okvErrVLCTable},   // W > 32: refused
    };
    for (const auto& w : widths) {
        const std::vector<VLCCodeEntry> e = {{w.v[0], 0, 2}, {w.v[1], 1, 2}, {w.v[2], 2, 2}, {w.v[3], 3, 2}};
        EXPECT_EQ(w.size, plain_size(e, {2})) << w.v[0] << " " << w.v[1];
        if (w.size > 0 && std::abs(w.v[0]) <= 32768) expect_decodes(e, {2}, {3, 0, 2, 1});
    }
    // Element count: T = 2^w0 + 1 for a single level; 32-bit elements when T is large.
    EXPECT_EQ(((1 << 16) + 1) * 4 + 160, plain_size({{0, 0, 1}, {1, 0x8000, 16}}, {16}));  // b_t = 17 -> W = 18
    EXPECT_EQ(((1 << 8) + 1) * 2 + 160, plain_size({{0, 0, 1}, {1, 0x80, 8}}, {8}));       // b_t = 9 -> W = 10
}

TEST(VlcDecodeTable, RefusesUnusableTablesAndSizeLists) {
    std::vector<VLCCodeEntry> e = {{0, 0, 1}, {1, 0b10, 2}, {2, 0b110, 3}, {3, 0b1110, 4},
                                   {4, 0b11110, 5}, {5, 0b111110, 6}, {6, 0b1111110, 7},
                                   {7, 0b11111110, 8}, {8, 0b111111110, 9}, {9, 0b111111111, 9}};
    EXPECT_EQ(okvErrVLCTable, plain_size(e, {4, 0, 8}));
    EXPECT_EQ(okvErrVLCTable, plain_size(e, {4, 4}));
    EXPECT_EQ(okvErrVLCTable, plain_size(e, {-1}));
    EXPECT_GT(plain_size(e, {4, 4, 1}), 0);
    int size;
    const Okv32s sz[] = {4};
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeGetSize_32s(e.data(), 0, sz, 1, &size));  // L = 0
    EXPECT_EQ(okvErrVLCTable, plain_size({{0, 0, 0}, {1, 0, -2}}, {4}));  // no positive length
    EXPECT_EQ(okvErrVLCTable, plain_size({{0, 0, 33}}, {16, 16, 16}));
    EXPECT_EQ(okvErrVLCTable, plain_size({{0, 0, 1}, {1, 1, 31}}, {31}));  // beyond 2^31 bytes
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeGetSize_32s(nullptr, 1, sz, 1, &size));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeGetSize_32s(e.data(), 0, nullptr, 1, &size));  // null before table checks
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeGetSize_32s(e.data(), 10, sz, 1, nullptr));
    // UTuple: N or B below 1 is an argument error, before the table checks; W > 32 too.
    EXPECT_EQ(okvErrBadArg, okvsVLCDecodeUTupleGetSize_32s(e.data(), 0, sz, 1, 0, 4, &size));
    EXPECT_EQ(okvErrBadArg, okvsVLCDecodeUTupleGetSize_32s(e.data(), 10, sz, 1, 2, 0, &size));
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeUTupleGetSize_32s(e.data(), 10, sz, 1, 2, 4, &size));
    const Okv32s sz9[] = {9};
    EXPECT_EQ(okvErrBadArg, okvsVLCDecodeUTupleGetSize_32s(e.data(), 10, sz9, 1, 4, 8, &size));
    EXPECT_EQ(okvOk, okvsVLCDecodeUTupleGetSize_32s(e.data(), 10, sz9, 1, 3, 9, &size));  // W = 4 + 27 + 1
}

TEST(VlcDecodeTable, InsertionOrderDecidesConflicts) {
    const Okv32s sizes[] = {2, 2};
    vlct::SpecMem m;
    std::vector<VLCCodeEntry> e = {{7, 0b0, 1}, {9, 0b011, 3}};
    int size = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeGetSize_32s(e.data(), 2, sizes, 2, &size));
    void* spec = m.at(size, 5);
    // A path into an earlier shorter code's leaf is refused.
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeInit_32s(e.data(), 2, sizes, 2, static_cast<OkvsVLCDecodeSpec_32s*>(spec)));
    // The other order: the shorter code's leaves replace the link.
    std::vector<VLCCodeEntry> r = {e[1], e[0]};
    ASSERT_EQ(okvOk, okvsVLCDecodeInit_32s(r.data(), 2, sizes, 2, static_cast<OkvsVLCDecodeSpec_32s*>(spec)));
    const Okv8u bits[9] = {0b01100000};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, static_cast<OkvsVLCDecodeSpec_32s*>(spec)));
    EXPECT_EQ(7, v);
    EXPECT_EQ(1, off);
    // Two entries with one code: the later one wins.
    std::vector<VLCCodeEntry> d = {{1, 0b10, 2}, {2, 0b10, 2}, {3, 0b0, 1}, {4, 0b11, 2}};
    ASSERT_EQ(okvOk, okvsVLCDecodeInit_32s(d.data(), 4, sizes, 1, static_cast<OkvsVLCDecodeSpec_32s*>(spec)));
    const Okv8u b2[9] = {0b10000000};
    p = b2;
    off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, static_cast<OkvsVLCDecodeSpec_32s*>(spec)));
    EXPECT_EQ(2, v);
}

TEST(VlcDecodeTable, LifecycleMarksAndReleases) {
    std::vector<VLCCodeEntry> e = {{3, 0, 1}, {4, 1, 1}};
    const Okv32s sizes[] = {1};
    OkvsVLCDecodeSpec_32s* spec = nullptr;
    ASSERT_EQ(okvOk, okvsVLCDecodeInitAlloc_32s(e.data(), 2, sizes, 1, &spec));
    const Okv8u bits[9] = {0x80};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, spec));
    EXPECT_EQ(4, v);
    okvsVLCDecodeFree_32s(spec);  // released (ASan reports a leak otherwise)
    okvsVLCDecodeFree_32s(nullptr);
    // A spec in caller memory is only marked: later calls see no identifier.
    vlct::DecodeSpec s2(e, {1}, 3);
    ASSERT_EQ(okvOk, s2.st);
    okvsVLCDecodeFree_32s(s2.spec);
    okvsVLCDecodeFree_32s(s2.spec);
    p = bits;
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, &v, s2.spec));
    // A failed InitAlloc hands over the block; Free of its form releases it.
    std::vector<VLCCodeEntry> bad = {{0, 0, 1}, {1, 0b01, 2}};
    OkvsVLCDecodeUTupleSpec_32s* ts = nullptr;
    const Okv32s sizes2[] = {1, 1};
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeUTupleInitAlloc_32s(bad.data(), 2, sizes2, 2, 1, 2, &ts));
    ASSERT_NE(nullptr, ts);
    okvsVLCDecodeUTupleFree_32s(ts);
}

}  // namespace
