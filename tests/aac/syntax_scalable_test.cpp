// Main and extension headers of scalable streams, with their TNS and LTP side data.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3/mp3_test_util.h"
#include "okvac.h"

namespace {

using mp3test::BitWriter;

struct Parsed {
    std::vector<uint8_t> buf;
    Okv8u* p;
    int off = 0;
    size_t pos() const { return size_t(p - buf.data()) * 8 + size_t(off); }
};

Parsed start(const BitWriter& bw) {
    Parsed r{bw.bytes(3), nullptr};
    r.p = r.buf.data();
    return r;
}

}  // namespace

// Window grouping of an EIGHT_SHORT main header.
TEST(AacSyntaxScalable, MainHeaderGrouping) {
    struct Case { int bits; std::vector<int> lens; };
    for (const Case& c : {Case{0, {1, 1, 1, 1, 1, 1, 1, 1}}, Case{127, {8}}, Case{0b1011011, {2, 3, 3}},
                          Case{0b0000001, {1, 1, 1, 1, 1, 1, 2}}, Case{0b1000000, {2, 1, 1, 1, 1, 1, 1}}}) {
        BitWriter bw;
        bw.put(2, 2), bw.put(1, 1), bw.put(9, 4), bw.put(c.bits, 7);
        bw.put(0, 1), bw.put(0, 1);  // no TNS, no LTP
        Parsed s = start(bw);
        AACMainHeader h{};
        ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
        EXPECT_EQ(s.pos(), bw.bits());
        EXPECT_EQ(h.winShape, 1);
        EXPECT_EQ(h.maxSfb, 9);
        ASSERT_EQ(h.numWinGrp, int(c.lens.size()));
        EXPECT_EQ(std::vector<int>(h.lenWinGrp, h.lenWinGrp + h.numWinGrp), c.lens);
    }
}

// M/S mask modes on a two-channel header; long windows: one group, lenWinGrp[1..7] cleared.
TEST(AacSyntaxScalable, MainHeaderMsMaskAndStatus) {
    for (int mask = 0; mask < 4; ++mask) {
        BitWriter bw;
        bw.put(0, 2), bw.put(0, 1), bw.put(5, 6), bw.put(mask, 2);
        if (mask == 1) bw.put(0b10110, 5);
        for (int ch = 0; ch < 2; ++ch) bw.put(0, 1), bw.put(0, 1);
        for (int flag = 0; flag < 2; ++flag) {
            Parsed s = start(bw);
            Okv8u ms[480];
            std::memset(ms, 7, sizeof ms);
            AACMainHeader h;
            std::memset(&h, 0x33, sizeof h);
            h.pMsUsed = ms;
            EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 2, flag), flag ? okvErrNotSupportedMode : okvOk);
            EXPECT_EQ(s.pos(), bw.bits());
            EXPECT_EQ(h.numWinGrp, 1);
            EXPECT_EQ(h.lenWinGrp[0], 1);
            EXPECT_EQ(h.lenWinGrp[7], 0);
            const std::vector<int> want = mask == 1 ? std::vector<int>{1, 0, 1, 1, 0}
                                                    : std::vector<int>(5, mask == 2);
            EXPECT_EQ(std::vector<int>(ms, ms + 5), want);
            EXPECT_EQ(ms[5], 7);
            EXPECT_EQ(h.tnsData[1].tnsDataPresent, 0);
            EXPECT_EQ(h.tnsData[1].nFilt[0], 0);  // records cleared
        }
    }
    Parsed s = start(BitWriter());
    AACMainHeader h{};
    EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 2, 0), okvErrNullPtr);  // no M/S array
    for (int channels : {0, 3}) EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, channels, 0), okvErrAacChanNum);
    EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 2), okvErrAacMonoStereo);
    s.off = 8;
    EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 0, 2), okvErrAacBitOffset);
}

