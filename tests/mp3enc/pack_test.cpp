// Layer III packers and Huffman encoder, proved by round trips through the unpacking and decoding exports.
#include <gtest/gtest.h>

#include <random>

#include "mp3/mp3_test_util.h"

using namespace mp3test;

// The reservoir's room: what 7680 bits leave beside a frame, at most 4088. Random headers, and side
// information of every version and mode: the unpackers read back what was packed, to the last byte.
TEST(Mp3EncPack, ReservoirHeaderAndSideInfoRoundTrip) {
    const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}, kRate[3] = {44100, 48000, 32000};
    for (int b = 0; b < 45; ++b) {
        MP3FrameHeader h = header(1, 0, b / 15);
        MP3BitReservoir resv{-1, -1};
        h.bitrate_index = b % 15;
        const int frameBits = 8 * (144000 * kKbps[b % 15] / kRate[b / 15]);
        EXPECT_TRUE(okvsBitReservoirInit_MP3(&resv, &h) == okvOk && resv.resvSize == 0 &&
                    resv.resvMaxSize == std::min(4088, 7680 - std::min(7680, frameBits))) << b;
    }
    std::mt19937 rng(1);
    for (int it = 0; it < 2000; ++it) {
        Okv8u buf[48], *p = buf, *q = buf;
        MP3FrameHeader h{}, back{};
        int* field[] = {&h.id, &h.layer, &h.protection_bit, &h.sampling_frequency, &h.padding_bit, &h.private_bit, &h.mode,
                        &h.mode_extension, &h.copyright, &h.original_copy, &h.emphasis, &h.bitrate_index, &h.crc_check};
        const unsigned mask[13] = {1, 3, 1, 3, 1, 1, 3, 3, 1, 1, 3, 15, 0xFFFF};
        for (int i = 0; i < 13; ++i) *field[i] = int(rng() & mask[i]);
        h.crc_check *= !h.protection_bit;
        ASSERT_TRUE(okvsPackFrameHeader_MP3(&h, &p) == okvOk && okvsUnpackFrameHeader_MP3(&q, &back) == okvOk);
        EXPECT_TRUE(p - buf == (h.protection_bit ? 4 : 6) && q == p && !memcmp(&h, &back, sizeof h)) << it;
        h = header(rng() & 1, rng() & 3);
        p = q = buf;
        const bool v1 = h.id == 1;
        const int nch = h.mode == 3 ? 1 : 2, bytes = v1 ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
        MP3SideInfo si[4] = {}, got[4] = {};
        for (int i = 0; i < (v1 ? 2 : 1) * nch; ++i) {
            MP3SideInfo& s = si[i];
            s.part2_3_length = rng() & 4095, s.big_values = rng() % 289, s.global_gain = rng() & 255;
            s.scalefac_compress = rng() & (v1 ? 15 : 511), s.window_switching_flag = rng() & 1;
            for (int r = 0; r < 3 - s.window_switching_flag; ++r) s.table_select[r] = rng() & 31;
            s.block_type = s.window_switching_flag ? 1 + rng() % 3 : 0, s.mixed_block_flag = s.window_switching_flag & rng();
            for (int& g : s.subblock_gain) g = s.window_switching_flag ? rng() & 7 : 0;
            s.region0_count = s.window_switching_flag ? (s.block_type == 2 && !s.mixed_block_flag ? 8 : 7) : rng() & 15;
            s.region1_count = s.window_switching_flag ? 20 - s.region0_count : rng() & 7;
            s.preflag = v1 ? rng() & 1 : 0, s.scalefac_scale = rng() & 1, s.count1table_select = rng() & 1;
        }
        int scfsi[8] = {}, scfsi2[8] = {}, mdb2 = -1, priv2 = -1;
        for (int i = 0; v1 && i < 4 * nch; ++i) scfsi[i] = rng() & 1;
        const int mdb = rng() & (v1 ? 511 : 255), priv = rng() & (v1 ? (nch == 1 ? 31 : 7) : (nch == 1 ? 1 : 3));
        memset(buf, 0x5A, sizeof buf);
        ASSERT_TRUE(okvsPackSideInfo_MP3(si, &p, mdb, priv, scfsi, &h) == okvOk &&
                    okvsUnpackSideInfo_MP3(&q, got, &mdb2, &priv2, scfsi2, &h) == okvOk);
        for (int i = 0; i < 4; ++i) {  // the unused table and (in LSF) preflag are the unpacker's
            if (si[i].window_switching_flag) si[i].table_select[2] = got[i].table_select[2];
            if (!v1) got[i].preflag = 0;
        }
        EXPECT_TRUE(p - buf == bytes && q == p && buf[bytes] == 0x5A && mdb2 == mdb && priv2 == priv && !memcmp(si, got, sizeof si) &&
                    !memcmp(scfsi, scfsi2, sizeof(int) * (v1 ? 4 * nch : 0))) << it;
    }
}

