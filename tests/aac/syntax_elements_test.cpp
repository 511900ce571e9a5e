// ADTS, program configuration, fill and data stream elements, and the main and extension
// headers of scalable streams: random fields laid out by an independent writer at any entry offset,
// parsed back into records the caller filled with a pattern (fields not read keep it), the cursor
// after the last bit.
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

// A random program configuration element in stream order; the expected record of a parse into
// one filled with 0x11 (the mixdown values are cleared when absent).
AACPrgCfgElt putPce(BitWriter& bw, Rng& rnd) {
    AACPrgCfgElt e = filled<AACPrgCfgElt>(0x11);
    const auto f = [&](int& field, int bits) {
        bw.put(field = rnd(0, (1 << bits) - 1), bits);
        return field;
    };
    e.monoMixdownEltNum = e.stereoMixdownEltNum = e.matrixMixdownIdx = e.pseudoSurroundEnable = 0;
    for (auto [field, bits] : {std::pair{&e.eltInsTag, 4}, {&e.profile, 2}, {&e.samplingRateIndex, 4}, {&e.numFrontElt, 4},
                               {&e.numSideElt, 4}, {&e.numBackElt, 4}, {&e.numLfeElt, 2}, {&e.numDataElt, 3},
                               {&e.numValidCcElt, 4}})
        f(*field, bits);
    if (f(e.monoMixdownPres, 1)) f(e.monoMixdownEltNum, 4);
    if (f(e.stereoMixdownPres, 1)) f(e.stereoMixdownEltNum, 4);
    if (f(e.matrixMixdownIdxPres, 1)) f(e.matrixMixdownIdx, 2);
    if (e.matrixMixdownIdxPres) f(e.pseudoSurroundEnable, 1);
    const auto elements = [&](int n, int* flag, int* tag) {
        for (int i = 0; i < n; ++i) {
            if (flag) f(flag[i], 1);
            f(tag[i], 4);
        }
    };
    elements(e.numFrontElt, e.frontIsCpe, e.frontTagSel);
    elements(e.numSideElt, e.sideIsCpe, e.sideTagSel);
    elements(e.numBackElt, e.backIsCpe, e.backTagSel);
    elements(e.numLfeElt, nullptr, e.lfeTagSel);
    elements(e.numDataElt, nullptr, e.dataTagSel);
    elements(e.numValidCcElt, e.ccIsIndSw, e.ccTagSel);
    while (bw.bits() % 8) bw.put(0, 1);
    for (int i = 0, n = f(e.commentFieldBytes, 8); i < n; ++i) bw.put(e.commentFieldData[i] = Okv8u(rnd(0, 255)), 8);
    return e;
}

}  // namespace

// ADTS headers with and without CRC; program configurations; fill (count 4 bits, escape 8 bits)
// and data stream (tag, align flag, 8 + 8 bits) elements over their whole count range.
TEST(AacSyntaxHeaders, AdtsProgramsFillAndData) {
    Rng rnd(3);
    for (int it = 0; it < 800; ++it) {
        static const int kWidth[16] = {1, 2, 1, 2, 4, 1, 3, 1, 1, 0, 1, 1, 13, 11, 2, 16};  // no emphasis in the stream
        AACADTSFrameHeader want = filled<AACADTSFrameHeader>(0x5A), got = want;
        int v[16];
        std::memcpy(v, &want, sizeof v);
        BitWriter bw;
        bw.put(0xFFF, 12);
        for (int i = 0; i < 16; ++i)
            if (kWidth[i] && (i < 15 || !v[2])) bw.put(v[i] = rnd(0, (1 << kWidth[i]) - 1), kWidth[i]);
        ++v[14];
        std::memcpy(&want, v, sizeof v);
        Parse a(bw);
        ASSERT_EQ(okvsUnpackADTSFrameHeader_AAC(&a.p, &got), okvOk);
        EXPECT_TRUE(a.pos() == bw.bits() && same(got, want)) << it;

        const bool dse = it & 1, align = rnd(0, 1);
        const int lead = rnd(0, 7), count = rnd(0, 9) ? rnd(0, dse ? 510 : 269) : rnd(0, 1) * (dse ? 255 : 15);
        const bool escape = count >= 15 || (count == 14 && rnd(0, 1));  // 15: 14 + the next 8 bits
        BitWriter pw;
        pw.put(0x7F, lead);
        const AACPrgCfgElt pce = putPce(pw, rnd);
        const size_t elementAt = pw.bits();
        pw.put(dse ? 9 << 9 | align << 8 | std::min(count, 255) : escape ? 15 : count, dse ? 13 : 4);
        if (dse ? count >= 255 : escape) pw.put(count - (dse ? 255 : 14), 8);
        while (dse && align && pw.bits() % 8) pw.put(1, 1);
        std::vector<Okv8u> payload(size_t(count) + 1, 0xEE), out(511, 0xEE);
        for (int i = 0; i < count; ++i) pw.put(payload[size_t(i)] = Okv8u(rnd(0, 255)), 8);
        Parse s(pw, lead);
        AACPrgCfgElt e = filled<AACPrgCfgElt>(0x11);
        ASSERT_EQ(okvsDecodePrgCfgElt_AAC(&s.p, &s.off, &e), okvOk);
        EXPECT_TRUE(s.pos() == elementAt && same(e, pce)) << it;
        int tag = dse ? -1 : 9, n = -1;
        ASSERT_EQ(dse ? okvsDecodeDatStrElt_AAC(&s.p, &s.off, &tag, &n, out.data())
                      : okvsDecodeFillElt_AAC(&s.p, &s.off, &n, out.data()), okvOk);
        EXPECT_TRUE(tag == 9 && n == count && s.pos() == pw.bits()) << count << " " << lead;
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), out.begin())) << count;
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
