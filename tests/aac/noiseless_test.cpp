// Noiseless decoding: random channel streams written with the codebooks and band tables of the
// shared text decode to exactly the values that went in, the cursor right after the last bit;
// each refusal (sections, scalefactors, books, escapes, pulses) where its field is read.
#include <gtest/gtest.h>

#include <functional>

#include "aac/syntax_stream.h"

namespace {

using aactest::BitWriter;
using aactest::ints;

struct Chan : aactest::ChannelOutputs {
    std::vector<uint8_t> buf;
    Okv8u* p;
    int off = 0;
    explicit Chan(const BitWriter& bw, int sri = 4, int lead = 0) : aactest::ChannelOutputs(), buf(bw.bytes(4)), p(buf.data() + lead / 8), off(lead % 8) {
        ci.samplingRateIndex = sri, ci.pIcsInfo = &ics;
    }
    StatusCode lc(int common = 0) { return okvsNoiselessDecoder_LC_AAC(&p, &off, common, &ci, sf, spec, cb, tns); }
    StatusCode mp4(int winSeq = 0, int maxSfb = 0, int common = 0, int scal = 0) {
        return okvsNoiselessDecode_AAC(&p, &off, &hdr, sf, spec, cb, tns, &ci, winSeq, maxSfb, common, scal, 2);
    }
    size_t pos() const { return size_t(p - buf.data()) * 8 + size_t(off); }
};

enum class Mode { Lc, Mp4, Scalable };

struct Expected {
    int winSeq = 0, maxSfb = 0, numGrp = 1, lenGrp[8] = {1}, pulse = 0;
    std::vector<int> sectCb, sectEnd, numSect, bandCb, sf, spec = std::vector<int>(1024, 0);
    AACTnsData tns{};
};

// Writes random channel streams field by field as the syntax lays them out.
class Encoder {
public:
    explicit Encoder(uint32_t seed) : rnd_(seed), swb_{aactest::bandOffsets(false), aactest::bandOffsets(true)} {
        for (int b = 0; b <= 11; ++b) books_[b] = aactest::loadBook(b);
    }
    bool ok() const { return books_[11].code.size() == 289 && swb_[0].size() == 12 && swb_[1].size() == 12; }
    int rnd(int lo, int hi) { return rnd_(lo, hi); }
    int bands(int sri, bool isShort) const { return int(swb_[isShort][sri].size()) - 1; }

