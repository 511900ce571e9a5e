// Decoding single codes, blocks and tuples: positions to the bit, refusals that leave everything untouched.
#include <gtest/gtest.h>

#include "vlc_test_util.h"

namespace {

using vlct::BitSink;

// Code: 0 -> 5 (1 bit), 10 -> -3, 110 -> 9, 1110 -> 0, 11110 -> 100, 11111 -> -100.
const std::vector<VLCCodeEntry> kCode = {{5, 0b0, 1},      {-3, 0b10, 2},     {9, 0b110, 3},
                                         {0, 0b1110, 4},   {100, 0b11110, 5}, {-100, 0b11111, 5}};

TEST(VlcDecode, ShortCodesFillTheirLevel) {
    vlct::DecodeSpec t(kCode, {4, 1});
    ASSERT_EQ(okvOk, t.st);
    // The 1-bit code at a 4-bit first level answers every 3-bit continuation.
    for (unsigned rest = 0; rest < 8; ++rest) {
        const Okv8u bits[9] = {Okv8u(rest << 4)};
        const Okv8u* p = bits;
        int off = 0;
        Okv16s v = 0;
        ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, t.spec));
        EXPECT_EQ(5, v);
        EXPECT_EQ(1, off);
        EXPECT_EQ(bits, p);
    }
    // A 4-bit code ends exactly at the level boundary; 5-bit codes need the second level.
    const Okv8u bits[9] = {0b11101111, 0b01111100};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v[3];
    ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, v, 3, t.spec));
    EXPECT_EQ(std::vector<Okv16s>(v, v + 3), (std::vector<Okv16s>{0, 100, -100}));
    EXPECT_EQ(bits + 1, p);
    EXPECT_EQ(6, off);
}

TEST(VlcDecode, PositionsCrossBytesAndWords) {
    vlct::DecodeSpec t(kCode, {2, 2, 1});
    ASSERT_EQ(okvOk, t.st);
    std::mt19937 rng(7);
    for (int start = 0; start < 40; ++start) {
        BitSink s;
        s.put(rng(), start);  // junk before the first code
        std::vector<int> idx;
        for (int i = 0; i < 60; ++i) {
            idx.push_back(int(rng() % kCode.size()));
            s.put(kCode[idx.back()].code, kCode[idx.back()].length);
        }
        s.bytes.resize(s.bytes.size() + vlct::kPad);
        const Okv8u* p = s.bytes.data() + start / 8;
        int off = start % 8;
        std::vector<Okv16s> block(idx.size());
        ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, block.data(), int(block.size()), t.spec));
        const Okv8u* q = s.bytes.data() + start / 8;
        int qoff = start % 8;
        uint64_t pos = uint64_t(start);
        for (size_t i = 0; i < idx.size(); ++i) {
            Okv16s one;
            ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&q, &qoff, &one, t.spec));
            pos += uint64_t(kCode[idx[i]].length);
            ASSERT_EQ(pos, uint64_t(q - s.bytes.data()) * 8 + uint64_t(qoff));
            EXPECT_EQ(one, block[i]);
            EXPECT_EQ(Okv16s(kCode[idx[i]].value), one);
        }
        EXPECT_EQ(p, q);
        EXPECT_EQ(off, qoff);
    }
}

TEST(VlcDecode, RefusalsLeaveEverythingUntouched) {
    vlct::DecodeSpec t(kCode, {3, 2});
    ASSERT_EQ(okvOk, t.st);
    const Okv8u bits[9] = {0b10110111, 0b11111111, 0xFF};
    Okv16s out[4] = {77, 77, 77, 77};
    for (int bad : {8, -1, 100}) {
        const Okv8u* p = bits;
        int off = bad;
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, out, t.spec));
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeBlock_1u16s(&p, &off, out, 4, t.spec));
        EXPECT_EQ(bits, p);
        EXPECT_EQ(bad, off);
    }
    const Okv8u* p = bits;
    const Okv8u* nul = nullptr;
    int off = 0;
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeOne_1u16s(nullptr, &off, out, t.spec));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeOne_1u16s(&nul, &off, out, t.spec));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeBlock_1u16s(&p, nullptr, out, 4, t.spec));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeBlock_1u16s(&p, &off, nullptr, 4, t.spec));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeBlock_1u16s(&p, &off, out, 4, nullptr));
    // Count 0 or below: nothing decoded, position kept.
    EXPECT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, out, 0, t.spec));
    EXPECT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, out, -4, t.spec));
    EXPECT_EQ(bits, p);
    EXPECT_EQ(0, off);
    EXPECT_EQ(77, out[0]);
    // An encoding spec carries another identifier.
    vlct::EncodeSpec es(kCode);
    ASSERT_EQ(okvOk, es.st);
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, out, reinterpret_cast<OkvsVLCDecodeSpec_32s*>(es.spec)));
}

