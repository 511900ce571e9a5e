// ADTS, ADIF, program configuration, fill and data stream elements, and the main and extension
// headers of scalable streams: values written with an independent bit writer, parsed back,
// cursors checked to the bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "aac/syntax_stream.h"

namespace {

using aactest::BitWriter;
using aactest::ints;

// A parse from the start of bw's bytes (or `lead` bits in); pos() is the cursor in bits.
struct Parse {
    std::vector<uint8_t> buf;
    Okv8u* p;
    int off;
    explicit Parse(const BitWriter& bw, int lead = 0) : buf(bw.bytes(3)), p(buf.data()), off(lead) {}
    size_t pos() const { return size_t(p - buf.data()) * 8 + size_t(off); }
};

// A random program configuration element written in stream order; returns the expected record
// (unused entries zero, as the caller had them).
AACPrgCfgElt putPce(BitWriter& bw, std::mt19937& rng) {
    AACPrgCfgElt e{};
    const auto f = [&](int& field, int bits) { bw.put(field = int(rng() & ((1u << bits) - 1)), bits); return field; };
    f(e.eltInsTag, 4), f(e.profile, 2), f(e.samplingRateIndex, 4), f(e.numFrontElt, 4), f(e.numSideElt, 4), f(e.numBackElt, 4);
    f(e.numLfeElt, 2), f(e.numDataElt, 3), f(e.numValidCcElt, 4);
    if (f(e.monoMixdownPres, 1)) f(e.monoMixdownEltNum, 4);
    if (f(e.stereoMixdownPres, 1)) f(e.stereoMixdownEltNum, 4);
    if (f(e.matrixMixdownIdxPres, 1)) f(e.matrixMixdownIdx, 2), f(e.pseudoSurroundEnable, 1);
    const auto pairs = [&](int n, int* flag, int* tag) {
        for (int i = 0; i < n; ++i) f(flag[i], 1), f(tag[i], 4);
    };
    pairs(e.numFrontElt, e.frontIsCpe, e.frontTagSel), pairs(e.numSideElt, e.sideIsCpe, e.sideTagSel);
    pairs(e.numBackElt, e.backIsCpe, e.backTagSel);
    for (int i = 0; i < e.numLfeElt; ++i) f(e.lfeTagSel[i], 4);
    for (int i = 0; i < e.numDataElt; ++i) f(e.dataTagSel[i], 4);
    pairs(e.numValidCcElt, e.ccIsIndSw, e.ccTagSel);
    while (bw.bits() % 8) bw.put(0, 1);
    for (int i = 0, n = f(e.commentFieldBytes, 8); i < n; ++i) bw.put(e.commentFieldData[i] = Okv8u(rng()), 8);
    return e;
}

}  // namespace

