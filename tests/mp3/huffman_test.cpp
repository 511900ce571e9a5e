// Layer III Huffman decoding: tables against the standard text, regions, count1, budget rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mp3/sfb_tables_data.h"
#include "mp3_test_util.h"
#include "okvac.h"

using mp3test::BitWriter;
using mp3test::header;

namespace {

MP3SideInfo longBlock(int bigValues, int table, int budget) {
    MP3SideInfo si{};
    si.part2_3_length = budget;
    si.big_values = bigValues;
    si.table_select[0] = si.table_select[1] = si.table_select[2] = table;
    si.region0_count = 7;
    si.region1_count = 7;
    return si;
}

struct Decoded {
    StatusCode st;
    std::vector<Okv32s> v;
    int bound;
    long bitsMoved;  // position change of the cursor
};

enum class Form { Plain, Sfb, Mbp };

Decoded decode(const std::vector<uint8_t>& stream, int offset, const MP3SideInfo& si, const MP3FrameHeader& h,
               int budget, Form form = Form::Plain, const Okv16s* lng = nullptr, const Okv16s* sht = nullptr,
               const Okv16s* mbp = nullptr) {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
    static const Okv16s kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    Decoded d{okvOk, std::vector<Okv32s>(576, 0x5A5A5A5A), -1, 0};
    std::vector<uint8_t> buf = stream;
    Okv8u* p = buf.data();
    int off = offset;
    if (form == Form::Plain)
        d.st = okvsHuffmanDecode_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget);
    else if (form == Form::Sfb)
        d.st = okvsHuffmanDecodeSfb_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget, lng ? lng : kLong[0]);
    else
        d.st = okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget,
                                                 lng ? lng : kLong[0], sht ? sht : kShort[0], mbp ? mbp : kMixed[0]);
    d.bitsMoved = (p - buf.data()) * 8L + off - offset;
    return d;
}

// Writes value v of a pair with table linbits: escape bits, then the sign.
void putValue(BitWriter& bw, int v, int linbits) {
    const int a = v < 0 ? -v : v;
    if (linbits && a >= 15) bw.put(a - 15, linbits);
    if (a) bw.put(v < 0, 1);
}

}  // namespace

// Each round puts every code in a new order with new signs, so that the bits after a code (which
// a whole-pair lookup also reads) vary.
TEST(Mp3Huffman, EveryPairCodeOfEveryTableDecodes) {
    auto linbits = mp3test::tableLines("huffman/linbits.txt");
    if (linbits.size() != 32) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
    std::mt19937 rng(7);
    for (int run = 0; run < 4 * 32; ++run) {
        const int round = run / 32, sel = run % 32;
        const int codeTable = std::stoi(linbits[sel][1]), lin = std::stoi(linbits[sel][3]);
        if (codeTable <= 0) continue;
        auto codes = mp3test::pairCodes(codeTable);
        ASSERT_FALSE(codes.empty());
        if (round) std::shuffle(codes.begin(), codes.end(), rng);
        const int offset = (sel + round) % 8;
        BitWriter bw;
        bw.put(0x55, offset);
        std::vector<Okv32s> expect;
        for (auto& c : codes) {
            int x = c.x, y = c.y;
            if (lin && x == 15) x += rng() % (1u << lin);
            if (lin && y == 15) y += rng() % (1u << lin);
            if (x && (rng() & 1)) x = -x;
            if (y && (rng() & 1)) y = -y;
            bw.putCode(c.code);
            putValue(bw, x, lin);
            putValue(bw, y, lin);
            expect.push_back(x);
            expect.push_back(y);
        }
        const int budget = int(bw.bits()) - offset;
        const MP3SideInfo si = longBlock(int(codes.size()), sel, budget);
        const Decoded d = decode(bw.bytes(), offset, si, header(1, 0), budget);
        ASSERT_EQ(d.st, okvOk) << "table_select " << sel;
        EXPECT_EQ(d.bitsMoved, budget) << "table_select " << sel;
        for (size_t i = 0; i < expect.size(); ++i) ASSERT_EQ(d.v[i], expect[i]) << "table_select " << sel << " i " << i;
        for (size_t i = expect.size(); i < 576; ++i) ASSERT_EQ(d.v[i], 0);
        int bound = int(expect.size());
        while (bound > 0 && expect[bound - 1] == 0) --bound;
        EXPECT_EQ(d.bound, bound);
    }
}