    // icsInStream: the ICS information is written (else e holds the caller's).
    void channel(BitWriter& bw, int sri, Mode mode, bool icsInStream, Expected& e) {
        const int gg = rnd(90, 160);
        bw.put(gg, 8);
        if (icsInStream) {
            e.winSeq = rnd(0, 3);
            bw.put(0, 1), bw.put(e.winSeq, 2), bw.put(rnd(0, 1), 1);
            e.maxSfb = rnd(0, int(swb_[e.winSeq == 2][sri].size()) - 1);
            if (e.winSeq == 2) {
                const int grouping = rnd(0, 127);
                bw.put(e.maxSfb, 4), bw.put(grouping, 7);
                e.numGrp = 0;
                for (int w = 0; w < 8; ++w)  // window w joins the open group when its bit is set
                    w > 0 && (grouping & (64 >> (w - 1))) ? ++e.lenGrp[e.numGrp - 1] : e.lenGrp[e.numGrp++] = 1;
            } else {  // MPEG-4: now and then predictor data of long-term prediction, without LTP data
                const int ltpFlag = mode == Mode::Mp4 && rnd(0, 1);
                bw.put(e.maxSfb, 6), bw.put(ltpFlag, 1), bw.put(0, ltpFlag);
            }
        }
        const bool isShort = e.winSeq == 2;
        const std::vector<int>& swb = swb_[isShort][sri];
        // Sections: codebook, then the length in escaped fields.
        const int lenBits = isShort ? 3 : 5, esc = (1 << lenBits) - 1;
        for (int g = 0; g < e.numGrp; ++g) {
            int k = 0, n = 0;
            for (; k < e.maxSfb; ++n) {
                const int len = rnd(0, 4) ? rnd(1, std::min(4, e.maxSfb - k)) : rnd(1, e.maxSfb - k);
                int cb = rnd(0, 15);
                while (cb == 12 || (cb == 13 && mode == Mode::Lc)) cb = rnd(0, 15);
                bw.put(cb, 4);
                for (int rest = len; bw.put(std::min(rest, esc), lenBits), rest >= esc; rest -= esc) {}
                e.bandCb.insert(e.bandCb.end(), len, cb);
                e.sectCb.push_back(cb), e.sectEnd.push_back(k += len);
            }
            e.numSect.push_back(n);
        }
        // Scalefactors, noise energies (the first one 9 bits) and intensity positions.
        int sfRun = gg, ipRun = 0, neRun = 0;
        bool firstNoise = true;
        for (int cb : e.bandCb) {
            if (cb == 13 && firstNoise) {
                const int v = rnd(std::max(0, 346 - gg), std::min(511, 601 - gg));  // energy 0..255
                bw.put(v, 9);
                e.sf.push_back(neRun = gg - 90 + v - 256);
                firstNoise = false;
            } else if (cb == 0) {
                e.sf.push_back(0);
            } else {
                int& run = cb == 13 ? neRun : cb >= 14 ? ipRun : sfRun;
                int d = rnd(-60, 60);
                if (cb < 14) d = std::clamp(run + d, 0, 255) - run;
                bw.putCode(books_[0].code[d + 60]);
                e.sf.push_back(run += d);
            }
        }
        int pulsePos[4], pulseAmp[4], np = 0;
        if (mode != Mode::Scalable) {
            e.pulse = !isShort && e.maxSfb > 0 && rnd(0, 3) == 0;
            bw.put(e.pulse, 1);
            if (e.pulse) {
                np = rnd(1, 4);
                const int start = rnd(0, int(swb.size()) - 2);
                bw.put(np - 1, 2), bw.put(start, 6);
                for (int i = 0, p = swb[start]; i < np; ++i) {
                    const int off = std::min(rnd(0, 31), 1023 - p);
                    pulsePos[i] = p += off, pulseAmp[i] = rnd(0, 15);
                    bw.put(off, 5), bw.put(pulseAmp[i], 4);
                }
            }
            if (bw.put(e.tns.tnsDataPresent = rnd(0, 1), 1), e.tns.tnsDataPresent) aactest::putTns(bw, rnd_, isShort, 12, 12, e.tns);
            bw.put(0, 1);  // no gain control
        }
        spectrum(bw, swb, isShort, e);
        for (int i = 0; i < np; ++i) e.spec[pulsePos[i]] += e.spec[pulsePos[i]] > 0 ? pulseAmp[i] : -pulseAmp[i];
    }

private:
    int value(int book) {
        static const int lav[12] = {0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16};
        if (book == 11 && rnd(0, 7) == 0) return rnd(16, 8191) * (rnd(0, 1) ? 1 : -1);
        const int m = rnd(0, 3) ? rnd(0, 1) : rnd(0, lav[book] - (book == 11));
        return book <= 2 || book == 5 || book == 6 || rnd(0, 1) ? m : -m;
    }
    // Codewords of 4- or 2-tuples; unsigned books add sign bits and book 11 escapes.
    void spectrum(BitWriter& bw, const std::vector<int>& swb, bool isShort, Expected& e) {
        for (int g = 0, s = 0, base = 0; g < e.numGrp; base += (isShort ? 128 : 1024) * e.lenGrp[g++])
            for (int i = 0, k = 0; i < e.numSect[g]; k = e.sectEnd[s++], ++i) {
                const int cb = e.sectCb[s], dim = cb <= 4 ? 4 : 2;
                const bool uns = cb != 1 && cb != 2 && cb != 5 && cb != 6;
                for (int p = base + swb[k] * e.lenGrp[g]; cb >= 1 && cb <= 11 && p < base + swb[e.sectEnd[s]] * e.lenGrp[g]; p += dim) {
                    std::vector<int> key(dim);
                    for (int j = 0; j < dim; ++j) e.spec[p + j] = value(cb), key[j] = uns ? std::min(std::abs(e.spec[p + j]), 16) : e.spec[p + j];
                    bw.putCode(books_[cb].code[books_[cb].indexOf.at(key)]);
                    for (int j = 0; j < dim && uns; ++j)
                        if (e.spec[p + j]) bw.put(e.spec[p + j] < 0, 1);
                    for (int j = 0, m; j < dim; ++j)
                        if (m = std::abs(e.spec[p + j]); cb == 11 && m >= 16) {
                            const int n = 31 - __builtin_clz(unsigned(m));
                            bw.put((1u << (n - 3)) - 2, n - 3), bw.put(m - (1 << n), n);  // n - 4 ones, a zero
                        }
                }
            }
    }

