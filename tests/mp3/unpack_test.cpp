// Layer III frame header, side information and scalefactor unpacking.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3_test_util.h"
#include "okvac.h"

using mp3test::BitWriter;
using mp3test::header;

namespace {

// Side information of one granule and channel, written in stream order.
void putGranule(BitWriter& bw, bool mpeg1, int ws, int blockType, int mixed) {
    bw.put(1234, 12), bw.put(100, 9), bw.put(200, 8), bw.put(mpeg1 ? 9 : 345, mpeg1 ? 4 : 9), bw.put(ws, 1);
    if (ws) {
        bw.put(blockType, 2), bw.put(mixed, 1), bw.put(17, 5), bw.put(24, 5);
        bw.put(1, 3), bw.put(2, 3), bw.put(7, 3);
    } else {
        bw.put(1, 5), bw.put(2, 5), bw.put(31, 5), bw.put(9, 4), bw.put(5, 3);
    }
    if (mpeg1) bw.put(1, 1);
    bw.put(1, 1), bw.put(0, 1);
}

}  // namespace

// Fields in stream order; the CRC word only when protection_bit is 0.
TEST(Mp3Unpack, FrameHeaderFieldsAndCrc) {
    uint8_t b[8] = {0xFF, 0xFA, 0x9A, 0x6D, 0xAB, 0xCD, 0, 0};  // MPEG-1 III, CRC, 128k 48 kHz
    Okv8u* p = b;
    MP3FrameHeader h{};
    ASSERT_EQ(okvsUnpackFrameHeader_MP3(&p, &h), okvOk);
    EXPECT_EQ(p, b + 6);
    const MP3FrameHeader want{1, 1, 0, 9, 2, 1, 0, 1, 2, 1, 1, 1, 0xABCD};
    EXPECT_EQ(memcmp(&h, &want, sizeof h), 0);
    b[1] = 0xF3;  // LSF, no CRC: crc_check untouched
    p = b;
    h.crc_check = -7;
    ASSERT_EQ(okvsUnpackFrameHeader_MP3(&p, &h), okvOk);
    EXPECT_EQ(p, b + 4);
    EXPECT_EQ(h.id, 0);
    EXPECT_EQ(h.protection_bit, 1);
    EXPECT_EQ(h.crc_check, -7);
    Okv8u* nullStream = nullptr;
    EXPECT_EQ(okvsUnpackFrameHeader_MP3(&nullStream, &h), okvErrNullPtr);
    EXPECT_EQ(okvsUnpackFrameHeader_MP3(&p, nullptr), okvErrNullPtr);
}

TEST(Mp3Unpack, SideInfoFailures) {
    BitWriter bw;
    bw.put(0, 9 + 3 + 8);
    putGranule(bw, true, 0, 0, 0);
    putGranule(bw, true, 1, 0, 1);  // window switching with block type 0
    auto buf = bw.bytes();
    Okv8u* p = buf.data();
    MP3SideInfo si[4];
    si[1].region0_count = -1;
    int mdb, priv, scfsi[8];
    const MP3FrameHeader h = header(1, 0);
    EXPECT_EQ(okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &h), okvErrMp3SideInfo);
    EXPECT_EQ(si[0].region0_count, 9);
    EXPECT_EQ(si[1].subblock_gain[2], 7);
    EXPECT_EQ(si[1].region0_count, -1);
    EXPECT_EQ(p - buf.data(), (20 + 59 + 56 + 7) / 8);

    MP3FrameHeader bad = h;
    bad.layer = 3;
    p = buf.data();
    EXPECT_EQ(okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &bad), okvErrMp3FrameHeader);
    bad = h;
    bad.mode = -1;
    EXPECT_EQ(okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &bad), okvErrMp3FrameHeader);
    EXPECT_EQ(okvsUnpackSideInfo_MP3(&p, si, &mdb, nullptr, scfsi, &bad), okvErrNullPtr);
    EXPECT_EQ(p, buf.data());
}

namespace {

struct ScfResult {
    StatusCode st;
    std::vector<Okv8s> sf;
    long bits;
    MP3SideInfo si;
};

ScfResult unpackScf(const std::vector<uint8_t>& stream, int offset, MP3SideInfo si, const MP3FrameHeader& h,
                    int gr, int ch, const int* scfsi = nullptr, Okv8s fill = 99) {
    static const int kNoScfsi[4] = {0, 0, 0, 0};
    ScfResult r{okvOk, std::vector<Okv8s>(40, fill), 0, si};
    std::vector<uint8_t> buf = stream;
    Okv8u* p = buf.data();
    int off = offset;
    r.st = okvsUnpackScaleFactors_MP3_1u8s(&p, &off, r.sf.data(), &r.si, scfsi ? scfsi : kNoScfsi, &h, gr, ch);
    r.bits = (p - buf.data()) * 8L + off - offset;
    return r;
}

}  // namespace