// TNS data (long: three filters, compressed coefficients) and LTP data (short-window lags).
TEST(AacSyntaxScalable, MainHeaderTnsAndLtp) {
    BitWriter bw;
    bw.put(0, 2), bw.put(0, 1), bw.put(30, 6);  // long, maxSfb 30
    bw.put(1, 1), bw.put(3, 2), bw.put(1, 1);    // TNS: 3 filters, resolution 4
    bw.put(20, 6), bw.put(2, 5), bw.put(1, 1), bw.put(1, 1), bw.put(0b101, 3), bw.put(0b011, 3);  // -3, 3
    bw.put(7, 6), bw.put(0, 5);                                                                 // order 0
    bw.put(63, 6), bw.put(1, 5), bw.put(0, 1), bw.put(0, 1), bw.put(0b1000, 4);                 // -8
    bw.put(1, 1), bw.put(1234, 11), bw.put(7, 3);  // LTP lag, gain 7
    for (int b = 0; b < 30; ++b) bw.put(b % 3 == 0, 1);
    Parsed s = start(bw);
    AACMainHeader h;
    std::memset(&h, 0x44, sizeof h);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_EQ(s.pos(), bw.bits());
    const AACTnsData& t = h.tnsData[0];
    EXPECT_EQ(t.nFilt[0], 3);
    EXPECT_EQ(t.coefRes[0], 4);
    EXPECT_EQ(std::vector<int>(t.length, t.length + 4), (std::vector<int>{20, 7, 63, 0}));
    EXPECT_EQ(std::vector<int>(t.order, t.order + 4), (std::vector<int>{2, 0, 1, 0}));
    EXPECT_EQ(std::vector<int>(t.direction, t.direction + 3), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(std::vector<int>(t.coef, t.coef + 4), (std::vector<int>{-3, 3, -8, 0}));
    const AACLtpData& l = h.ltpData[0];
    EXPECT_EQ(l.ltpDataPresent, 1);
    EXPECT_EQ(l.ltpLag, 1234);
    EXPECT_EQ(l.ltpCoef, 22438);
    EXPECT_EQ(l.ltpLongUsed[0], 1);
    EXPECT_EQ(l.ltpLongUsed[1], 1);
    EXPECT_EQ(l.ltpLongUsed[2], 0);
    EXPECT_EQ(l.ltpLongUsed[28], 1);  // band 27
    EXPECT_EQ(l.ltpLongUsed[30], 0);
    EXPECT_EQ(l.ltpLongUsed[31], 0);  // cleared up to 40
    EXPECT_EQ(l.ltpLongUsed[40], 0);
    EXPECT_EQ(h.ltpData[1].ltpLag, 0x44444444);  // one channel only

    // Short windows: lags of later windows relative to the previous used window.
    BitWriter sw;
    sw.put(2, 2), sw.put(0, 1), sw.put(3, 4), sw.put(0, 7), sw.put(0, 1);  // no TNS
    sw.put(1, 1), sw.put(100, 11), sw.put(0, 3);
    // windows: 0 unused; 1 first used; 2 used, lag present 5; 3 unused; 4 used, no lag; 5 used, lag 31
    for (auto [v, n] : {std::pair{0, 1}, {1, 1}, {1, 1}, {1, 1}, {5, 5}, {0, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 1},
                        {31, 5}, {0, 1}, {0, 1}})
        sw.put(uint32_t(v), n);
    s = start(sw);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_EQ(s.pos(), sw.bits());
    const AACLtpData& ls = h.ltpData[0];
    EXPECT_EQ(ls.ltpCoef, 9352);
    EXPECT_EQ(std::vector<int>(ls.ltpShortUsed, ls.ltpShortUsed + 8), (std::vector<int>{0, 1, 1, 0, 1, 1, 0, 0}));
    EXPECT_EQ(ls.ltpShortLag[1], 100);
    EXPECT_EQ(ls.ltpShortLag[2], 100 - 5 + 16);
    EXPECT_EQ(ls.ltpShortLag[4], 111);
    EXPECT_EQ(ls.ltpShortLag[5], 111 - 31 + 16);
    EXPECT_EQ(ls.ltpShortLagPresent[1], 0);
    EXPECT_EQ(ls.ltpShortLagPresent[4], 0);

    // An order above 12 stops the TNS parse; the header goes on from there.
    BitWriter bad;
    bad.put(0, 2), bad.put(0, 1), bad.put(10, 6), bad.put(1, 1), bad.put(1, 2), bad.put(0, 1), bad.put(5, 6);
    bad.put(13, 5), bad.put(1, 1), bad.put(333, 11), bad.put(2, 3), bad.put(0, 10);
    s = start(bad);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_EQ(h.tnsData[0].order[0], 13);
    EXPECT_EQ(h.ltpData[0].ltpLag, 333);
    EXPECT_EQ(s.pos(), bad.bits());
}

TEST(AacSyntaxScalable, ExtensionHeader) {
    // Long, stereo layer above a mono layer: maxSfb 12, mask 1 for bands 4..11, TNS of two
    // channels, diff control for bands 4..9 whose M/S flag is clear.
    BitWriter bw;
    bw.put(12, 6), bw.put(1, 2);
    const int msBits[8] = {1, 0, 0, 1, 1, 0, 0, 0};  // bands 4..11
    for (int b : msBits) bw.put(b, 1);
    bw.put(0, 1), bw.put(1, 1), bw.put(1, 2), bw.put(0, 1), bw.put(3, 6), bw.put(0, 5);  // ch 1: one order-0 filter
    for (int b : {1, 0, 1, 0, 1, 1}) bw.put(b, 1);  // diff control of bands 5, 6, 9 per channel
    Parsed s = start(bw);
    Okv8u ms[240] = {};
    AACExtHeader h;
    std::memset(&h, 0x22, sizeof h);
    h.pMsUsed = ms;
    ASSERT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, 1, 1, 1, 4, 10, 0), okvOk);
    EXPECT_EQ(s.pos(), bw.bits());
    EXPECT_EQ(h.maxSfb, 12);
    EXPECT_EQ(h.msMaskPresent, 1);
    EXPECT_EQ(std::vector<int>(ms + 3, ms + 13), (std::vector<int>{0, 1, 0, 0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(h.tnsData[0].tnsDataPresent, 0);
    EXPECT_EQ(h.tnsData[0].nFilt[0], 0x22222222);  // not cleared
    EXPECT_EQ(h.tnsData[1].length[0], 3);
    EXPECT_EQ(std::vector<int>(h.diffControlLr[0], h.diffControlLr[0] + 4), (std::vector<int>{1, 0, 1, 0x22222222}));
    EXPECT_EQ(std::vector<int>(h.diffControlLr[1], h.diffControlLr[1] + 3), (std::vector<int>{0, 1, 1}));

    // Short windows: mask bits for 4 groups, diff control 8 bits per channel only from band 0.
    for (int lowest : {0, 2}) {
        BitWriter sw;
        sw.put(3, 4), sw.put(1, 2);
        for (int g = 0; g < 4; ++g)
            for (int b = lowest; b < 3; ++b) sw.put((g + b) & 1, 1);
        if (lowest == 0) sw.put(0xA5, 8), sw.put(0x0F, 8);
        s = start(sw);
        std::memset(ms, 9, sizeof ms);
        ASSERT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, 0, 1, 1, lowest, 51, 2), okvOk);
        EXPECT_EQ(s.pos(), sw.bits());
        EXPECT_EQ(ms[3 * 60 + 2], (3 + 2) & 1);
        EXPECT_EQ(ms[3 * 60 + 3], 9);
        if (lowest == 0) {
            EXPECT_EQ(std::vector<int>(h.diffControlLr[1], h.diffControlLr[1] + 8),
                      (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1}));
        }
    }

    // Argument checks in order, then the long maxSfb read from the stream.
    BitWriter big;
    big.put(61, 6);
    s = start(big);
    const struct { int a[6]; StatusCode st; } checks[] = {
        {{2, 1, 1, 0, 0, 0}, okvErrAacMonoStereo}, {{1, 2, 2, 0, 0, 0}, okvErrAacStereoLayer},
        {{1, 0, 2, 52, 0, 0}, okvErrAacMonoLayer}, {{1, 0, 1, -1, 0, 4}, okvErrAacMaxSfb},
        {{1, 0, 1, 0, 52, 4}, okvErrAacMaxSfb},    {{1, 0, 1, 0, 51, 4}, okvErrAacWinSeq},
        {{1, 0, 1, 0, 51, 3}, okvErrAacMaxSfb},
    };
    for (const auto& c : checks)
        EXPECT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, c.a[0], c.a[1], c.a[2], c.a[3], c.a[4], c.a[5]),
                  c.st);
    EXPECT_EQ(h.maxSfb, 61);
    EXPECT_EQ(s.pos(), 6u);
    h.pMsUsed = nullptr;
    EXPECT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, 0, 1, 0, 0, 0, 0), okvErrNullPtr);
}
