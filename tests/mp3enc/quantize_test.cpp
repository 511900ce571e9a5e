// Layer III quantiser: the band quantiser, the table choice against brute force, and whole frames
// packed and decoded back through the decoder's exports.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "mp3/psy_math.h"
#include "mp3/psy_state.h"
#include "mp3/quantize_band.h"
#include "mp3/quantize_bits.h"
#include "mp3enc_test_util.h"

using mp3enc_test::bitPos;
using mp3enc_test::header;

TEST(Mp3EncQuantize, BandQuantiserExactBelow1025MonotonicAbove) {
    for (int y = 0; y <= 1024; ++y)
        ASSERT_EQ(okv_u8::mp3q::powThreeQuarters(y), (int)std::floor(std::pow(y, 0.75) + 0.4054)) << y;
    int prev = 0;
    for (int y = 1025; y < 200000; ++y) {
        const int v = okv_u8::mp3q::powThreeQuarters(y);
        ASSERT_GE(v, prev) << y;
        if (y >= 165109) {
            ASSERT_EQ(v, 8192);
        } else {
            ASSERT_LE(std::fabs(v - std::pow(y, 0.75)), 12) << y;  // the pieces' accuracy
        }
        prev = v;
    }
    // Whole band: the value nint((x 2^-26 / 2^(s/4))^0.75 - 0.0946) within one step of Y's rounding.
    std::mt19937 rng(11);
    for (int it = 0; it < 20000; ++it) {
        const Okv32s x = (Okv32s)((rng() >> (rng() % 21 + 1)) | 1024);  // from 2^10: y keeps its precision
        const int s = (int)(rng() % 200) - 150;
        Okv32s q;
        okv_u8::mp3q::quantizeBand(&x, 1, s, &q);
        const double ref = std::pow(x / 67108864.0 / std::pow(2.0, s / 4.0), 0.75) - 0.0946;
        if (ref > 8000) continue;
        ASSERT_LE(std::fabs(q - std::max(0.0, std::nearbyint(ref))), ref < 100 ? 1 : 0.01 * ref + 1) << x << " " << s << " " << ref << " " << q;
    }
}

// The encoder's fixed-point helpers against libm over every bit length of their inputs.
TEST(Mp3EncQuantize, FixedPointHelpersAgainstLibm) {
    namespace fx = okv_u8::mp3fx;
    std::mt19937_64 rng(15);
    double worst[3] = {};
    for (int it = 0; it < 64 * 500; ++it) {
        const int len = 1 + it % 64;
        const Okv64u v = (rng() >> (64 - len)) | (1ull << (len - 1));
        Okv32u mant;
        int shift;
        fx::norm64(v, mant, shift);
        ASSERT_GE(mant, 1u << 30) << v;
        ASSERT_LT(std::fabs(std::ldexp((double)mant, 32 - shift) - (double)v), std::ldexp(1.0, 32 - shift)) << v;
        const double root = 32 * std::sqrt((double)v);  // beyond 2^52 the result does not fit 31 bits
        if (len <= 52) worst[0] = std::max(worst[0], (std::fabs(fx::sqrt64(v) - root) - 1) / root);
        if (len > 31) continue;
        const Okv32u x = (Okv32u)v;
        Okv32s rm;
        fx::reciprocal(x, rm, shift);
        worst[1] = std::max(worst[1], std::fabs(std::ldexp((double)rm, shift - 61) * x - 1));
        int ip;
        Okv16s fr;
        fx::log2(x, ip, fr);
        worst[2] = std::max(worst[2], std::fabs(ip + fr / 16384.0 - std::log2((double)x)));
    }
    std::printf("relative error beyond one unit: sqrt %.3g, reciprocal %.3g; log2 absolute error %.3g\n", worst[0], worst[1], worst[2]);
    EXPECT_LT(worst[0], 1.5e-3);
    EXPECT_LT(worst[1], 4e-3);
    EXPECT_LT(worst[2], 1e-2);
}

