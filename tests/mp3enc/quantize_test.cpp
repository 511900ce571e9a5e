// Layer III quantiser: the band quantiser against libm, the table choice
// against brute force, and whole frames packed and decoded back through the decoder's exports.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mp3/mp3_test_util.h"
#include "mp3/psy_state.h"
#include "mp3/quantize_band.h"
#include "mp3/quantize_bits.h"

using namespace mp3test;
namespace q = okv_u8::mp3q;

// y^(3/4) exact below 1025, monotonic and within the pieces' accuracy above; whole bands within one
// step of nint((x 2^-26 / 2^(s/4))^0.75 - 0.0946).
TEST(Mp3EncQuantize, BandQuantiserAgainstLibm) {
    for (int y = 0, prev = 0; y < 200000; prev = q::powThreeQuarters(y++)) {
        const int v = q::powThreeQuarters(y);
        if (y <= 1024) { ASSERT_EQ(v, int(std::floor(std::pow(y, 0.75) + 0.4054))) << y; }
        ASSERT_GE(v, prev) << y;
        ASSERT_LE(std::fabs(v - (y >= 165109 ? 8192 : std::pow(y, 0.75))), y >= 165109 ? 0 : 12) << y;
    }
    std::mt19937_64 rng(11);
    for (int it = 0; it < 20000; ++it) {
        const Okv32s x = Okv32s(((rng() >> 32) >> (rng() % 21 + 1)) | 1024);  // from 2^10: y keeps its precision
        const int s = int(rng() % 200) - 150;
        Okv32s v;
        q::quantizeBand(&x, 1, s, &v);
        const double ref = std::pow(x / 67108864.0 / std::pow(2.0, s / 4.0), 0.75) - 0.0946;
        if (ref <= 8000) { ASSERT_LE(std::fabs(v - std::max(0.0, std::nearbyint(ref))), ref < 100 ? 1 : 0.01 * ref + 1) << x << " " << s; }
    }
}

// The bits reported are the chosen table's; below 15 the cheapest table of the first row length
// that fits (later wins ties), above it the cheaper of the two escape families' first fits.
TEST(Mp3EncQuantize, TableChoiceAgainstBruteForce) {
    std::mt19937 rng(12);
    for (int it = 0; it < 4000; ++it) {
        const int n = 2 + 2 * int(rng() % 100);
        const int cap = std::vector<int>{1, 2, 3, 5, 7, 14, 15, 16, 40, 300, 8191}[rng() % 11];
        std::vector<Okv32s> v(n);
        for (auto& x : v) x = rng() % 3 ? int(rng() % (cap + 1)) : int(rng() % 2);
        const int m = *std::max_element(v.begin(), v.end());
        int bits = -1;
        const int chosen = q::chooseTable(v.data(), n, &bits);
        auto cost = [&](int ts) {
            int c = 0;
            for (int i = 0; i < n; i += 2) c += q::pairBits(v.data() + i, 2, ts);
            return c;
        };
        int best = m ? 1 : 0, a = 16, b = 24;
        while (m && m < 15 && kXlen[best] <= m) ++best;
        for (int ts = best + 1; m && m < 15 && ts < 16; ++ts)
            if (kXlen[ts] == kXlen[best] && cost(ts) <= cost(best)) best = ts;
        while ((1 << kLinbits[a]) <= m - 15) ++a;
        while ((1 << kLinbits[b]) <= m - 15) ++b;
        ASSERT_EQ(chosen, m < 15 ? best : cost(b) < cost(a) ? b : a) << it;
        if (m) { ASSERT_EQ(cost(chosen), bits) << it; }
    }
}

