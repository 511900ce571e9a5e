// ADTS, ADIF, program configuration, fill and data stream elements, and the main and extension
// headers of scalable streams: values written with an independent bit writer, parsed back,
// cursors checked to the bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mp3/mp3_test_util.h"
#include "okvac.h"

namespace {

using mp3test::BitWriter;

size_t bitPos(const std::vector<uint8_t>& buf, const Okv8u* p, int off) { return size_t(p - buf.data()) * 8 + size_t(off); }

// A random program configuration element written in stream order; returns the expected record.
AACPrgCfgElt putPce(BitWriter& bw, std::mt19937& rng) {
    auto r = [&](int bits) { return int(rng() & ((1u << bits) - 1)); };
    AACPrgCfgElt e{};
    e.eltInsTag = r(4), e.profile = r(2), e.samplingRateIndex = r(4);
    e.numFrontElt = r(4), e.numSideElt = r(4), e.numBackElt = r(4), e.numLfeElt = r(2), e.numDataElt = r(3);
    e.numValidCcElt = r(4);
    bw.put(e.eltInsTag, 4), bw.put(e.profile, 2), bw.put(e.samplingRateIndex, 4), bw.put(e.numFrontElt, 4);
    bw.put(e.numSideElt, 4), bw.put(e.numBackElt, 4), bw.put(e.numLfeElt, 2), bw.put(e.numDataElt, 3);
    bw.put(e.numValidCcElt, 4);
    bw.put(e.monoMixdownPres = r(1), 1);
    if (e.monoMixdownPres) bw.put(e.monoMixdownEltNum = r(4), 4);
    bw.put(e.stereoMixdownPres = r(1), 1);
    if (e.stereoMixdownPres) bw.put(e.stereoMixdownEltNum = r(4), 4);
    bw.put(e.matrixMixdownIdxPres = r(1), 1);
    if (e.matrixMixdownIdxPres) bw.put(e.matrixMixdownIdx = r(2), 2), bw.put(e.pseudoSurroundEnable = r(1), 1);
    const auto pairs = [&](int n, int* flag, int* tag) {
        for (int i = 0; i < n; ++i) bw.put(flag[i] = r(1), 1), bw.put(tag[i] = r(4), 4);
    };
    pairs(e.numFrontElt, e.frontIsCpe, e.frontTagSel);
    pairs(e.numSideElt, e.sideIsCpe, e.sideTagSel);
    pairs(e.numBackElt, e.backIsCpe, e.backTagSel);
    for (int i = 0; i < e.numLfeElt; ++i) bw.put(e.lfeTagSel[i] = r(4), 4);
    for (int i = 0; i < e.numDataElt; ++i) bw.put(e.dataTagSel[i] = r(4), 4);
    pairs(e.numValidCcElt, e.ccIsIndSw, e.ccTagSel);
    while (bw.bits() % 8) bw.put(0, 1);
    bw.put(e.commentFieldBytes = r(8), 8);
    for (int i = 0; i < e.commentFieldBytes; ++i) bw.put(e.commentFieldData[i] = Okv8u(r(8)), 8);
    return e;
}

// Unused entries must stay as the caller had them: parse into a record filled with zeros.
void expectPce(const AACPrgCfgElt& got, const AACPrgCfgElt& want) {
    EXPECT_EQ(0, std::memcmp(&got, &want, sizeof got));
}

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

TEST(AacSyntaxHeaders, AdtsFieldsCrcAndAdvance) {
    // syncword, id 1, layer 0, protection 0, profile 1, rate 4, private 1, config 2, orig 0, home 1,
    // copy bit 1, start 0, length 371, fullness 0x7FF, 2 raw blocks, CRC 0xBEEF
    BitWriter bw;
    for (auto [v, n] : {std::pair{0xFFF, 12}, {1, 1}, {0, 2}, {0, 1}, {1, 2}, {4, 4}, {1, 1}, {2, 3}, {0, 1},
                        {1, 1}, {1, 1}, {0, 1}, {371, 13}, {0x7FF, 11}, {1, 2}, {0xBEEF, 16}})
        bw.put(uint32_t(v), n);
    std::vector<uint8_t> b = bw.bytes(3);
    AACADTSFrameHeader h;
    std::memset(&h, 0x5A, sizeof h);
    Okv8u* p = b.data();
    ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&p, &h), okvOk);
    EXPECT_EQ(p, b.data() + 9);
    const int want[16] = {1, 0, 0, 1, 4, 1, 2, 0, 1, 0x5A5A5A5A, 1, 0, 371, 0x7FF, 2, 0xBEEF};
    EXPECT_EQ(0, std::memcmp(&h, want, sizeof want));

    b[1] |= 1;  // protection absent: 7 bytes, crcCheck untouched
    p = b.data();
    h.crcCheck = -3;
    ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&p, &h), okvOk);
    EXPECT_EQ(p, b.data() + 7);
    EXPECT_EQ(h.crcCheck, -3);
}

