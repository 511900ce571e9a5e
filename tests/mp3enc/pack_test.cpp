// Layer III packers, proved by round trips through the unpacking and decoding exports.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mp3enc_test_util.h"

using mp3enc_test::bitPos;
using mp3enc_test::header;

TEST(Mp3EncPack, FrameHeaderRoundTrip) {
    std::mt19937 rng(1);
    for (int it = 0; it < 2000; ++it) {
        MP3FrameHeader h{};
        h.id = rng() & 1, h.layer = rng() & 3, h.protection_bit = rng() & 1, h.bitrate_index = rng() & 15;
        h.sampling_frequency = rng() & 3, h.padding_bit = rng() & 1, h.private_bit = rng() & 1;
        h.mode = rng() & 3, h.mode_extension = rng() & 3, h.copyright = rng() & 1, h.original_copy = rng() & 1;
        h.emphasis = rng() & 3, h.crc_check = h.protection_bit ? 0 : rng() & 0xFFFF;
        Okv8u buf[8];
        memset(buf, 0xA5, sizeof buf);
        Okv8u* p = buf;
        ASSERT_EQ(okvsPackFrameHeader_MP3(&h, &p), okvOk);
        ASSERT_EQ(p - buf, h.protection_bit ? 4 : 6);
        EXPECT_EQ(buf[p - buf], 0xA5);  // nothing past the header
        EXPECT_EQ(buf[0], 0xFF);
        EXPECT_EQ(buf[1] >> 5, 7);
        MP3FrameHeader back{};
        Okv8u* q = buf;
        ASSERT_EQ(okvsUnpackFrameHeader_MP3(&q, &back), okvOk);
        EXPECT_EQ(q, p);
        EXPECT_EQ(memcmp(&h, &back, sizeof h), 0) << "iteration " << it;
    }
}

namespace {

MP3SideInfo randomSideInfo(std::mt19937& rng, bool mpeg1) {
    MP3SideInfo si{};
    si.part2_3_length = rng() & 4095, si.big_values = rng() % 289, si.global_gain = rng() & 255;
    si.scalefac_compress = rng() & (mpeg1 ? 15 : 511);
    si.window_switching_flag = rng() & 1;
    if (si.window_switching_flag) {
        si.block_type = 1 + rng() % 3, si.mixed_block_flag = rng() & 1;
        for (int w = 0; w < 3; ++w) si.subblock_gain[w] = rng() & 7;
        si.table_select[0] = rng() & 31, si.table_select[1] = rng() & 31;
        si.region0_count = si.block_type == 2 && !si.mixed_block_flag ? 8 : 7;
        si.region1_count = 20 - si.region0_count;
    } else {
        for (int r = 0; r < 3; ++r) si.table_select[r] = rng() & 31;
        si.region0_count = rng() & 15, si.region1_count = rng() & 7;
    }
    si.preflag = mpeg1 ? rng() & 1 : 0;
    si.scalefac_scale = rng() & 1, si.count1table_select = rng() & 1;
    return si;
}

}  // namespace

TEST(Mp3EncPack, SideInfoRoundTripAllLayouts) {
    std::mt19937 rng(2);
    for (int id = 0; id <= 1; ++id)
        for (int mode = 0; mode <= 3; ++mode)
            for (int it = 0; it < 300; ++it) {
                const int nch = mode == 3 ? 1 : 2, records = (id ? 2 : 1) * nch;
                const MP3FrameHeader h = header(id, mode);
                MP3SideInfo si[4];
                for (int i = 0; i < records; ++i) si[i] = randomSideInfo(rng, id == 1);
                int scfsi[8] = {};
                for (int i = 0; i < 4 * nch; ++i) scfsi[i] = id ? rng() & 1 : 0;
                const int mdb = rng() & (id ? 511 : 255);
                const int priv = rng() & (id ? (nch == 1 ? 31 : 7) : (nch == 1 ? 1 : 3));
                std::vector<Okv8u> buf(48, 0x5A);
                Okv8u* p = buf.data();
                ASSERT_EQ(okvsPackSideInfo_MP3(si, &p, mdb, priv, scfsi, &h), okvOk);
                const int expectBytes = id ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
                ASSERT_EQ(p - buf.data(), expectBytes);
                EXPECT_EQ(buf[expectBytes], 0x5A);
                MP3SideInfo back[4] = {};
                int mdb2 = -1, priv2 = -1, scfsi2[8] = {};
                Okv8u* q = buf.data();
                ASSERT_EQ(okvsUnpackSideInfo_MP3(&q, back, &mdb2, &priv2, scfsi2, &h), okvOk);
                EXPECT_EQ(q, p);
                EXPECT_EQ(mdb2, mdb);
                EXPECT_EQ(priv2, priv);
                if (id) {
                    EXPECT_EQ(memcmp(scfsi, scfsi2, sizeof(int) * 4 * nch), 0);
                }
                for (int i = 0; i < records; ++i) {
                    if (!si[i].window_switching_flag) si[i].block_type = si[i].mixed_block_flag = 0;
                    if (si[i].window_switching_flag) si[i].table_select[2] = back[i].table_select[2];
                    if (!id) back[i].preflag = 0;
                    EXPECT_EQ(memcmp(&si[i], &back[i], sizeof(MP3SideInfo)), 0) << id << mode << " record " << i;
                }
            }
}

