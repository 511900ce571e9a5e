// Layer III Huffman encoding, proved by decoding random granules back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mp3/mp3_test_util.h"

using namespace mp3test;

// Random spectra within each region's table, region layouts and block types (tables 0, 4 and 14
// code zeros without bits); budgets equal to the bits written and above: the stuffing is '1' bits
// after unchanged code bits, and the decoder ends exactly at the budget.
TEST(Mp3EncHuffman, RandomGranulesDecodeBack) {
    std::mt19937 rng(6);
    for (int it = 0; it < 3000; ++it) {
        const MP3FrameHeader h = header(1, 0, rng() % 3);
        MP3SideInfo si{};
        si.window_switching_flag = rng() % 3 == 0;
        si.block_type = si.window_switching_flag ? 1 + rng() % 3 : rng() % 4;  // ignored unless switched
        si.big_values = rng() % 289;
        si.region0_count = rng() % 16;
        si.region1_count = std::min<int>(rng() % 8, 20 - si.region0_count);
        si.count1table_select = rng() & 1;
        const int bv2 = 2 * si.big_values, row = 3 + h.sampling_frequency;
        int bounds[3] = {si.window_switching_flag ? 36 : kSfbLong[row][si.region0_count + 1],
                         si.window_switching_flag ? bv2 : kSfbLong[row][si.region0_count + si.region1_count + 2], bv2};
        std::vector<Okv32s> ix(576, 0);
        for (int r = 0, start = 0; r < 3; ++r) {
            const int ts = si.table_select[r] = int(rng() % 32);
            const int maxv = ts < 16 ? std::max(kXlen[ts] - 1, 0) : std::min(15 + (1 << kLinbits[ts]) - 1, 8206);
            for (int i = start; i < std::min(bounds[r], bv2); ++i) {
                const int v = rng() % 8 == 0 ? maxv : rng() & 1 ? int(rng() % (maxv + 1)) : int(rng() % std::min(maxv + 1, 4));
                ix[i] = rng() & 1 ? -v : v;
            }
            start = std::max(start, std::min(bounds[r], bv2));
        }
        const int count1 = int(rng() % ((576 - bv2) / 4 + 1)) * 4;
        for (int i = bv2; i < bv2 + count1; ++i) ix[i] = rng() % 4 ? 0 : (rng() & 1 ? 1 : -1);
        const int off = rng() % 8, extra = it % 4 == 0 ? 0 : it % 4 == 1 ? 1 : int(rng() % 100);
        long bits[2];
        std::vector<Okv8u> buf[2];
        for (int pass = 0; pass < 2; ++pass) {
            buf[pass].assign(1200, 0);
            Okv8u* p = buf[pass].data();
            int o = off;
            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(ix.data(), &p, &o, &h, &si, count1, pass ? int(bits[0]) + extra : 0), okvOk);
            bits[pass] = bitPos(buf[pass].data(), p, o) - off;
        }
        ASSERT_EQ(bits[1], bits[0] + extra);
        for (long b = off; b < off + bits[1]; ++b) {
            auto bit = [&](int pass) { return (buf[pass][b >> 3] >> (7 - (b & 7))) & 1; };
            ASSERT_EQ(bit(1), b < off + bits[0] ? bit(0) : 1) << "bit " << b;
        }
        si.part2_3_length = int(bits[1]);
        Okv8u* q = buf[1].data();
        int qo = off, bound = -1;
        Okv32s out[576];
        ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&q, &qo, out, &bound, &si, &h, int(bits[1])), okvOk);
        EXPECT_EQ(bitPos(buf[1].data(), q, qo) - off, bits[1]);
        ASSERT_EQ(std::vector<Okv32s>(out, out + 576), ix) << "iteration " << it;
    }
}
