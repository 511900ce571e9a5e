// Noiseless decoding: argument check order, section/scalefactor/escape/pulse boundaries and
// where the cursor stops on failure.
#include <gtest/gtest.h>

#include "aac/syntax_stream.h"
#include "mp3/mp3_test_util.h"

namespace {

using mp3test::BitWriter;

struct Chan : aactest::ChannelOutputs {
    std::vector<uint8_t> buf;
    Okv8u* p = nullptr;
    int off = 0;

    explicit Chan(const BitWriter& bw, int sri = 4) : buf(bw.bytes(4)) {
        ci.samplingRateIndex = sri;
        ci.pIcsInfo = &ics;
        p = buf.data();
    }
    StatusCode lc(int common = 0) { return okvsNoiselessDecoder_LC_AAC(&p, &off, common, &ci, sf, spec, cb, tns); }
    StatusCode mp4(int winSeq = 0, int maxSfb = 0, int common = 0, int scal = 0, int aot = 2) {
        return okvsNoiselessDecode_AAC(&p, &off, &hdr, sf, spec, cb, tns, &ci, winSeq, maxSfb, common, scal, aot);
    }
    size_t pos() const { return size_t(p - buf.data()) * 8 + size_t(off); }
};

// Global gain and a long-window ICS without prediction.
void longIcs(BitWriter& bw, int gain, int maxSfb) { bw.put(gain, 8), bw.put(0, 4), bw.put(maxSfb, 6), bw.put(0, 1); }

}  // namespace

TEST(AacNoiseless, ArgumentChecksInOrder) {
    BitWriter bw;
    longIcs(bw, 100, 0);
    bw.put(0, 3);
    Chan c(bw);
    c.off = 8, c.ci.samplingRateIndex = 12, c.ci.predSfbMax = 1;
    Okv8u* keep = c.p;
    c.ci.pIcsInfo = nullptr;
    EXPECT_EQ(c.lc(2), okvErrNullPtr);
    c.ci.pIcsInfo = &c.ics;
    EXPECT_EQ(c.lc(2), okvErrAacBitOffset);
    c.off = 0;
    EXPECT_EQ(c.lc(2), okvErrAacComWin);
    EXPECT_EQ(c.lc(0), okvErrAacSmplRate);
    c.ci.samplingRateIndex = 4;
    EXPECT_EQ(c.lc(0), okvErrAacPredSfb);  // before any bit is read
    EXPECT_EQ(c.p, keep);
    c.ci.predSfbMax = 0;
    EXPECT_EQ(c.lc(0), okvOk);
    EXPECT_EQ(c.pos(), bw.bits());
    // Each pointer null on its own.
    for (int i = 0; i < 7; ++i) {
        Chan n(bw);
        Okv8u* none = nullptr;
        EXPECT_EQ(okvsNoiselessDecoder_LC_AAC(i == 0 ? &none : &n.p, i == 1 ? nullptr : &n.off, 0, i == 2 ? nullptr : &n.ci,
                                              i == 3 ? nullptr : n.sf, i == 4 ? nullptr : n.spec,
                                              i == 5 ? nullptr : n.cb, i == 6 ? nullptr : n.tns),
                  okvErrNullPtr) << i;
        EXPECT_EQ(okvsNoiselessDecode_AAC(i == 0 ? &none : &n.p, i == 1 ? nullptr : &n.off, i == 2 ? nullptr : &n.hdr,
                                          i == 3 ? nullptr : n.sf, i == 4 ? nullptr : n.spec, i == 5 ? nullptr : n.cb,
                                          i == 6 ? nullptr : n.tns, &n.ci, 0, 0, 0, 0, 2),
                  okvErrNullPtr) << i;
    }

    // MPEG-4 decoder: pointers (pIcsInfo needed unless scalable), offset, common window, window
    // sequence, scalable, object type, maxSfb, rate.
    Chan m(bw);
    m.ci.pIcsInfo = nullptr;
    EXPECT_EQ(m.mp4(4, 52, 2, 0, 17), okvErrNullPtr);
    m.off = 8;
    EXPECT_EQ(m.mp4(4, 52, 2, 1, 17), okvErrAacBitOffset);
    m.off = 0;
    EXPECT_EQ(m.mp4(4, 52, 2, 2, 17), okvErrNullPtr);
    m.ci.pIcsInfo = &m.ics;
    EXPECT_EQ(m.mp4(4, 52, 2, 2, 17), okvErrAacComWin);
    EXPECT_EQ(m.mp4(4, 52, 0, 2, 17), okvErrAacWinSeq);
    EXPECT_EQ(m.mp4(3, 52, 0, 2, 17), okvErrAacScalable);
    EXPECT_EQ(m.mp4(3, 52, 0, 0, 17), okvErrAacObjType);
    EXPECT_EQ(m.mp4(3, 52, 0, 0, -1), okvErrAacObjType);
    EXPECT_EQ(m.mp4(3, 52, 0, 0, 16), okvErrAacMaxSfb);
    m.ci.samplingRateIndex = 12;
    EXPECT_EQ(m.mp4(3, 51, 0, 0, 16), okvErrAacSmplRate);
    EXPECT_EQ(m.p, m.buf.data());
    m.ci.samplingRateIndex = 4;
    EXPECT_EQ(m.mp4(), okvOk);
    EXPECT_EQ(m.pos(), bw.bits());
}

