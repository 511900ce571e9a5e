// AAC long-term prediction: a periodic signal through the forward transform, the history update
// and the prediction against the filterbank's own output; reconstruction against the standard
// band tables; every lag against the rule.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "aac/syntax_stream.h"

namespace {

using Vec = std::vector<Okv32s>;

// Forward transform of a frame as an encoder makes it: one 2048-sample call, or eight 256
// calls on the blocks at first + step w for EIGHT_SHORT.
Vec spectrum(const Vec& t, int seq, int shape, int prev, int first, int step) {
    Vec x(1024), work(2048);
    for (int w = 0; w < (seq == 2 ? 8 : 1); ++w)
        EXPECT_EQ(okvsMDCTFwd_AAC_32s(t.data() + (seq == 2 ? first + step * w : 0), x.data() + 128 * w, t.data(), seq, shape, w ? shape : prev, work.data()), okvOk);
    return x;
}

}  // namespace

// A random walk over legal window sequences and shapes of a signal of period 128 at eight times
// the PCM scale. Each frame's spectrum goes through the PCM filterbank and the history update:
// the history's last frame must be eight times the PCM within its rounding. From frame 4 on the
// frame is first predicted at lags that are multiples of the period (short windows: moved to
// each window's place, reading only the reconstructed part), transformed and compared.
TEST(AacLtp, HistoryFollowsFilterbankAndPredictsPeriodicSignal) {
    std::mt19937 rng(12);
    Vec history(3072, 0), work(6144), overlap(1024, 0), block(2048), pred(2048);
    std::vector<Okv16s> pcm(1024);
    std::set<int> combos;
    for (int f = 0, seq = 0, shape = 0, prev = 0; f < 200; ++f) {
        for (int n = 0; n < 2048; ++n) {
            const double x = 2 * M_PI * double((1024 * f + n) % 128) / 128;
            block[size_t(n)] = int32_t(std::lround(8 * (9000 * std::sin(x) + 6000 * std::sin(3 * x + 1) + 4000 * std::sin(7 * x + 2))));
        }
        const Vec x = spectrum(block, seq, shape, prev, 448, 128);
        for (int lag = 1920; f >= 4 && lag <= 2048; lag += 128) {
            AACLtpData ltp{};
            ltp.ltpCoef = 16384, ltp.ltpLag = lag;
            for (int w = 0; w < 8; ++w) ltp.ltpShortUsed[w] = 1, ltp.ltpShortLag[w] = 64 - 128 * w + lag;
            ASSERT_EQ(okvsLongTermPredict_AAC_32s(history.data(), pred.data(), &ltp, seq), okvOk);
            const Vec p = spectrum(pred, seq, shape, prev, 0, 256);
            double e = 0, s = 0;
            for (size_t k = 0; k < 1024; ++k) e += std::pow(double(p[k]) - x[k], 2), s += std::pow(x[k], 2);
            EXPECT_LT(10 * std::log10(e / s), -25) << "frame " << f << " sequence " << seq << " shapes " << shape << prev;
            combos.insert(seq * 4 + shape * 2 + prev);
        }
        ASSERT_EQ(okvsLtpUpdate_AAC_32s(x.data(), history.data(), seq, shape, prev, work.data()), okvOk);
        Vec xi = x;
        ASSERT_EQ(okvsMDCTInv_AAC_32s16s(xi.data(), pcm.data(), overlap.data(), seq, shape, prev, 1), okvOk);
        for (size_t n = 0; n < 1024; ++n) ASSERT_LE(std::abs(history[1024 + n] - 8 * pcm[n]), 4) << f << " " << n;
        // ONLY_LONG and LONG_STOP go on long or start, LONG_START and EIGHT_SHORT short or stop.
        const int shortNext = int(rng() % 2);
        prev = shape, shape = int(rng() % 2), seq = (seq == 0 || seq == 3) ? shortNext : 3 - shortNext;
    }
    EXPECT_EQ(combos.size(), 16u) << "every sequence and shape pair predicted";
}

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
                for (int b = 0; b < 40 && seq != 2; ++b) in |= flags[b + 1] && k >= lng[rate][b] && k < lng[rate][b + 1];
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
            if (!isShort || ltp.ltpShortUsed[i / 256]) want[size_t(i)] = j < 3072 ? int32_t((int64_t(h[size_t(j)]) * ltp.ltpCoef) >> 14) : 0;
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