TEST(Mp3EncQuantize, TableChoiceAgainstBruteForce) {
    std::mt19937 rng(12);
    using mp3enc_test::kXlen;
    const auto& kLin = mp3enc_test::kLinbits;
    for (int it = 0; it < 4000; ++it) {
        const int n = 2 + 2 * (int)(rng() % 100);
        const int cap = std::vector<int>{1, 2, 3, 5, 7, 14, 15, 16, 40, 300, 8191}[rng() % 11];
        std::vector<Okv32s> v(n);
        for (auto& x : v) x = rng() % 3 ? (int)(rng() % (cap + 1)) : (int)(rng() % 2);
        const int m = *std::max_element(v.begin(), v.end());
        int bits = -1;
        const int chosen = okv_u8::mp3q::chooseTable(v.data(), n, &bits);
        if (m == 0) {
            EXPECT_EQ(chosen, 0);
            continue;
        }
        // Costs of the candidates, pair by pair; the choice against all candidates of its kind.
        auto cost = [&](int ts) {
            int c = 0;
            for (int i = 0; i < n; i += 2) c += okv_u8::mp3q::pairBits(v.data() + i, 2, ts);
            return c;
        };
        ASSERT_EQ(cost(chosen), bits);
        if (m < 15) {
            // The chosen table is the cheapest of the first row length that fits (later wins ties).
            int first = 1;
            while (kXlen[first] <= m) ++first;
            int best = -1;
            for (int ts = first; ts < 16; ++ts)
                if (kXlen[ts] == kXlen[first] && (best < 0 || cost(ts) <= cost(best))) best = ts;
            EXPECT_EQ(chosen, best);
        } else {
            int a = 16, b = 24;
            while ((1 << kLin[a]) <= m - 15) ++a;
            while ((1 << kLin[b]) <= m - 15) ++b;
            EXPECT_EQ(chosen, cost(b) < cost(a) ? b : a);
        }
    }
}

namespace {

struct FrameRun {
    std::vector<Okv32s> quant;
    std::vector<Okv8s> sf;
    std::vector<MP3SideInfo> si;
    std::vector<int> count1, huf;
    MP3BitReservoir resv;
};

// Quantises one frame of synthetic spectra (tones over noise, with energy falling with frequency).
FrameRun quantizeFrame(const MP3FrameHeader& h, std::mt19937& rng, const std::vector<int>& blockTypes, int meanBits,
                       MP3BitReservoir resv, double level) {
    const int nch = h.mode == 3 ? 1 : 2, ngr = h.id ? 2 : 1, rec = nch * ngr;
    FrameRun f;
    f.quant.assign(576 * rec, 0);
    for (int r = 0; r < rec; ++r)
        for (int i = 0; i < 576; ++i) {
            const double env = level * 67108864.0 / (1 + i / 20.0);
            double v = env * (((int)(rng() % 2001) - 1000) / 1000.0);
            if (i % 37 == 5) v *= 8;
            f.quant[576 * r + i] = (Okv32s)v;
        }
    f.si.assign(rec, MP3SideInfo{});
    std::vector<MP3PsyRatio> ratio(rec);
    for (int r = 0; r < rec; ++r) {
        f.si[r].block_type = blockTypes[r % blockTypes.size()];
        f.si[r].window_switching_flag = f.si[r].block_type != 0;
        for (int i = 0; i < 36; ++i) ratio[r].ratio[i] = (int)(rng() % 20000000);
        ratio[r].pe = (int)(rng() % 2500);
    }
    // Intensity positions of channel 1 above the bound (long band 15, short band 8) are the caller's;
    // those of long blocks come back untouched.
    f.sf.assign(40 * rec, 0);
    for (int r = 1; h.mode_extension & 1 && r < rec; r += 2)
        for (int i = f.si[r].block_type == 2 ? 24 : 15; i < 39; ++i) f.sf[40 * r + i] = (Okv8s)(rng() % 7);
    const std::vector<Okv8s> stored = f.sf;
    f.count1.assign(rec, 0);
    f.huf.assign(rec, 0);
    std::vector<int> scfsi(8), work(OKV_MP3_QUANT_WORK_LEN);
    okv_u8::Mp3PsyStateHead state{{0, 2}};
    const int isBound[6] = {15, 8, 8, 15, 8, 8};
    f.resv = resv;
    EXPECT_EQ(okvsQuantize_MP3_32s_I(f.quant.data(), f.sf.data(), scfsi.data(), f.count1.data(), f.huf.data(), &h,
                                     f.si.data(), ratio.data(), reinterpret_cast<const Okv8u*>(&state), &f.resv,
                                     meanBits, isBound, work.data()),
              okvOk);
    for (int r = 1; h.mode_extension & 1 && r < rec; r += 2)
        for (int i = 15; f.si[r].block_type != 2 && i < 21; ++i)
            EXPECT_EQ(f.sf[40 * r + i], stored[40 * r + i]) << "record " << r << " band " << i;
    return f;
}

}  // namespace