TEST(Mp3EncPack, SideInfoStopsAtSwitchedBlockTypeZero) {
    MP3SideInfo si[4] = {};
    si[0].part2_3_length = 4095;
    si[0].window_switching_flag = 1;  // block_type 0 stays
    const MP3FrameHeader h = header(1, 3);
    const int scfsi[8] = {};
    Okv8u buf[40];
    memset(buf, 0xEE, sizeof buf);
    Okv8u* p = buf;
    ASSERT_EQ(okvsPackSideInfo_MP3(si, &p, 0, 0, scfsi, &h), okvOk);
    // 9 + 5 + 4 scfsi + 12 + 9 + 8 + 4 + 1 + 2 = 54 bits: 7 bytes touched
    EXPECT_EQ(p - buf, 7);
    EXPECT_EQ(buf[7], 0xEE);
}

// Every scalefac_compress of both versions, every block kind, both LSF channels (channel 1 with
// intensity) and every MPEG-1 scfsi pattern of granule 1: values as wide as the decoder reads
// them (learnt by packing all ones) come back as they went in, at any bit offset.
TEST(Mp3EncPack, ScaleFactorsRoundTrip) {
    std::mt19937 rng(3);
    for (int id = 0; id <= 1; ++id)
        for (int c = 0; c < (id ? 16 : 512); ++c)
            for (int kind = 0; kind < (id ? 4 + 15 : 6); ++kind) {  // short, mixed, long, then MPEG-1 scfsi masks
                const int ch = id ? 0 : kind / 3, k = id ? std::min(kind, 2) : kind % 3;
                const MP3FrameHeader h = header(id, 1, 0, ch ? 1 : 2);
                MP3SideInfo si{};
                si.scalefac_compress = c;
                si.block_type = k < 2 ? 2 : 0;
                si.window_switching_flag = k < 2;
                si.mixed_block_flag = k == 1;
                si.preflag = 7;
                const int granule = kind >= 3 ? 1 : 0, off = c % 8;
                int scfsi[4] = {};
                for (int g = 0; g < 4; ++g) scfsi[g] = id && kind >= 4 ? ((kind - 3) >> g) & 1 : 0;
                auto pack = [&](const Okv8s* sf, std::vector<Okv8u>& buf) {
                    buf.assign(64, 0);
                    buf[0] = (Okv8u)(0xFF00 >> off);  // bits before the offset must survive
                    Okv8u* p = buf.data();
                    int o = off;
                    EXPECT_EQ(okvsPackScaleFactors_MP3_8s1u(sf, &p, &o, &h, &si, scfsi, granule, ch), okvOk);
                    EXPECT_EQ(buf[0] >> (8 - off), (1 << off) - 1);
                    return bitPos(buf.data(), p, o);
                };
                auto unpack = [&](const std::vector<Okv8u>& buf, Okv8s* sf, MP3SideInfo* s2) {
                    std::vector<Okv8u> b = buf;
                    Okv8u* q = b.data();
                    int qo = off;
                    *s2 = si;
                    s2->preflag = 7;
                    EXPECT_EQ(okvsUnpackScaleFactors_MP3_1u8s(&q, &qo, sf, s2, scfsi, &h, granule, ch), okvOk);
                    return bitPos(b.data(), q, qo);
                };
                Okv8s ones[40], widths[40] = {}, sf[40] = {}, back[40];
                memset(ones, 0x7F, sizeof ones);
                std::vector<Okv8u> buf;
                MP3SideInfo si2;
                const long bits = pack(ones, buf);
                ASSERT_EQ(unpack(buf, widths, &si2), bits) << id << " " << c << " " << kind;
                if (!id) {
                    EXPECT_EQ(si2.preflag, !ch && c >= 500 ? 1 : 0);
                    EXPECT_EQ(si.preflag, si2.preflag);
                }
                for (int i = 0; i < 39; ++i) {
                    const int maxv = std::abs(widths[i]);
                    sf[i] = (Okv8s)(maxv ? rng() % (maxv + 1) : 0);
                    back[i] = (Okv8s)(rng() & 15);  // granule 1 keeps what scfsi shares
                }
                const std::vector<Okv8s> prev(back, back + 40);
                ASSERT_EQ(pack(sf, buf), bits);
                ASSERT_EQ(unpack(buf, back, &si2), bits);
                static const int kGroup[22] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
                for (int i = 0; i < 39; ++i) {
                    const int maxv = std::abs(widths[i]);
                    const bool shared = k == 2 && i < 21 && scfsi[kGroup[i]];
                    const int want = shared ? prev[i] : ch && maxv && sf[i] == maxv ? -sf[i] : sf[i];  // intensity: largest = illegal
                    if (maxv || shared) {
                        ASSERT_EQ(back[i], want) << id << " compress " << c << " kind " << kind << " i " << i;
                    }
                }
            }
}

