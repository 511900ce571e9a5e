// Layer III scalefactor unpacking against the standard tables (the packers' round trips and the
// conformance streams cover the header and side information).
#include <gtest/gtest.h>

#include "mp3_test_util.h"

using namespace mp3test;

// An all-ones stream: each value is 2^slen - 1 (negated for intensity positions), the band past the
// coded ones (three windows of it for short blocks and LSF) is zeroed and nothing else is written.
// MPEG-1 widths from slen; LSF partitions from nr_of_sfb_block with one scalefac_compress per row,
// with its slen, intensity flag and preflag.
TEST(Mp3Unpack, ScalefactorLayoutsFollowTheTables) {
    auto slen = tableLines("slen.txt"), nr = tableLines("nr_of_sfb_block.txt");
    MP3_SKIP_WITHOUT_TABLES(slen.size() == 16 && nr.size() == 18);
    auto expectLayout = [](MP3SideInfo si, const MP3FrameHeader& h, int gr, int ch,
                           const std::vector<std::pair<int, int>>& runs, int sign, size_t zeros, MP3SideInfo* back = nullptr) {
        static const int kNoScfsi[4] = {};
        std::vector<Okv8s> sf(40, 99);
        std::vector<uint8_t> buf(64, 0xFF);
        Okv8u* p = buf.data();
        int off = gr + ch + 1;
        ASSERT_EQ(okvsUnpackScaleFactors_MP3_1u8s(&p, &off, sf.data(), &si, kNoScfsi, &h, gr, ch), okvOk);
        size_t i = 0;
        long bits = gr + ch + 1;
        for (auto [n, s] : runs)
            for (int j = 0; j < n; ++j, ++i, bits += s) ASSERT_EQ(sf[i], sign * ((1 << s) - 1)) << i;
        EXPECT_EQ(bitPos(buf.data(), p, off), bits);
        for (size_t k = i; k < 40; ++k) EXPECT_EQ(sf[k], k < i + zeros ? 0 : 99) << k;
        if (back) *back = si;
    };
    for (int c = 0; c < 16; ++c) {
        const int s1 = std::stoi(slen[c][1]), s2 = std::stoi(slen[c][2]);
        MP3SideInfo si{};
        si.scalefac_compress = c;
        expectLayout(si, header(1, 0), 0, 0, {{11, s1}, {10, s2}}, 1, 1);
        si.block_type = 2;
        expectLayout(si, header(1, 0), 1, 1, {{18, s1}, {18, s2}}, 1, 3);
        si.mixed_block_flag = 1;
        expectLayout(si, header(1, 0), 0, 1, {{17, s1}, {18, s2}}, 1, 3);
    }
    const struct {
        int c, slen[4];
        bool intensity;
        int preflag;
    } rows[6] = {{399, {4, 4, 3, 3}, false, 0}, {499, {4, 4, 3, 0}, false, 0}, {511, {3, 2, 0, 0}, false, 1},
                 {358, {4, 5, 5, 0}, true, 0},  {487, {3, 3, 3, 0}, true, 0},  {511, {3, 2, 0, 0}, true, 0}};
    for (int r = 0; r < 6; ++r)
        for (int kind = 0; kind < 3; ++kind) {
            MP3SideInfo si{};
            si.scalefac_compress = rows[r].c, si.block_type = kind ? 2 : 0, si.preflag = 7;
            si.mixed_block_flag = kind == 2 ? 3 : 0;  // only its lowest bit counts
            std::vector<std::pair<int, int>> runs;
            for (int k = 0; k < 4; ++k) runs.push_back({std::stoi(nr[r * 3 + kind][2 + k]), rows[r].slen[k]});
            expectLayout(si, header(0, 1, 0, rows[r].intensity ? 1 : 2), 0, 1, runs, rows[r].intensity ? -1 : 1, 3, &si);
            EXPECT_EQ(si.preflag, rows[r].preflag);
            EXPECT_EQ(si.mixed_block_flag, kind == 2 ? 1 : 0);
        }
}