TEST(Mp3Huffman, EveryCount1CodeDecodes) {
    std::mt19937 rng(3);
    for (int run = 0; run < 8 * 2; ++run) {
        const int round = run / 2, sel = run % 2;
        auto quads = mp3test::tableLines(sel ? "huffman/count1_B.txt" : "huffman/count1_A.txt");
        if (quads.size() != 16) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
        if (round) std::shuffle(quads.begin(), quads.end(), rng);
        BitWriter bw;
        std::vector<Okv32s> expect;
        for (auto& q : quads) {
            bw.putCode(q[5]);
            int v[4];
            for (int k = 0; k < 4; ++k) v[k] = std::stoi(q[k]);
            for (int k = 0; k < 4; ++k)
                if (v[k]) {
                    const int s = rng() & 1;
                    bw.put(s, 1);
                    if (s) v[k] = -v[k];
                }
            expect.insert(expect.end(), v, v + 4);
        }
        MP3SideInfo si = longBlock(0, 0, int(bw.bits()));
        si.count1table_select = sel;
        const Decoded d = decode(bw.bytes(), 0, si, header(1, 0), int(bw.bits()));
        ASSERT_EQ(d.st, okvOk);
        for (size_t i = 0; i < expect.size(); ++i) ASSERT_EQ(d.v[i], expect[i]) << "count1 table " << sel << " i " << i;
        EXPECT_EQ(d.bitsMoved, long(bw.bits()));
    }
}

// The count1 region ends where no whole quadruple fits in the lines or in the budget.
TEST(Mp3Huffman, Count1StopsAtTheEnd) {
    const MP3FrameHeader h = header(1, 0);
    {  // n = 574: no quadruple fits, the last two values are zero
        BitWriter bw;
        for (int i = 0; i < 286; ++i) bw.putCode("1");
        bw.putCode("000"), bw.put(3, 2);  // (-1, -1)
        bw.put(0, 8);                      // a table B quadruple (1, 1, 1, 1) that must not be used
        MP3SideInfo si = longBlock(287, 1, int(bw.bits()));
        si.count1table_select = 1;
        const Decoded d = decode(bw.bytes(), 0, si, h, int(bw.bits()));
        EXPECT_EQ(d.st, okvOk);
        EXPECT_EQ(d.v[572], -1);
        EXPECT_EQ(d.v[573], -1);
        EXPECT_EQ(d.v[574], 0);
        EXPECT_EQ(d.v[575], 0);
        EXPECT_EQ(d.bound, 574);
        EXPECT_EQ(d.bitsMoved, long(bw.bits()));
    }
    {  // a budget ending inside the second quadruple drops it
        BitWriter bw;
        bw.put(0, 4), bw.put(0, 4);      // (1, 1, 1, 1), signs +
        bw.put(0, 4), bw.put(0xF, 4);    // (-1, -1, -1, -1)
        MP3SideInfo si = longBlock(0, 0, 12);
        si.count1table_select = 1;
        const Decoded d = decode(bw.bytes(), 0, si, h, 12);
        EXPECT_EQ(d.st, okvOk);
        EXPECT_EQ(std::vector<Okv32s>(d.v.begin(), d.v.begin() + 8), (std::vector<Okv32s>{1, 1, 1, 1, 0, 0, 0, 0}));
        EXPECT_EQ(d.bound, 4);
        EXPECT_EQ(d.bitsMoved, 12);
    }
}

// Region 0 with table 1 reads (1, 1) pairs, region 1 with table 0 gives zeros: the split is the
// region start. Every row of the standard tables and every block type, the mixed boundary at
// every band count and window count that stays inside the short table.
TEST(Mp3Huffman, WindowSwitchingRegionStarts) {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
    static const Okv16s kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
    auto split = [](const MP3SideInfo& si, const MP3FrameHeader& h, Form f, const Okv16s* mbp) {
        BitWriter bw;
        for (int i = 0; i < 288; ++i) bw.putCode("000"), bw.put(0, 2);
        MP3SideInfo s = si;
        s.part2_3_length = int(bw.bits());
        const Decoded d = decode(bw.bytes(), 0, s, h, int(bw.bits()), f, kLong[0], kShort[0], mbp);
        EXPECT_EQ(d.st, okvOk);
        int c = 0;
        while (c < 576 && d.v[c] == 1) ++c;
        return c;
    };
    MP3SideInfo si{};
    si.big_values = 288;
    si.window_switching_flag = 1;
    si.table_select[0] = 1;
    for (int row = 0; row < 6; ++row) {
        const MP3FrameHeader h = header(row / 3, 0, row % 3);
        const Okv16s* lng = kLong[row];
        const Okv16s* sht = kShort[row];
        Okv16s mbp[12] = {};
        for (int bt = 1; bt <= 3; ++bt) {
            si.block_type = bt;
            si.mixed_block_flag = 0;
            EXPECT_EQ(split(si, h, Form::Sfb, mbp), h.id == 1 || bt == 2 ? 36 : 54);
            EXPECT_EQ(split(si, h, Form::Mbp, mbp), bt == 2 ? 3 * (sht[3] - sht[0]) : lng[8]);
        }
        si.block_type = 2;
        si.mixed_block_flag = 1;
        for (int bands = 0; bands <= 10; ++bands)
            for (int windows = 0; windows <= 40; ++windows) {
                int c = lng[bands], j = 0;
                while (3 * sht[j] <= c) ++j;
                if (j + (windows + 1) / 3 > 13) continue;
                for (int k = 0; k < windows; ++k) c += sht[j + (k + 1) / 3] - sht[j + (k + 1) / 3 - 1];
                mbp[2 * row] = Okv16s(bands);
                mbp[2 * row + 1] = Okv16s(windows);
                ASSERT_EQ(split(si, h, Form::Mbp, mbp), std::min(c, 576)) << row << " " << bands << " " << windows;
            }
    }
}