TEST(Mp3Unpack, Mpeg1ScalefactorsFollowSlen) {
    auto slen = mp3test::tableLines("slen.txt");
    if (slen.size() != 16) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
    const std::vector<uint8_t> ones(64, 0xFF);
    const MP3FrameHeader h = header(1, 0);
    for (int c = 0; c < 16; ++c) {
        const int s1 = std::stoi(slen[c][1]), s2 = std::stoi(slen[c][2]);
        MP3SideInfo si{};
        si.scalefac_compress = c;
        ScfResult r = unpackScf(ones, 3, si, h, 0, 0);  // long blocks
        ASSERT_EQ(r.st, okvOk);
        EXPECT_EQ(r.bits, 11 * s1 + 10 * s2);
        for (int i = 0; i < 21; ++i) EXPECT_EQ(r.sf[i], (1 << (i < 11 ? s1 : s2)) - 1);
        EXPECT_EQ(r.sf[21], 0);
        si.block_type = 2;  // short: 18 + 18 values, three zeros
        r = unpackScf(ones, 0, si, h, 1, 1);
        EXPECT_EQ(r.bits, 18 * s1 + 18 * s2);
        for (int i = 0; i < 36; ++i) EXPECT_EQ(r.sf[i], (1 << (i < 18 ? s1 : s2)) - 1);
        EXPECT_EQ(std::vector<Okv8s>(r.sf.begin() + 36, r.sf.begin() + 39), std::vector<Okv8s>(3, 0));
        EXPECT_EQ(r.sf[39], 99);
        si.mixed_block_flag = 1;  // mixed: 17 + 18 values
        r = unpackScf(ones, 0, si, h, 0, 0);
        EXPECT_EQ(r.bits, 17 * s1 + 18 * s2);
        EXPECT_EQ(r.sf[16], (1 << s1) - 1);
        EXPECT_EQ(r.sf[17], (1 << s2) - 1);
        EXPECT_EQ(r.sf[35], 0);
        EXPECT_EQ(r.sf[38], 99);
    }
}

TEST(Mp3Unpack, LsfPartitionsFollowNrOfSfbBlock) {
    auto nr = mp3test::tableLines("nr_of_sfb_block.txt");
    if (nr.size() != 18) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
    // One scalefac_compress per partition-table row, with its slen, intensity flag and preflag.
    struct Row {
        int c, slen[4];
        bool intensity;
        int preflag;
    } rows[6] = {{399, {4, 4, 3, 3}, false, 0}, {499, {4, 4, 3, 0}, false, 0}, {511, {3, 2, 0, 0}, false, 1},
                 {358, {4, 5, 5, 0}, true, 0},  {487, {3, 3, 3, 0}, true, 0},  {511, {3, 2, 0, 0}, true, 0}};
    const std::vector<uint8_t> ones(64, 0xFF);
    for (int r = 0; r < 6; ++r)
        for (int kind = 0; kind < 3; ++kind) {
            MP3SideInfo si{};
            si.scalefac_compress = rows[r].c;
            si.block_type = kind ? 2 : 0;
            si.mixed_block_flag = kind == 2 ? 3 : 0;  // only its lowest bit counts
            si.preflag = 7;
            const MP3FrameHeader h = header(0, 1, 0, rows[r].intensity ? 1 : 2);
            const ScfResult res = unpackScf(ones, 1, si, h, 0, 1);
            ASSERT_EQ(res.st, okvOk);
            EXPECT_EQ(res.si.preflag, rows[r].preflag);
            EXPECT_EQ(res.si.mixed_block_flag, kind == 2 ? 1 : 0);
            long bits = 0;
            size_t i = 0;
            for (int k = 0; k < 4; ++k) {
                const int n = std::stoi(nr[r * 3 + kind][2 + k]), s = rows[r].slen[k];
                bits += long(n) * s;
                const int v = (1 << s) - 1;
                for (int j = 0; j < n; ++j, ++i) ASSERT_EQ(res.sf[i], rows[r].intensity ? -v : v) << r << kind << k;
            }
            EXPECT_EQ(res.bits, bits);
            EXPECT_EQ(std::vector<Okv8s>(res.sf.begin() + i, res.sf.begin() + i + 3), std::vector<Okv8s>(3, 0));
        }
}

TEST(Mp3Unpack, ScalefactorChecksInOrder) {
    const std::vector<uint8_t> buf(16, 0);
    MP3SideInfo si{};
    const MP3FrameHeader h1 = header(1, 0);
    EXPECT_EQ(unpackScf(buf, 8, si, h1, 0, 0).st, okvErrBadArg);
    EXPECT_EQ(unpackScf(buf, 0, si, h1, 2, 0).st, okvErrBadArg);
    EXPECT_EQ(unpackScf(buf, 0, si, h1, 0, -1).st, okvErrBadArg);
    si.scalefac_compress = 16;
    EXPECT_EQ(unpackScf(buf, 0, si, h1, 0, 0).st, okvErrMp3SideInfo);
    si.scalefac_compress = 512;
    MP3FrameHeader h0 = header(0, 1, 0, 4);
    EXPECT_EQ(unpackScf(buf, 0, si, h0, 0, 0).st, okvErrMp3SideInfo);
    si.scalefac_compress = 511;
    const ScfResult r = unpackScf(buf, 0, si, h0, 0, 0);
    EXPECT_EQ(r.st, okvErrMp3FrameHeader);
    EXPECT_EQ(r.bits, 0);
    EXPECT_EQ(r.sf[0], 99);

    Okv8u* p = nullptr;
    int off = 0, scfsi[4] = {};
    Okv8s sf[40];
    EXPECT_EQ(okvsUnpackScaleFactors_MP3_1u8s(&p, &off, sf, &si, scfsi, &h1, 5, 0), okvErrNullPtr);
}
