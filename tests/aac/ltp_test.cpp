// AAC long-term prediction: a periodic signal through the forward transform, the history
// update and the prediction, against the filterbank's own output; reconstruction against
// the standard band tables; the lag limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "okvac.h"

namespace {

constexpr int kPeriod = 128;

// A signal of period 128 at eight times the PCM scale, peaking near 8 x 20000.
int32_t periodic(int64_t n)
{
    const double x = 2 * M_PI * double(n % kPeriod) / kPeriod;
    return int32_t(std::lround(8 * (9000 * std::sin(x) + 6000 * std::sin(3 * x + 1) + 4000 * std::sin(7 * x + 2))));
}

// Forward transform of the 2048-sample block of frame f (samples 1024 (f - 1) on), as an
// encoder makes it: one 2048 call, or eight 256 calls for EIGHT_SHORT.
void frameSpectrum(const std::vector<int32_t>& block, int seq, int shape, int prev, Okv32s* x)
{
    std::vector<Okv32s> work(2048);
    if (seq != 2) {
        ASSERT_EQ(okvsMDCTFwd_AAC_32s(block.data(), x, block.data(), seq, shape, prev, work.data()), okvOk);
        return;
    }
    for (int w = 0; w < 8; ++w)
        ASSERT_EQ(okvsMDCTFwd_AAC_32s(block.data() + 448 + 128 * w, x + 128 * w, block.data(), 2, shape, w ? shape : prev,
                                      work.data()),
                  okvOk);
}

double errorDb(const Okv32s* got, const Okv32s* want, int n)
{
    double e = 0, s = 0;
    for (int i = 0; i < n; ++i) {
        const double d = double(got[i]) - want[i];
        e += d * d;
        s += double(want[i]) * want[i];
    }
    return 10 * std::log10(e / s);
}

}  // namespace

// A random walk over legal window sequences and shapes. Each frame's spectrum goes through
// the PCM filterbank and through the history update: the history's last frame must be eight
// times the PCM within the PCM rounding. From frame 3 on, the next frame is predicted at lags
// that are multiples of the period (for short windows the lag also moves each window to its
// place), forward-transformed with the next frame's sequence and shapes and compared with
// that frame's spectrum.
TEST(AacLtp, HistoryFollowsFilterbankAndPredictsPeriodicSignal)
{
    std::mt19937 rng(12);
    std::vector<Okv32s> history(3072, 0), work(6144), overlap(1024, 0), x(1024), xi(1024), pred(2048), predSpec(1024);
    std::vector<Okv16s> pcm(1024);
    std::vector<int32_t> block(2048);
    std::set<int> combos;
    int seq = 0, shape = 0, prev = 0, checkedPcm = 0;
    double worst = -1000;
    for (int f = 0; f < 400; ++f) {
        for (int n = 0; n < 2048; ++n) block[size_t(n)] = periodic(1024 * int64_t(f) + n + 1024 * 1000);
        frameSpectrum(block, seq, shape, prev, x.data());
        if (f >= 3) {  // predict frame f from the history of frames up to f - 1
            for (int lagBase : {1920, 2048}) {
                AACLtpData ltp{};
                ltp.ltpDataPresent = 1;
                ltp.ltpCoef = 16384;
                ltp.ltpLag = lagBase;
                if (seq == 2) {
                    // Window w of frame f starts at history 2496 + 128 w less the lag; the read
                    // must stay in the reconstructed part, below 2048.
                    for (int w = 0; w < 8; ++w) {
                        ltp.ltpShortUsed[w] = 1;
                        ltp.ltpShortLag[w] = 320 - 128 * w + lagBase - 256;
                    }
                }
                ASSERT_EQ(okvsLongTermPredict_AAC_32s(history.data(), pred.data(), &ltp, seq), okvOk);
                std::vector<int32_t> p(pred.begin(), pred.end());
                if (seq != 2) {
                    frameSpectrum(p, seq, shape, prev, predSpec.data());
                } else {
                    for (int w = 0; w < 8; ++w)
                        ASSERT_EQ(okvsMDCTFwd_AAC_32s(p.data() + 256 * w, predSpec.data() + 128 * w, p.data(), 2, shape,
                                                      w ? shape : prev, work.data()),
                                  okvOk);
                }
                const double db = errorDb(predSpec.data(), x.data(), 1024);
                worst = std::max(worst, db);
                EXPECT_LT(db, -25) << "frame " << f << " sequence " << seq << " shapes " << shape << prev << " lag "
                                   << lagBase;
            }
            combos.insert(seq * 4 + shape * 2 + prev);
        }
        ASSERT_EQ(okvsLtpUpdate_AAC_32s(x.data(), history.data(), seq, shape, prev, work.data()), okvOk);
        xi = x;
        ASSERT_EQ(okvsMDCTInv_AAC_32s16s(xi.data(), pcm.data(), overlap.data(), seq, shape, prev, 1), okvOk);
        if (f >= 1)
            for (int n = 0; n < 1024; ++n) {
                if (std::abs(pcm[size_t(n)]) >= 32767) continue;
                ASSERT_LE(std::abs(history[1024 + size_t(n)] - 8 * pcm[size_t(n)]), 4) << "frame " << f << " sample " << n;
                ++checkedPcm;
            }
        // The next frame: ONLY_LONG and LONG_STOP go on long or start; LONG_START and
        // EIGHT_SHORT go on short or stop.
        const bool shortNext = rng() % 2;
        prev = shape;
        shape = int(rng() % 2);
        seq = (seq == 0 || seq == 3) ? (shortNext ? 1 : 0) : (shortNext ? 2 : 3);
    }
    std::printf("  worst prediction error %.1f dB, %d PCM samples checked\n", worst, checkedPcm);
    EXPECT_EQ(combos.size(), 16u) << "every sequence and shape pair predicted";
    EXPECT_GT(checkedPcm, 390 * 1000);
}