TEST(VlcDecode, AbsentCodeStopsWithoutMovingThePosition) {
    // 11111 is not in this table: an empty element.
    std::vector<VLCCodeEntry> e(kCode.begin(), kCode.end() - 1);
    for (auto sizes : {std::vector<Okv32s>{5}, std::vector<Okv32s>{2, 2, 1}}) {
        vlct::DecodeSpec t(e, sizes);
        ASSERT_EQ(okvOk, t.st);
        const Okv8u bits[9] = {0b01011111, 0b10000000};
        const Okv8u* p = bits;
        int off = 0;
        Okv16s out[3] = {77, 77, 77};
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeBlock_1u16s(&p, &off, out, 3, t.spec));
        EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{5, -3, 77}));
        EXPECT_EQ(bits, p);
        EXPECT_EQ(0, off);
    }
}

TEST(VlcDecodeTuple, SignBitsFollowNonZeroElements) {
    // N = 4, B = 3: 0 -> (0,0,0,0); 10 -> (1,0,7,0); 11 -> (2,3,4,5).
    const std::vector<VLCCodeEntry> e = {{0, 0b0, 1}, {0b001000111000, 0b10, 2}, {0b010011100101, 0b11, 2}};
    vlct::TupleSpec t(e, {2}, 4, 3);
    ASSERT_EQ(okvOk, t.st);
    // 0 | 10 1 0 | 11 0 1 1 0 | 0  -> 1 + 4 + 6 + 1 bits
    BitSink s;
    s.put(0b0, 1);
    s.put(0b1010, 4);
    s.put(0b110110, 6);
    s.put(0b0, 1);
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    const Okv8u* p = s.bytes.data();
    int off = 0;
    Okv16s v[16];
    for (auto& x : v) x = 77;
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(&p, &off, v, t.spec));
    EXPECT_EQ(1, off);  // all-zero tuple: the code bits only
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(&p, &off, v, t.spec));
    EXPECT_EQ(5, off);  // two non-zero elements: code + 2
    EXPECT_EQ(std::vector<Okv16s>(v, v + 5), (std::vector<Okv16s>{-1, 0, 7, 0, 77}));
    p = s.bytes.data();
    off = 0;
    for (auto& x : v) x = 77;
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, v, 15, t.spec));  // 3 tuples, 3 outputs left alone
    EXPECT_EQ(std::vector<Okv16s>(v, v + 15), (std::vector<Okv16s>{0, 0, 0, 0, -1, 0, 7, 0, 2, -3, -4, 5, 77, 77, 77}));
    EXPECT_EQ(s.bytes.data() + 1, p);
    EXPECT_EQ(3, off);
    // Count 7 with N = 4: one tuple, four outputs.
    p = s.bytes.data();
    off = 1;
    for (auto& x : v) x = 77;
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, v, 7, t.spec));
    EXPECT_EQ(-1, v[0]);
    EXPECT_EQ(77, v[4]);
    EXPECT_EQ(5, off);
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, v, 3, t.spec));  // below N: nothing
    EXPECT_EQ(5, off);
}

TEST(VlcDecodeTuple, CodeAndSignsMayExceed32Bits) {
    // A 32-bit code with three non-zero elements: 35 bits for one tuple.
    const std::vector<VLCCodeEntry> e = {{0b111, 0xFFFFFFFF, 32}, {0, 0, 1}};
    vlct::TupleSpec t(e, {8, 8, 8, 8}, 3, 1);
    ASSERT_EQ(okvOk, t.st);
    BitSink s;
    s.put(0b1, 3);  // lead bits
    s.put(0xFFFFFFFF, 32);
    s.put(0b101, 3);
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    const Okv8u* p = s.bytes.data();
    int off = 3;
    Okv16s v[3];
    ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(&p, &off, v, t.spec));
    EXPECT_EQ(std::vector<Okv16s>(v, v + 3), (std::vector<Okv16s>{-1, 1, -1}));
    EXPECT_EQ(s.bytes.data() + 4, p);
    EXPECT_EQ(6, off);
}

TEST(VlcDecodeTuple, RefusesPlainSpecsAndBadOffsets) {
    vlct::DecodeSpec plain(kCode, {5});
    ASSERT_EQ(okvOk, plain.st);
    const Okv8u bits[9] = {};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v[4];
    auto* asTuple = reinterpret_cast<OkvsVLCDecodeUTupleSpec_32s*>(plain.spec);
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeUTupleOne_1u16s(&p, &off, v, asTuple));
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, v, 4, asTuple));
    vlct::TupleSpec t({{1, 0, 1}, {2, 1, 1}}, {1}, 2, 2);
    ASSERT_EQ(okvOk, t.st);
    off = 8;
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeUTupleOne_1u16s(&p, &off, v, t.spec));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, nullptr, 4, t.spec));
}

}  // namespace