TEST(Mp3Huffman, StatusChecksInOrder) {
    std::vector<uint8_t> buf(64, 0);
    Okv8u* p = buf.data();
    Okv32s out[576];
    int off = 0, bound = 0;
    const MP3FrameHeader h = header(1, 0);
    const MP3SideInfo si = longBlock(10, 1, 100);
    const Okv16s lng[6 * 23] = {};
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, nullptr, &bound, &si, &h, 50), okvErrNullPtr);
    Okv8u* nullStream = nullptr;
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&nullStream, &off, out, &bound, &si, &h, 50), okvErrNullPtr);
    off = 8;  // null beats a bad offset
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, out, nullptr, &si, &h, 50), okvErrNullPtr);
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, out, &bound, &si, &h, 50), okvErrBadArg);
    off = 0;
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, out, &bound, &si, &h, -1), okvErrBadArg);
    EXPECT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, out, &bound, &si, &h, 101), okvErrBadArg);
    EXPECT_EQ(okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, out, &bound, &si, &h, 101, lng, lng, lng), okvErrMp3SideInfo);

    auto withSi = [&](auto edit) {
        MP3SideInfo s = si;
        MP3FrameHeader hh = h;
        edit(s, hh);
        return okvsHuffmanDecode_MP3_1u32s(&p, &off, out, &bound, &s, &hh, 50);
    };
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.big_values = 289; }), okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.block_type = 4; }), okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.count1table_select = 2; }), okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo&, MP3FrameHeader& hh) { hh.id = 2; }), okvErrMp3FrameHeader);
    EXPECT_EQ(withSi([](MP3SideInfo&, MP3FrameHeader& hh) { hh.layer = 2; }), okvErrMp3FrameHeader);
    EXPECT_EQ(withSi([](MP3SideInfo&, MP3FrameHeader& hh) { hh.sampling_frequency = 3; }), okvErrMp3FrameHeader);
    // Side information beats the header.
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader& hh) { s.big_values = 289, hh.id = 2; }), okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.window_switching_flag = 1; }), okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.region0_count = 15, s.region1_count = 6; }),
              okvErrMp3SideInfo);
    EXPECT_EQ(withSi([](MP3SideInfo& s, MP3FrameHeader&) { s.region1_count = -1; }), okvErrMp3SideInfo);
    // The Mbp form tests the header id before the side information.
    MP3SideInfo bad = si;
    bad.big_values = 289;
    MP3FrameHeader badH = h;
    badH.id = 2;
    EXPECT_EQ(okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, out, &bound, &bad, &badH, 50, lng, lng, lng),
              okvErrMp3FrameHeader);
    EXPECT_EQ(p, buf.data());
    EXPECT_EQ(off, 0);
}

TEST(Mp3Huffman, DecodingErrorsLeavePartialOutput) {
    const MP3FrameHeader h = header(1, 0);
    {  // table_select 32 in region 2 is found after regions 0 and 1 were decoded
        BitWriter bw;
        for (int i = 0; i < 288; ++i) bw.putCode("01"), bw.put(0, 1);  // (1, 0)
        MP3SideInfo si = longBlock(288, 1, int(bw.bits()));
        si.region0_count = si.region1_count = 0;
        si.table_select[2] = 32;
        const Decoded d = decode(bw.bytes(), 0, si, h, int(bw.bits()));
        EXPECT_EQ(d.st, okvErrMp3SideInfo);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(d.v[i], (i & 1) ? 0 : 1);
        EXPECT_EQ(d.v[8], 0x5A5A5A5A);
        EXPECT_EQ(d.bitsMoved, 0);
    }
    {  // the pairs need more bits than the budget
        BitWriter bw;
        for (int i = 0; i < 20; ++i) bw.putCode("000"), bw.put(0, 2);
        const Decoded d = decode(bw.bytes(), 0, longBlock(20, 1, 40), h, 40);
        EXPECT_EQ(d.st, okvErrBadData);
        EXPECT_EQ(d.v[0], 1);
        EXPECT_GT(d.bitsMoved, 40);
    }
}
