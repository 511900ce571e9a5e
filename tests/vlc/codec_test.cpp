// Round trips of the VLC codecs: random prefix codes and tuple codes, the AAC escape and MP3 linbits
// pair codecs with the standard tables, against a bit-by-bit reference writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "vlc_test_util.h"

namespace {

using vlc_std::PairCode;
using vlct::BitSink;

unsigned bit_at(const uint8_t* a, uint64_t i) { return a[i >> 3] >> (7 - i % 8) & 1; }

// Copies ref's bits to (p, off) as an encoder writes them.
StatusCode copy_bits(const BitSink& ref, Okv8u** p, int* o) {
    for (uint64_t i = 0; i < ref.nbits; ++i) {
        **p = Okv8u((**p & ~(0x80 >> *o)) | bit_at(ref.bytes.data(), i) << (7 - *o));
        if (++*o == 8) ++*p, *o = 0;
    }
    return okvOk;
}

// Writes by enc(&p, &off) from a random bit of a random buffer: the bits written are ref's and
// those around them are kept. Each reader from the start, read(&p, &off), stops at the end.
template <class Enc, class... Read>
void write_and_read(std::mt19937& rng, const BitSink& ref, Enc enc, Read... read) {
    std::vector<uint8_t> buf(ref.bytes.size() + 16 + vlct::kPad);
    for (auto& b : buf) b = uint8_t(rng());
    const std::vector<uint8_t> orig = buf;
    const uint64_t start = rng() % 64;
    Okv8u* w = buf.data() + start / 8;
    int off = int(start % 8);
    ASSERT_EQ(okvOk, enc(&w, &off));
    const uint64_t end = uint64_t(w - buf.data()) * 8 + uint64_t(off);
    ASSERT_EQ(start + ref.nbits, end);
    for (uint64_t i = 0; i < buf.size() * 8; ++i) {
        const unsigned want = i < start || i >= end ? bit_at(orig.data(), i) : bit_at(ref.bytes.data(), i - start);
        ASSERT_EQ(bit_at(buf.data(), i), want) << "bit " << i << " of " << start << ".." << end;
    }
    for (const auto& f : std::initializer_list<std::function<void(const Okv8u**, int*)>>{read...}) {
        const Okv8u* r = buf.data() + start / 8;
        off = int(start % 8);
        f(&r, &off);
        EXPECT_EQ(end, uint64_t(r - buf.data()) * 8 + uint64_t(off));
    }
}

// Block and one-value encoding (and the count) against the reference; back by block and one by one.
TEST(VlcCodec, RandomPrefixCodes) {
    std::mt19937 rng(20261205);
    for (int iter = 0; iter < 3000; ++iter) {
        const int n = iter < 50 ? iter % 4 + 1 : int(rng() % 300) + 1;
        int maxLen = int(rng() % 32) + 1;
        while ((uint64_t(1) << maxLen) < uint64_t(n)) ++maxLen;
        const auto e = vlct::random_prefix_code(rng, n, maxLen);
        SCOPED_TRACE(testing::Message() << "iteration " << iter << ", " << n << " codes");
        const vlct::DecodeSpec d(e, vlct::random_sizes(rng, e), rng() % 64);
        const vlct::EncodeSpec en(e, rng() % 64);
        ASSERT_TRUE(d.st == okvOk && en.st == okvOk);
        std::vector<Okv16s> vals(iter % 5 ? rng() % 150 + 1 : 1);
        BitSink ref;
        for (auto& v : vals) {
            const auto& x = e[rng() % n];
            v = Okv16s(x.value), ref.put(x.code, x.length);
        }
        const int len = int(vals.size());
        Okv32s count = 0;
        ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(vals.data(), len, &count, en.spec));
        EXPECT_EQ(int64_t(ref.nbits), count);
        std::vector<Okv16s> out(vals.size());
        const auto block = [&](const Okv8u** p, int* o) {
            ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(p, o, out.data(), len, d.spec));
            ASSERT_EQ(vals, out);
        };
        const auto ones = [&](const Okv8u** p, int* o) {
            for (auto& v : out) ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(p, o, &v, d.spec));
            ASSERT_EQ(vals, out);
        };
        write_and_read(rng, ref, [&](Okv8u** p, int* o) { return okvsVLCEncodeBlock_16s1u(vals.data(), len, p, o, en.spec); },
                       block, ones);
        write_and_read(rng, ref, [&](Okv8u** p, int* o) {
            for (auto v : vals) EXPECT_EQ(okvOk, okvsVLCEncodeOne_16s1u(v, p, o, en.spec));
            return okvOk;
        });
    }
}