// Frames at every version, mono and stereo (joint with intensity), long and short blocks, levels
// from silence to overload: every granule fits 4095 bits, packs to exactly part2_3_length bits and
// decodes to the quantised values; caller intensity positions of long blocks stay; the reservoir
// stays within 0..max in whole bytes and takes all of a silent frame's rest.
TEST(Mp3EncQuantize, FramesPackAndDecodeWithinBudgets) {
    std::mt19937 rng(13);
    for (int id = 0; id <= 1; ++id)
        for (int mode : {0, 1, 3})
            for (int bitrate = 1; bitrate <= 14; bitrate += 3)
                for (const auto& types : std::vector<std::vector<int>>{{0}, {2}, {1, 2, 2, 3}})
                    for (double level : {0.0, 0.001, 0.3, 20.0}) {
                        const MP3FrameHeader h = header(id, mode, rng() % 3, mode == 1);
                        const int nch = mode == 3 ? 1 : 2, rec = nch * (id ? 2 : 1);
                        const int meanBits = bitrate * (id ? 280 : 140) - (id ? (nch == 1 ? 136 : 256) : (nch == 1 ? 72 : 136));
                        std::vector<Okv32s> quant(576 * rec);
                        std::vector<Okv8s> sf(40 * rec, 0);
                        std::vector<MP3SideInfo> si(rec);
                        std::vector<MP3PsyRatio> ratio(rec);
                        for (int r = 0; r < rec; ++r) {
                            for (int i = 0; i < 576; ++i)  // tones over noise, falling with frequency
                                quant[576 * r + i] = Okv32s(level * 67108864.0 / (1 + i / 20.0) * ((int(rng() % 2001) - 1000) / 1000.0) * (i % 37 == 5 ? 8 : 1));
                            si[r].block_type = types[r % types.size()];
                            si[r].window_switching_flag = si[r].block_type != 0;
                            for (int& x : ratio[r].ratio) x = int(rng() % 20000000);
                            ratio[r].pe = int(rng() % 2500);
                            for (int i = si[r].block_type == 2 ? 24 : 15; (r & 1) && mode == 1 && i < 39; ++i) sf[40 * r + i] = Okv8s(rng() % 7);
                        }
                        const std::vector<Okv8s> stored = sf;
                        std::vector<int> count1(rec), huf(rec), scfsi(8), work(OKV_MP3_QUANT_WORK_LEN);
                        okv_u8::Mp3PsyStateHead state{{0, 2}};
                        const int isBound[6] = {15, 8, 8, 15, 8, 8};
                        MP3BitReservoir resv{int(rng() % 256) * 8, 4088};
                        const int before = resv.resvSize;
                        ASSERT_EQ(okvsQuantize_MP3_32s_I(quant.data(), sf.data(), scfsi.data(), count1.data(), huf.data(), &h, si.data(),
                                                         ratio.data(), reinterpret_cast<const Okv8u*>(&state), &resv, meanBits, isBound, work.data()),
                                  okvOk);
                        int used = 0;
                        for (int r = 0; r < rec; ++r) {
                            ASSERT_LE(si[r].part2_3_length, 4095);
                            used += si[r].part2_3_length;
                            for (int i = 15; (r & 1) && mode == 1 && si[r].block_type != 2 && i < 21; ++i)
                                EXPECT_EQ(sf[40 * r + i], stored[40 * r + i]) << "record " << r << " band " << i;
                            std::vector<Okv8u> buf(1200, 0);
                            Okv8u *p = buf.data(), *pq = buf.data();
                            int off = 0, qo = 0, bound;
                            MP3SideInfo s = si[r];
                            const int noScfsi[4] = {};
                            ASSERT_EQ(okvsPackScaleFactors_MP3_8s1u(sf.data() + 40 * r, &p, &off, &h, &s, noScfsi, r / nch, r % nch), okvOk);
                            const long scfBits = bitPos(buf.data(), p, off);
                            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(quant.data() + 576 * r, &p, &off, &h, &s, count1[r], huf[r]),
                                      id ? okvOk : okvErrMp3FrameHeader);
                            if (!id) continue;
                            ASSERT_EQ(bitPos(buf.data(), p, off), si[r].part2_3_length) << "record " << r;
                            Okv8s back[40];
                            ASSERT_EQ(okvsUnpackScaleFactors_MP3_1u8s(&pq, &qo, back, &s, noScfsi, &h, r / nch, r % nch), okvOk);
                            ASSERT_EQ(bitPos(buf.data(), pq, qo), scfBits);
                            for (int i = 0; i < (si[r].block_type == 2 ? 36 : 21); ++i) ASSERT_EQ(back[i], sf[40 * r + i]);
                            Okv32s lines[576];
                            ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&pq, &qo, lines, &bound, &s, &h, si[r].part2_3_length - int(scfBits)), okvOk);
                            ASSERT_EQ(std::vector<Okv32s>(lines, lines + 576), std::vector<Okv32s>(quant.begin() + 576 * r, quant.begin() + 576 * (r + 1)));
                        }
                        ASSERT_GE(meanBits - used + before, 0) << "the frame used more than it and the reservoir hold";
                        EXPECT_EQ(resv.resvSize % 8, 0);
                        EXPECT_LE(resv.resvSize, resv.resvMaxSize);
                        EXPECT_GE(resv.resvSize, 0);
                        if (level == 0) { EXPECT_EQ(resv.resvSize, std::min((meanBits - used + before) & ~7, 4088)); }
                    }
}

