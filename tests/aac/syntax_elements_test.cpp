// ADTS headers and the main and extension headers of scalable streams: random fields laid out by an
// independent writer at any entry offset, parsed back into records the caller filled with a pattern
// (fields not read keep it), the cursor after the last bit. ADIF, program configuration, fill and
// data stream elements are read end to end on the conformance streams.
#include <gtest/gtest.h>

#include <cstring>

#include "aac/syntax_stream.h"

namespace {

using aactest::BitWriter;
using aactest::Rng;

// A parse from `lead` bits into bw's bytes; pos() is the cursor in bits.
struct Parse {
    std::vector<uint8_t> buf;
    Okv8u* p;
    int off;
    explicit Parse(const BitWriter& bw, int lead = 0) : buf(bw.bytes(3)), p(buf.data()), off(lead) {}
    size_t pos() const { return size_t(p - buf.data()) * 8 + size_t(off); }
};

template <class T> T filled(int byte) {
    T t;
    std::memset(&t, byte, sizeof t);
    return t;
}

template <class T> bool same(const T& a, const T& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// ADTS headers with and without CRC: every field at random, the emphasis (not in the stream) kept.
TEST(AacSyntaxHeaders, AdtsFieldsReadBack) {
    static const int kWidth[16] = {1, 2, 1, 2, 4, 1, 3, 1, 1, 0, 1, 1, 13, 11, 2, 16};
    Rng rnd(3);
    for (int it = 0; it < 400; ++it) {
        AACADTSFrameHeader want = filled<AACADTSFrameHeader>(0x5A), got = want;
        int v[16];
        std::memcpy(v, &want, sizeof v);
        BitWriter bw;
        bw.put(0xFFF, 12);
        for (int i = 0; i < 16; ++i)
            if (kWidth[i] && (i < 15 || !v[2])) bw.put(v[i] = rnd(0, (1 << kWidth[i]) - 1), kWidth[i]);
        ++v[14];  // the count of raw data blocks less one
        std::memcpy(&want, v, sizeof v);
        Parse a(bw);
        ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&a.p, &got), okvOk);
        EXPECT_TRUE(a.pos() == bw.bits() && same(got, want)) << it;
    }
}

