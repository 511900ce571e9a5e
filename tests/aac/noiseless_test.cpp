// Noiseless decoding: random channel streams written with the codebooks and band tables of the
// shared text decode to exactly the values that went in, the cursor right after the last bit;
// streams breaking a limit (sections, scalefactors, books, maxSfb, pulses, escapes) are refused
// where the breaking field is read, with what came before it decoded.
#include <gtest/gtest.h>

#include <array>

#include "aac/syntax_stream.h"

namespace {

using aactest::BitWriter;
using aactest::ints;

enum Mode { kLc, kMp4, kScalable };

struct Expected {
    int winSeq = 0, maxSfb = 0, numGrp = 1, lenGrp[8] = {1}, pulse = 0;
    std::vector<int> sectCb, sectEnd, numSect, bandCb, sf, spec = std::vector<int>(1024, 0);
    AACTnsData tns{};
    StatusCode st = okvOk;
    size_t stop = 0;  // the cursor after a refusal
};

// Writes random channel streams field by field as the syntax lays them out. A fault kind makes
// the stream break one limit now and then, where the writer stops: 1 a section past maxSfb, 2
// empty sections (too many of them), 3 scalefactors and noise energies out of range, 4 books 12
// and 13 (LC), 5 maxSfb past the rate's bands, 6 pulses out of place, 7 escapes of nine ones.
class Encoder {
public:
    explicit Encoder(uint32_t seed) : rnd(seed), swb_{aactest::bandOffsets(false), aactest::bandOffsets(true)} {
        for (int b = 0; b <= 11; ++b) books_[b] = aactest::loadBook(b);
    }
    bool ok() const { return books_[11].code.size() == 289 && swb_[0].size() == 12 && swb_[1].size() == 12; }
    int bands(int sri, bool isShort) const { return int(swb_[isShort][sri].size()) - 1; }

