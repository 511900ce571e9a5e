// AAC escape and MP3 linbits pair codecs with the standard code tables.
#include <gtest/gtest.h>

#include <cstdlib>

#include "vlc_test_util.h"

namespace {

using vlc_std::PairCode;
using vlct::BitSink;

// Decoding specs (plain and UTuple) and the encoding spec of one pair table.
struct PairSpecs {
    vlct::DecodeSpec dec;
    vlct::TupleSpec tup;
    vlct::EncodeSpec enc;
    PairSpecs(const PairCode* t, int n, const vlct::Codes& encEntries)
        : dec(vlct::esc_decode_entries(t, n), {7, 7, 7}, 3), tup(vlct::tuple_entries(t, n, 5), {7, 7, 7}, 2, 5, 17),
          enc(encEntries, 40) {}
};

// Reference streams, in the order of the standards: AAC codebook 11 (escape magnitudes past
// 15 as N - 4 ones, a zero and N bits) or MP3 with lb linbits.
void put_pair(BitSink& s, const PairCode* t, int lb, int a, int b) {
    const int top = lb < 0 ? 16 : 15, ma = std::min(std::abs(a), top), mb = std::min(std::abs(b), top);
    const PairCode& c = t[ma * (lb < 0 ? 17 : 16) + mb];
    s.put(c.code, c.length);
    if (lb >= 0) {
        for (int v : {a, b}) {
            if (std::abs(v) >= 15) s.put(uint32_t(std::abs(v) - 15), lb);
            if (v) s.bit(v < 0);
        }
        return;
    }
    for (int v : {a, b})
        if (v) s.bit(v < 0);
    for (int v : {std::abs(a), std::abs(b)})
        if (v >= 16) {
            int N = 4;
            while ((2 << N) <= v) ++N;
            s.put((uint64_t(1) << (N - 4)) - 1, N - 4);
            s.bit(0);
            s.put(uint32_t(v - (1 << N)), N);
        }
}

int random_value(std::mt19937& rng, int maxMag) {
    const unsigned k = rng() % 10;
    const int m = std::min(k < 6 ? int(rng() % 16) : k < 9 ? 14 + int(rng() % 6) : int(rng() % (maxMag + 1)), maxMag);
    return rng() % 2 ? -m : m;
}

// Random pair blocks from a random bit position: bits, neighbours, count, both decoders back.
void round_trips(std::mt19937& rng, int iters, const PairCode* t, int lb) {
    const bool aac = lb < 0;
    const PairSpecs s(t, aac ? 289 : 256, aac ? vlct::aac_encode_entries() : vlct::mp3_encode_entries(t));
    ASSERT_TRUE(s.dec.st == okvOk && s.tup.st == okvOk && s.enc.st == okvOk);
    for (int iter = 0; iter < iters; ++iter) {
        std::vector<Okv16s> vals(2 * (iter % 7 ? rng() % 300 + 1 : 1));
        BitSink ref;
        for (size_t i = 0; i < vals.size(); i += 2) {
            for (size_t j : {i, i + 1}) vals[j] = Okv16s(random_value(rng, aac ? 8191 : 15 + (1 << lb) - 1));
            put_pair(ref, t, lb, vals[i], vals[i + 1]);
        }
        const int n = int(vals.size());
        std::vector<uint8_t> buf(ref.bytes.size() + 16 + vlct::kPad);
        for (auto& b : buf) b = uint8_t(rng());
        const std::vector<uint8_t> orig = buf;
        const uint64_t start = rng() % 64;
        Okv8u* w = buf.data() + start / 8;
        int woff = int(start % 8);
        Okv32s bits = -1;
        ASSERT_EQ(okvOk, aac ? okvsVLCEncodeEscBlock_AAC_16s1u(vals.data(), n, &w, &woff, s.enc.spec)
                             : okvsVLCEncodeEscBlock_MP3_16s1u(vals.data(), n, lb, &w, &woff, s.enc.spec));
        ASSERT_EQ(okvOk, aac ? okvsVLCCountEscBits_AAC_16s32s(vals.data(), n, &bits, s.enc.spec)
                             : okvsVLCCountEscBits_MP3_16s32s(vals.data(), n, lb, &bits, s.enc.spec));
        const uint64_t end = uint64_t(w - buf.data()) * 8 + uint64_t(woff);
        ASSERT_EQ(start + ref.nbits, end);
        EXPECT_EQ(int64_t(ref.nbits), bits);
        EXPECT_TRUE(vlct::same_bits(buf.data(), start, ref.bytes.data(), 0, ref.nbits));
        EXPECT_TRUE(vlct::same_bits(buf.data(), 0, orig.data(), 0, start));
        EXPECT_TRUE(vlct::same_bits(buf.data(), end, orig.data(), end, buf.size() * 8 - end));
        for (int tuple = 0; tuple < 2; ++tuple) {
            std::vector<Okv16s> out(vals.size() + 1, 77);
            const Okv8u* r = buf.data() + start / 8;
            int roff = int(start % 8);
            const int m = n + iter % 2;
            ASSERT_EQ(okvOk, aac ? (tuple ? okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&r, &roff, out.data(), m, s.tup.spec)
                                          : okvsVLCDecodeEscBlock_AAC_1u16s(&r, &roff, out.data(), m, s.dec.spec))
                                 : (tuple ? okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&r, &roff, lb, out.data(), m, s.tup.spec)
                                          : okvsVLCDecodeEscBlock_MP3_1u16s(&r, &roff, lb, out.data(), m, s.dec.spec)));
            EXPECT_EQ(end, uint64_t(r - buf.data()) * 8 + uint64_t(roff));
            EXPECT_EQ(77, out.back());
            out.pop_back();
            ASSERT_EQ(vals, out);
        }
    }
}