    aactest::Rng rnd_;
    aactest::Codebook books_[12];
    std::vector<std::vector<int>> swb_[2];
};

}  // namespace

TEST(AacNoiseless, RandomChannelsRoundTrip) {
    Encoder enc(7);
    if (!enc.ok()) GTEST_SKIP() << "shared AAC tables not found at " << OKV_SHARED_DIR;
    for (int it = 0; it < 1500; ++it) {
        const Mode mode = Mode(it % 3);
        const int sri = enc.rnd(0, 11), lead = enc.rnd(0, 7);
        // Common window: the ICS record comes from the caller (scalable: from the header).
        const bool common = mode == Mode::Scalable || enc.rnd(0, 3) == 0;
        Expected e;
        if (common) {
            e.winSeq = enc.rnd(0, 3);
            const int bands = enc.bands(sri, e.winSeq == 2);
            e.maxSfb = enc.rnd(0, 3) ? enc.rnd(0, bands) : bands;
            if (e.winSeq == 2) e.numGrp = 3, e.lenGrp[0] = 2, e.lenGrp[1] = 5, e.lenGrp[2] = 1;
        }
        BitWriter bw;
        bw.put(0x55, lead);
        enc.channel(bw, sri, mode, !common, e);
        Chan c(bw, sri, lead);
        c.ics.winSequence = e.winSeq, c.ics.maxSfb = e.maxSfb, c.ics.numWinGrp = c.hdr.numWinGrp = e.numGrp;
        for (int g = 0; g < 8; ++g) c.ics.lenWinGrp[g] = c.hdr.lenWinGrp[g] = e.lenGrp[g];
        c.ci.tnsNFilt[0] = 9;  // cleared when TNS is absent
        ASSERT_EQ(mode == Mode::Lc ? c.lc(common) : c.mp4(e.winSeq, e.maxSfb, common, mode == Mode::Scalable), okvOk) << it;
        const bool isShort = e.winSeq == 2;
        const AACChanInfo& ci = c.ci;
        const AACTnsData& t = e.tns;
        const std::vector<int> got[] = {
            {int(c.pos()), c.ics.maxSfb, c.ics.numWinGrp, ci.winLen, ci.numWindows}, ints(c.cb, e.bandCb.size()),
            ints(c.sf, e.bandCb.size()), ints(ci.sectCb, e.sectCb.size()), ints(ci.sectEnd, e.sectCb.size()),
            ints(ci.numSect, e.numSect.size()), ints(c.spec, 1024), {ci.pulseDataPresent, ci.tnsDataPresent, ci.gainControlDataPresent},
            ints(ci.tnsNFilt, 8), ints(ci.tnsCoefRes, 8), ints(ci.tnsLength, 8), ints(ci.tnsOrder, 8), ints(ci.tnsDirection, 8),
            ints(c.tns, 60)};
        const std::vector<int> want[] = {
            {int(bw.bits()), e.maxSfb, e.numGrp, isShort ? 128 : 1024, isShort ? 8 : 1}, e.bandCb, e.sf, e.sectCb, e.sectEnd,
            e.numSect, e.spec, {e.pulse, t.tnsDataPresent, 0}, ints(t.nFilt, 8), ints(t.coefRes, 8), ints(t.length, 8),
            ints(t.order, 8), ints(t.direction, 8), ints(t.coef, 60)};
        for (size_t i = 0; i < (mode == Mode::Scalable ? 7 : std::size(got)); ++i)  // scalable layers carry no side data
            ASSERT_EQ(got[i], want[i]) << "field " << i << " iteration " << it;
    }
}