TEST(AacSyntaxHeaders, AdtsAdifAndProgramConfigurations) {
    // syncword, id 1, layer 0, protection 0, profile 1, rate 4, private 1, config 2, orig 0, home 1,
    // copy bit 1, start 0, length 371, fullness 0x7FF, 2 raw blocks, CRC 0xBEEF
    BitWriter bw;
    for (auto [v, n] : {std::pair{0xFFF, 12}, {1, 1}, {0, 2}, {0, 1}, {1, 2}, {4, 4}, {1, 1}, {2, 3}, {0, 1}, {1, 1}, {1, 1}, {0, 1},
                        {371, 13}, {0x7FF, 11}, {1, 2}, {0xBEEF, 16}})
        bw.put(uint32_t(v), n);
    Parse a(bw);
    AACADTSFrameHeader h;
    std::memset(&h, 0x5A, sizeof h);
    ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&a.p, &h), okvOk);
    const int want[16] = {1, 0, 0, 1, 4, 1, 2, 0, 1, 0x5A5A5A5A, 1, 0, 371, 0x7FF, 2, 0xBEEF};
    EXPECT_TRUE(a.pos() == 72 && std::memcmp(&h, want, sizeof want) == 0);
    a.buf[1] |= 1, a.p = a.buf.data(), h.crcCheck = -3;  // protection absent: 7 bytes, crcCheck untouched
    ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&a.p, &h), okvOk);
    EXPECT_TRUE(a.pos() == 56 && h.crcCheck == -3);

    std::mt19937 rng(3);
    for (int it = 0; it < 400; ++it) {  // program configurations at every entry offset
        BitWriter pw;
        pw.put(0, it % 8);
        const AACPrgCfgElt want = putPce(pw, rng);
        Parse s(pw, it % 8);
        AACPrgCfgElt got{};
        ASSERT_EQ(okvsDecodePrgCfgElt_AAC(&s.p, &s.off, &got), okvOk);
        EXPECT_TRUE(s.pos() == pw.bits() && std::memcmp(&got, &want, sizeof got) == 0) << it;
    }
    std::vector<uint8_t> zeros(64, 0);  // mixdown values are cleared even when absent
    AACPrgCfgElt e;
    std::memset(&e, 0x11, sizeof e);
    Okv8u* p = zeros.data();
    int off = 0;
    ASSERT_EQ(okvsDecodePrgCfgElt_AAC(&p, &off, &e), okvOk);
    EXPECT_TRUE((e.monoMixdownEltNum | e.stereoMixdownEltNum | e.matrixMixdownIdx | e.pseudoSurroundEnable) == 0 && e.frontIsCpe[0] == 0x11111111);
    EXPECT_EQ(p, zeros.data() + 6);  // 34 bits, aligned to 40, comment count

    for (int type = 0; type < 2; ++type) {  // ADIF with three programs; capacity 2 fails after the count
        BitWriter aw;
        aw.put(0x41444946, 32), aw.put(1, 1);
        for (int i = 0; i < 9; ++i) aw.put(0xA0 + i, 8);
        aw.put(1, 1), aw.put(0, 1), aw.put(type, 1), aw.put(0x654321, 23), aw.put(2, 4);
        AACPrgCfgElt want[3], got[3] = {};
        for (int i = 0; i < 3; ++i) {
            if (type == 0) aw.put(0xABCDE + i, 20);
            want[i] = putPce(aw, rng);
        }
        Parse s(aw);
        AACADIFHeader h{}, h2{};
        ASSERT_EQ(okvsUnpackADIFHeader_AAC(&s.p, &h, got, 3), okvOk);
        EXPECT_EQ(s.pos(), aw.bits());
        EXPECT_EQ(std::vector<int>({int(h.adifId == 0x41444946u), h.copyIdPres, h.copyId[8], h.originalCopy, h.bitstreamType, h.bitRate,
                                    h.numPrgCfgElt, h.adifBufFullness[2]}),
                  std::vector<int>({1, 1, 0xA8, 1, type, 0x654321, 3, type ? 0 : 0xABCDE + 2}));
        EXPECT_EQ(std::memcmp(got, want, sizeof got), 0);
        s.p = s.buf.data();
        EXPECT_EQ(okvsUnpackADIFHeader_AAC(&s.p, &h2, got, 2), okvErrAacPrgNum);
        EXPECT_TRUE(h2.numPrgCfgElt == 3 && s.pos() == (32 + 1 + 72 + 3 + 23 + 4) / 8 * 8);
    }
}

// Fill (count 4 bits, escape 8 bits) and data stream (tag, align flag, 8 + 8 bits) elements:
// boundary counts at every entry offset.
TEST(AacSyntaxHeaders, FillAndDataStreamCounts) {
    const struct { bool dse; int a, b, c, count; } kCases[] = {  // fill: field, escape; DSE: align, first, second
        {false, 0, -1, 0, 0}, {false, 14, -1, 0, 14}, {false, 15, 0, 0, 14}, {false, 15, 1, 0, 15}, {false, 15, 255, 0, 269},
        {true, 0, 0, -1, 0}, {true, 1, 254, -1, 254}, {true, 0, 255, 0, 255}, {true, 1, 255, 255, 510},
    };
    for (const auto& k : kCases)
        for (int lead = 0; lead < 8; ++lead) {
            BitWriter bw;
            bw.put(0x7F, lead);
            if (k.dse) {
                bw.put(9, 4), bw.put(k.a, 1), bw.put(k.b, 8);
                if (k.c >= 0) bw.put(k.c, 8);
                while (k.a && bw.bits() % 8) bw.put(1, 1);
            } else {
                bw.put(k.a, 4);
                if (k.b >= 0) bw.put(k.b, 8);
            }
            for (int i = 0; i < k.count; ++i) bw.put(255 - i % 256, 8);
            Parse s(bw, lead);
            Okv8u out[510];
            int tag = k.dse ? -1 : 9, n = -1;
            ASSERT_EQ(k.dse ? okvsDecodeDatStrElt_AAC(&s.p, &s.off, &tag, &n, out) : okvsDecodeFillElt_AAC(&s.p, &s.off, &n, out), okvOk);
            EXPECT_TRUE(tag == 9 && n == k.count && s.pos() == bw.bits()) << k.count << " " << lead;
            EXPECT_TRUE(!k.count || out[k.count - 1] == Okv8u(255 - (k.count - 1) % 256)) << k.count;
        }
}