// N values of B bits per code (code and signs beyond 32 bits too), each non-zero one with its sign bit.
TEST(VlcCodec, RandomTupleCodes) {
    std::mt19937 rng(77);
    for (int iter = 0; iter < 500; ++iter) {
        const int N = int(rng() % 4) + 1, B = int(rng() % std::min(15, 24 / N)) + 1, n = int(rng() % 120) + 2;
        auto e = vlct::random_prefix_code(rng, n, iter % 4 ? 20 : 32);
        for (auto& x : e) x.value = int32_t(rng() & ((1u << (N * B)) - 1));
        SCOPED_TRACE(testing::Message() << "iteration " << iter << " N " << N << " B " << B);
        const vlct::TupleSpec t(e, vlct::random_sizes(rng, e), N, B, rng() % 64);
        ASSERT_EQ(okvOk, t.st);
        BitSink s;
        std::vector<Okv16s> want;
        for (int k = iter % 3 ? int(rng() % 50) + 1 : 1; k > 0; --k) {
            const auto& x = e[rng() % n];
            s.put(x.code, x.length);
            for (int j = N - 1; j >= 0; --j) {
                const int a = (x.value >> (j * B)) & ((1 << B) - 1), neg = int(rng() % 2);
                if (a) s.bit(unsigned(neg));
                want.push_back(Okv16s(neg ? -a : a));
            }
        }
        const size_t coded = want.size();
        std::vector<Okv16s> out(coded + rng() % N, 77);
        want.resize(out.size(), 77);
        const auto block = [&](const Okv8u** p, int* o) {
            ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(p, o, out.data(), int(out.size()), t.spec));
            ASSERT_EQ(want, out);
        };
        const auto ones = [&](const Okv8u** p, int* o) {
            std::fill(out.begin(), out.end(), 77);
            for (size_t i = 0; i < coded; i += size_t(N))
                ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(p, o, &out[i], t.spec));
            ASSERT_EQ(want, out);
        };
        write_and_read(rng, s, [&](Okv8u** p, int* o) { return copy_bits(s, p, o); }, block, ones);
    }
}

// Reference streams, in the order of the standards: AAC codebook 11 (escape magnitudes past
// 15 as N - 4 ones, a zero and N bits) or MP3 with lb linbits.
void put_pair(BitSink& s, const PairCode* t, int lb, int a, int b) {
    const int top = lb < 0 ? 16 : 15, ma = std::min(std::abs(a), top), mb = std::min(std::abs(b), top);
    const PairCode& c = t[ma * (lb < 0 ? 17 : 16) + mb];
    s.put(c.code, c.length);
    for (int v : {a, b}) {
        if (lb >= 0 && std::abs(v) >= 15) s.put(uint32_t(std::abs(v) - 15), lb);
        if (v) s.bit(v < 0);
    }
    for (int v : {std::abs(a), std::abs(b)})
        if (lb < 0 && v >= 16) {
            int N = 4;
            while ((2 << N) <= v) ++N;
            s.put(((uint64_t(1) << (N - 4)) - 1) << (N + 1) | uint32_t(v - (1 << N)), 2 * N - 3);
        }
}

// Random pair blocks from a random bit position: bits, neighbours, count, both decoders back.
void pair_round_trips(std::mt19937& rng, int iters, const PairCode* t, int lb) {
    const bool aac = lb < 0;
    const vlct::DecodeSpec dec(vlct::esc_decode_entries(t, aac ? 289 : 256), {7, 7, 7}, 3);
    const vlct::TupleSpec tup(vlct::tuple_entries(t, aac ? 289 : 256, 5), {7, 7, 7}, 2, 5, 17);
    const vlct::EncodeSpec enc(aac ? vlct::aac_encode_entries() : vlct::mp3_encode_entries(t), 40);
    ASSERT_TRUE(dec.st == okvOk && tup.st == okvOk && enc.st == okvOk);
    for (int iter = 0; iter < iters; ++iter) {
        std::vector<Okv16s> vals(2 * (iter % 7 ? rng() % 300 + 1 : 1));
        BitSink ref;
        for (size_t i = 0; i < vals.size(); i += 2) {
            for (size_t j : {i, i + 1}) {
                const unsigned k = rng() % 10, top = aac ? 8191 : 15 + (1 << lb) - 1;
                const int m = std::min<int>(k < 6 ? rng() % 16 : k < 9 ? 14 + rng() % 6 : rng() % (top + 1), int(top));
                vals[j] = Okv16s(rng() % 2 ? -m : m);
            }
            put_pair(ref, t, lb, vals[i], vals[i + 1]);
        }
        const int n = int(vals.size()), m = n + iter % 2;
        Okv32s bits = -1;
        ASSERT_EQ(okvOk, aac ? okvsVLCCountEscBits_AAC_16s32s(vals.data(), n, &bits, enc.spec)
                             : okvsVLCCountEscBits_MP3_16s32s(vals.data(), n, lb, &bits, enc.spec));
        EXPECT_EQ(int64_t(ref.nbits), bits);
        std::vector<Okv16s> out(vals.size() + 1);
        const auto check = [&](StatusCode st) {
            ASSERT_EQ(okvOk, st);
            EXPECT_EQ(77, out.back());
            ASSERT_EQ(vals, std::vector<Okv16s>(out.begin(), out.end() - 1));
        };
        write_and_read(rng, ref, [&](Okv8u** p, int* o) {
            return aac ? okvsVLCEncodeEscBlock_AAC_16s1u(vals.data(), n, p, o, enc.spec)
                       : okvsVLCEncodeEscBlock_MP3_16s1u(vals.data(), n, lb, p, o, enc.spec);
        }, [&](const Okv8u** p, int* o) {
            std::fill(out.begin(), out.end(), 77);
            check(aac ? okvsVLCDecodeEscBlock_AAC_1u16s(p, o, out.data(), m, dec.spec)
                      : okvsVLCDecodeEscBlock_MP3_1u16s(p, o, lb, out.data(), m, dec.spec));
        }, [&](const Okv8u** p, int* o) {
            std::fill(out.begin(), out.end(), 77);
            check(aac ? okvsVLCDecodeUTupleEscBlock_AAC_1u16s(p, o, out.data(), m, tup.spec)
                      : okvsVLCDecodeUTupleEscBlock_MP3_1u16s(p, o, lb, out.data(), m, tup.spec));
        });
    }
}

