// Layer III decoding stages against the standard tables and the power law: every Huffman code,
// scalefactor layouts, the requantisation core. (The packers' round trips cover header and side
// information; the conformance streams the rest.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "mp3_test_util.h"

using namespace mp3test;

namespace {

// One mono granule at global gain `gain`.
struct Granule {
    std::vector<int32_t> x = std::vector<int32_t>(1152, 0), work = std::vector<int32_t>(576);
    int nz[2] = {576, 576};
    int8_t sf[80] = {};
    MP3SideInfo si[2] = {};
    MP3FrameHeader hdr = header(1, 3);
    explicit Granule(int gain) { si[0].global_gain = gain; }
    int run() { return okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()); }
};

// Tolerance: within one unit for |x| <= 15 (gains above 210 shift the small tables left, doubling
// their rounding each step); the Q31 factor and, above 128, the polynomial add a relative error.
long double slack(int n, int e, long double exact) {
    if (n <= 15) return 1.0L + 1e-12L * exact + (e < 4 ? std::ldexp(0.5L, 1 - (e >> 2)) : 0.0L);
    return n <= 128 ? 8.0L + 2e-9L * exact : 16.0L + 3e-8L * exact;
}

struct Decoded {
    StatusCode st;
    std::vector<Okv32s> v;
    int bound;
    long bitsMoved;
};

Decoded decode(std::vector<uint8_t> buf, int offset, const MP3SideInfo& si, const MP3FrameHeader& h, int budget) {
    Decoded d{okvOk, std::vector<Okv32s>(576, 0x5A5A5A5A), -1, 0};
    Okv8u* p = buf.data();
    int off = offset;
    d.st = okvsHuffmanDecode_MP3_1u32s(&p, &off, d.v.data(), &d.bound, &si, &h, budget);
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
        MP3SideInfo si{};
        si.part2_3_length = int(bw.bits()) - offset, si.big_values = int(codes.size()), si.region0_count = si.region1_count = 7;
        for (int& t : si.table_select) t = sel;
        const int budget = si.part2_3_length;
        const Decoded d = decode(bw.bytes(), offset, si, header(1, 0), budget);
        ASSERT_EQ(d.st, okvOk) << "table_select " << sel;
        EXPECT_EQ(d.bitsMoved, budget) << "table_select " << sel;
        expect.resize(576, 0);
        ASSERT_EQ(d.v, expect) << "table_select " << sel;
        EXPECT_EQ(d.bound, int(std::find_if(expect.rbegin(), expect.rend(), [](int x) { return x; }).base() -
                               expect.begin()));
    }
}

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

// Every magnitude 1..8206 over the global gains, saturated where the value does not fit.
TEST(MP3Requant, CoreFollowsThePowerLaw) {
    for (int gain = 0; gain < 256; gain += 3) {
        const int e = 210 - gain;
        for (int n0 = 1; n0 <= 8206; n0 += 576) {
            Granule g(gain);
            for (int i = 0; i < 576; ++i) g.x[i] = std::min(n0 + i, 8206) * (i & 1 ? -1 : 1);
            ASSERT_EQ(g.run(), okvOk);
            for (int i = 0; i < 576; ++i) {
                const int n = std::min(n0 + i, 8206);
                const long double exact = std::pow((long double)n, 4.0L / 3) * std::pow(2.0L, 26 - e / 4.0L);
                const long double got = std::fabs((long double)g.x[i]);
                ASSERT_TRUE(g.x[i] == 0 || (g.x[i] < 0) == (i & 1));
                if (exact < 2147483647.0L) {
                    ASSERT_LE(std::fabs(got - exact), slack(n, e, exact)) << "n " << n << " e " << e;
                } else if (n >= 16 && exact > 2147483647.0L + slack(n, e, exact)) {
                    ASSERT_EQ(got, 2147483647.0L) << "n " << n << " e " << e;
                }
            }
        }
    }
    Granule g(210);  // exact powers at the reference gain, the bound, and the largest magnitude
    g.x[0] = 1, g.x[1] = 8, g.x[2] = 16, g.x[3] = -1;
    ASSERT_EQ(g.run(), okvOk);
    EXPECT_EQ(std::vector<int32_t>(g.x.begin(), g.x.begin() + 4),
              (std::vector<int32_t>{67108864, 1073741824, 2147483647, -67108864}));
    EXPECT_EQ(g.nz[0], 4);
}

