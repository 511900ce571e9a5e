// Noiseless decoding: random channel streams written with the codebooks and band tables of the
// shared text decode to exactly the values that went in, the cursor right after the last bit;
// section, scalefactor, escape and pulse limits and where the cursor stops on failure.
#include <gtest/gtest.h>

#include <random>

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

enum class Mode { Lc, Mp4, Scalable };

struct Expected {
    int winSeq = 0, maxSfb = 0, numGrp = 1, lenGrp[8] = {1};
    std::vector<int> sectCb, sectEnd, numSect, bandCb, sf, spec = std::vector<int>(1024, 0);
    std::vector<int> nFilt, coefRes, length, order, direction, coef;
    int pulse = 0, tnsPresent = 0;
};

class Encoder {
public:
    explicit Encoder(uint32_t seed) : rng_(seed) {
        for (int b = 0; b <= 11; ++b) books_[b] = aactest::loadBook(b);
        swbLong_ = aactest::bandOffsets(false);
        swbShort_ = aactest::bandOffsets(true);
    }
    bool ok() const { return books_[11].code.size() == 289 && swbLong_.size() == 12 && swbShort_.size() == 12; }
    int rnd(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    // One channel stream; icsInStream: the ICS information is written (else taken from e as given).
    void channel(BitWriter& bw, int sri, Mode mode, bool icsInStream, Expected& e) {
        const int gg = rnd(90, 160);
        bw.put(gg, 8);
        if (icsInStream) {
            e.winSeq = rnd(0, 3);
            bw.put(0, 1), bw.put(e.winSeq, 2), bw.put(rnd(0, 1), 1);
            if (e.winSeq == 2) {
                e.maxSfb = rnd(0, int(swbShort_[sri].size()) - 1);
                const int grouping = rnd(0, 127);
                bw.put(e.maxSfb, 4), bw.put(grouping, 7);
                e.numGrp = 0;
                for (int w = 0; w < 8; ++w) {  // window w joins the open group when its bit is set
                    if (w > 0 && (grouping & (64 >> (w - 1)))) ++e.lenGrp[e.numGrp - 1];
                    else e.lenGrp[e.numGrp++] = 1;
                }
            } else {
                e.maxSfb = rnd(0, int(swbLong_[sri].size()) - 1);
                bw.put(e.maxSfb, 6), bw.put(0, 1);
            }
        }
        const bool isShort = e.winSeq == 2;
        const std::vector<int>& swb = isShort ? swbShort_[sri] : swbLong_[sri];
        sections(bw, mode, isShort, e);
        scalefactors(bw, gg, e);
        if (mode != Mode::Scalable) {
            e.pulse = !isShort && e.maxSfb > 0 && rnd(0, 3) == 0;
            bw.put(e.pulse, 1);
            int pulsePos[4], pulseAmp[4], np = 0;
            if (e.pulse) {
                np = rnd(1, 4);
                const int start = rnd(0, int(swb.size()) - 2);
                bw.put(np - 1, 2), bw.put(start, 6);
                int p = swb[start];
                for (int i = 0; i < np; ++i) {
                    const int off = std::min(rnd(0, 31), 1023 - p);
                    p += off;
                    pulsePos[i] = p, pulseAmp[i] = rnd(0, 15);
                    bw.put(off, 5), bw.put(pulseAmp[i], 4);
                }
            }
            tnsData(bw, isShort, e);
            bw.put(0, 1);  // no gain control
            spectrum(bw, swb, isShort, e);
            for (int i = 0; i < np; ++i) {
                int& c = e.spec[pulsePos[i]];
                c = c > 0 ? c + pulseAmp[i] : c - pulseAmp[i];
            }
        } else {
            spectrum(bw, swb, isShort, e);
        }
    }

private:
    void sections(BitWriter& bw, Mode mode, bool isShort, Expected& e) {
        const int lenBits = isShort ? 3 : 5, esc = (1 << lenBits) - 1;
        for (int g = 0; g < e.numGrp; ++g) {
            int k = 0, n = 0;
            while (k < e.maxSfb) {
                int len = rnd(0, 4) ? rnd(1, std::min(4, e.maxSfb - k)) : rnd(1, e.maxSfb - k);
                int cb = rnd(0, 15);
                while (cb == 12 || (cb == 13 && mode == Mode::Lc)) cb = rnd(0, 15);
                bw.put(cb, 4);
                for (int rest = len;; rest -= esc) {
                    bw.put(std::min(rest, esc), lenBits);
                    if (rest < esc) break;
                }
                for (int b = 0; b < len; ++b) e.bandCb.push_back(cb);
                e.sectCb.push_back(cb), e.sectEnd.push_back(k + len);
                k += len, ++n;
            }
            e.numSect.push_back(n);
        }
    }
    void scalefactors(BitWriter& bw, int gg, Expected& e) {
        int sf = gg, ip = 0, ne = 0;
        bool first = true;
        for (int cb : e.bandCb) {
            if (cb == 0) {
                e.sf.push_back(0);
                continue;
            }
            if (cb == 13 && first) {
                const int v = rnd(std::max(0, 346 - gg), std::min(511, 601 - gg));  // energy 0..255
                bw.put(v, 9);
                ne = gg - 90 + v - 256;
                e.sf.push_back(ne);
                first = false;
                continue;
            }
            int& run = cb == 13 ? ne : cb >= 14 ? ip : sf;
            int d = rnd(-60, 60);
            if (cb != 14 && cb != 15) d = std::clamp(run + d, 0, 255) - run;
            run += d;
            bw.putCode(books_[0].code[d + 60]);
            e.sf.push_back(run);
        }
    }
    void tnsData(BitWriter& bw, bool isShort, Expected& e) {
        e.tnsPresent = rnd(0, 1);
        bw.put(e.tnsPresent, 1);
        if (!e.tnsPresent) return;
        for (int w = 0; w < (isShort ? 8 : 1); ++w) {
            const int nf = rnd(0, isShort ? 1 : 3);
            bw.put(nf, isShort ? 1 : 2);
            e.nFilt.push_back(nf);
            if (!nf) continue;
            const int res = rnd(3, 4);
            bw.put(res - 3, 1);
            e.coefRes.push_back(res);
            for (int f = 0; f < nf; ++f) {
                const int len = rnd(0, isShort ? 15 : 63), ord = rnd(0, isShort ? 7 : 12);
                bw.put(len, isShort ? 4 : 6), bw.put(ord, isShort ? 3 : 5);
                e.length.push_back(len), e.order.push_back(ord);
                if (!ord) continue;
                const int dir = rnd(0, 1), compress = rnd(0, 1), bits = res - compress;
                bw.put(dir, 1), bw.put(compress, 1);
                e.direction.push_back(dir);
                for (int i = 0; i < ord; ++i) {
                    const int c = rnd(-(1 << (bits - 1)), (1 << (bits - 1)) - 1);
                    bw.put(uint32_t(c) & ((1u << bits) - 1), bits);
                    e.coef.push_back(c);
                }
            }
        }
    }
    int value(int book) {
        static const int lav[12] = {0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16};
        if (book == 11 && rnd(0, 7) == 0) return rnd(16, 8191) * (rnd(0, 1) ? 1 : -1);
        const int m = rnd(0, 3) ? rnd(0, 1) : rnd(0, lav[book] - (book == 11));
        return book <= 2 || book == 5 || book == 6 || rnd(0, 1) ? m : -m;
    }
    void spectrum(BitWriter& bw, const std::vector<int>& swb, bool isShort, Expected& e) {
        const int winLen = isShort ? 128 : 1024;
        int s = 0, base = 0;
        for (int g = 0; g < e.numGrp; ++g) {
            const int L = e.lenGrp[g];
            int k = 0;
            for (int i = 0; i < e.numSect[g]; ++i, ++s) {
                const int cb = e.sectCb[s], end = e.sectEnd[s];
                const int from = base + swb[k] * L, to = base + swb[end] * L;
                if (cb >= 1 && cb <= 11) {
                    const int dim = cb <= 4 ? 4 : 2;
                    const bool uns = cb != 1 && cb != 2 && cb != 5 && cb != 6;
                    for (int p = from; p < to; p += dim) {
                        std::vector<int> t(dim), key(dim);
                        for (int j = 0; j < dim; ++j) {
                            t[j] = value(cb);
                            key[j] = uns ? std::min(std::abs(t[j]), 16) : t[j];
                        }
                        bw.putCode(books_[cb].code[books_[cb].indexOf.at(key)]);
                        if (uns)
                            for (int j = 0; j < dim; ++j)
                                if (t[j]) bw.put(t[j] < 0, 1);
                        for (int j = 0; j < dim; ++j) {
                            const int m = std::abs(t[j]);
                            if (cb == 11 && m >= 16) {
                                int n = 4;
                                while ((m >> (n + 1)) != 0) ++n;
                                for (int q = 4; q < n; ++q) bw.put(1, 1);
                                bw.put(0, 1), bw.put(m - (1 << n), n);
                            }
                            e.spec[p + j] = t[j];
                        }
                    }
                }
                k = end;
            }
            base += winLen * L;
        }
    }

    std::mt19937 rng_;
    aactest::Codebook books_[12];
    std::vector<std::vector<int>> swbLong_, swbShort_;
};

template <class T> std::vector<int> ints(const T* p, size_t n) { return std::vector<int>(p, p + n); }

void compare(const Expected& e, const AACChanInfo& ci, const Okv16s* sf, const Okv8u* cb, const Okv32s* spec,
             const Okv8s* tns, bool sideData) {
    const size_t nb = e.bandCb.size(), ns = e.sectCb.size();
    EXPECT_EQ(ints(cb, nb), e.bandCb);
    EXPECT_EQ(ints(sf, nb), e.sf);
    EXPECT_EQ(ints(ci.sectCb, ns), e.sectCb);
    EXPECT_EQ(ints(ci.sectEnd, ns), e.sectEnd);
    EXPECT_EQ(ints(ci.numSect, e.numSect.size()), e.numSect);
    EXPECT_EQ(ints(spec, 1024), e.spec);
    EXPECT_EQ(ci.winLen, e.winSeq == 2 ? 128 : 1024);
    EXPECT_EQ(ci.numWindows, e.winSeq == 2 ? 8 : 1);
    if (!sideData) return;
    EXPECT_EQ(ci.pulseDataPresent, e.pulse);
    EXPECT_EQ(ci.tnsDataPresent, e.tnsPresent);
    EXPECT_EQ(ci.gainControlDataPresent, 0);
    if (!e.tnsPresent) {
        EXPECT_EQ(ci.tnsNFilt[0], 0);
        return;
    }
    EXPECT_EQ(ints(ci.tnsNFilt, e.nFilt.size()), e.nFilt);
    std::vector<int> res;
    for (size_t w = 0; w < e.nFilt.size(); ++w)
        if (e.nFilt[w]) res.push_back(ci.tnsCoefRes[w]);
    EXPECT_EQ(res, e.coefRes);
    EXPECT_EQ(ints(ci.tnsLength, e.length.size()), e.length);
    EXPECT_EQ(ints(ci.tnsOrder, e.order.size()), e.order);
    EXPECT_EQ(ints(ci.tnsDirection, e.direction.size()), e.direction);
    EXPECT_EQ(ints(tns, e.coef.size()), e.coef);
}

}  // namespace

