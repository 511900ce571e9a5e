// Layer III decoding stages: every Huffman code of the standard tables, the three Huffman forms agree,
// the requantisation core to the bit, the inverse MDCT's window form agrees with its hybrid form. (The
// packers' round trips cover header, side information and scalefactor layouts; the conformance streams
// and the peers decoding the encoder's streams anchor the rest.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "mp3_test_util.h"

using namespace mp3test;

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
        char name[32];
        std::snprintf(name, sizeof name, "huffman/table_%02d.txt", codeTable);
        auto codes = tableLines(name);  // x y length bits
        if (round) std::shuffle(codes.begin(), codes.end(), rng);
        BitWriter bw;
        bw.put(0x55, offset);
        std::vector<Okv32s> expect;
        for (auto& c : codes) {
            bw.putCode(c[3]);
            for (int x : {std::stoi(c[0]), std::stoi(c[1])}) {
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
        const MP3FrameHeader h = header(1, 0);
        std::vector<uint8_t> buf = bw.bytes();
        std::vector<Okv32s> got(576, 0x5A5A5A5A);
        Okv8u* p = buf.data();
        int off = offset, bound = -1;
        ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, got.data(), &bound, &si, &h, si.part2_3_length), okvOk) << sel;
        expect.resize(576, 0);
        const long last = std::find_if(expect.rbegin(), expect.rend(), [](int x) { return x; }).base() - expect.begin();
        ASSERT_TRUE(got == expect && bound == last && bitPos(buf.data(), p, off) == long(bw.bits())) << "table_select " << sel;
    }
}

// The three forms agree given the standard band tables: both versions, every rate, block kind, region
// split and table choice, on random bits.
TEST(Mp3Huffman, FormsAgreeWithTheStandardTables) {
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    std::mt19937 rng(11);
    for (int run = 0; run < 1200; ++run) {
        const MP3FrameHeader h = header(run % 2, 0, run / 2 % 3);
        MP3SideInfo si{};
        si.big_values = int(rng() % 289), si.part2_3_length = 4000, si.count1table_select = int(rng() & 1);
        si.window_switching_flag = run / 6 % 2, si.block_type = int(1 + rng() % 3), si.mixed_block_flag = int(rng() & 1);
        si.region0_count = int(rng() % 14), si.region1_count = int(rng() % 8);
        for (int& t : si.table_select) t = int(rng() % 30), t += t >= 4, t += t >= 14;
        std::vector<uint8_t> buf(520);
        for (auto& b : buf) b = uint8_t(rng());
        std::vector<Okv32s> out[3];
        long got[3][3];  // status, bound, bit position
        for (int f = 0; f < 3; ++f) {
            out[f].assign(576, 0x5A5A5A5A);
            Okv8u* p = buf.data();
            int off = 3, bound = -1, *o = out[f].data();
            got[f][0] = f == 0 ? okvsHuffmanDecode_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000)
                        : f == 1 ? okvsHuffmanDecodeSfb_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000, kSfbLong[0])
                        : okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000, kSfbLong[0], kSfbShort[0], kMixed[0]);
            got[f][1] = bound, got[f][2] = bitPos(buf.data(), p, off);
        }
        for (int f = 1; f < 3; ++f)
            ASSERT_TRUE(std::equal(got[f], got[f] + 3, got[0]) && out[f] == out[0]) << run << " " << f;
    }
}

// |x|^(4/3) 2^(26 - e/4) to the bit: magnitudes up to 15 from round(n^(4/3) 2^(-q/4) 2^28) (n <= 3) or
// 2^25 shifted by e/4 + 2 or e/4 - 1; 16..128 from round(n^(4/3) 2^23) (n < 64) or 2^21; above, the
// polynomial times X cycling 2^(-1/3), 1, 2^(-2/3) in Q31 truncated; both then times 2^(-q/4) in Q31
// rounded. Left shifts saturate.
Okv32s requantModel(int n, int e) {
    const auto q31 = [](long double v, bool round) {
        return std::min<Okv64s>(round ? std::llround(std::ldexp(v, 31)) : Okv64s(std::ldexp(v, 31)), INT32_MAX);
    };
    const long double p43 = std::pow((long double)n, 4.0L / 3);
    Okv64s v;
    int E;
    if (n < 16) {
        v = std::llround(p43 * std::exp2(-(e & 3) / 4.0L) * std::ldexp(1.0L, n <= 3 ? 28 : 25)), E = n <= 3 ? -2 : 1;
    } else {
        if (n <= 128) {
            v = std::llround(p43 * std::ldexp(1.0L, n < 64 ? 23 : 21)), E = n < 64 ? 4 : 6;
        } else {
            Okv64s y = Okv64s(n) << 17;
            int j = 0;
            if (y < (1 << 27)) y <<= 4, j = 4;
            if (y < (1 << 29)) y <<= 2, j += 2;
            if (y < (1 << 30)) y <<= 1, j += 1;
            Okv64s p = (y * -457633446) >> 32;
            for (Okv64s c : {1445956062LL, -2036421417LL, 1707815404LL, -991941369LL, 535739478LL}) p = ((p + c) * y) >> 32;
            p = Okv32s((Okv32u(Okv32u(((p + 127541088) * y) >> 32)) - 1613111u) * 16u);
            const int i = 6 - j;
            v = Okv32s(Okv32u((p * q31(std::exp2(-((2 * i + 1) % 3) / 3.0L), false)) >> 32) * 2u);
            E = 27 - (20 - i - (i + 1) / 3);  // 20, 19, 17, 16, 15, 13, 12
        }
        v = (v * q31(std::exp2(-(e & 3) / 4.0L), true)) >> 32;
    }
    const int d = (e >> 2) - E;
    return d < 0 ? (v > (INT32_MAX >> std::min(-d, 31)) ? INT32_MAX : Okv32s(v << -d)) : Okv32s(v >> std::min(d, 31));
}