    // icsInStream: the ICS information is written (else e holds the caller's).
    void channel(BitWriter& bw, int sri, Mode mode, bool icsInStream, int fault, Expected& e) {
        e.stop = ~size_t(0);
        const auto refuse = [&](StatusCode st) {
            e.st = st;
            e.stop = bw.bits();
        };
        const int gg = rnd(90, 160);
        bw.put(gg, 8);
        if (icsInStream && !ics(bw, sri, mode, fault, e)) return refuse(okvErrAacMaxSfb);
        const bool isShort = e.winSeq == 2;
        const std::vector<int>& swb = swb_[isShort][sri];
        // Sections: codebook, then the length in escaped fields, read until one passes maxSfb.
        const int lenBits = isShort ? 3 : 5, esc = (1 << lenBits) - 1;
        for (int g = 0; g < e.numGrp; ++g) {
            int k = 0, n = 0;
            for (; k < e.maxSfb; ++n) {
                if (n == e.maxSfb) return refuse(okvErrAacSection);
                int len = rnd(0, 4) ? rnd(1, std::min(4, e.maxSfb - k)) : rnd(1, e.maxSfb - k);
                if (fault == 2 && rnd(0, 3) == 0) len = 0;
                if (fault == 1 && rnd(0, 9) == 0) len = e.maxSfb - k + rnd(1, 2 * esc);
                int cb = rnd(0, 15);
                while ((cb == 12 || (cb == 13 && mode == kLc)) && !(fault == 4 && len && rnd(0, 1))) cb = rnd(0, 15);
                bw.put(cb, 4);
                int run = 0;
                for (int f = esc; f == esc && k + run <= e.maxSfb; run += f) {
                    f = std::min(len - run, esc);
                    bw.put(f, lenBits);
                }
                e.bandCb.insert(e.bandCb.end(), std::min(run, e.maxSfb - k), cb);
                e.sectCb.push_back(cb);
                e.sectEnd.push_back(k += run);
            }
            if (k > e.maxSfb) return refuse(okvErrAacSection);
            e.numSect.push_back(n);
        }
        // Scalefactors, noise energies (the first one 9 bits, unchecked) and intensity positions.
        int run[3] = {gg, 0, 0};  // scalefactor, intensity, noise
        bool firstNoise = true;
        for (int cb : e.bandCb) {
            if (cb == 12 || (cb == 13 && mode == kLc)) return refuse(okvErrAacCodebook);
            const int kind = cb == 13 ? 2 : cb >= 14 ? 1 : 0;
            if (cb == 13 && firstNoise) {
                const int v = fault == 3 ? rnd(0, 511) : rnd(std::max(0, 346 - gg), std::min(511, 601 - gg));
                bw.put(v, 9);
                e.sf.push_back(run[2] = gg - 90 + v - 256);
                firstNoise = false;
                continue;
            }
            int d = rnd(-60, 60);
            const bool inRange = cb < 14 && !(fault == 3 && rnd(0, 3) == 0);
            if (inRange) d = std::clamp(std::clamp(run[kind] + d, 0, 255) - run[kind], -60, 60);
            if (cb) bw.putCode(books_[0].code[d + 60]);
            if (cb) run[kind] += d;
            if (cb && cb < 14 && (run[kind] < 0 || run[kind] > 255)) return refuse(okvErrAacSfValue);
            e.sf.push_back(cb ? run[kind] : 0);
        }
        int pulsePos[4], pulseAmp[4], np = 0;
        if (mode != kScalable) {
            e.pulse = (!isShort || fault == 6) && e.maxSfb > 0 && rnd(0, fault == 6 ? 1 : 3) == 0;
            bw.put(e.pulse, 1);
            if (e.pulse && isShort) return refuse(okvErrAacPulse);
            if (e.pulse) {
                const int last = int(swb.size()) - 2;
                const int start = fault == 6 && rnd(0, 1) ? rnd(last + 1, 63) : rnd(0, last);
                bw.put((np = rnd(1, 4)) - 1, 2);
                bw.put(start, 6);
                if (start > 51) return refuse(okvErrAacPulse);
                for (int i = 0, p = swb[std::min(start, last)]; i < np; ++i) {
                    const int off = fault == 6 ? rnd(0, 31) : std::min(rnd(0, 31), 1023 - p);
                    pulsePos[i] = p += off;
                    bw.put(off, 5);
                    bw.put(pulseAmp[i] = rnd(0, 15), 4);
                }
                if (start > last) return refuse(okvErrAacPulse);
            }
            bw.put(e.tns.tnsDataPresent = rnd(0, 1), 1);
            if (e.tns.tnsDataPresent) aactest::putTns(bw, rnd, isShort, 12, e.tns);
            bw.put(0, 1);  // no gain control
        }
        if (!spectrum(bw, swb, fault == 7, e)) return;
        for (int i = 0; i < np; ++i) {
            if (pulsePos[i] > 1023) return refuse(okvErrAacPulse);
            e.spec[pulsePos[i]] += e.spec[pulsePos[i]] > 0 ? pulseAmp[i] : -pulseAmp[i];
        }
    }