TEST(AacNoiseless, RandomChannelsRoundTrip) {
    Encoder enc(7);
    if (!enc.ok()) GTEST_SKIP() << "shared AAC tables not found at " << OKV_SHARED_DIR;
    for (int it = 0; it < 1500; ++it) {
        const Mode mode = Mode(it % 3);
        const int sri = enc.rnd(0, 11);
        // Common window: the ICS record comes from the caller (scalable: from the header).
        const bool common = mode == Mode::Scalable || enc.rnd(0, 3) == 0;
        Expected e;
        if (common) {
            e.winSeq = enc.rnd(0, 3);
            e.maxSfb = enc.rnd(0, e.winSeq == 2 ? 12 : 40);
            if (e.winSeq == 2) {
                e.numGrp = 3, e.lenGrp[0] = 2, e.lenGrp[1] = 5, e.lenGrp[2] = 1;
            }
        }
        BitWriter bw;
        const int lead = enc.rnd(0, 7);
        bw.put(0x55, lead);
        enc.channel(bw, sri, mode, !common, e);
        std::vector<uint8_t> buf = bw.bytes(4);
        aactest::ChannelOutputs o;
        o.ci.samplingRateIndex = sri;
        o.ci.pIcsInfo = &o.ics;
        o.ics.winSequence = e.winSeq, o.ics.maxSfb = e.maxSfb, o.ics.numWinGrp = e.numGrp;
        o.hdr.numWinGrp = e.numGrp;
        for (int g = 0; g < 8; ++g) o.ics.lenWinGrp[g] = o.hdr.lenWinGrp[g] = e.lenGrp[g];
        Okv8u* p = buf.data() + lead / 8;
        int off = lead % 8;
        StatusCode st;
        if (mode == Mode::Lc)
            st = okvsNoiselessDecoder_LC_AAC(&p, &off, common, &o.ci, o.sf, o.spec, o.cb, o.tns);
        else
            st = okvsNoiselessDecode_AAC(&p, &off, &o.hdr, o.sf, o.spec, o.cb, o.tns, &o.ci, e.winSeq, e.maxSfb,
                                         common, mode == Mode::Scalable, 2);
        ASSERT_EQ(st, okvOk) << "iteration " << it;
        EXPECT_EQ(size_t(p - buf.data()) * 8 + size_t(off), bw.bits()) << "iteration " << it;
        EXPECT_EQ(o.ics.maxSfb, e.maxSfb);
        EXPECT_EQ(o.ics.numWinGrp, e.numGrp);
        compare(e, o.ci, o.sf, o.cb, o.spec, o.tns, mode != Mode::Scalable);
        if (HasFailure()) FAIL() << "iteration " << it << " mode " << int(mode) << " sri " << sri;
    }
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
