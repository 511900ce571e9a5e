// ADTS, ADIF, program configuration, fill and data stream elements: values written with an
// independent bit writer, parsed back, cursors checked to the bit.
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
    EXPECT_EQ(okvsUnpackADTSFrameHeader_AAC(nullptr, &h), okvErrNullPtr);
    p = nullptr;
    EXPECT_EQ(okvsUnpackADTSFrameHeader_AAC(&p, &h), okvErrNullPtr);
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
    off = 8;
    EXPECT_EQ(okvsDecodePrgCfgElt_AAC(&p, &off, &e), okvErrAacBitOffset);
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
        for (int cap : {0, 17}) {
            p = b.data();
            EXPECT_EQ(okvsUnpackADIFHeader_AAC(&p, &h2, got, cap), okvErrAacPrgNum);
            EXPECT_EQ(p, b.data());
        }
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
    Okv8u* p = nullptr;
    int off = 0, n, tag;
    Okv8u out[8];
    EXPECT_EQ(okvsDecodeFillElt_AAC(&p, &off, &n, out), okvErrNullPtr);
    EXPECT_EQ(okvsDecodeDatStrElt_AAC(&p, &off, &tag, &n, out), okvErrNullPtr);
    p = out, off = 8;
    EXPECT_EQ(okvsDecodeFillElt_AAC(&p, &off, &n, out), okvErrAacBitOffset);
    EXPECT_EQ(okvsDecodeDatStrElt_AAC(&p, &off, &tag, nullptr, out), okvErrNullPtr);
}