// Each row writes one long channel (44.1 kHz unless noted) that breaks a limit, or just meets
// it: the status, where the cursor stops (at `stop`, the writer's mark, else after every bit)
// and the values decoded up to there.
TEST(AacNoiseless, LimitsAndWhereTheyStop) {
    const aactest::Codebook sfc = aactest::loadBook(0), b1 = aactest::loadBook(1), b11 = aactest::loadBook(11);
    if (b11.code.size() != 289) GTEST_SKIP() << "shared AAC tables not found";
    const auto ics = [](BitWriter& bw, int gain, int maxSfb) { bw.put(gain, 8), bw.put(0, 4), bw.put(maxSfb, 6), bw.put(0, 1); };
    const auto sections = [&](int maxSfb, std::vector<std::vector<int>> fields) {
        return [=](BitWriter& bw, size_t& stop) {
            ics(bw, 100, maxSfb);
            for (const auto& s : fields) {
                bw.put(0, 4);
                for (int f : s) bw.put(f, 5);
            }
            stop = bw.bits(), bw.put(0, 3);  // pulse, TNS, gain control
        };
    };
    const auto book = [&](int cb, int gain) {  // two bands of one book with scalefactor deltas -60
        return [=](BitWriter& bw, size_t& stop) {
            ics(bw, gain, 2), bw.put(cb, 4), bw.put(2, 5), bw.putCode(sfc.code[0]), bw.putCode(sfc.code[0]), bw.put(0, 3);
            stop = 0;
        };
    };
    const auto noise = [&](int gain, int first, std::vector<int> deltas) {
        return [=](BitWriter& bw, size_t& stop) {
            ics(bw, gain, int(1 + deltas.size())), bw.put(13, 4), bw.put(int(1 + deltas.size()), 5), bw.put(first, 9);
            for (int d : deltas) bw.putCode(sfc.code[d + 60]);
            bw.put(0, 3), stop = 0;
        };
    };
    // Band 0 (4 lines) coded with book 1 as (1, -1, 0, 0), pulses of amplitude 3.
    const auto pulses = [&](int winSeq, int start, std::vector<int> offsets, size_t stopAt) {
        return [=](BitWriter& bw, size_t& stop) {
            bw.put(100, 8), bw.put(0, 1), bw.put(winSeq, 2), bw.put(0, 1);
            winSeq == 2 ? (bw.put(1, 4), bw.put(127, 7)) : (bw.put(1, 6), bw.put(0, 1));
            bw.put(1, 4), bw.put(1, winSeq == 2 ? 3 : 5), bw.putCode(sfc.code[60]), bw.put(1, 1);
            if (winSeq != 2) bw.put(int(offsets.size()) - 1, 2), bw.put(start, 6);
            for (int o : offsets) bw.put(o, 5), bw.put(3, 4);
            bw.put(0, 2), bw.putCode(b1.code[b1.indexOf.at({1, -1, 0, 0})]);
            stop = stopAt;
        };
    };
    // Book 11 escape after `lead` bits: eight ones and a zero give N = 12; nine fail after the ninth.
    const auto escape = [&](int lead, int ones) {
        return [=](BitWriter& bw, size_t& stop) {
            bw.put(0x55, lead), ics(bw, 100, 1), bw.put(11, 4), bw.put(1, 5), bw.putCode(sfc.code[60]), bw.put(0, 3);
            bw.putCode(b11.code[b11.indexOf.at({16, 0})]), bw.put(1, 1);  // negative
            stop = ones < 9 ? 0 : bw.bits() + 9;
            for (int i = 0; i < ones; ++i) bw.put(1, 1);
            if (ones < 9) bw.put(0, 1), bw.put(4095, 4 + ones);
            bw.putCode(b11.code[0]);  // the band's second pair: (0, 0)
        };
    };
    using Sf = std::vector<int> (*)(const Chan&);
    const Sf ends = [](const Chan& c) { return ints(c.ci.sectEnd, size_t(c.ci.numSect[0])); };
    const Sf sfs = [](const Chan& c) { return ints(c.sf, 2); };
    const Sf noiseSf = [](const Chan& c) { return ints(c.sf, size_t(c.ics.maxSfb)); };
    const Sf sf1 = [](const Chan& c) { return ints(c.sf, 1); };
    const Sf spec = [](const Chan& c) { return ints(c.spec, 4); };
    const struct Case { std::function<void(BitWriter&, size_t&)> write; StatusCode st; Sf got; std::vector<int> want; int sri = 4, lead = 0, mp4 = 0; } cases[] = {
        {sections(49, {{31, 31}}), okvErrAacSection, ends, {62}},          // running length passes maxSfb: reading stops
        {sections(41, {{31, 9}, {2}}), okvErrAacSection, ends, {40, 42}},  // last section past maxSfb
        {sections(2, {{0}, {0}}), okvErrAacSection, ends, {0, 0}},         // more sections than bands
        {sections(49, {{31, 18}}), okvOk, ends, {49}},
        {[&](BitWriter& bw, size_t& stop) { ics(bw, 100, 41), stop = bw.bits(); }, okvErrAacMaxSfb, ends, {}, 11},  // 40 bands at 8 kHz
        {[&](BitWriter& bw, size_t& stop) {  // +60 each: 160, 220, 280 fails
             ics(bw, 100, 3), bw.put(1, 4), bw.put(3, 5);
             for (int i = 0; i < 3; ++i) bw.putCode(sfc.code[120]);
             stop = bw.bits();
         }, okvErrAacSfValue, sfs, {160, 220}},
        {book(12, 0), okvErrAacCodebook, nullptr, {}}, {book(13, 0), okvErrAacCodebook, nullptr, {}}, {book(14, 0), okvOk, sfs, {-60, -120}},
        // Noise energies: the first band 9 bits from the global gain, no range check; later
        // ones deltas checked against 0..255.
        {noise(100, 256, {}), okvOk, noiseSf, {10}, 4, 0, 1}, {noise(0, 0, {}), okvOk, noiseSf, {-346}, 4, 0, 1},
        {noise(255, 511, {}), okvOk, noiseSf, {420}, 4, 0, 1}, {noise(100, 256, {-10}), okvOk, noiseSf, {10, 0}, 4, 0, 1},
        {noise(100, 256, {-11}), okvErrAacSfValue, sf1, {10}, 4, 0, 1}, {noise(0, 0, {60}), okvErrAacSfValue, sf1, {-346}, 4, 0, 1},
        // Pulses are added away from zero (a zero goes negative); refusals where they are read.
        {pulses(0, 0, {0, 1, 1}, 0), okvOk, spec, {4, -4, -3, 0}},
        {pulses(0, 48, {31, 31, 31, 31}, 0), okvErrAacPulse, nullptr, {}},  // line 928 + 124 passes the window
        {pulses(0, 49, {0}, 0), okvErrAacPulse, nullptr, {}},               // 44.1 kHz has 49 bands
        {pulses(0, 52, {0}, 8 + 11 + 9 + 1 + 1 + 8), okvErrAacPulse, nullptr, {}},
        {pulses(2, 0, {}, 8 + 15 + 7 + 1 + 1), okvErrAacPulse, nullptr, {}},  // short windows: right after the present bit
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (int lead = 0; lead < 8; ++lead)
        for (int ones : {0, 8, 9, 40}) {  // a run of 40 fills whole look-ahead words
            const int top = ones < 9 ? 1 << (4 + ones) : 0;  // value of an escape that fits
            all.push_back({escape(lead, ones), ones < 9 ? okvOk : okvErrAacCoefValue, ones < 9 ? spec : nullptr,
                           {-(top + (4095 & (top - 1))), 0, 0, 0}, 4, lead});
        }
    for (size_t i = 0; i < all.size(); ++i) {
        const Case& k = all[i];
        BitWriter bw;
        size_t stop = 0;
        k.write(bw, stop);
        Chan c(bw, k.sri, k.lead);
        EXPECT_EQ(k.mp4 ? c.mp4() : c.lc(), k.st) << "case " << i;
        EXPECT_TRUE((!stop && k.st != okvOk) || c.pos() == (k.st == okvOk ? bw.bits() : stop)) << "case " << i << " stops at " << c.pos();
        EXPECT_EQ(k.got ? k.got(c) : k.want, k.want) << "case " << i;
    }
}
