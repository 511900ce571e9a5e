// Round trips over thousands of random prefix codes and level splits.
#include <gtest/gtest.h>

#include "vlc_test_util.h"

namespace {

TEST(VlcRoundTrip, RandomPrefixCodes) {
    std::mt19937 rng(20261205);
    for (int iter = 0; iter < 3000; ++iter) {
        const int n = iter < 50 ? iter % 4 + 1 : int(rng() % 300) + 1;
        int maxLen = int(rng() % 32) + 1;
        while ((uint64_t(1) << maxLen) < uint64_t(n)) ++maxLen;
        const auto e = vlct::random_prefix_code(rng, n, maxLen);
        const auto sizes = vlct::random_sizes(rng, e);
        SCOPED_TRACE(testing::Message() << "iteration " << iter << ", " << n << " codes");

        const vlct::DecodeSpec d(e, sizes, rng() % 64);
        const vlct::EncodeSpec en(e, rng() % 64);
        ASSERT_TRUE(d.st == okvOk && en.st == okvOk);
        OkvsVLCDecodeSpec_32s* dec = d.spec;
        OkvsVLCEncodeSpec_32s* enc = en.spec;
        std::vector<Okv16s> vals(iter % 5 ? rng() % 150 + 1 : 1);  // one-symbol calls too
        for (auto& v : vals) v = Okv16s(e[rng() % n].value);
        std::vector<uint8_t> buf(vals.size() * 4 + 8 + vlct::kPad);
        for (auto& b : buf) b = uint8_t(rng());
        std::vector<uint8_t> one = buf;
        const std::vector<uint8_t> orig = buf;
        const uint64_t start = rng() % 64;
        Okv8u* w = buf.data() + start / 8;
        int woff = int(start % 8);
        ASSERT_EQ(okvOk, okvsVLCEncodeBlock_16s1u(vals.data(), int(vals.size()), &w, &woff, enc));
        const uint64_t end = uint64_t(w - buf.data()) * 8 + uint64_t(woff);
        // Against a bit-by-bit writer, bits around kept; one value per call writes the same.
        vlct::BitSink ref;
        Okv8u* q = one.data() + start / 8;
        int qoff = int(start % 8);
        for (auto v : vals) {
            const auto& x = *std::find_if(e.begin(), e.end(), [&](const VLCCodeEntry& c) { return c.value == v; });
            ref.put(x.code, x.length);
            ASSERT_EQ(okvOk, okvsVLCEncodeOne_16s1u(v, &q, &qoff, enc));
        }
        ASSERT_EQ(start + ref.nbits, end);
        EXPECT_TRUE(vlct::same_bits(buf.data(), start, ref.bytes.data(), 0, ref.nbits));
        EXPECT_TRUE(vlct::same_bits(buf.data(), 0, orig.data(), 0, start));
        EXPECT_TRUE(vlct::same_bits(buf.data(), end, orig.data(), end, buf.size() * 8 - end));
        EXPECT_TRUE(buf == one && w - buf.data() == q - one.data() && woff == qoff);
        Okv32s count = 0;
        ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(vals.data(), int(vals.size()), &count, enc));
        EXPECT_EQ(end - start, uint64_t(count));
        // Back by blocks, then one value per call.
        for (int block = 1; block >= 0; --block) {
            std::vector<Okv16s> out(vals.size());
            const Okv8u* r = buf.data() + start / 8;
            int roff = int(start % 8);
            for (size_t i = 0; i < vals.size(); i += block ? vals.size() : 1)
                ASSERT_EQ(okvOk, block ? okvsVLCDecodeBlock_1u16s(&r, &roff, out.data(), int(out.size()), dec)
                                       : okvsVLCDecodeOne_1u16s(&r, &roff, &out[i], dec));
            ASSERT_EQ(vals, out);
            EXPECT_EQ(end, uint64_t(r - buf.data()) * 8 + uint64_t(roff));
        }
    }
}

TEST(VlcRoundTrip, RandomTupleCodes) {
    std::mt19937 rng(77);
    for (int iter = 0; iter < 500; ++iter) {
        const int N = int(rng() % 4) + 1, B = int(rng() % std::min(15, 24 / N)) + 1;  // up to 24 value bits
        const int n = int(rng() % 120) + 2;
        auto e = vlct::random_prefix_code(rng, n, iter % 4 ? 20 : 32);  // code and signs beyond 32 bits
        for (auto& x : e) x.value = int32_t(rng() & ((1u << (N * B)) - 1));
        const auto sizes = vlct::random_sizes(rng, e);
        SCOPED_TRACE(testing::Message() << "iteration " << iter << " N " << N << " B " << B);
        const vlct::TupleSpec t(e, sizes, N, B, rng() % 64);
        ASSERT_EQ(okvOk, t.st);
        vlct::BitSink s;
        const int lead = int(rng() % 8);
        s.put(rng(), lead);
        std::vector<Okv16s> want;
        const int tuples = iter % 3 ? int(rng() % 50) + 1 : 1;
        for (int t = 0; t < tuples; ++t) {
            const auto& x = e[rng() % n];
            s.put(x.code, x.length);
            for (int k = 0; k < N; ++k) {
                const int a = (x.value >> ((N - 1 - k) * B)) & ((1 << B) - 1), neg = int(rng() % 2);
                if (a) s.bit(unsigned(neg));
                want.push_back(Okv16s(neg ? -a : a));
            }
        }
        const uint64_t end = s.nbits;
        s.bytes.resize(s.bytes.size() + vlct::kPad);
        std::vector<Okv16s> out(want.size() + rng() % N, 77);
        const Okv8u* p = s.bytes.data();
        int off = lead;
        ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(&p, &off, out.data(), int(out.size()), t.spec));
        EXPECT_EQ(end, uint64_t(p - s.bytes.data()) * 8 + uint64_t(off));
        std::vector<Okv16s> one(out.size(), 77);
        p = s.bytes.data(), off = lead;
        for (size_t i = 0; i < want.size(); i += size_t(N))
            ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(&p, &off, &one[i], t.spec));
        EXPECT_EQ(end, uint64_t(p - s.bytes.data()) * 8 + uint64_t(off));
        want.resize(out.size(), 77);
        ASSERT_EQ(want, out);
        ASSERT_EQ(want, one);
    }
}

}  // namespace