// Quantised noise requantised by the decoder: with about 9 bits a line the noise stays far under
// the ratios (-20 dB), the budget is spent. Then the refusals.
TEST(Mp3EncQuantize, RequantisedSpectrumSpendsTheBudget) {
    std::mt19937 rng(14);
    const MP3FrameHeader h = header(1, 3, 0);
    std::vector<Okv32s> xr(1152, 0);
    for (int i = 0; i < 1152; ++i) xr[i] = i % 576 < 418 ? Okv32s(std::normal_distribution<double>(0, 1 << 24)(rng)) : 0;
    const std::vector<Okv32s> orig = xr;
    std::vector<Okv8s> sf(160);
    std::vector<int> scfsi(8), count1(4), huf(4), work(OKV_MP3_QUANT_WORK_LEN);
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4];
    for (auto& r : ratio) std::fill(r.ratio, r.ratio + 36, 21474836), r.pe = 1000;
    okv_u8::Mp3PsyStateHead state{};
    MP3BitReservoir resv{0, 4088};
    const int bound[6] = {};
    auto quantize = [&](const MP3FrameHeader& hh, int* wk) {
        return okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi.data(), count1.data(), huf.data(), &hh, si, ratio,
                                      reinterpret_cast<const Okv8u*>(&state), &resv, 8000, bound, wk);
    };
    ASSERT_EQ(quantize(h, work.data()), okvOk);
    for (int gr = 0; gr < 2; ++gr) {
        std::vector<Okv32s> spec(1152, 0), w(576);
        std::copy(xr.begin() + 576 * gr, xr.begin() + 576 * gr + 576, spec.begin());
        int nz[2] = {576, 0};
        MP3SideInfo s2[2] = {si[gr], si[gr]};
        ASSERT_EQ(okvsReQuantize_MP3_32s_I(spec.data(), nz, sf.data() + 40 * gr, s2, &h, w.data()), okvOk);
        double sig = 0, err = 0;
        for (int i = 0; i < 418; ++i) {
            const double a = orig[576 * gr + i], b = spec[i];
            sig += a * a, err += (a - b) * (a - b);
        }
        EXPECT_GT(10 * std::log10(sig / err), 35) << "granule " << gr;
    }
    EXPECT_EQ(quantize(h, nullptr), okvErrNullPtr);
    EXPECT_EQ(quantize(header(1, 0, 3), work.data()), okvErrMp3FrameHeader);
    EXPECT_EQ(quantize(header(2, 0, 0), work.data()), okvErrMp3FrameHeader);
    si[3].window_switching_flag = 1, si[3].mixed_block_flag = 1, si[3].block_type = 2;
    EXPECT_EQ(quantize(header(1, 0, 0), work.data()), okvErrMp3SideInfo);
}