// Window grouping and M/S mask modes of the main header, TNS data (long: three filters,
// compressed coefficients; an order above 12 stops the TNS parse and the header goes on) and LTP
// data (short windows: lags relative to the previous used window).
TEST(AacSyntaxScalable, MainHeader) {
    for (const auto& [bits, lens] : {std::pair{0, std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1}}, {127, {8}}, {0b1011011, {2, 3, 3}},
                                     {0b0000001, {1, 1, 1, 1, 1, 1, 2}}, {0b1000000, {2, 1, 1, 1, 1, 1, 1}}}) {
        BitWriter bw;
        bw.put(2, 2), bw.put(1, 1), bw.put(9, 4), bw.put(bits, 7), bw.put(0, 2);  // no TNS, no LTP
        Parse s(bw);
        AACMainHeader h{};
        ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
        EXPECT_TRUE(s.pos() == bw.bits() && h.winShape == 1 && h.maxSfb == 9);
        EXPECT_EQ(ints(h.lenWinGrp, size_t(h.numWinGrp)), lens);
    }
    for (int mask = 0; mask < 4; ++mask)  // long windows: one group, lenWinGrp[1..7] cleared, records cleared
        for (int flag = 0; flag < 2; ++flag) {
            BitWriter bw;
            bw.put(0, 3), bw.put(5, 6), bw.put(mask, 2);
            if (mask == 1) bw.put(0b10110, 5);
            bw.put(0, 4);
            Parse s(bw);
            Okv8u ms[480];
            std::memset(ms, 7, sizeof ms);
            AACMainHeader h;
            std::memset(&h, 0x33, sizeof h);
            h.pMsUsed = ms;
            EXPECT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 2, flag), flag ? okvErrNotSupportedMode : okvOk);
            EXPECT_TRUE(s.pos() == bw.bits() && h.numWinGrp == 1 && h.lenWinGrp[0] == 1 && h.lenWinGrp[7] == 0);
            EXPECT_TRUE(h.tnsData[1].tnsDataPresent == 0 && h.tnsData[1].nFilt[0] == 0);
            EXPECT_EQ(ints(ms, 6), (mask == 1 ? std::vector<int>{1, 0, 1, 1, 0, 7} : std::vector<int>{mask == 2, mask == 2, mask == 2, mask == 2, mask == 2, 7}));
        }
    BitWriter bw;
    bw.put(0, 3), bw.put(30, 6), bw.put(1, 1), bw.put(3, 2), bw.put(1, 1);                                  // TNS: 3 filters, resolution 4
    bw.put(20, 6), bw.put(2, 5), bw.put(1, 1), bw.put(1, 1), bw.put(0b101, 3), bw.put(0b011, 3);        // -3, 3
    bw.put(7, 6), bw.put(0, 5), bw.put(63, 6), bw.put(1, 5), bw.put(0, 1), bw.put(0, 1), bw.put(0b1000, 4);  // order 0; -8
    bw.put(1, 1), bw.put(1234, 11), bw.put(7, 3);                                                      // LTP lag, gain 7
    for (int b = 0; b < 30; ++b) bw.put(b % 3 == 0, 1);
    Parse s(bw);
    AACMainHeader h;
    std::memset(&h, 0x44, sizeof h);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    const AACTnsData& t = h.tnsData[0];
    const AACLtpData& l = h.ltpData[0];
    EXPECT_TRUE(s.pos() == bw.bits() && t.nFilt[0] == 3 && t.coefRes[0] == 4);
    EXPECT_EQ(ints(t.length, 4), (std::vector<int>{20, 7, 63, 0}));
    EXPECT_EQ(ints(t.order, 4), (std::vector<int>{2, 0, 1, 0}));
    EXPECT_EQ(ints(t.direction, 3), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ints(t.coef, 4), (std::vector<int>{-3, 3, -8, 0}));
    EXPECT_EQ((std::vector<int>{l.ltpDataPresent, l.ltpLag, l.ltpCoef, h.ltpData[1].ltpLag}), (std::vector<int>{1, 1234, 22438, 0x44444444}));
    for (int b = 0; b <= 40; ++b) EXPECT_EQ(l.ltpLongUsed[b], b == 0 || (b <= 30 && (b - 1) % 3 == 0)) << b;  // cleared up to 40

    BitWriter sw;  // windows: 0 unused; 1 first used; 2 used, lag 5; 3 unused; 4 used, no lag; 5 used, lag 31
    sw.put(2, 2), sw.put(0, 1), sw.put(3, 4), sw.put(0, 7), sw.put(0, 1), sw.put(1, 1), sw.put(100, 11), sw.put(0, 3);
    for (auto [v, n] : {std::pair{0, 1}, {1, 1}, {1, 1}, {1, 1}, {5, 5}, {0, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 1}, {31, 5}, {0, 1}, {0, 1}})
        sw.put(uint32_t(v), n);
    s = Parse(sw);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_TRUE(s.pos() == sw.bits() && l.ltpCoef == 9352 && l.ltpShortLagPresent[1] == 0 && l.ltpShortLagPresent[4] == 0);
    EXPECT_EQ(ints(l.ltpShortUsed, 8), (std::vector<int>{0, 1, 1, 0, 1, 1, 0, 0}));
    EXPECT_EQ(std::vector<int>({l.ltpShortLag[1], l.ltpShortLag[2], l.ltpShortLag[4], l.ltpShortLag[5]}), std::vector<int>({100, 111, 111, 96}));

    BitWriter bad;
    bad.put(0, 3), bad.put(10, 6), bad.put(1, 1), bad.put(1, 2), bad.put(0, 1), bad.put(5, 6), bad.put(13, 5);
    bad.put(1, 1), bad.put(333, 11), bad.put(2, 3), bad.put(0, 10);
    s = Parse(bad);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_TRUE(t.order[0] == 13 && l.ltpLag == 333 && s.pos() == bad.bits());

    BitWriter wide;  // 41 bands: flags for the first 40 only
    wide.put(0, 3), wide.put(41, 6), wide.put(0, 1), wide.put(1, 1), wide.put(7, 11), wide.put(0, 3);
    for (int b = 0; b < 40; ++b) wide.put(1, 1);
    s = Parse(wide);
    ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, 1, 0), okvOk);
    EXPECT_TRUE(l.ltpLag == 7 && l.ltpLongUsed[40] == 1 && s.pos() == wide.bits());
}

