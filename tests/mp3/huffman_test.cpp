// Layer III Huffman decoding: every code of the standard tables, and the region starts of switched
// blocks with standard and caller tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mp3_test_util.h"

using namespace mp3test;

namespace {

MP3SideInfo longBlock(int bigValues, int table, int budget) {
    MP3SideInfo si{};
    si.part2_3_length = budget;
    si.big_values = bigValues;
    si.table_select[0] = si.table_select[1] = si.table_select[2] = table;
    si.region0_count = si.region1_count = 7;
    return si;
}

struct Decoded {
    StatusCode st;
    std::vector<Okv32s> v;
    int bound;
    long bitsMoved;
};

// form 0: plain, 1: Sfb, 2: SfbMbp; mbp defaults to the standard mixed table.
Decoded decode(const std::vector<uint8_t>& stream, int offset, const MP3SideInfo& si, const MP3FrameHeader& h,
               int budget, int form = 0, const Okv16s* mbp = kSfbMixed[0]) {
    Decoded d{okvOk, std::vector<Okv32s>(576, 0x5A5A5A5A), -1, 0};
    std::vector<uint8_t> buf = stream;
    Okv8u* p = buf.data();
    int off = offset;
    if (form == 0) d.st = okvsHuffmanDecode_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget);
    if (form == 1) d.st = okvsHuffmanDecodeSfb_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget, kSfbLong[0]);
    if (form == 2)
        d.st = okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget, kSfbLong[0],
                                                 kSfbShort[0], mbp);
    d.bitsMoved = bitPos(buf.data(), p, off) - offset;
    return d;
}

}  // namespace

// Each round puts every code in a new order with new signs, so that the bits after a code (which a
// whole-pair lookup also reads) vary. (The conformance streams use both count1 tables.)
TEST(Mp3Huffman, EveryCodeOfEveryTableDecodes) {
    auto linbits = tableLines("huffman/linbits.txt");
    MP3_SKIP_WITHOUT_TABLES(linbits.size() == 32);
    std::mt19937 rng(7);
    for (int run = 0; run < 4 * 32; ++run) {
        const int round = run / 32, sel = run % 32, offset = (sel + round) % 8;
        const int codeTable = std::stoi(linbits[sel][1]), lin = std::stoi(linbits[sel][3]);
        if (codeTable <= 0) continue;
        auto codes = pairCodes(codeTable);
        if (round) std::shuffle(codes.begin(), codes.end(), rng);
        BitWriter bw;
        bw.put(0x55, offset);
        std::vector<Okv32s> expect;
        for (auto& c : codes) {
            int v[2] = {c.x, c.y};
            bw.putCode(c.code);
            for (int& x : v) {
                if (lin && x == 15) x += rng() % (1u << lin);
                if (x && (rng() & 1)) x = -x;
                if (lin && std::abs(x) >= 15) bw.put(std::abs(x) - 15, lin);  // escape bits, then the sign
                if (x) bw.put(x < 0, 1);
                expect.push_back(x);
            }
        }
        const int budget = int(bw.bits()) - offset;
        const Decoded d = decode(bw.bytes(), offset, longBlock(int(codes.size()), sel, budget), header(1, 0), budget);
        ASSERT_EQ(d.st, okvOk) << "table_select " << sel;
        EXPECT_EQ(d.bitsMoved, budget) << "table_select " << sel;
        expect.resize(576, 0);
        ASSERT_EQ(d.v, expect) << "table_select " << sel;
        EXPECT_EQ(d.bound, int(std::find_if(expect.rbegin(), expect.rend(), [](int x) { return x; }).base() -
                               expect.begin()));
    }
}

// Region 0 with table 1 reads (1, 1) pairs, region 1 with table 0 gives zeros: the split is the
// region start. Every row and block type; the mixed boundary at every band and window count.
TEST(Mp3Huffman, WindowSwitchingRegionStarts) {
    BitWriter bw;
    for (int i = 0; i < 288; ++i) bw.putCode("000"), bw.put(0, 2);
    auto split = [&](const MP3SideInfo& si, const MP3FrameHeader& h, int form, const Okv16s* mbp) {
        const Decoded d = decode(bw.bytes(), 0, si, h, int(bw.bits()), form, mbp);
        EXPECT_EQ(d.st, okvOk);
        return int(std::find_if(d.v.begin(), d.v.end(), [](int v) { return v != 1; }) - d.v.begin());
    };
    MP3SideInfo si{};
    si.part2_3_length = int(bw.bits());
    si.big_values = 288;
    si.window_switching_flag = 1;
    si.table_select[0] = 1;
    for (int row = 0; row < 6; ++row) {
        const MP3FrameHeader h = header(row / 3, 0, row % 3);
        const Okv16s *lng = kSfbLong[row], *sht = kSfbShort[row];
        Okv16s mbp[12] = {};
        for (int bt = 1; bt <= 3; ++bt) {
            si.block_type = bt;
            si.mixed_block_flag = 0;
            EXPECT_EQ(split(si, h, 1, mbp), h.id == 1 || bt == 2 ? 36 : 54);
            EXPECT_EQ(split(si, h, 2, mbp), bt == 2 ? 3 * (sht[3] - sht[0]) : lng[8]);
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
                ASSERT_EQ(split(si, h, 2, mbp), std::min(c, 576)) << row << " " << bands << " " << windows;
            }
    }
}