TEST(AacSyntaxHeaders, ProgramConfigRoundTripAtEveryOffset) {
    std::mt19937 rng(3);
    for (int it = 0; it < 400; ++it) {
        const int lead = it % 8;
        BitWriter bw;
        bw.put(0, lead);
        const AACPrgCfgElt want = putPce(bw, rng);
        std::vector<uint8_t> b = bw.bytes(3);
        AACPrgCfgElt got{};
        Okv8u* p = b.data();
        int off = lead;
        ASSERT_EQ(okvsDecodePrgCfgElt_AAC(&p, &off, &got), okvOk);
        EXPECT_EQ(bitPos(b, p, off), bw.bits());
        expectPce(got, want);
    }
    // Mixdown values are cleared even when absent.
    std::vector<uint8_t> zeros(64, 0);
    AACPrgCfgElt e;
    std::memset(&e, 0x11, sizeof e);
    Okv8u* p = zeros.data();
    int off = 0;
    ASSERT_EQ(okvsDecodePrgCfgElt_AAC(&p, &off, &e), okvOk);
    EXPECT_EQ(e.monoMixdownEltNum | e.stereoMixdownEltNum | e.matrixMixdownIdx | e.pseudoSurroundEnable, 0);
    EXPECT_EQ(e.frontIsCpe[0], 0x11111111);
    EXPECT_EQ(p, zeros.data() + 6);  // 34 bits, aligned to 40, comment count
}

TEST(AacSyntaxHeaders, AdifWithProgramsAndCountCheck) {
    std::mt19937 rng(5);
    for (int type = 0; type < 2; ++type) {
        BitWriter bw;
        bw.put(0x4144, 16), bw.put(0x4946, 16), bw.put(1, 1);
        for (int i = 0; i < 9; ++i) bw.put(0xA0 + i, 8);
        bw.put(1, 1), bw.put(0, 1), bw.put(type, 1), bw.put(0x654321, 23), bw.put(2, 4);  // 3 programs
        AACPrgCfgElt want[3];
        for (int i = 0; i < 3; ++i) {
            if (type == 0) bw.put(0xABCDE + i, 20);
            want[i] = putPce(bw, rng);
        }
        std::vector<uint8_t> b = bw.bytes(3);
        AACADIFHeader h{};
        AACPrgCfgElt got[3] = {};
        Okv8u* p = b.data();
        ASSERT_EQ(okvsUnpackADIFHeader_AAC(&p, &h, got, 3), okvOk);
        EXPECT_EQ(size_t(p - b.data()) * 8, bw.bits());
        EXPECT_EQ(h.adifId, 0x41444946u);
        EXPECT_EQ(h.copyIdPres, 1);
        EXPECT_EQ(h.copyId[8], 0xA8);
        EXPECT_EQ(h.originalCopy, 1);
        EXPECT_EQ(h.bitstreamType, type);
        EXPECT_EQ(h.bitRate, 0x654321);
        EXPECT_EQ(h.numPrgCfgElt, 3);
        EXPECT_EQ(h.adifBufFullness[2], type ? 0 : 0xABCDE + 2);
        for (int i = 0; i < 3; ++i) expectPce(got[i], want[i]);

        // Capacity 2: fails after the count, header written up to it, whole bytes consumed.
        AACADIFHeader h2{};
        p = b.data();
        EXPECT_EQ(okvsUnpackADIFHeader_AAC(&p, &h2, got, 2), okvErrAacPrgNum);
        EXPECT_EQ(h2.numPrgCfgElt, 3);
        EXPECT_EQ(p, b.data() + (32 + 1 + 72 + 3 + 23 + 4) / 8);
    }
}

