// AAC long-term prediction: reconstruction against the shared band tables, every lag against
// the rule (the history update is checked with the filterbank).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "aac/syntax_stream.h"

using Vec = std::vector<Okv32s>;

// Reconstruction adds (wrapping) in the flagged bands only: bands 0..39 of the rate for long
// windows, the first eight bands of each flagged window for short ones. Prediction at every long
// lag from below zero to past 2048 and short lags to past 2816: reads inside the history, zeros
// past its end, okvErrSize with nothing written when a read would start before it; unused short
// windows untouched; the 64-bit product kept to 32 bits.
TEST(AacLtp, ReconstructionAndPredictionAgainstTheRule) {
    const auto lng = aactest::bandOffsets(false), shrt = aactest::bandOffsets(true);
    if (lng.size() != 12 || shrt.size() != 12) GTEST_SKIP() << "band tables not found under " << OKV_SHARED_DIR;
    std::mt19937 rng(5);
    for (int rate = 0; rate < 12; ++rate)
        for (int seq = 0; seq < 4; ++seq) {
            Vec pred(1024), x(1024);
            for (size_t k = 0; k < 1024; ++k) pred[k] = int32_t(rng()), x[k] = int32_t(rng());
            int flags[41];
            for (int& fl : flags) fl = int(rng() % 2);
            Vec want = x;
            for (int k = 0; k < 1024; ++k) {
                bool in = seq == 2 && flags[k / 128] && k % 128 < shrt[rate][8];
                for (int b = 0; b < 40 && seq != 2; ++b)
                    in |= flags[b + 1] && k >= lng[rate][b] && k < lng[rate][b + 1];
                if (in) want[k] = int32_t(uint32_t(want[k]) + uint32_t(pred[k]));
            }
            ASSERT_EQ(okvsLongTermReconstruct_AAC_32s(pred.data(), x.data(), flags, seq, rate), okvOk);
            EXPECT_EQ(x, want) << "rate " << rate << " sequence " << seq;
        }
    Vec h(3072);
    for (auto& v : h) v = int32_t(rng());
    for (int lag = -1100; lag <= 2900; ++lag) {
        const bool isShort = lag % 3 == 0;
        AACLtpData ltp{};
        ltp.ltpLag = lag, ltp.ltpCoef = Okv16s(lag % 2 ? 22438 : -9352);
        for (int w = 0; w < 8; ++w) ltp.ltpShortUsed[w] = w % 3 != 1, ltp.ltpShortLag[w] = lag + (w == 1 ? 9000 : w);
        Vec out(2048, 77), want(2048, 77);
        const StatusCode st = okvsLongTermPredict_AAC_32s(h.data(), out.data(), &ltp, isShort ? 2 : lag % 2 ? 0 : 3);
        const bool refused = lag > (isShort ? 2816 - 6 : 2048);
        for (int i = 0; i < 2048 && !refused; ++i) {
            const int64_t j = isShort ? 2816 - ltp.ltpShortLag[i / 256] + i % 256 : 2048 - lag + i;
            if (isShort && !ltp.ltpShortUsed[i / 256]) continue;  // an unused window's lag points anywhere
            want[size_t(i)] = j < 3072 ? int32_t((int64_t(h[size_t(j)]) * ltp.ltpCoef) >> 14) : 0;
        }
        ASSERT_EQ(st, refused ? okvErrSize : okvOk) << lag;
        ASSERT_EQ(out, want) << "lag " << lag;
    }
    // An update of silent short windows (after any sequence) only moves the history on a frame.
    Vec moved(h.begin() + 1024, h.end()), work(6144);
    moved.resize(3072, 0);
    ASSERT_EQ(okvsLtpUpdate_AAC_32s(Vec(1024, 0).data(), h.data(), 2, 1, 0, work.data()), okvOk);
    EXPECT_EQ(h, moved);
}