TEST(Mp3EncPack, ArgumentChecksInOrder) {
    MP3FrameHeader h = header(1, 0);
    MP3SideInfo si[4] = {};
    int scfsi[8] = {}, off = 0;
    Okv8u buf[64] = {};
    Okv8u* p = buf;
    Okv8u* nul = nullptr;
    Okv8s sf[40] = {};
    Okv32s ix[576] = {};
    MP3BitReservoir r;
    EXPECT_EQ(okvsPackFrameHeader_MP3(&h, &nul), okvErrNullPtr);
    EXPECT_EQ(okvsPackSideInfo_MP3(si, &nul, 0, 0, scfsi, &h), okvErrNullPtr);
    h.layer = 2;
    EXPECT_EQ(okvsPackSideInfo_MP3(si, &p, 0, 0, scfsi, &h), okvErrMp3FrameHeader);
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3FrameHeader);
    h = header(1, 0);
    si[0].scalefac_compress = 16;
    EXPECT_EQ(okvsPackScaleFactors_MP3_8s1u(sf, &p, &off, &h, si, scfsi, 0, 0), okvErrMp3SideInfo);
    h.id = 0;
    si[0].scalefac_compress = 511;
    h.mode_extension = 4;
    EXPECT_EQ(okvsPackScaleFactors_MP3_8s1u(sf, &p, &off, &h, si, scfsi, 0, 0), okvErrMp3FrameHeader);
    EXPECT_EQ(okvsBitReservoirInit_MP3(&r, &h), okvErrMp3FrameHeader);
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3FrameHeader);
    off = 8;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrBadArg);
    off = 0;
    h = header(1, 0);
    si[0] = MP3SideInfo{};
    si[0].region0_count = 15, si[0].region1_count = 6;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3SideInfo);
    si[0] = MP3SideInfo{};
    si[0].big_values = 289;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3SideInfo);
    si[0] = MP3SideInfo{};
    si[0].count1table_select = 2;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3SideInfo);
    // A negative table in region 1 fails after region 0 is written.
    si[0] = MP3SideInfo{};
    si[0].big_values = 100, si[0].table_select[0] = 1, si[0].table_select[1] = -1;
    ix[0] = 1;
    p = buf, off = 0;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(ix, &p, &off, &h, si, 0, 0), okvErrMp3SideInfo);
    EXPECT_GT(bitPos(buf, p, off), 0);
}

TEST(Mp3EncPack, BitReservoirEverySlot) {
    static const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kRate[3] = {44100, 48000, 32000};
    for (int f = 0; f < 3; ++f)
        for (int b = 0; b < 15; ++b) {
            MP3FrameHeader h = header(1, 0, f);
            h.bitrate_index = b;
            MP3BitReservoir r{-1, -1};
            ASSERT_EQ(okvsBitReservoirInit_MP3(&r, &h), okvOk);
            const long frameBits = 8L * (144000L * kKbps[b] / kRate[f]);
            EXPECT_EQ(r.resvSize, 0);
            EXPECT_EQ(r.resvMaxSize, std::min(7680 - std::min(frameBits, 7680L), 4088L)) << f << " " << b;
        }
}