// Every scalefac_compress of both versions, every block kind, both LSF channels (channel 1 with
// intensity) and every MPEG-1 scfsi pattern of granule 1, at any bit offset (whole bytes of it folded into
// the pointer): random values of the widths the standard's tables give (LSF: nr_of_sfb_block with the
// lengths scalefac_compress holds) take exactly those bits, the bits before kept, and read back. An
// intensity position at its largest value reads as illegal (negated); the band past the coded ones (three
// windows of it for short blocks and LSF) is zeroed; granule 1 keeps what scfsi shares.
TEST(Mp3EncPack, ScaleFactorsRoundTripAtTheTablesWidths) {
    const auto slen = tableLines("slen.txt"), nr = tableLines("nr_of_sfb_block.txt");
    MP3_SKIP_WITHOUT_TABLES(slen.size() == 16 && nr.size() == 18);
    static const int kGroup[22] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
    std::mt19937 rng(3);
    for (int id = 0; id <= 1; ++id)
        for (int c = 0; c < (id ? 16 : 512); ++c)
            for (int kind = 0; kind < (id ? 4 + 15 : 6); ++kind) {  // short, mixed, long, then MPEG-1 scfsi masks
                const int ch = id ? 0 : kind / 3, k = id ? std::min(kind, 2) : kind % 3, granule = kind >= 3;
                const int off = c % 8, skip = c % 3, zeros = id && k == 2 ? 1 : 3;
                std::vector<int> width;  // bits of each scalefactor transmitted
                if (id) {
                    const int first = k == 0 ? 18 : k == 1 ? 17 : 11;
                    width.assign(size_t(first), std::stoi(slen[c][1]));
                    width.resize(size_t(first + (k == 2 ? 10 : 18)), std::stoi(slen[c][2]));
                } else {
                    const int t = ch ? c >> 1 : c, u = ch ? t - (t < 244 ? 180 : 244) : c - (c < 500 ? 400 : 500);
                    const int row = ch * 3 + (t < (ch ? 180 : 400) ? 0 : t < (ch ? 244 : 500) ? 1 : 2);
                    const int lens[6][4] = {{(t >> 4) / 5, (t >> 4) % 5, (t & 15) >> 2, t & 3},
                                            {(u >> 2) / 5, (u >> 2) % 5, u & 3, 0}, {u / 3, u % 3, 0, 0},
                                            {t / 36, t % 36 / 6, t % 6, 0}, {(u & 63) >> 4, (u & 15) >> 2, u & 3, 0},
                                            {u / 3, u % 3, 0, 0}};
                    for (int j = 0; j < 4; ++j)
                        width.resize(width.size() + size_t(std::stoi(nr[3 * row + (k + 1) % 3][2 + j])), lens[row][j]);
                }
                const MP3FrameHeader h = header(id, 1, 0, ch ? 1 : 2);
                MP3SideInfo si{};
                si.scalefac_compress = c, si.block_type = k < 2 ? 2 : 0, si.window_switching_flag = k < 2;
                si.mixed_block_flag = k == 1 ? 3 : 0, si.preflag = 7;  // only the flag's lowest bit counts
                int scfsi[4];
                for (int g = 0; g < 4; ++g) scfsi[g] = id && kind >= 4 ? ((kind - 3) >> g) & 1 : 0;
                Okv8s sf[40] = {}, back[40];
                long bits = off + 8 * skip;
                for (size_t i = 0; i < width.size(); ++i) {
                    const bool shared = k == 2 && scfsi[kGroup[i]];
                    sf[i] = Okv8s(rng() % (1u << width[i])), bits += shared ? 0 : width[i];
                }
                for (Okv8s& b : back) b = Okv8s(rng() & 15);
                const std::vector<Okv8s> prev(back, back + 40);
                std::vector<Okv8u> buf(64, 0);
                buf[size_t(skip)] = Okv8u(0xFF00 >> off);
                Okv8u *p = buf.data(), *q = p + skip;
                int o = off + 8 * skip, qo = off;
                MP3SideInfo si2 = si;
                ASSERT_TRUE(okvsPackScaleFactors_MP3_8s1u(sf, &p, &o, &h, &si, scfsi, granule, ch) == okvOk &&
                            buf[size_t(skip)] >> (8 - off) == (1 << off) - 1 &&
                            okvsUnpackScaleFactors_MP3_1u8s(&q, &qo, back, &si2, scfsi, &h, granule, ch) == okvOk &&
                            bitPos(buf.data(), p, o) == bits && bitPos(buf.data(), q, qo) == bits)
                    << id << " compress " << c << " kind " << kind;
                const bool flags = si.preflag + 2 * si2.preflag == (!ch && c >= 500 ? 3 : 0) && si2.mixed_block_flag == (k == 1);
                EXPECT_TRUE(id || flags) << c << " " << kind;  // LSF: preflag set by both sides
                for (size_t i = 0; i < 40; ++i) {
                    const int w = i < width.size() ? width[i] : 0, top = (1 << w) - 1;
                    const int want = i >= width.size()             ? (i < width.size() + zeros ? 0 : prev[i])
                                     : k == 2 && scfsi[kGroup[i]] ? prev[i]
                                     : ch && sf[i] == top          ? -sf[i] : sf[i];
                    ASSERT_EQ(back[i], want) << id << " compress " << c << " kind " << kind << " i " << i;
                }
            }
}