    aactest::Rng rnd;

private:
    // Window sequence, shape, maxSfb and grouping or (MPEG-4) a long-term prediction flag.
    bool ics(BitWriter& bw, int sri, Mode mode, int fault, Expected& e) {
        e.winSeq = rnd(0, 3);
        bw.put(e.winSeq << 1 | rnd(0, 1), 4);  // a reserved bit first
        const int n = bands(sri, e.winSeq == 2), top = e.winSeq == 2 ? 15 : 63;
        e.maxSfb = fault == 5 && n < top ? rnd(mode == kLc || e.winSeq == 2 ? n + 1 : 52, top) : rnd(0, n);
        bw.put(e.maxSfb, e.winSeq == 2 ? 4 : 6);
        if (e.winSeq == 2) {
            const int grouping = rnd(0, 127);
            bw.put(grouping, 7);
            e.numGrp = 0;
            for (int w = 0; w < 8; ++w) {  // window w joins the open group when its bit is set
                if (w > 0 && (grouping & (64 >> (w - 1)))) ++e.lenGrp[e.numGrp - 1];
                else e.lenGrp[e.numGrp++] = 1;
            }
        } else {  // now and then predictor data holding nothing (MPEG-4: no LTP data; LC: no reset, no bands)
            if (e.maxSfb > 51) return false;
            const int pred = mode == kMp4 ? rnd(0, 1) : rnd(0, 3) == 0;
            bw.put(pred << 1, 1 + pred);
        }
        return e.maxSfb <= n;
    }
    int value(int book) {
        static const int lav[12] = {0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16};
        if (book == 11 && rnd(0, 7) == 0) return rnd(16, 8191) * (rnd(0, 1) ? 1 : -1);
        const int m = rnd(0, 3) ? rnd(0, 1) : rnd(0, lav[book] - (book == 11));
        return book <= 2 || book == 5 || book == 6 || rnd(0, 1) ? m : -m;
    }
    // Codewords of 4- or 2-tuples; unsigned books add sign bits and book 11 escapes. A run of nine
    // ones or more in an escape (long ones fill the reader's look-ahead) is refused after the ninth.
    bool spectrum(BitWriter& bw, const std::vector<int>& swb, bool badEscape, Expected& e) {
        const bool isShort = e.winSeq == 2;
        for (int g = 0, s = 0, base = 0; g < e.numGrp; base += (isShort ? 128 : 1024) * e.lenGrp[g++])
            for (int i = 0, k = 0; i < e.numSect[g]; k = e.sectEnd[s++], ++i) {
                const int cb = e.sectCb[s], dim = cb <= 4 ? 4 : 2;
                const bool uns = cb != 1 && cb != 2 && cb != 5 && cb != 6;
                const int end = base + swb[e.sectEnd[s]] * e.lenGrp[g];
                for (int p = base + swb[k] * e.lenGrp[g]; cb >= 1 && cb <= 11 && p < end; p += dim) {
                    std::vector<int> key(dim);
                    for (int j = 0; j < dim; ++j) {
                        e.spec[p + j] = value(cb);
                        key[j] = uns ? std::min(std::abs(e.spec[p + j]), 16) : e.spec[p + j];
                    }
                    bw.putCode(books_[cb].code[books_[cb].indexOf.at(key)]);
                    for (int j = 0; j < dim && uns; ++j)
                        if (e.spec[p + j]) bw.put(e.spec[p + j] < 0, 1);
                    for (int j = 0; j < dim; ++j) {
                        const int m = std::abs(e.spec[p + j]), n = 31 - __builtin_clz(unsigned(m) | 1);
                        if (cb != 11 || m < 16) continue;
                        if (badEscape && rnd(0, 3) == 0) {
                            e.st = okvErrAacCoefValue;
                            e.stop = bw.bits() + 9;
                            bw.put(~0u, rnd(9, 32));
                            bw.put(~0u, rnd(0, 8));
                            return false;
                        }
                        bw.put((1u << (n - 3)) - 2, n - 3);  // n - 4 ones, a zero
                        bw.put(m - (1 << n), n);
                    }
                }
            }
        return true;
    }

    aactest::Codebook books_[12];
    std::vector<std::vector<int>> swb_[2];
};

}  // namespace