// Every magnitude 1..8206 over the global gains against the model; exact powers at the reference gain.
TEST(MP3Requant, CoreToTheBit) {
    std::vector<int32_t> x(1152), work(576);
    int nz[2];
    const int8_t sf[80] = {};
    MP3SideInfo si[2] = {};
    const MP3FrameHeader hdr = header(1, 3);
    for (int gain = 0; gain < 256; gain += 3) {
        si[0].global_gain = gain;
        for (int n0 = 1; n0 <= 8206; n0 += 576) {
            for (int i = 0; i < 576; ++i) x[i] = std::min(n0 + i, 8206) * (i & 1 ? -1 : 1);
            nz[0] = nz[1] = 576;
            ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()), okvOk);
            for (int i = 0; i < 576; ++i)
                ASSERT_EQ(x[i], requantModel(std::min(n0 + i, 8206), 210 - gain) * (i & 1 ? -1 : 1)) << n0 + i << " " << gain;
        }
    }
    si[0].global_gain = 210;
    std::fill(x.begin(), x.end(), 0);
    x[0] = 1, x[1] = 8, x[2] = 16, x[3] = -1, nz[0] = nz[1] = 576;
    ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()), okvOk);
    EXPECT_EQ(std::vector<int32_t>(x.begin(), x.begin() + 5), (std::vector<int32_t>{67108864, 1073741824, INT32_MAX, -67108864, 0}));
    EXPECT_EQ(nz[0], 4);
}

// MPEG-1 intensity stereo with the right channel silent and band b at position p = b % 7: each line a
// (of either sign) splits into l = hi(2a k) and r = a - l, k = tan(p pi/12) / (1 + tan(p pi/12)) in
// Q31, held below 1 (checked below band 21).
TEST(MP3Requant, IntensityPositionsSplitEachLine) {
    const auto line = [](int i) { return i % 3 ? -1 - i % 20 : i % 20; };
    std::vector<Okv32s> x(1152, 0), work(576);
    for (int i = 0; i < 576; ++i) x[i] = line(i);
    int nz[2] = {576, 0};
    Okv8s sf[80] = {};
    for (int b = 0; b < 21; ++b) sf[40 + b] = Okv8s(b % 7);
    MP3SideInfo si[2] = {};
    si[0].global_gain = si[1].global_gain = 200;
    const MP3FrameHeader h = header(1, 1, 0, 1);
    ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &h, work.data()), okvOk);
    for (int b = 0; b < 21; ++b) {
        const double t = std::tan(b % 7 * M_PI / 12);
        const int64_t k = std::min<int64_t>(std::llround(t / (1 + t) * 0x1p31), INT32_MAX);
        for (int i = kSfbLong[3][b]; i < kSfbLong[3][b + 1]; ++i) {
            const int32_t a = (i % 3 ? -1 : 1) * requantModel(std::abs(line(i)), 10), l = int32_t((2 * int64_t(a) * k) >> 32);
            ASSERT_TRUE(x[i] == l && x[576 + i] == a - l) << "line " << i;
        }
    }
}

// The window form of one subband gives what the hybrid form puts out for subband 0 and keeps for its
// overlap (from the lines the hybrid form leaves after its alias butterflies), every block type.
TEST(MP3Imdct, WindowFormMatchesTheHybridForm) {
    std::mt19937 rng(5);
    for (int it = 0; it < 400; ++it) {
        const int type = it % 4, amp = 1 << (4 + it % 24);
        std::vector<Okv32s> x(576, 0), out(576), ov(576, 0), win(36);
        for (int k = 0; k < 18; ++k) x[k] = Okv32s(rng() % (2u * amp + 1)) - amp;
        int prev = 0;
        ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 18, &prev, type, 0), okvOk);
        ASSERT_EQ(okvsMDCTInvWindow_MP3_32s(x.data(), win.data(), type), okvOk);
        for (int t = 0; t < 18; ++t) ASSERT_TRUE(out[32 * t] == win[t] && ov[t] == win[18 + t]) << it << " " << t;
    }
}
