// Layer III quantiser: the band quantiser against libm, the table choice against brute force, and
// whole frames against the budget and, requantised by the decoder, against their input.
#include <gtest/gtest.h>

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
        ASSERT_TRUE(y > 1024 || v == int(std::floor(std::pow(y, 0.75) + 0.4054))) << y;
        ASSERT_GE(v, prev) << y;
        ASSERT_LE(std::fabs(v - (y >= 165109 ? 8192 : std::pow(y, 0.75))), y >= 165109 ? 0 : 12) << y;
    }
    std::mt19937_64 rng(11);
    for (int it = 0; it < 20000; ++it) {
        const Okv32s x = Okv32s(((rng() >> 32) >> (rng() % 21 + 1)) | 1024);  // from 2^10: y keeps its precision
        const int s = int(rng() % 200) - 150;
        Okv32s v;
        ASSERT_EQ(q::quantizeBand(&x, 1, s, &v), v);  // the largest output
        const double ref = std::pow(x / 67108864.0 / std::pow(2.0, s / 4.0), 0.75) - 0.0946;
        ASSERT_TRUE(ref > 8000 || std::fabs(v - std::max(0.0, std::nearbyint(ref))) <= (ref < 100 ? 1 : 0.01 * ref + 1)) << x << " " << s;
    }
}

// The bits reported are the chosen table's; below 15 the cheapest table of the first row length
// that fits (later wins ties), above it the cheaper of the two escape families' first fits.
TEST(Mp3EncQuantize, TableChoiceAgainstBruteForce) {
    std::mt19937 rng(12);
    for (int it = 0; it < 4000; ++it) {
        const int n = 2 + 2 * int(rng() % 100), cap = std::vector<int>{1, 2, 3, 5, 7, 14, 15, 16, 40, 300, 8191}[rng() % 11];
        std::vector<Okv32s> v(n);
        for (auto& x : v) x = rng() % 3 ? int(rng() % (cap + 1)) : int(rng() % 2);
        const int m = *std::max_element(v.begin(), v.end());
        int bits = -1, best = m ? 1 : 0, a = 16, b = 24;
        const int chosen = q::chooseTable(v.data(), n, &bits);
        auto cost = [&](int ts) {
            int c = 0;
            for (int i = 0; i < n; i += 2) c += q::pairBits(v.data() + i, 2, ts);
            return c;
        };
        while (m && m < 15 && kXlen[best] <= m) ++best;
        for (int ts = best + 1; m && m < 15 && ts < 16; ++ts) best = kXlen[ts] == kXlen[best] && cost(ts) <= cost(best) ? ts : best;
        while ((1 << kLinbits[a]) <= m - 15) ++a;
        while ((1 << kLinbits[b]) <= m - 15) ++b;
        ASSERT_EQ(chosen, m < 15 ? best : cost(b) < cost(a) ? b : a) << it;
        ASSERT_TRUE(!m || cost(chosen) == bits) << it;
    }
}

// Frames of noise at every version and channel count, long, short and switching blocks, tight and
// generous budgets: every granule fits 4095 bits; unless one is full, the granules and the
// reservoir's change take the mean bits exactly; the reservoir in whole bytes within 0..max; quiet
// windows of short blocks get subblock gains. Requantised by the decoder with about 9 bits a
// line, every long band is within -20 dB of its input.
TEST(Mp3EncQuantize, FramesSpendTheBudgetExactly) {
    std::mt19937 rng(13);
    for (int it = 0; it < 96; ++it) {
        const int id = it & 1, nch = it & 2 ? 2 : 1, rec = nch * (id ? 2 : 1), type = (it >> 2) % 4, rate = (it >> 4) % 3;
        const MP3FrameHeader h = header(id, nch == 1 ? 3 : 0, rate);
        const int meanBits = it < 48 ? int(rng() % 4000) : 3900 * rec, top = id && rate == 1 ? 384 : 418;  // 16 kHz and up not coded
        const Okv16s *lng = kSfbLong[3 * id + rate], *sht = kSfbShort[3 * id + rate];
        std::vector<Okv32s> xr(576 * rec);
        for (int i = 0; i < 576 * rec; ++i) xr[i] = i % 576 < top ? Okv32s(std::normal_distribution<double>(0, 1 << 24)(rng)) : 0;
        for (int r = 0; type == 2 && r < rec; ++r)  // short blocks: windows 1 and 2 at -36 dB
            for (int b = 0; b < 13; ++b)
                for (int i = 2 * sht[b] + sht[b + 1]; i < 3 * sht[b + 1]; ++i) xr[576 * r + i] /= 64;
        std::vector<Okv32s> ix = xr;
        std::vector<Okv8s> sf(40 * rec);
        std::vector<int> scfsi(8), count1(rec), huf(rec), work(OKV_MP3_QUANT_WORK_LEN);
        std::vector<MP3SideInfo> si(rec);
        std::vector<MP3PsyRatio> ratio(rec);
        for (int r = 0; r < rec; ++r) {
            si[r].block_type = type == 3 ? (r / nch) * 2 + 1 : type;  // start then stop across granules
            si[r].window_switching_flag = si[r].block_type != 0;
            std::fill(ratio[r].ratio, ratio[r].ratio + 36, 21474836), ratio[r].pe = 1000;
        }
        okv_u8::Mp3PsyStateHead state{};
        MP3BitReservoir resv{int(rng() % 256) * 8, 4088};
        const int before = resv.resvSize, bound[6] = {};
        ASSERT_EQ(okvsQuantize_MP3_32s_I(ix.data(), sf.data(), scfsi.data(), count1.data(), huf.data(), &h, si.data(), ratio.data(),
                                         reinterpret_cast<const Okv8u*>(&state), &resv, meanBits, bound, work.data()), okvOk);
        int used = 0, full = 0;
        for (const auto& s : si) {
            ASSERT_LE(s.part2_3_length, 4095);
            used += s.part2_3_length, full += s.part2_3_length == 4095;
            EXPECT_TRUE(type != 2 || meanBits <= 1000 || s.subblock_gain[1] + s.subblock_gain[2] > 2 * s.subblock_gain[0]) << it;
        }
        EXPECT_TRUE(full || used + resv.resvSize - before == meanBits) << it;
        EXPECT_TRUE(resv.resvSize % 8 == 0 && resv.resvSize >= 0 && resv.resvSize <= 4088) << it;
        for (int r = 0; it >= 48 && type == 0 && r < rec; ++r) {
            std::vector<Okv32s> back(1152, 0), w(576);
            std::copy(ix.begin() + 576 * r, ix.begin() + 576 * r + 576, back.begin());
            int nz[2] = {576, 0};
            MP3SideInfo s2[2] = {si[r], si[r]};
            const MP3FrameHeader mono = header(id, 3, rate);
            ASSERT_EQ(okvsReQuantize_MP3_32s_I(back.data(), nz, sf.data() + 40 * r, s2, &mono, w.data()), okvOk);
            for (int b = 0; lng[b + 1] <= top; ++b) {
                double sig = 0, err = 0;
                for (int i = lng[b]; i < lng[b + 1]; ++i) sig += double(xr[576 * r + i]) * xr[576 * r + i], err += std::pow(xr[576 * r + i] - back[i], 2.0);
                EXPECT_LT(err, sig / 100) << it << " record " << r << " band " << b;
            }
        }
    }
}
