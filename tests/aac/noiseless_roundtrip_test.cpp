// Noiseless decoding against an independent model: random channel streams are written with
// the codebooks and band tables of the shared text and must decode to exactly the values that
// went in, with the cursor right after the last bit written.
#include <gtest/gtest.h>

#include <random>

#include "aac/syntax_stream.h"
#include "mp3/mp3_test_util.h"

namespace {

using mp3test::BitWriter;

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

struct Outputs {
    AACChanInfo ci{};
    AACIcsInfo ics{};
    AACMainHeader hdr{};
    Okv16s sf[120];
    Okv8u cb[120];
    Okv32s spec[1024];
    Okv8s tns[60];
};

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
        Outputs o;
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