TEST(AacNoiseless, RandomChannelsRoundTrip) {
    Encoder enc(7);
    if (!enc.ok()) GTEST_SKIP() << "shared AAC tables not found at " << OKV_SHARED_DIR;
    for (int it = 0; it < 3000; ++it) {
        const Mode mode = Mode(it % 3);
        const int fault = it % 2 ? 0 : enc.rnd(1, 7), sri = enc.rnd(0, 11), lead = enc.rnd(0, 7);
        // Common window: the ICS record comes from the caller (scalable: from the header).
        const bool common = mode == kScalable || enc.rnd(0, 3) == 0, scal = mode == kScalable;
        Expected e;
        if (common) {
            e.winSeq = enc.rnd(0, 3);
            e.maxSfb = enc.rnd(0, 3) ? enc.rnd(0, enc.bands(sri, e.winSeq == 2)) : enc.bands(sri, e.winSeq == 2);
            if (e.winSeq == 2) e.numGrp = 3;
            if (e.winSeq == 2) std::copy_n(std::array{2, 5, 1}.begin(), 3, e.lenGrp);
        }
        BitWriter bw;
        bw.put(0x55, lead);
        enc.channel(bw, sri, mode, !common, fault, e);
        std::vector<uint8_t> buf = bw.bytes(4);
        aactest::ChannelOutputs c{};
        Okv8u* p = buf.data() + lead / 8;
        int off = lead % 8;
        c.ci.samplingRateIndex = sri;
        c.ci.pIcsInfo = &c.ics;
        c.ics.winSequence = e.winSeq;
        c.ics.maxSfb = e.maxSfb;
        c.ics.numWinGrp = c.hdr.numWinGrp = e.numGrp;
        std::copy(e.lenGrp, e.lenGrp + 8, c.ics.lenWinGrp);
        std::copy(e.lenGrp, e.lenGrp + 8, c.hdr.lenWinGrp);
        c.ci.tnsNFilt[0] = 9;  // cleared when TNS is absent
        const StatusCode st =
            mode == kLc ? okvsNoiselessDecoder_LC_AAC(&p, &off, common, &c.ci, c.sf, c.spec, c.cb, c.tns)
                        : okvsNoiselessDecode_AAC(&p, &off, &c.hdr, c.sf, c.spec, c.cb, c.tns, &c.ci, e.winSeq,
                                                  scal ? e.maxSfb : 0, common, scal, 2);
        ASSERT_EQ(st, e.st) << it;
        const size_t pos = size_t(p - buf.data()) * 8 + size_t(off);
        const bool isShort = e.winSeq == 2;
        const AACChanInfo& ci = c.ci;
        const AACTnsData& t = e.tns;
        const std::vector<int> got[] = {
            {int(pos), c.ics.maxSfb, c.ics.numWinGrp, ci.winLen, ci.numWindows}, ints(ci.sectEnd, e.sectEnd.size()),
            ints(c.sf, e.sf.size()), ints(c.cb, e.bandCb.size()), ints(ci.sectCb, e.sectCb.size()),
            ints(ci.numSect, e.numSect.size()), ints(c.spec, 1024),
            {ci.pulseDataPresent, ci.tnsDataPresent, ci.gainControlDataPresent}, ints(ci.tnsNFilt, 8),
            ints(ci.tnsCoefRes, 8), ints(ci.tnsLength, 8), ints(ci.tnsOrder, 8), ints(ci.tnsDirection, 8),
            ints(c.tns, 60)};
        const std::vector<int> want[] = {
            {int(bw.bits()), e.maxSfb, e.numGrp, isShort ? 128 : 1024, isShort ? 8 : 1}, e.sectEnd, e.sf, e.bandCb,
            e.sectCb, e.numSect, e.spec, {e.pulse, t.tnsDataPresent, 0}, ints(t.nFilt, 8), ints(t.coefRes, 8),
            ints(t.length, 8), ints(t.order, 8), ints(t.direction, 8), ints(t.coef, 60)};
        if (e.st != okvOk) {  // stopped where the fault was read, with the sections and scalefactors before it
            ASSERT_EQ(pos, e.stop) << it << " fault " << fault;
            for (size_t i = 1; i < 3; ++i) ASSERT_EQ(got[i], want[i]) << "field " << i << " iteration " << it;
            continue;
        }
        for (size_t i = 0; i < (scal ? 7 : std::size(got)); ++i)  // scalable layers carry no side data
            ASSERT_EQ(got[i], want[i]) << "field " << i << " iteration " << it;
    }
}