// Section lengths and escapes (long: 5-bit fields, escape 31).
TEST(AacNoiseless, SectionData) {
    // Per section: its length fields (codebook 0 each).
    struct Case { int maxSfb; std::vector<std::vector<int>> sections; StatusCode st; std::vector<int> ends; };
    const Case cases[] = {
        {31, {{31, 0}}, okvOk, {31}},                // escape then 0: one 31-band section
        {49, {{31, 31}}, okvErrAacSection, {62}},    // running length passes maxSfb: reading stops
        {41, {{31, 9}, {2}}, okvErrAacSection, {40, 42}},  // last section past maxSfb
        {41, {{31, 9}, {1}}, okvOk, {40, 41}},
        {2, {{0}, {0}}, okvErrAacSection, {0, 0}},   // more sections than bands
        {49, {{31, 18}}, okvOk, {49}},
    };
    for (const Case& c : cases) {
        BitWriter bw;
        longIcs(bw, 100, c.maxSfb);
        for (const auto& fields : c.sections) {
            bw.put(0, 4);
            for (int f : fields) bw.put(f, 5);
        }
        const size_t sectionsEnd = bw.bits();
        bw.put(0, 3);  // pulse, TNS, gain control
        Chan ch(bw);
        EXPECT_EQ(ch.lc(), c.st) << c.maxSfb;
        EXPECT_EQ(std::vector<int>(ch.ci.sectEnd, ch.ci.sectEnd + c.ends.size()), c.ends) << c.maxSfb;
        EXPECT_EQ(ch.ci.numSect[0], int(c.ends.size()));
        EXPECT_EQ(ch.pos(), c.st == okvOk ? bw.bits() : sectionsEnd);
    }
    // Band count of the rate: 8 kHz has 40 long bands.
    BitWriter bw;
    longIcs(bw, 100, 41);
    Chan ch(bw, 11);
    EXPECT_EQ(ch.lc(), okvErrAacMaxSfb);
    EXPECT_EQ(ch.pos(), 8u + 11u);
}