// Reconstruction adds the prediction in the flagged bands only: long windows over bands 0..39
// of the rate, short windows over the first eight bands of each flagged window, 32-bit
// wrapping; compared with the standard band tables at every rate.
TEST(AacLtp, ReconstructAddsFlaggedBandsOfEveryRate)
{
    const std::string dir = std::string(OKV_SHARED_DIR) + "/tables/aac/";
    auto offsets = [&](const char* file) {
        std::vector<std::vector<int>> rows;
        std::ifstream in(dir + file);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream ls(line);
            int idx, hz, n;
            ls >> idx >> hz >> n;
            std::vector<int> off(size_t(n) + 1);
            for (int& o : off) ls >> o;
            rows.push_back(off);
        }
        return rows;
    };
    const auto lng = offsets("swb_offset_long.txt"), shrt = offsets("swb_offset_short.txt");
    if (lng.size() != 12 || shrt.size() != 12) GTEST_SKIP() << "band tables not found under " << dir;
    std::mt19937 rng(5);
    for (int rate = 0; rate < 12; ++rate)
        for (int seq = 0; seq < 4; ++seq)
            for (int trial = 0; trial < 4; ++trial) {
                std::vector<Okv32s> pred(1024), x(1024), want(1024);
                for (int k = 0; k < 1024; ++k) pred[size_t(k)] = int32_t(rng()), x[size_t(k)] = int32_t(rng());
                int flags[41] = {};
                for (int& fl : flags) fl = trial == 3 ? 1 : int(rng() % 2);
                want = x;
                auto add = [&](int from, int to) {
                    for (int k = from; k < to; ++k)
                        want[size_t(k)] = int32_t(uint32_t(want[size_t(k)]) + uint32_t(pred[size_t(k)]));
                };
                if (seq != 2) {
                    for (int b = 0; b < 40; ++b)
                        if (flags[b + 1]) add(lng[size_t(rate)][size_t(b)], lng[size_t(rate)][size_t(b) + 1]);
                } else {
                    for (int w = 0; w < 8; ++w)
                        if (flags[w]) add(128 * w, 128 * w + shrt[size_t(rate)][8]);
                }
                ASSERT_EQ(okvsLongTermReconstruct_AAC_32s(pred.data(), x.data(), flags, seq, rate), okvOk);
                EXPECT_EQ(x, want) << "rate " << rate << " sequence " << seq << " trial " << trial;
            }
    std::vector<Okv32s> a(1024), b(1024);
    int flags[41] = {};
    EXPECT_EQ(okvsLongTermReconstruct_AAC_32s(a.data(), b.data(), flags, 4, 3), okvErrAacWinSeq);
    EXPECT_EQ(okvsLongTermReconstruct_AAC_32s(a.data(), b.data(), flags, 0, 12), okvErrAacSmplRate);
    EXPECT_EQ(okvsLongTermReconstruct_AAC_32s(a.data(), b.data(), flags, -1, 3), okvErrAacWinSeq);
}

