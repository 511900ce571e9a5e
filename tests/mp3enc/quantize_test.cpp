// Layer III quantiser: the band quantiser against libm and the table choice against brute force
// (the encoder tool's streams, decoded by peers, cover whole frames and the reservoir).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mp3/mp3_test_util.h"
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