TEST(AacNoiseless, ScalefactorRanges) {
    const aactest::Codebook sfc = aactest::loadBook(0);
    if (sfc.code.size() != 121) GTEST_SKIP() << "shared AAC tables not found";
    // Three bands of book 1 with delta +60 from 100: 160, 220, then 280 fails.
    BitWriter bw;
    longIcs(bw, 100, 3);
    bw.put(1, 4), bw.put(3, 5);
    for (int i = 0; i < 3; ++i) bw.putCode(sfc.code[120]);
    Chan c(bw);
    EXPECT_EQ(c.lc(), okvErrAacSfValue);
    EXPECT_EQ(c.sf[0], 160);
    EXPECT_EQ(c.sf[1], 220);
    EXPECT_EQ(c.pos(), bw.bits());

    // Intensity positions run free of the range; codebook 12 and (LC) 13 are refused.
    for (int book : {12, 13, 14}) {
        BitWriter b2;
        longIcs(b2, 0, 2);
        b2.put(book, 4), b2.put(2, 5);
        for (int i = 0; i < 2; ++i) b2.putCode(sfc.code[0]);
        b2.put(0, 3);
        Chan c2(b2);
        EXPECT_EQ(c2.lc(), book == 14 ? okvOk : okvErrAacCodebook);
        if (book == 14) {
            EXPECT_EQ(c2.sf[1], -120);
        }
    }

    // MPEG-4 noise energies: first band 9 bits relative to the global gain, no range check;
    // later bands are deltas checked against 0..255.
    struct Noise { int gain, first; std::vector<int> deltas; StatusCode st; std::vector<int> ne; };
    const Noise cases[] = {
        {100, 256, {}, okvOk, {10}},
        {0, 0, {}, okvOk, {-346}},
        {255, 511, {}, okvOk, {420}},
        {100, 256, {-10}, okvOk, {10, 0}},
        {100, 256, {-11}, okvErrAacSfValue, {10}},
        {0, 0, {60}, okvErrAacSfValue, {-346}},
    };
    for (const Noise& n : cases) {
        BitWriter b3;
        longIcs(b3, n.gain, int(1 + n.deltas.size()));
        b3.put(13, 4), b3.put(int(1 + n.deltas.size()), 5);
        b3.put(n.first, 9);
        for (int d : n.deltas) b3.putCode(sfc.code[d + 60]);
        b3.put(0, 3);
        Chan c3(b3);
        EXPECT_EQ(c3.mp4(), n.st);
        EXPECT_EQ(std::vector<int>(c3.sf, c3.sf + n.ne.size()), n.ne);
    }
}

// Book 11 escapes: eight ones and a 0 give N = 12; nine ones fail after the ninth.
TEST(AacNoiseless, EscapeLengthLimit) {
    const aactest::Codebook b11 = aactest::loadBook(11), sfc = aactest::loadBook(0);
    if (b11.code.size() != 289) GTEST_SKIP() << "shared AAC tables not found";
    // Every alignment of the prefix; a run of 40 ones also fills whole look-ahead words.
    for (int lead = 0; lead < 8; ++lead) {
        for (int ones : {0, 8, 9, 40}) {
            BitWriter bw;
            bw.put(0x55, lead);
            longIcs(bw, 100, 1);
            bw.put(11, 4), bw.put(1, 5);
            bw.putCode(sfc.code[60]);
            bw.put(0, 3);
            bw.putCode(b11.code[b11.indexOf.at({16, 0})]);
            bw.put(1, 1);  // negative
            const size_t failAt = bw.bits() + 9;
            for (int i = 0; i < ones; ++i) bw.put(1, 1);
            if (ones < 9) bw.put(0, 1), bw.put(4095, 4 + ones);
            bw.putCode(b11.code[0]);  // the band's second pair: (0, 0)
            Chan c(bw);
            c.off = lead;
            const StatusCode st = c.lc();
            if (ones >= 9) {
                EXPECT_EQ(st, okvErrAacCoefValue);
                EXPECT_EQ(c.pos(), failAt);
                continue;
            }
            ASSERT_EQ(st, okvOk);
            EXPECT_EQ(c.spec[0], -((1 << (4 + ones)) + (4095 & ((1 << (4 + ones)) - 1))));
            EXPECT_EQ(c.spec[1], 0);
            EXPECT_EQ(c.spec[4], 0);
            EXPECT_EQ(c.pos(), bw.bits());
        }
    }
}

