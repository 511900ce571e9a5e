// Every refused argument of the AAC exports, in the order the checks run: each row breaks one
// argument (or several, the earlier check winning); nothing is read from the stream before the
// refusal and nothing written to the outputs.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "aac/syntax_stream.h"

TEST(AacArguments, RefusedInOrderWithoutSideEffects) {
    std::vector<Okv32s> x(2048, 5), r(1024, 5), t(1024, 5), o(1024, 5);
    std::vector<Okv16s> sf(408, 100), pcm(2048, 5);
    std::vector<Okv8u> cb(408, 1), ms(480, 1), stream(600, 0), extStream = {61 << 2, 0, 0, 0};  // long maxSfb 61
    Okv32s *d = x.data(), *e = r.data(), *ov = o.data(), *work = t.data();
    Okv16s *sfp = sf.data(), *out = pcm.data();
    Okv8u *cbp = cb.data(), *msp = ms.data();
    const int g1[8] = {1}, g3[8] = {2, 2, 5}, zero8[8] = {};
    const Okv8s coef[60] = {7, 8};
    Okv8u* p = stream.data();
    Okv8u* none = nullptr;
    int off = 0, n = 0, tag = 0;
    aactest::ChannelOutputs c{};
    c.ci.samplingRateIndex = 4;
    c.ci.pIcsInfo = &c.ics;
    AACLtpData ltp{};
    AACMainHeader mh{};
    AACExtHeader eh{};
    eh.pMsUsed = ms.data();
    AACPrgCfgElt pce[2];
    AACChanPairElt cpe{};
    struct Row {
        StatusCode want;
        std::function<StatusCode()> call;
        int bitsRead;  // the global gain of a common-window channel comes first
    };
    std::vector<Row> rows;
    const auto add = [&](StatusCode want, std::function<StatusCode()> f, int bits = 0) {
        rows.push_back({want, f, bits});
    };
    // Rows refusing f(a...) with each pointer argument null in turn.
    const auto nullEach = [&](auto f, auto... a) {
        const auto args = std::make_tuple(a...);
        [&]<size_t... I>(std::index_sequence<I...>) {
            ([&] {
                if constexpr (std::is_pointer_v<std::tuple_element_t<I, std::remove_cvref_t<decltype(args)>>>) {
                    add(okvErrNullPtr, [f, args] {
                        auto u = args;
                        std::get<I>(u) = nullptr;
                        return std::apply(f, u);
                    });
                }
            }(), ...);
        }(std::index_sequence_for<decltype(a)...>{});
    };
    // f with *field set to value for the call.
    const auto with = [&](auto* field, auto value, std::function<StatusCode()> f) {
        return [=] {
            const auto keep = *field;
            *field = value;
            const StatusCode st = f();
            *field = keep;
            return st;
        };
    };

    // Grouped spectral tools: window length, groups, maxSfb, rate, M/S mask.
    const struct { int winLen, grp; const int* len; int maxSfb, rate, mask; StatusCode want; } layouts[] = {
        {512, 9, g1, 60, 12, 0, okvErrAacWinLen},  {1024, 2, g1, 60, 12, 0, okvErrAacWinGrp},
        {128, 9, g1, 60, 12, 0, okvErrAacWinGrp},  {128, 3, g3, 10, 3, 1, okvErrAacWinGrp},  // 9 windows
        {1024, 1, g1, 52, 12, 0, okvErrAacMaxSfb}, {1024, 1, g1, 51, 12, 0, okvErrAacSmplRate},
        {1024, 1, g1, 51, 4, 0, okvErrAacMsMask},  {1024, 1, g1, 50, 4, 1, okvErrAacMaxSfb},  // 49 bands at 44.1 kHz
        {128, 1, g1, 15, 4, 2, okvErrAacMaxSfb},
    };
    for (const auto& l : layouts) {
        add(l.want, [=] {
            return okvsDecodeMsStereo_AAC_32s_I(d, e, l.mask, msp, cbp, l.grp, l.len, l.maxSfb, l.rate, l.winLen);
        });
        if (l.want == okvErrAacMsMask) continue;
        add(l.want, [=] { return okvsQuantInv_AAC_32s_I(d, sfp, l.grp, l.len, l.maxSfb, cbp, l.rate, l.winLen); });
        add(l.want, [=] {
            return okvsDecodeIsStereo_AAC_32s(d, e, sfp, cbp, l.grp, l.len, l.maxSfb, l.rate, l.winLen);
        });
        add(l.winLen == 128 ? l.want : okvErrAacWinLen,
            [=] { return okvsDeinterleaveSpectrum_AAC_32s(d, e, l.grp, l.len, l.maxSfb, l.rate, l.winLen); });
    }
    nullEach(okvsQuantInv_AAC_32s_I, x.data(), sf.data(), 1, g1, 49, cb.data(), 4, 1024);
    nullEach(okvsDecodePNS_AAC_32s, x.data(), &n, cb.data(), sf.data(), 1, 1, g1, 3, 1024, &tag);
    nullEach(okvsDecodeMsPNS_AAC_32s, x.data(), &n, cb.data(), sf.data(), 1, 1, g1, 3, 1024, &tag, 0, ms.data(), &off);

    // TNS side data at 48 kHz, maxSfb 40: filter 0 (length 10, order 1), then filter 1 broken.
    const struct { int nf, len1, order1, res, dir, maxSfb, profile, rate, winLen; StatusCode want; } tns[] = {
        {4, 5, 1, 4, 0, 40, 0, 3, 1024, okvErrAacTnsNumFilt}, {2, 50, 1, 4, 0, 40, 0, 3, 1024, okvErrAacTnsLen},
        {2, 5, 21, 4, 0, 40, 0, 3, 1024, okvErrAacTnsOrder},  {2, 5, 1, 4, 2, 40, 0, 3, 1024, okvErrAacTnsCoef},
        {1, 5, 1, 5, 0, 40, 0, 3, 1024, okvErrAacTnsCoefRes}, {1, 5, 1, 5, 0, 40, 2, 3, 1024, okvErrAacProfile},
        {1, 5, 1, 5, 0, 50, 0, 3, 1024, okvErrAacMaxSfb},     {1, 5, 1, 5, 0, 40, 0, 12, 1024, okvErrAacSmplRate},
        {1, 5, 1, 5, 0, 40, 0, 3, 256, okvErrAacWinLen},
        {2, 5, 1, 4, 0, 10, 0, 3, 128, okvErrAacTnsNumFilt},  // one filter per short window
    };
    for (const auto& k : tns)
        add(k.want, [&, k] {
            const int nf[8] = {k.nf}, len[8] = {10, k.len1}, ord[8] = {1, k.order1}, res[8] = {k.res};
            const int dir[8] = {0, k.dir};
            std::vector<Okv32s> y(1024, 1 << 20);  // the filters before the broken one may run
            const auto call = k.profile ? okvsEncodeTNS_AAC_32s_I : okvsDecodeTNS_AAC_32s_I;
            return call(y.data(), nf, len, ord, res, coef, dir, k.maxSfb, k.profile, k.rate, k.winLen);
        });
    for (auto call : {okvsDecodeTNS_AAC_32s_I, okvsEncodeTNS_AAC_32s_I})
        nullEach(call, x.data(), zero8, zero8, zero8, zero8, coef, zero8, 40, 0, 3, 1024);

    // Filterbank, long-term and frequency-domain prediction.
    nullEach(okvsMDCTInv_AAC_32s16s, d, out, ov, 9, 9, 9, 9);
    nullEach(okvsMDCTInv_AAC_32s_I, d, ov, 9, 9, 9, 9);
    nullEach(okvsMDCTFwd_AAC_32s_I, d, 9, 9, 9, 9);
    nullEach(okvsMDCTFwd_AAC_32s, d, e, d, 9, 9, 9, work);
    nullEach(okvsLongTermPredict_AAC_32s, d, e, &ltp, 9);
    nullEach(okvsLongTermReconstruct_AAC_32s, d, e, ltp.ltpLongUsed, 9, 99);
    nullEach(okvsLtpUpdate_AAC_32s, e, d, 9, 9, 9, work);
    nullEach(okvsDecodeMsStereo_AAC_32s_I, d, e, 9, ms.data(), cb.data(), 9, g1, 99, 99, 9);
    nullEach(okvsDecodeIsStereo_AAC_32s, d, e, sf.data(), cb.data(), 9, g1, 99, 99, 9);
    nullEach(okvsDeinterleaveSpectrum_AAC_32s, d, e, 9, g1, 99, 99, 9);
    const std::pair<StatusCode, std::function<StatusCode()>> plain[] = {
        {okvErrAacWinSeq, [=] { return okvsMDCTInv_AAC_32s16s(d, out, ov, 4, 9, 9, 9); }},
        {okvErrAacWinShape, [=] { return okvsMDCTInv_AAC_32s16s(d, out, ov, 3, 0, 2, 9); }},
        {okvErrAacPcmStep, [=] { return okvsMDCTInv_AAC_32s16s(d, out, ov, 3, 0, 1, 0); }},
        {okvErrSize, [=] { return okvsMDCTInv_AAC_32s_I(d, ov, 0, 0, 0, 2048); }},
        {okvErrSize, [=] { return okvsMDCTFwd_AAC_32s_I(d, 0, 0, 0, 1024); }},
        {okvErrAacWinShape, [=] { return okvsMDCTFwd_AAC_32s_I(d, 0, 2, 0, 1024); }},
        {okvErrAacWinSeq, [=] { return okvsMDCTFwd_AAC_32s(d, e, d, 5, 0, 0, work); }},
        {okvErrAacWinSeq, [=, &ltp] { return okvsLongTermPredict_AAC_32s(d, e, &ltp, 4); }},
        {okvErrAacSmplRate, [=, &ltp] { return okvsLongTermReconstruct_AAC_32s(d, e, ltp.ltpLongUsed, 0, 12); }},
        {okvErrAacWinShape, [=] { return okvsLtpUpdate_AAC_32s(e, d, 0, 2, 0, work); }},
        {okvErrAacWinShape, [=] { return okvsLtpUpdate_AAC_32s(e, d, 0, 0, 2, work); }},
        // Six 64-byte-aligned arrays of len floats and two 64-byte headers: 89478464 values take
        // 2147483264 bytes, one more would not fit an int.
        {okvErrSize, [&] { return okvsFDPGetSize_32f(0, &n); }},
        {okvOk, [&] { return okvsFDPGetSize_32f(89478464, &n); }},
        {okvErrSize, [&] { return okvsFDPGetSize_32f(89478465, &n); }},
    };
    for (const auto& [want, f] : plain) add(want, f);
    FDPState* fdp = nullptr;
    ASSERT_EQ(okvsFDPInitAlloc_32f(&fdp, 8), okvOk);
    const int bandOff[2] = {0, 8};
    const Okv8u flag[1] = {1};
    float* y = reinterpret_cast<float*>(d);
    nullEach(okvsFDPResetSfb_32f, bandOff, 1, flag, fdp);
    nullEach(okvsFDPInv_32f_I, y, bandOff, 1, flag, fdp);
    nullEach(okvsFDPFwd_32f, y, y, fdp);
    add(okvErrSize, [=] { return okvsFDPResetSfb_32f(bandOff, 0, flag, fdp); });
    add(okvErrSize, [=] { return okvsFDPInv_32f_I(y, bandOff, 0, flag, fdp); });
    add(okvErrSize, [=] { return okvsFDPResetGroup_32f(-1, 1, fdp); });
    add(okvErrStep, [=] { return okvsFDPResetGroup_32f(0, 0, fdp); });
    add(okvErrNullPtr, [=] { return okvsFDPInit_32f(nullptr, 8, y); });

    // Noiseless decoding (LC, then the MPEG-4 decoder with its own order).
    const auto lc = [&](int common) {
        return okvsNoiselessDecoder_LC_AAC(&p, &off, common, &c.ci, c.sf, c.spec, c.cb, c.tns);
    };
    const auto mp4 = [&](int seq, int maxSfb, int common, int scal, int aot) {
        return okvsNoiselessDecode_AAC(&p, &off, &c.hdr, c.sf, c.spec, c.cb, c.tns, &c.ci, seq, maxSfb, common, scal,
                                       aot);
    };
    add(okvErrNullPtr, with(&c.ci.pIcsInfo, (AACIcsInfo*)nullptr, [=] { return lc(2); }));
    add(okvErrAacBitOffset, with(&off, 8, [=] { return lc(2); }));
    add(okvErrAacComWin, [=] { return lc(2); });
    add(okvErrAacSmplRate, with(&c.ci.samplingRateIndex, 12, [=] { return lc(0); }));
    add(okvErrAacPredSfb, with(&c.ci.predSfbMax, 1, [=] { return lc(0); }));
    add(okvErrNullPtr, with(&c.ci.pIcsInfo, (AACIcsInfo*)nullptr, [=] { return mp4(4, 52, 2, 0, 17); }));
    add(okvErrAacBitOffset, with(&off, 8, [=] { return mp4(4, 52, 2, 1, 17); }));
    add(okvErrNullPtr, with(&c.ci.pIcsInfo, (AACIcsInfo*)nullptr, [=] { return mp4(4, 52, 2, 2, 17); }));
    const struct { int seq, common, scal, aot; StatusCode want; } mp4Rows[] = {  // maxSfb 52
        {4, 2, 2, 17, okvErrAacComWin},   {4, 0, 2, 17, okvErrAacWinSeq},  {3, 0, 2, 17, okvErrAacScalable},
        {3, 0, 0, 17, okvErrAacObjType},  {3, 0, 0, -1, okvErrAacObjType}, {3, 0, 0, 16, okvErrAacMaxSfb}};
    for (const auto& k : mp4Rows) add(k.want, [=] { return mp4(k.seq, 52, k.common, k.scal, k.aot); });
    add(okvErrAacSmplRate, with(&c.ci.samplingRateIndex, 12, [=] { return mp4(3, 51, 0, 0, 16); }));
    nullEach(okvsDecodeChanPairElt_AAC, &p, &off, &c.ics, &cpe, 0);
    for (int pred : {41, 42})  // a zero stream: no common window, one bit read
        add(pred > 41 ? okvErrAacPredSfb : okvOk,
            [&, pred] { return okvsDecodeChanPairElt_AAC(&p, &off, &c.ics, &cpe, pred); }, pred > 41 ? 0 : 1);
    nullEach(okvsDecodeChanPairElt_MP4_AAC, &p, &off, &c.ics, &cpe, &mh, 99, 99);
    nullEach(okvsNoiselessDecoder_LC_AAC, &p, &off, 0, &c.ci, c.sf, c.spec, c.cb, c.tns);
    nullEach(okvsNoiselessDecode_AAC, &p, &off, &c.hdr, c.sf, c.spec, c.cb, c.tns, &c.ci, 0, 0, 0, 0, 2);
    // No stream behind the cursor.
    add(okvErrNullPtr, [&] { return okvsDecodeChanPairElt_MP4_AAC(&none, &off, &c.ics, &cpe, &mh, 0, 2); });
    add(okvErrNullPtr, [&] { return okvsDecodeChanPairElt_AAC(&none, &off, &c.ics, &cpe, 0); });
    add(okvErrNullPtr, [&] { return okvsNoiselessDecoder_LC_AAC(&none, &off, 0, &c.ci, c.sf, c.spec, c.cb, c.tns); });
    add(okvErrNullPtr, [&] {
        return okvsNoiselessDecode_AAC(&none, &off, &c.hdr, c.sf, c.spec, c.cb, c.tns, &c.ci, 0, 0, 0, 0, 2);
    });
    // A common window's layout from the caller (LC: the ICS record, MPEG-4: the header's groups) at 96 kHz.
    const struct { int seq, maxSfb, groups; std::vector<int> lens; StatusCode want; } common[] = {
        {4, 0, 1, {1}, okvErrAacWinSeq},     {0, 52, 1, {1}, okvErrAacMaxSfb},   {0, -1, 1, {1}, okvErrAacMaxSfb},
        {0, 0, 2, {1, 1}, okvErrAacWinGrp},  {2, 3, 2, {4, 3}, okvErrAacWinGrp},
        {2, 3, 9, std::vector(8, 1), okvErrAacWinGrp},
        {2, 3, 2, {9, -1}, okvErrAacWinGrp}, {2, 13, 2, {4, 4}, okvErrAacMaxSfb},  // 12 short bands
    };
    for (const auto& k : common)
        for (const bool isLc : {true, false}) {
            if (!isLc && (k.seq > 3 || k.maxSfb < 0 || k.maxSfb > 51)) continue;
            add(k.want, with(&c.ci.samplingRateIndex, 0, [=, &c] {
                c.ics = AACIcsInfo{};
                c.hdr = AACMainHeader{};
                c.ics.winSequence = k.seq;
                c.ics.maxSfb = k.maxSfb;
                c.ics.numWinGrp = c.hdr.numWinGrp = k.groups;
                std::copy(k.lens.begin(), k.lens.end(), c.ics.lenWinGrp);
                std::copy(k.lens.begin(), k.lens.end(), c.hdr.lenWinGrp);
                return isLc ? lc(1) : mp4(k.seq, k.maxSfb, 1, 1, 2);
            }), 8);
        }

    // Headers and elements.
    AACADTSFrameHeader adts;
    AACADIFHeader adif{};
    add(okvErrNullPtr, [&] { return okvsUnpackADTSFrameHeader_AAC(nullptr, nullptr); });
    add(okvErrNullPtr, [&] { return okvsUnpackADTSFrameHeader_AAC(&none, &adts); });
    add(okvErrNullPtr, [&] { return okvsUnpackADIFHeader_AAC(nullptr, &adif, pce, 1); });
    for (int cap : {0, 17}) add(okvErrAacPrgNum, [&, cap] { return okvsUnpackADIFHeader_AAC(&p, &adif, pce, cap); });
    add(okvErrNullPtr, [&] { return okvsDecodePrgCfgElt_AAC(nullptr, &off, pce); });
    add(okvErrAacBitOffset, with(&off, 8, [&] { return okvsDecodePrgCfgElt_AAC(&p, &off, pce); }));
    add(okvErrNullPtr, [&] { return okvsDecodeFillElt_AAC(&none, &off, &n, ms.data()); });
    nullEach(okvsDecodeFillElt_AAC, &p, &off, &n, ms.data());
    add(okvErrAacBitOffset, with(&off, 8, [&] { return okvsDecodeFillElt_AAC(&p, &off, &n, ms.data()); }));
    add(okvErrNullPtr, [&] { return okvsDecodeDatStrElt_AAC(&none, &off, &tag, &n, ms.data()); });
    nullEach(okvsDecodeDatStrElt_AAC, &p, &off, &tag, &n, ms.data());
    add(okvErrNullPtr, [&] { return okvsDecodeMainHeader_AAC(&p, &off, &mh, 2, 0); });  // no M/S array
    for (int ch : {0, 3}) add(okvErrAacChanNum, [&, ch] { return okvsDecodeMainHeader_AAC(&p, &off, &mh, ch, 0); });
    add(okvErrAacMonoStereo, [&] { return okvsDecodeMainHeader_AAC(&p, &off, &mh, 1, 2); });
    add(okvErrAacBitOffset, with(&off, 8, [&] { return okvsDecodeMainHeader_AAC(&p, &off, &mh, 0, 2); }));
    add(okvErrNullPtr, [&] {
        AACExtHeader h{};
        return okvsDecodeExtensionHeader_AAC(&p, &off, &h, 0, 1, 0, 0, 0, 0);
    });
    const struct { int a[6]; StatusCode want; int bits; } ext[] = {
        {{2, 1, 1, 0, 0, 0}, okvErrAacMonoStereo, 0}, {{1, 2, 2, 0, 0, 0}, okvErrAacStereoLayer, 0},
        {{1, 0, 2, 52, 0, 0}, okvErrAacMonoLayer, 0}, {{1, 0, 1, -1, 0, 4}, okvErrAacMaxSfb, 0},
        {{1, 0, 1, 0, 52, 4}, okvErrAacMaxSfb, 0},    {{1, 0, 1, 0, 51, 4}, okvErrAacWinSeq, 0},
        {{1, 0, 1, 0, 51, 3}, okvErrAacMaxSfb, 6},  // the long maxSfb (61) comes from the stream
    };
    for (const auto& k : ext)
        add(k.want, [&, k] {
            Okv8u* q = extStream.data();
            int o0 = 0;
            const auto& a = k.a;
            const StatusCode st = okvsDecodeExtensionHeader_AAC(&q, &o0, &eh, a[0], a[1], a[2], a[3], a[4], a[5]);
            const bool readTo = (q - extStream.data()) * 8 + o0 == k.bits && (k.bits == 0 || eh.maxSfb == 61);
            return readTo ? st : StatusCode(1000);
        });

    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].call(), rows[i].want) << "row " << i;
        EXPECT_EQ((p - stream.data()) * 8 + off, rows[i].bitsRead) << "row " << i << ": the cursor moved";
        p = stream.data();
        off = 0;
    }
    okvsFDPFree_32f(fdp);
    EXPECT_TRUE(x == std::vector<Okv32s>(2048, 5) && r == std::vector<Okv32s>(1024, 5));
    EXPECT_EQ(pcm, std::vector<Okv16s>(2048, 5));
}