TEST(VlcCodec, AacCodebook11AndMp3Tables16And24AtEveryLinbits) {
    std::mt19937 rng(11);
    pair_round_trips(rng, 300, vlc_std::kAacCodebook11, -1);
    for (const PairCode* t : {vlc_std::kMp3Table16, vlc_std::kMp3Table24})
        for (int lb = 0; lb <= 14; ++lb) {
            SCOPED_TRACE(testing::Message() << "linbits " << lb);
            pair_round_trips(rng, 40, t, lb);
        }
}

// A bad escape stops before its pair; a code that is its sign bit alone counts.
TEST(VlcCodec, EscapeSequenceEdges) {
    const vlct::DecodeSpec dec(vlct::esc_decode_entries(vlc_std::kAacCodebook11, 289), {7, 7, 7}, 3);
    const vlct::EncodeSpec enc(vlct::aac_encode_entries());
    const PairCode& c = vlc_std::kAacCodebook11[17 * 16];
    BitSink ok;
    put_pair(ok, vlc_std::kAacCodebook11, -1, -26, 0);
    const uint64_t firstEnd = ok.nbits;
    ok.put(c.code, c.length);
    ok.put(0x1FF, 10);  // sign 0, then ones past the longest escape
    ok.bytes.resize(ok.bytes.size() + vlct::kPad);
    Okv16s out[4] = {77, 77, 77, 77};
    const Okv8u* p = ok.bytes.data();
    int off = 0;
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 4, dec.spec));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{-26, 0, 77}));
    EXPECT_TRUE(p == ok.bytes.data() && off == 0);
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 3, dec.spec));
    EXPECT_EQ(firstEnd, uint64_t(p - ok.bytes.data()) * 8 + uint64_t(off));
    EXPECT_EQ(77, out[2]);
    const Okv16s one[2] = {1, 0}, esc[2] = {0, 15};
    Okv32s n = -1;
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_AAC_16s32s(one, 1, &n, enc.spec));
    EXPECT_EQ(0, n);
    const vlct::EncodeSpec bare({{15, 0b0, 1}, {32 + 15, 0b1, 1}});  // (0, 0) and (1, 0)
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_MP3_16s32s(one, 2, 0, &n, bare.spec));
    EXPECT_EQ(1, n);
    const vlct::EncodeSpec signOnly({{30, 0b1, 1}});  // (0, 15): a code of its sign bit alone
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_MP3_16s32s(esc, 2, 1, &n, signOnly.spec));
    EXPECT_EQ(2, n);
    // (0, 15) coded by one bit, its sign after the 3 linbits: the reader steps back over the sign.
    const PairCode tiny[2] = {{0, 0, 1, 0}, {0, 15, 1, 1}};
    const vlct::DecodeSpec t(vlct::esc_decode_entries(tiny, 2), {2});
    const Okv8u bits[9] = {0b11011000};  // 1, linbits 101, sign 1, then (0, 0)
    p = bits, off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, 3, out, 4, t.spec));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), (std::vector<Okv16s>{0, -20, 0, 0}));
}

}  // namespace