TEST(VlcEscape, AacCodebook11AndMp3Tables16And24AtEveryLinbits) {
    std::mt19937 rng(11);
    round_trips(rng, 300, vlc_std::kAacCodebook11, -1);
    for (const PairCode* t : {vlc_std::kMp3Table16, vlc_std::kMp3Table24})
        for (int lb = 0; lb <= 14; ++lb) {
            SCOPED_TRACE(testing::Message() << "linbits " << lb);
            round_trips(rng, 40, t, lb);
        }
}

// A bad escape stops before its pair; a code that is its sign bit alone counts.
TEST(VlcEscape, EscapeSequenceEdges) {
    PairSpecs s(vlc_std::kAacCodebook11, 289, vlct::aac_encode_entries());
    const PairCode& c = vlc_std::kAacCodebook11[17 * 16];
    BitSink ok;
    put_pair(ok, vlc_std::kAacCodebook11, -1, -26, 0);
    const uint64_t firstEnd = ok.nbits;
    ok.put(c.code, c.length);
    ok.bit(0);
    ok.put(0x1FF, 9);
    ok.bytes.resize(ok.bytes.size() + vlct::kPad);
    Okv16s out[4] = {77, 77, 77, 77};
    const Okv8u* p = ok.bytes.data();
    int off = 0;
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 4, s.dec.spec));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{-26, 0, 77}));
    EXPECT_TRUE(p == ok.bytes.data() && off == 0);
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 3, s.dec.spec));
    EXPECT_EQ(firstEnd, uint64_t(p - ok.bytes.data()) * 8 + uint64_t(off));
    EXPECT_EQ(77, out[2]);
    const Okv16s one[2] = {1, 0};
    Okv32s n = -1;
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_AAC_16s32s(one, 1, &n, s.enc.spec));
    EXPECT_EQ(0, n);
    const vlct::EncodeSpec bare({{15, 0b0, 1}, {32 + 15, 0b1, 1}});  // (0, 0) and (1, 0)
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_MP3_16s32s(one, 2, 0, &n, bare.spec));
    EXPECT_EQ(1, n);
    const Okv16s esc[2] = {0, 15};
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