TEST(AacNoiseless, PulseData) {
    const aactest::Codebook b1 = aactest::loadBook(1), sfc = aactest::loadBook(0);
    if (b1.code.size() != 81) GTEST_SKIP() << "shared AAC tables not found";
    // Band 0 (4 lines at 44.1 kHz) coded with book 1 as (1, -1, 0, 0); pulses at lines 0, 1, 2.
    const auto stream = [&](int start, std::vector<int> offsets, int winSeq) {
        BitWriter bw;
        bw.put(100, 8), bw.put(0, 1), bw.put(winSeq, 2), bw.put(0, 1);
        if (winSeq == 2) {
            bw.put(1, 4), bw.put(127, 7);
        } else {
            bw.put(1, 6), bw.put(0, 1);
        }
        bw.put(1, 4), bw.put(1, winSeq == 2 ? 3 : 5);
        bw.putCode(sfc.code[60]);
        bw.put(1, 1);
        if (winSeq != 2) {
            bw.put(int(offsets.size()) - 1, 2), bw.put(start, 6);
            for (int o : offsets) bw.put(o, 5), bw.put(3, 4);
        }
        bw.put(0, 2);
        bw.putCode(b1.code[b1.indexOf.at({1, -1, 0, 0})]);
        return bw;
    };
    BitWriter ok = stream(0, {0, 1, 1}, 0);
    Chan c(ok);
    ASSERT_EQ(c.lc(), okvOk);
    EXPECT_EQ(std::vector<int>(c.spec, c.spec + 4), (std::vector<int>{4, -4, -3, 0}));  // zero goes negative
    EXPECT_EQ(c.ci.pulseDataPresent, 1);

    BitWriter far = stream(48, {31, 31, 31, 31}, 0);  // line 928 + 124 passes the window
    Chan c2(far);
    EXPECT_EQ(c2.lc(), okvErrAacPulse);
    BitWriter late = stream(49, {0}, 0);  // 44.1 kHz has 49 bands
    Chan c3(late);
    EXPECT_EQ(c3.lc(), okvErrAacPulse);
    BitWriter big = stream(52, {0}, 0);
    Chan c4(big);
    EXPECT_EQ(c4.lc(), okvErrAacPulse);
    EXPECT_EQ(c4.pos(), 8u + 11u + 9u + 1u + 1u + 8u);  // stops after the start band
    BitWriter shortWin = stream(0, {}, 2);  // refused right after the present bit
    Chan c5(shortWin);
    EXPECT_EQ(c5.lc(), okvErrAacPulse);
    EXPECT_EQ(c5.pos(), 8u + 15u + 7u + 1u + 1u);
}

// Caller-supplied layouts (common window, scalable header) are checked before use.
TEST(AacNoiseless, CallerLayoutChecks) {
    BitWriter bw;
    bw.put(100, 8), bw.put(0, 32);
    struct Case { int winSeq, maxSfb, groups; std::vector<int> lens; StatusCode st; };
    const Case cases[] = {
        {4, 0, 1, {1}, okvErrAacWinSeq},          {0, 52, 1, {1}, okvErrAacMaxSfb},
        {0, -1, 1, {1}, okvErrAacMaxSfb},         {0, 0, 2, {1, 1}, okvErrAacWinGrp},
        {2, 3, 2, {4, 3}, okvErrAacWinGrp},       {2, 3, 9, {1, 1, 1, 1, 1, 1, 1, 1, 0}, okvErrAacWinGrp},
        {2, 3, 2, {9, -1}, okvErrAacWinGrp},      {2, 13, 2, {4, 4}, okvErrAacMaxSfb},  // 12 short bands at 96 kHz
        {2, 0, 3, {4, 2, 2}, okvOk},
    };
    for (const Case& k : cases) {
        Chan c(bw, 0);
        c.ics.winSequence = k.winSeq, c.ics.maxSfb = k.maxSfb, c.ics.numWinGrp = k.groups;
        for (size_t g = 0; g < k.lens.size() && g < 8; ++g) c.ics.lenWinGrp[g] = k.lens[g];
        EXPECT_EQ(c.lc(1), k.st) << k.winSeq << " " << k.maxSfb;
        Chan m(bw, 0);
        m.hdr.numWinGrp = k.groups;
        for (size_t g = 0; g < k.lens.size() && g < 8; ++g) m.hdr.lenWinGrp[g] = k.lens[g];
        if (k.winSeq <= 3 && k.maxSfb >= 0 && k.maxSfb <= 51) {
            EXPECT_EQ(m.mp4(k.winSeq, k.maxSfb, 1, 1), k.st);
        }
    }
}
