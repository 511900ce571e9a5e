// Round trips of the VLC codecs against a bit-by-bit reference writer: random prefix codes and tuple codes
// (with table sizes against a layout model), the AAC escape and MP3 linbits pair codecs with the standard
// tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>

#include "vlc_test_util.h"

namespace {

using vlc_std::PairCode;
using vlct::BitSink;
using vlct::Codes;
using vlct::Sizes;

unsigned bit_at(const uint8_t* a, uint64_t i) { return a[i >> 3] >> (7 - i % 8) & 1; }

int bitlen(uint64_t x) { return x ? 64 - __builtin_clzll(x) : 0; }

// The byte count of a compiled table: levels, one subtable per distinct prefix, element width.
// tuple = N * B for the UTuple form, 0 for the plain form.
int64_t model_size(const Codes& e, const Sizes& sizes, int tuple) {
    int L = 0;
    for (auto& x : e) L = std::max(L, x.length);
    if (L == 0 || L > 32) return okvErrVLCTable;
    std::vector<int> w;
    for (int sum = 0; sum < L; sum += w.back()) {
        if (w.size() >= sizes.size() || sizes[w.size()] < 1) return okvErrVLCTable;
        w.push_back(std::min(sizes[w.size()], L - sum));
    }
    uint64_t T = (uint64_t(1) << w[0]) + 1;
    for (size_t j = 1, P = w[0]; j < w.size(); P += w[j++]) {
        std::set<uint32_t> prefixes;
        for (auto& x : e)
            if (x.length > int(P)) prefixes.insert((x.code & uint32_t((uint64_t(1) << x.length) - 1)) >> (x.length - P));
        T += prefixes.size() * ((uint64_t(1) << w[j]) + 1);
    }
    int field = tuple;
    if (!tuple) {  // two's complement when a value is negative, else unsigned; at least b_v + 1 bits
        bool neg = false;
        int64_t V = 0;
        for (auto& x : e) neg |= x.value < 0, V = std::max(V, std::abs(int64_t(x.value)));
        field = V <= 1 ? 1 : bitlen(uint64_t(V - 1)) + 1;
        for (auto& x : e) field = std::max(field, bitlen(uint32_t(neg && x.value < 0 ? ~x.value : x.value)) + neg);
    }
    const int W = std::max(field + bitlen(uint64_t(*std::max_element(w.begin(), w.end()))) + 1, bitlen(T + 1) + 1);
    if (W > 32) return tuple ? int64_t(okvErrBadArg) : int64_t(okvErrVLCTable);
    const uint64_t size = T * (W <= 8 ? 1 : W <= 16 ? 2 : 4) + (tuple ? 176 : 160);
    return size > 0x7FFFFFFF ? int64_t(okvErrVLCTable) : int64_t(size);
}

int64_t lib_size(const Codes& e, const Sizes& sizes, int N = 0, int B = 0) {
    int size = -1;
    const int n = int(e.size()), ns = int(sizes.size());
    const StatusCode st = N ? okvsVLCDecodeUTupleGetSize_32s(e.data(), n, sizes.data(), ns, N, B, &size)
                            : okvsVLCDecodeGetSize_32s(e.data(), n, sizes.data(), ns, &size);
    return st == okvOk ? size : st;
}


// Writes by enc(&p, &off) (ref's bits copied when enc is null) from a random bit of a random buffer: the
// bits written are ref's and those around them are kept. Each reader from the start stops at the end.
using Reader = std::function<void(const Okv8u**, int*)>;
void write_and_read(std::mt19937& rng, const BitSink& ref, const std::function<StatusCode(Okv8u**, int*)>& enc,
                    std::initializer_list<Reader> readers) {
    std::vector<uint8_t> buf(ref.bytes.size() + 16 + vlct::kPad);
    for (auto& b : buf) b = uint8_t(rng());
    const std::vector<uint8_t> orig = buf;
    const uint64_t start = rng() % 64, end = start + ref.nbits;
    Okv8u* w = buf.data() + start / 8;
    int off = int(start % 8);
    for (uint64_t i = 0; !enc && i < ref.nbits; ++i) {
        uint8_t& byte = buf[(start + i) / 8];
        byte = uint8_t((byte & ~(0x80 >> (start + i) % 8)) | bit_at(ref.bytes.data(), i) << (7 - (start + i) % 8));
    }
    if (enc) {
        ASSERT_EQ(okvOk, enc(&w, &off));
        ASSERT_EQ(end, uint64_t(w - buf.data()) * 8 + uint64_t(off));
    }
    for (uint64_t i = 0; i < buf.size() * 8; ++i) {
        const unsigned want = i < start || i >= end ? bit_at(orig.data(), i) : bit_at(ref.bytes.data(), i - start);
        ASSERT_EQ(bit_at(buf.data(), i), want) << "bit " << i << " of " << start << ".." << end;
    }
    for (const Reader& read : readers) {
        const Okv8u* r = buf.data() + start / 8;
        off = int(start % 8);
        read(&r, &off);
        EXPECT_EQ(end, uint64_t(r - buf.data()) * 8 + uint64_t(off));
    }
}

// Table sizes of the code, or of an arbitrary one, against the layout model; block and one-value encoding
// and the count against the reference, back by block and one by one; then the same code as tuples of N
// values of B bits (code and signs beyond 32 bits too), each non-zero value followed by its sign bit.
TEST(VlcCodec, RandomPrefixAndTupleCodes) {
    std::mt19937 rng(20261205);
    for (int iter = 0; iter < 3000; ++iter) {
        const int n = iter < 50 ? iter % 4 + 1 : iter % 50 ? int(rng() % 300) + 1 : 1024 + int(rng() % 600);
        int maxLen = int(rng() % 32) + 1;
        while ((uint64_t(1) << maxLen) < uint64_t(n)) ++maxLen;
        auto e = vlct::random_prefix_code(rng, n, maxLen);
        const auto sizes = vlct::random_sizes(rng, e);
        SCOPED_TRACE(testing::Message() << "iteration " << iter << ", " << n << " codes");
        Codes any = e;  // sizes: this code or an arbitrary one, with values of any width
        const int shift = int(rng() % 31), N0 = int(rng() % 4) + 1, B0 = int(rng() % 9) + 1;
        for (auto& x : any) {
            x.value = iter % 3 ? int32_t(rng()) >> shift : int32_t(std::abs(int64_t(int32_t(rng()) >> shift)) >> 1);
            if (iter % 2) x.code = uint32_t(rng()), x.length = int(rng() % maxLen) + 1;
        }
        ASSERT_EQ(lib_size(any, sizes), model_size(any, sizes, 0));
        ASSERT_EQ(lib_size(any, sizes, N0, B0), model_size(any, sizes, N0 * B0)) << "N " << N0 << " B " << B0;
        const vlct::DecodeSpec d(e, sizes, rng() % 64);
        const vlct::EncodeSpec en(e, rng() % 64);
        ASSERT_TRUE(d.st == okvOk && en.st == okvOk);
        std::vector<Okv16s> vals(iter % 5 ? rng() % 150 + 1 : 1), out(vals.size());
        BitSink ref;
        for (auto& v : vals) {
            const auto& x = e[rng() % n];
            v = Okv16s(x.value), ref.put(x.code, x.length);
        }
        const int len = int(vals.size());
        Okv32s count = 0;
        ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(vals.data(), len, &count, en.spec));
        EXPECT_EQ(int64_t(ref.nbits), count);
        write_and_read(rng, ref, [&](Okv8u** p, int* o) { return okvsVLCEncodeBlock_16s1u(vals.data(), len, p, o, en.spec); },
                       {[&](const Okv8u** p, int* o) {
                            ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(p, o, out.data(), len, d.spec));
                            ASSERT_EQ(vals, out);
                        },
                        [&](const Okv8u** p, int* o) {
                            for (auto& v : out) ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(p, o, &v, d.spec));
                            ASSERT_EQ(vals, out);
                        }});
        write_and_read(rng, ref, [&](Okv8u** p, int* o) {
            for (auto v : vals) EXPECT_EQ(okvOk, okvsVLCEncodeOne_16s1u(v, p, o, en.spec));
            return okvOk;
        }, {});
        const int N = int(rng() % 4) + 1, B = int(rng() % std::min(15, 24 / N)) + 1;
        for (auto& x : e) x.value = int32_t(rng() & ((1u << (N * B)) - 1));
        const vlct::TupleSpec t(e, sizes, N, B, rng() % 64);
        ASSERT_EQ(okvOk, t.st) << "N " << N << " B " << B;
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
        out.assign(coded + rng() % N, 77);
        want.resize(out.size(), 77);
        write_and_read(rng, s, nullptr, {[&](const Okv8u** p, int* o) {
                                             const int m = int(out.size());
                                             ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(p, o, out.data(), m, t.spec));
                                             ASSERT_EQ(want, out);
                                         },
                                         [&](const Okv8u** p, int* o) {
                                             std::fill(out.begin(), out.end(), 77);
                                             for (size_t i = 0; i < coded; i += size_t(N))
                                                 ASSERT_EQ(okvOk, okvsVLCDecodeUTupleOne_1u16s(p, o, &out[i], t.spec));
                                             ASSERT_EQ(want, out);
                                         }});
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
        }, {[&](const Okv8u** p, int* o) {
            std::fill(out.begin(), out.end(), 77);
            check(aac ? okvsVLCDecodeEscBlock_AAC_1u16s(p, o, out.data(), m, dec.spec)
                      : okvsVLCDecodeEscBlock_MP3_1u16s(p, o, lb, out.data(), m, dec.spec));
        }, [&](const Okv8u** p, int* o) {
            std::fill(out.begin(), out.end(), 77);
            check(aac ? okvsVLCDecodeUTupleEscBlock_AAC_1u16s(p, o, out.data(), m, tup.spec)
                      : okvsVLCDecodeUTupleEscBlock_MP3_1u16s(p, o, lb, out.data(), m, tup.spec));
        }});
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

}  // namespace