// Random spectra, region layouts, block types and tables; budgets at the bits written and above: '1'
// stuffing after unchanged code bits, and the decoder ends exactly at the budget.
TEST(Mp3EncHuffman, RandomGranulesDecodeBack) {
    std::mt19937 rng(6);
    for (int it = 0; it < 3000; ++it) {
        const MP3FrameHeader h = header(1, 0, rng() % 3);
        MP3SideInfo si{};
        si.window_switching_flag = rng() % 3 == 0;
        si.block_type = si.window_switching_flag ? 1 + rng() % 3 : rng() % 4;  // ignored unless switched
        si.big_values = rng() % 289, si.region0_count = rng() % 16, si.count1table_select = rng() & 1;
        si.region1_count = std::min<int>(rng() % 8, 20 - si.region0_count);
        const int bv2 = 2 * si.big_values, row = 3 + h.sampling_frequency;
        const int bounds[3] = {si.window_switching_flag ? 36 : kSfbLong[row][si.region0_count + 1],
                               si.window_switching_flag ? bv2 : kSfbLong[row][si.region0_count + si.region1_count + 2], bv2};
        std::vector<Okv32s> ix(576, 0);
        for (int r = 0, start = 0; r < 3; start = std::max(start, std::min(bounds[r++], bv2))) {
            const int ts = si.table_select[r] = int(rng() % 32);
            const int maxv = ts < 16 ? std::max(kXlen[ts] - 1, 0) : std::min(15 + (1 << kLinbits[ts]) - 1, 8206);
            for (int i = start; i < std::min(bounds[r], bv2); ++i) {
                const int v = rng() % 8 == 0 ? maxv : rng() & 1 ? int(rng() % (maxv + 1)) : int(rng() % std::min(maxv + 1, 4));
                ix[i] = rng() & 1 ? -v : v;
            }
        }
        const int count1 = int(rng() % ((576 - bv2) / 4 + 1)) * 4, off = rng() % 8;
        const int extra = it % 4 < 2 ? it % 4 : int(rng() % 100);
        for (int i = bv2; i < bv2 + count1; ++i) ix[i] = rng() % 4 ? 0 : (rng() & 1 ? 1 : -1);
        long bits[2];
        std::vector<Okv8u> buf[2] = {std::vector<Okv8u>(1200), std::vector<Okv8u>(1200)};
        for (int pass = 0; pass < 2; ++pass) {
            Okv8u* p = buf[pass].data();
            int o = off;
            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(ix.data(), &p, &o, &h, &si, count1, pass ? int(bits[0]) + extra : 0), okvOk);
            bits[pass] = bitPos(buf[pass].data(), p, o) - off;
        }
        ASSERT_EQ(bits[1], bits[0] + extra);
        const auto bit = [&](int pass, long b) { return (buf[pass][b >> 3] >> (7 - (b & 7))) & 1; };
        for (long b = off; b < off + bits[1]; ++b) ASSERT_EQ(bit(1, b), b < off + bits[0] ? bit(0, b) : 1) << "bit " << b;
        si.part2_3_length = int(bits[1]);
        Okv8u* q = buf[1].data();
        int qo = off, bound = -1;
        std::vector<Okv32s> out(576);
        ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&q, &qo, out.data(), &bound, &si, &h, int(bits[1])), okvOk);
        ASSERT_TRUE(bitPos(buf[1].data(), q, qo) - off == bits[1] && out == ix) << "iteration " << it;
    }
}
