// Layer III scalefactor unpacking against the standard tables (the packers' round trips and the
// conformance streams cover the header and side information).
#include <gtest/gtest.h>

#include <cstring>

#include "mp3_test_util.h"

using namespace mp3test;

namespace {

struct ScfResult {
    StatusCode st;
    std::vector<Okv8s> sf;
    long bits;
    MP3SideInfo si;
};

ScfResult unpackScf(int offset, MP3SideInfo si, const MP3FrameHeader& h, int gr, int ch, uint8_t fillByte = 0xFF) {
    static const int kNoScfsi[4] = {0, 0, 0, 0};
    ScfResult r{okvOk, std::vector<Okv8s>(40, 99), 0, si};
    std::vector<uint8_t> buf(64, fillByte);
    Okv8u* p = buf.data();
    int off = offset;
    r.st = okvsUnpackScaleFactors_MP3_1u8s(&p, &off, r.sf.data(), &r.si, kNoScfsi, &h, gr, ch);
    r.bits = bitPos(buf.data(), p, off) - offset;
    return r;
}

}  // namespace

// An all-ones stream: each value is 2^slen - 1 (negated for intensity positions), the band past the
// coded ones (three windows of it for short blocks and LSF) is zeroed and nothing else is written. MPEG-1 widths from slen, LSF partitions
// from nr_of_sfb_block with each row's scalefac_compress.
TEST(Mp3Unpack, ScalefactorLayoutsFollowTheTables) {
    auto slen = tableLines("slen.txt");
    auto nr = tableLines("nr_of_sfb_block.txt");
    MP3_SKIP_WITHOUT_TABLES(slen.size() == 16 && nr.size() == 18);
    auto expectLayout = [](const ScfResult& r, const std::vector<std::pair<int, int>>& runs, int sign, size_t zeros = 3) {
        ASSERT_EQ(r.st, okvOk);
        size_t i = 0;
        long bits = 0;
        for (auto [n, s] : runs)
            for (int j = 0; j < n; ++j, ++i, bits += s) ASSERT_EQ(r.sf[i], sign * ((1 << s) - 1)) << i;
        EXPECT_EQ(r.bits, bits);
        for (size_t k = i; k < 40; ++k) EXPECT_EQ(r.sf[k], k < i + zeros ? 0 : 99) << k;
    };
    for (int c = 0; c < 16; ++c) {
        const int s1 = std::stoi(slen[c][1]), s2 = std::stoi(slen[c][2]);
        MP3SideInfo si{};
        si.scalefac_compress = c;
        const MP3FrameHeader h = header(1, 0);
        expectLayout(unpackScf(3, si, h, 0, 0), {{11, s1}, {10, s2}}, 1, 1);
        si.block_type = 2;
        expectLayout(unpackScf(0, si, h, 1, 1), {{18, s1}, {18, s2}}, 1);
        si.mixed_block_flag = 1;
        expectLayout(unpackScf(0, si, h, 0, 0), {{17, s1}, {18, s2}}, 1);
    }
    // One scalefac_compress per partition row, with its slen, intensity flag and preflag.
    const struct {
        int c, slen[4];
        bool intensity;
        int preflag;
    } rows[6] = {{399, {4, 4, 3, 3}, false, 0}, {499, {4, 4, 3, 0}, false, 0}, {511, {3, 2, 0, 0}, false, 1},
                 {358, {4, 5, 5, 0}, true, 0},  {487, {3, 3, 3, 0}, true, 0},  {511, {3, 2, 0, 0}, true, 0}};
    for (int r = 0; r < 6; ++r)
        for (int kind = 0; kind < 3; ++kind) {
            MP3SideInfo si{};
            si.scalefac_compress = rows[r].c;
            si.block_type = kind ? 2 : 0;
            si.mixed_block_flag = kind == 2 ? 3 : 0;  // only its lowest bit counts
            si.preflag = 7;
            const ScfResult res = unpackScf(1, si, header(0, 1, 0, rows[r].intensity ? 1 : 2), 0, 1);
            EXPECT_EQ(res.si.preflag, rows[r].preflag);
            EXPECT_EQ(res.si.mixed_block_flag, kind == 2 ? 1 : 0);
            std::vector<std::pair<int, int>> runs;
            for (int k = 0; k < 4; ++k) runs.push_back({std::stoi(nr[r * 3 + kind][2 + k]), rows[r].slen[k]});
            expectLayout(res, runs, rows[r].intensity ? -1 : 1);
        }
}