// Fill (count 4 bits, escape 8 bits) and data stream (tag, align flag, 8 + 8 bits) elements:
// boundary counts at every entry offset.
TEST(AacSyntaxHeaders, FillAndDataStreamCounts) {
    struct Fill { int field, esc, count; };
    for (Fill f : {Fill{0, -1, 0}, Fill{14, -1, 14}, Fill{15, 0, 14}, Fill{15, 1, 15}, Fill{15, 255, 269}}) {
        for (int lead = 0; lead < 8; ++lead) {
            BitWriter bw;
            bw.put(0x7F, lead), bw.put(f.field, 4);
            if (f.esc >= 0) bw.put(f.esc, 8);
            for (int i = 0; i < f.count; ++i) bw.put(i * 7 + 1, 8);
            std::vector<uint8_t> b = bw.bytes(3);
            Okv8u out[269];
            int n = -1, off = lead;
            Okv8u* p = b.data();
            ASSERT_EQ(okvsDecodeFillElt_AAC(&p, &off, &n, out), okvOk);
            EXPECT_EQ(n, f.count);
            EXPECT_EQ(bitPos(b, p, off), bw.bits());
            if (f.count) {
                EXPECT_EQ(out[f.count - 1], Okv8u((f.count - 1) * 7 + 1));
            }
        }
    }
    struct Dse { int align, first, second, count; };
    for (Dse d : {Dse{0, 0, -1, 0}, Dse{1, 254, -1, 254}, Dse{0, 255, 0, 255}, Dse{1, 255, 255, 510}}) {
        for (int lead = 0; lead < 8; ++lead) {
            BitWriter bw;
            bw.put(0, lead), bw.put(9, 4), bw.put(d.align, 1), bw.put(d.first, 8);
            if (d.second >= 0) bw.put(d.second, 8);
            if (d.align)
                while (bw.bits() % 8) bw.put(1, 1);
            for (int i = 0; i < d.count; ++i) bw.put(255 - i % 256, 8);
            std::vector<uint8_t> b = bw.bytes(3);
            Okv8u out[510];
            int tag = -1, n = -1, off = lead;
            Okv8u* p = b.data();
            ASSERT_EQ(okvsDecodeDatStrElt_AAC(&p, &off, &tag, &n, out), okvOk);
            EXPECT_EQ(tag, 9);
            EXPECT_EQ(n, d.count);
            EXPECT_EQ(bitPos(b, p, off), bw.bits());
            if (d.count) {
                EXPECT_EQ(out[d.count - 1], Okv8u(255 - (d.count - 1) % 256));
            }
        }
    }
}

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
    EXPECT_EQ((std::vector<int>{l.ltpDataPresent, l.ltpLag, l.ltpCoef}), (std::vector<int>{1, 1234, 22438}));
    for (int b = 0; b <= 40; ++b) EXPECT_EQ(l.ltpLongUsed[b], b == 0 || (b <= 30 && (b - 1) % 3 == 0)) << b;  // cleared up to 40
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

}