// Frames at every MPEG-1 rate and LSF, mono and stereo, long and short blocks: every granule
// fits 4095 bits, packs to exactly part2_3_length bits and decodes to the quantised values; the
// reservoir stays within 0..max in whole bytes and absorbs the rest of the frame.
TEST(Mp3EncQuantize, FramesPackAndDecodeWithinBudgets) {
    std::mt19937 rng(13);
    int frames = 0;
    for (int id = 0; id <= 1; ++id)
        for (int mode : {0, 1, 3})  // joint stereo with intensity: other LSF scalefactor rows for channel 1
            for (int bitrate = 1; bitrate <= 14; bitrate += 3)
                for (const auto& types : std::vector<std::vector<int>>{{0}, {2}, {1, 2, 2, 3}})
                    for (double level : {0.0, 0.001, 0.3, 20.0}) {
                        const MP3FrameHeader h = header(id, mode, rng() % 3, mode == 1);
                        const int nch = mode == 3 ? 1 : 2, ngr = id ? 2 : 1, rec = nch * ngr;
                        const int meanBits = bitrate * (id ? 280 : 140) - (id ? (nch == 1 ? 136 : 256) : (nch == 1 ? 72 : 136));
                        MP3BitReservoir resv{(int)(rng() % 256) * 8, 4088};
                        const int before = resv.resvSize;
                        const FrameRun f = quantizeFrame(h, rng, types, meanBits, resv, level);
                        int used = 0;
                        for (int r = 0; r < rec; ++r) {
                            const MP3SideInfo& si = f.si[r];
                            ASSERT_LE(si.part2_3_length, 4095);
                            used += si.part2_3_length;
                            // Pack scalefactors and Huffman data, then decode both back.
                            std::vector<Okv8u> buf(1200, 0);
                            Okv8u* p = buf.data();
                            int off = 0;
                            MP3SideInfo s = si;
                            const int scfsi[4] = {};
                            ASSERT_EQ(okvsPackScaleFactors_MP3_8s1u(f.sf.data() + 40 * r, &p, &off, &h, &s, scfsi, r / nch, r % nch), okvOk);
                            const long scfBits = bitPos(buf.data(), p, off);
                            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(f.quant.data() + 576 * r, &p, &off, &h, &s, f.count1[r], f.huf[r]), id == 1 ? okvOk : okvErrMp3FrameHeader);
                            if (id == 0) continue;
                            ASSERT_EQ(bitPos(buf.data(), p, off), si.part2_3_length) << "record " << r;
                            Okv8u* q = buf.data();
                            int qo = 0;
                            Okv8s sf[40];
                            ASSERT_EQ(okvsUnpackScaleFactors_MP3_1u8s(&q, &qo, sf, &s, scfsi, &h, r / nch, r % nch), okvOk);
                            ASSERT_EQ(bitPos(buf.data(), q, qo), scfBits);
                            for (int i = 0; i < (si.block_type == 2 ? 36 : 21); ++i) ASSERT_EQ(sf[i], f.sf[40 * r + i]);
                            Okv32s back[576];
                            int bound;
                            ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&q, &qo, back, &bound, &s, &h, si.part2_3_length - (int)scfBits), okvOk);
                            for (int i = 0; i < 576; ++i) ASSERT_EQ(back[i], f.quant[576 * r + i]) << "line " << i;
                        }
                        const int T = meanBits - used + before;
                        ASSERT_GE(T, 0) << "the frame used more than it and the reservoir hold";
                        EXPECT_EQ(f.resv.resvSize % 8, 0);
                        EXPECT_LE(f.resv.resvSize, f.resv.resvMaxSize);
                        EXPECT_GE(f.resv.resvSize, 0);
                        if (level == 0) {
                            EXPECT_EQ(f.resv.resvSize, std::min((meanBits - used + before) & ~7, 4088));  // intensity positions cost bits
                        }
                        ++frames;
                    }
    EXPECT_GT(frames, 100);
}