// Long, stereo layer above a mono layer: maxSfb 12, mask 1 for bands 4..11, TNS of two channels,
// diff control for bands 4..9 whose M/S flag is clear. Short windows: mask bits for 4 groups,
// diff control 8 bits per channel only from band 0.
TEST(AacSyntaxScalable, ExtensionHeader) {
    BitWriter bw;
    bw.put(12, 6), bw.put(1, 2);
    for (int b : {1, 0, 0, 1, 1, 0, 0, 0}) bw.put(b, 1);                                   // bands 4..11
    bw.put(0, 1), bw.put(1, 1), bw.put(1, 2), bw.put(0, 1), bw.put(3, 6), bw.put(0, 5);  // ch 1: one order-0 filter
    for (int b : {1, 0, 1, 0, 1, 1}) bw.put(b, 1);                                         // diff control of bands 5, 6, 9 per channel
    Parse s(bw);
    Okv8u ms[240] = {};
    AACExtHeader h;
    std::memset(&h, 0x22, sizeof h);
    h.pMsUsed = ms;
    ASSERT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, 1, 1, 1, 4, 10, 0), okvOk);
    EXPECT_TRUE(s.pos() == bw.bits() && h.maxSfb == 12 && h.msMaskPresent == 1 && h.tnsData[1].length[0] == 3);
    EXPECT_TRUE(h.tnsData[0].tnsDataPresent == 0 && h.tnsData[0].nFilt[0] == 0x22222222);  // not cleared
    EXPECT_EQ(ints(ms + 3, 10), (std::vector<int>{0, 1, 0, 0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(ints(h.diffControlLr[0], 4), (std::vector<int>{1, 0, 1, 0x22222222}));
    EXPECT_EQ(ints(h.diffControlLr[1], 3), (std::vector<int>{0, 1, 1}));
    for (int lowest : {0, 2}) {
        BitWriter sw;
        sw.put(3, 4), sw.put(1, 2);
        for (int g = 0; g < 4; ++g)
            for (int b = lowest; b < 3; ++b) sw.put((g + b) & 1, 1);
        if (lowest == 0) sw.put(0xA5, 8), sw.put(0x0F, 8);
        s = Parse(sw);
        std::memset(ms, 9, sizeof ms);
        ASSERT_EQ(okvsDecodeExtensionHeader_AAC(&s.p, &s.off, &h, 0, 1, 1, lowest, 51, 2), okvOk);
        EXPECT_TRUE(s.pos() == sw.bits() && ms[3 * 60 + 2] == 1 && ms[3 * 60 + 3] == 9);
        EXPECT_TRUE(lowest || ints(h.diffControlLr[1], 8) == std::vector<int>({0, 0, 0, 0, 1, 1, 1, 1}));
    }
}