// Every long lag from below zero to past 2048 and every short lag near its limit, against the
// rule: reads inside the history, zeros past its end, okvErrSize (nothing written) when a
// read would start before it. Large samples check the 64-bit product kept to 32 bits.
TEST(AacLtp, PredictionLagSweep)
{
    std::mt19937 rng(3);
    std::vector<Okv32s> h(3072);
    for (auto& v : h) v = int32_t(rng());
    const Okv16s coefs[] = {22438, -9352, 16384};
    auto expect = [&](int64_t start, int len, int coef, const Okv32s* got, const std::string& what) {
        for (int i = 0; i < len; ++i) {
            const int64_t j = start + i;
            const int32_t want = j < 3072 ? int32_t((int64_t(h[size_t(j)]) * coef) >> 14) : 0;
            ASSERT_EQ(got[i], want) << what << " sample " << i;
        }
    };
    for (Okv16s coef : coefs)
        for (int lag = -1100; lag <= 2100; ++lag) {
            AACLtpData ltp{};
            ltp.ltpLag = lag;
            ltp.ltpCoef = coef;
            std::vector<Okv32s> out(2048, 77);
            const StatusCode st = okvsLongTermPredict_AAC_32s(h.data(), out.data(), &ltp, lag % 2 ? 0 : 3);
            if (lag > 2048) {
                ASSERT_EQ(st, okvErrSize) << lag;
                ASSERT_EQ(out, std::vector<Okv32s>(2048, 77)) << lag;
                continue;
            }
            ASSERT_EQ(st, okvOk) << lag;
            expect(2048 - lag, 2048, coef, out.data(), "long lag " + std::to_string(lag));
        }
    for (int lag = -300; lag <= 2830; lag += 7) {
        AACLtpData ltp{};
        ltp.ltpCoef = 22438;
        for (int w = 0; w < 8; ++w) {
            ltp.ltpShortUsed[w] = w % 3 != 1;
            ltp.ltpShortLag[w] = lag + (w == 5 ? 6 : 0);  // one window crosses the limit a step later
        }
        std::vector<Okv32s> out(2048, 77);
        const StatusCode st = okvsLongTermPredict_AAC_32s(h.data(), out.data(), &ltp, 2);
        if (lag + 6 > 2816) {
            ASSERT_EQ(st, okvErrSize) << lag;
            ASSERT_EQ(out, std::vector<Okv32s>(2048, 77)) << lag;
            continue;
        }
        ASSERT_EQ(st, okvOk) << lag;
        for (int w = 0; w < 8; ++w) {
            const std::string what = "short lag " + std::to_string(lag) + " window " + std::to_string(w);
            if (ltp.ltpShortUsed[w]) expect(2816 - ltp.ltpShortLag[w], 256, 22438, out.data() + 256 * w, what);
            else ASSERT_EQ(std::vector<Okv32s>(out.begin() + 256 * w, out.begin() + 256 * (w + 1)), std::vector<Okv32s>(256, 77)) << what;
        }
    }
    AACLtpData far{};  // an unused window's lag is never looked at
    far.ltpShortLag[2] = 100000;
    std::vector<Okv32s> out(2048);
    EXPECT_EQ(okvsLongTermPredict_AAC_32s(h.data(), out.data(), &far, 2), okvOk);
    EXPECT_EQ(okvsLongTermPredict_AAC_32s(h.data(), out.data(), &far, 4), okvErrAacWinSeq);
    EXPECT_EQ(okvsLtpUpdate_AAC_32s(out.data(), h.data(), 0, 2, 0, out.data()), okvErrAacWinShape);
    EXPECT_EQ(okvsLtpUpdate_AAC_32s(out.data(), h.data(), 0, 0, -1, out.data()), okvErrAacWinShape);
}