TEST(Mp3EncQuantize, ArgumentChecks) {
    std::vector<Okv32s> xr(576 * 4), work(OKV_MP3_QUANT_WORK_LEN);
    std::vector<Okv8s> sf(160);
    int scfsi[8], c1[4], huf[4], bound[6] = {};
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4] = {};
    okv_u8::Mp3PsyStateHead state{};
    MP3BitReservoir resv{0, 4088};
    const Okv8u* st = reinterpret_cast<const Okv8u*>(&state);
    MP3FrameHeader h = header(1, 0, 3);
    EXPECT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, st, &resv, 1000, bound, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, st, &resv, 1000, bound, work.data()), okvErrMp3FrameHeader);
    h = header(2, 0, 0);
    EXPECT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, st, &resv, 1000, bound, work.data()), okvErrMp3FrameHeader);
    h = header(1, 0, 0);
    si[3].window_switching_flag = 1, si[3].mixed_block_flag = 1, si[3].block_type = 2;
    EXPECT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, st, &resv, 1000, bound, work.data()), okvErrMp3SideInfo);
}

// Quantised long-block spectra of noise, requantised by the decoder's export: with a generous
// budget (about 9 bits a line) the noise stays well under the ratios (1/100, -20 dB): the bits are spent.
TEST(Mp3EncQuantize, RequantisedSpectrumMeetsTheRatios) {
    std::mt19937 rng(14);
    const MP3FrameHeader h = header(1, 3, 0);
    std::vector<Okv32s> xr(1152);
    for (auto& v : xr) v = (Okv32s)(std::normal_distribution<double>(0, 1 << 24)(rng));
    for (int i = 418; i < 1152; ++i) xr[i] = i % 576 >= 418 ? 0 : xr[i];
    const std::vector<Okv32s> orig = xr;
    std::vector<Okv8s> sf(80);
    std::vector<int> scfsi(8), count1(2), huf(2), work(OKV_MP3_QUANT_WORK_LEN);
    MP3SideInfo si[2] = {};
    MP3PsyRatio ratio[2];
    for (auto& r : ratio) {
        for (int& v : r.ratio) v = 21474836;
        r.pe = 1000;
    }
    okv_u8::Mp3PsyStateHead state{};
    MP3BitReservoir resv{0, 4088};
    const int bound[6] = {};
    ASSERT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi.data(), count1.data(), huf.data(), &h, si, ratio,
                                     reinterpret_cast<const Okv8u*>(&state), &resv, 8000, bound, work.data()),
              okvOk);
    for (int gr = 0; gr < 2; ++gr) {
        std::vector<Okv32s> spec(1152, 0);
        std::copy(xr.begin() + 576 * gr, xr.begin() + 576 * gr + 576, spec.begin());
        int nz[2] = {576, 0};
        std::vector<Okv8s> sf2(80, 0);
        std::copy(sf.begin() + 40 * gr, sf.begin() + 40 * gr + 40, sf2.begin());
        MP3SideInfo s2[2] = {si[gr], si[gr]};
        std::vector<Okv32s> w(576);
        ASSERT_EQ(okvsReQuantize_MP3_32s_I(spec.data(), nz, sf2.data(), s2, &h, w.data()), okvOk);
        double sig = 0, err = 0;
        for (int i = 0; i < 418; ++i) {
            const double a = orig[576 * gr + i], b = spec[i];
            sig += a * a, err += (a - b) * (a - b);
        }
        const double snr = 10 * std::log10(sig / err);
        std::printf("granule %d: global_gain %d, part2_3_length %d, SNR %.2f dB\n", gr, si[gr].global_gain,
                    si[gr].part2_3_length, snr);
        EXPECT_GT(snr, 35);  // the budget is spent, not just the ratios met
    }
}
