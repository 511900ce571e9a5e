// Layer III Huffman encoding, proved by decoding random granules back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "mp3/sfb_tables_data.h"
#include "mp3enc_test_util.h"

using mp3enc_test::bitPos;
using mp3enc_test::header;

namespace {

constexpr int kSfbLong[9][23] = OKV_MP3_SFB_LONG_INIT;
struct Encoded {
    std::vector<Okv8u> buf;
    long bits;
};

// Encodes at bit offset `off` with budget `budget` (0: none), checking the status.
Encoded encode(const std::vector<Okv32s>& ix, const MP3FrameHeader& h, const MP3SideInfo& si, int count1,
               int budget, int off) {
    Encoded e{std::vector<Okv8u>(1200, 0), 0};
    Okv8u* p = e.buf.data();
    int o = off;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix.data(), &p, &o, &h, &si, count1, budget), okvOk);
    e.bits = bitPos(e.buf.data(), p, o) - off;
    return e;
}

// Decodes `bits` bits from offset `off` and compares with ix; the decoder must end at the budget.
void expectDecodes(const Encoded& e, const std::vector<Okv32s>& ix, const MP3FrameHeader& h, MP3SideInfo si,
                   int off, const char* what) {
    si.part2_3_length = (int)e.bits;
    std::vector<Okv8u> buf = e.buf;
    Okv8u* q = buf.data();
    int qo = off;
    Okv32s out[576];
    int bound = -1;
    ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&q, &qo, out, &bound, &si, &h, (int)e.bits), okvOk) << what;
    EXPECT_EQ(bitPos(buf.data(), q, qo) - off, e.bits) << what;
    for (int i = 0; i < 576; ++i) ASSERT_EQ(out[i], ix[i]) << what << " line " << i;
}

}  // namespace

// Random spectra, region layouts and block types (tables 0, 4 and 14 code zeros without bits);
// budgets equal to the bits written and above.
TEST(Mp3EncHuffman, RandomGranulesAndStuffing) {
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
        std::vector<Okv32s> ix(576, 0);
        int start = 0;
        for (int r = 0; r < 3; ++r) si.table_select[r] = (int)(rng() % 32);
        // Region starts as the encoder places them; values within each region's table.
        int bounds[3];
        const int bv2 = 2 * si.big_values;
        if (si.window_switching_flag) {
            bounds[0] = 36, bounds[1] = bv2;
        } else {
            bounds[0] = kSfbLong[3 + h.sampling_frequency][si.region0_count + 1];
            bounds[1] = kSfbLong[3 + h.sampling_frequency][si.region0_count + si.region1_count + 2];
        }
        bounds[0] = std::min(bounds[0], bv2), bounds[1] = std::min(bounds[1], bv2), bounds[2] = bv2;
        for (int r = 0; r < 3; ++r) {
            const int ts = si.table_select[r];
            const int maxv = ts < 16 ? std::max(mp3enc_test::kXlen[ts] - 1, 0) : std::min(15 + (1 << mp3enc_test::kLinbits[ts]) - 1, 8206);
            for (int i = start; i < bounds[r]; ++i) {
                const int v = rng() % 8 == 0 ? maxv : rng() & 1 ? (int)(rng() % (maxv + 1)) : (int)(rng() % std::min(maxv + 1, 4));
                ix[i] = rng() & 1 ? -v : v;
            }
            start = std::max(start, bounds[r]);
        }
        const int count1 = (int)(rng() % ((576 - bv2) / 4 + 1)) * 4;
        for (int i = bv2; i < bv2 + count1; ++i) ix[i] = rng() % 4 ? 0 : (rng() & 1 ? 1 : -1);
        const int off = rng() % 8;
        const Encoded bare = encode(ix, h, si, count1, 0, off);
        const int extra = it % 4 == 0 ? 0 : it % 4 == 1 ? 1 : (int)(rng() % 100);
        const Encoded e = encode(ix, h, si, count1, (int)bare.bits + extra, off);
        ASSERT_EQ(e.bits, bare.bits + extra);
        // The stuffing is '1' bits and the coded bits are unchanged.
        for (long b = 0; b < e.bits; ++b) {
            const long at = off + b;
            const int bit = (e.buf[at >> 3] >> (7 - (at & 7))) & 1;
            const int was = (bare.buf[at >> 3] >> (7 - (at & 7))) & 1;
            ASSERT_EQ(bit, b < bare.bits ? was : 1) << "bit " << b;
        }
        expectDecodes(e, ix, h, si, off, "random");
    }
}

TEST(Mp3EncHuffman, EmptyGranuleWritesOnlyStuffing) {
    const MP3FrameHeader h = header(1, 3);
    const MP3SideInfo si{};
    const std::vector<Okv32s> ix(576, 0);
    EXPECT_EQ(encode(ix, h, si, 0, 0, 3).bits, 0);
    const Encoded e = encode(ix, h, si, 0, 13, 3);
    EXPECT_EQ(e.bits, 13);
    EXPECT_EQ(e.buf[0], 0x1F);
    EXPECT_EQ(e.buf[1], 0xFF);
    EXPECT_EQ(e.buf[2], 0x00);
}