// Main headers (one or two channels, any window sequence, grouping, M/S mask, TNS and LTP data;
// an order above 12 ends the TNS data and the header goes on) and extension headers (long
// maxSfb above 60 refused once read; M/S flags from the stereo layer's first band; diff control
// for bands without M/S up to the highest maxSfb, short windows only from band 0).
TEST(AacSyntaxScalable, MainAndExtensionHeadersReadBack) {
    static const Okv16s kLtpQ14[8] = {9352, 11413, 13320, 14931, 16137, 17496, 19572, 22438};
    Rng rnd(5);
    for (int it = 0; it < 1500; ++it) {
        const int channels = rnd(1, 2), seq = rnd(0, 3), lead = rnd(0, 7), flag = rnd(0, 1);
        const bool isShort = seq == 2;
        Okv8u ms[480], wantMs[480];
        for (int i = 0; i < 480; ++i) ms[i] = wantMs[i] = Okv8u(rnd(0, 1));
        AACMainHeader e = filled<AACMainHeader>(0x33), h = e;
        h.pMsUsed = e.pMsUsed = ms;
        BitWriter bw;
        bw.put(0x55, lead);
        bw.put(e.winSequence = seq, 2);
        bw.put(e.winShape = rnd(0, 1), 1);
        bw.put(e.maxSfb = rnd(0, isShort ? 15 : 63), isShort ? 4 : 6);
        if (isShort) bw.put(e.sfGrouping = rnd(0, 127), 7);
        std::fill(e.lenWinGrp, e.lenWinGrp + 8, isShort ? e.lenWinGrp[0] : 0);
        e.numWinGrp = 0;
        for (int w = 0; w < (isShort ? 8 : 1); ++w) {  // window w joins the open group when its bit is set
            if (w && (e.sfGrouping >> (7 - w) & 1)) ++e.lenWinGrp[e.numWinGrp - 1];
            else e.lenWinGrp[e.numWinGrp++] = 1;
        }
        if (channels == 2) bw.put(e.msMaskPresent = rnd(0, 3), 2);
        for (int g = 0; g < e.numWinGrp && channels == 2; ++g)
            for (int b = 0; b < e.maxSfb; ++b) {
                Okv8u& m = wantMs[60 * g + b];
                m = e.msMaskPresent == 1 ? Okv8u(rnd(0, 1)) : e.msMaskPresent == 2;
                if (e.msMaskPresent == 1) bw.put(m, 1);
            }
        for (int ch = 0; ch < channels; ++ch) {
            AACTnsData& t = e.tnsData[ch];
            AACLtpData& l = e.ltpData[ch];
            std::memset(&t, 0, sizeof t);
            std::memset(&l, 0, sizeof l);
            bw.put(t.tnsDataPresent = rnd(0, 1), 1);
            if (t.tnsDataPresent) aactest::putTns(bw, rnd, isShort, 14, t);
            bw.put(l.ltpDataPresent = rnd(0, 1), 1);
            if (!l.ltpDataPresent) continue;
            const int gain = rnd(0, 7);
            bw.put(l.ltpLag = rnd(0, 2047), 11);
            bw.put(gain, 3);
            l.ltpCoef = kLtpQ14[gain];
            for (int b = 1; b <= std::min(e.maxSfb, 40) && !isShort; ++b) bw.put(l.ltpLongUsed[b] = rnd(0, 1), 1);
            l.ltpLongUsed[0] = !isShort;
            l.ltpShortLag[0] = isShort ? l.ltpLag : 0;
            for (int w = 0, prev = -1; w < 8 && isShort; ++w) {  // lags relative to the previous used window
                bw.put(l.ltpShortUsed[w] = rnd(0, 1), 1);
                if (!l.ltpShortUsed[w]) continue;
                if (prev >= 0) bw.put(l.ltpShortLagPresent[w] = rnd(0, 1), 1);
                const int delta = l.ltpShortLagPresent[w] ? rnd(0, 31) : 16;
                bw.put(delta, 5 * l.ltpShortLagPresent[w]);
                l.ltpShortLag[w] = prev < 0 ? l.ltpLag : l.ltpShortLag[prev] + 16 - delta;
                prev = w;
            }
        }
        Parse s(bw, lead);
        ASSERT_EQ(okvsDecodeMainHeader_AAC(&s.p, &s.off, &h, channels, flag), flag ? okvErrNotSupportedMode : okvOk);
        EXPECT_TRUE(s.pos() == bw.bits() && same(h, e) && std::memcmp(ms, wantMs, sizeof ms) == 0) << it;

        const int monoStereo = rnd(0, 1), stereo = rnd(0, 1), monoLayer = rnd(0, 1);
        const int pre = rnd(0, isShort ? 15 : 51), highest = rnd(0, 51);
        AACExtHeader x = filled<AACExtHeader>(0x22), ex = x;
        x.pMsUsed = ex.pMsUsed = ms;
        BitWriter xw;
        xw.put(0x55, lead);
        xw.put(ex.maxSfb = rnd(0, isShort ? 15 : 63), isShort ? 4 : 6);
        const bool tooMany = ex.maxSfb > 60;
        if (stereo && !tooMany) xw.put(ex.msMaskPresent = rnd(0, 3), 2);
        for (int g = 0; g < (isShort ? 4 : 1) && stereo && !tooMany && ex.msMaskPresent == 1; ++g)
            for (int b = pre; b < ex.maxSfb; ++b) xw.put(wantMs[60 * g + b] = Okv8u(rnd(0, 1)), 1);
        for (int ch = 0; ch < 2 && monoStereo && !tooMany; ++ch) {
            xw.put(ex.tnsData[ch].tnsDataPresent = rnd(0, 1), 1);
            if (ex.tnsData[ch].tnsDataPresent) aactest::putTns(xw, rnd, isShort, 14, ex.tnsData[ch]);
        }
        for (int ch = 0; ch < 2 && monoLayer && stereo && !tooMany; ++ch)
            for (int b = pre, n = 0; b < (isShort ? (pre ? 0 : 8) : std::min(highest, ex.maxSfb)); ++b)
                if (isShort || !wantMs[b]) xw.put(ex.diffControlLr[ch][n++] = rnd(0, 1), 1);
        Parse t(xw, lead);
        ASSERT_EQ(okvsDecodeExtensionHeader_AAC(&t.p, &t.off, &x, monoStereo, stereo, monoLayer, pre, highest, seq),
                  tooMany ? okvErrAacMaxSfb : okvOk);
        EXPECT_TRUE(t.pos() == xw.bits() && same(x, ex) && std::memcmp(ms, wantMs, sizeof ms) == 0) << it;
    }
}
