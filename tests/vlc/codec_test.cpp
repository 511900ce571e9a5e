// Round trips of the VLC codecs against a bit-by-bit reference writer: random prefix codes and tuple codes
// (with table sizes against a layout model), the AAC escape and MP3 linbits pair codecs with the standard
// tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>

#include "core/heap_growth.h"
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

// GetSize of the plain (N = 0), UTuple or encoding (N < 0) form: the size, else the status.
int64_t lib_size(const Codes& e, const Sizes& s, int N = 0, int B = 0) {
    int size = -1;
    const StatusCode st = N < 0  ? okvsVLCEncodeGetSize_32s(e.data(), int(e.size()), &size)
                          : N    ? okvsVLCDecodeUTupleGetSize_32s(VLCT_TABLE(e, s), N, B, &size)
                                 : okvsVLCDecodeGetSize_32s(VLCT_TABLE(e, s), &size);
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
                           ASSERT_EQ(okvOk, okvsVLCDecodeUTupleBlock_1u16s(p, o, out.data(), int(out.size()), t.spec));
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

// Reference streams: AAC codebook 11 (escape magnitudes past 15 as N - 4 ones, a zero and N bits) or MP3
// with lb linbits.
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

int64_t esize(const Codes& e) { return lib_size(e, {}, -1); }

// A decoder call on (p, o) from bit `bit` of `in`: its status and the bit position after.
using At = std::pair<StatusCode, int64_t>;
At at(const Okv8u* in, int bit, const std::function<StatusCode(const Okv8u**, int*)>& f) {
    const Okv8u* p = in + bit / 8;
    int off = bit % 8;
    const StatusCode st = f(&p, &off);
    return {st, (p - in) * 8 + off};
}
#define AT(in, bit, call) at(in, bit, [&](const Okv8u** p, int* o) { return call; })

// Code: 0 -> 7, 10 -> -3, 110 -> 9, 1110 -> 0, 11110 -> 100; 11111 is absent.
const Codes kCode = {{7, 0b0, 1}, {-3, 0b10, 2}, {9, 0b110, 3}, {0, 0b1110, 4}, {100, 0b11110, 5}};
// Encoding tables: 3 twice (the first encoding wins) and 7, nothing for the 5 between; 0 and a 32-bit 1.
const Codes kEnc37 = {{3, 0b01, 2}, {3, 0b1, 1}, {7, 0b00, 2}}, kWide = {{0, 0, 1}, {1, 0xFFFFFFFF, 32}};

// Bits 0 10 11111 10 stop at the absent code, a bad escape before its pair: the values before it are
// written, the cursor stays. Linbits come before the sign a codeword holds. Later leaves and entries win,
// first encodings do, empty entries are left out. Encoding sizes follow the value range; 2^26 codes of 32
// bits, or 2^25 escaped pairs of 64, count to 2^31 - 1, fewer fit.
TEST(VlcTables, AbsentCodesConflictsAndCounts) {
    const Okv8u absent[9] = {0b01011111, 0b10000000};
    Okv16s out[4] = {77, 77, 77, 77};
    for (auto sizes : {Sizes{5}, Sizes{2, 2, 1}}) {
        const vlct::DecodeSpec t(kCode, sizes);
        EXPECT_EQ(AT(absent, 0, okvsVLCDecodeBlock_1u16s(p, o, out, 3, t.spec)), At(okvErrVLCParam, 0));
        EXPECT_EQ(AT(absent, 3, okvsVLCDecodeOne_1u16s(p, o, out + 3, t.spec)), At(okvErrVLCParam, 3));
        EXPECT_TRUE(t.st == okvOk && out[0] == 7 && out[1] == -3 && out[2] == 77 && out[3] == 77);
    }
    const PairCode& c = vlc_std::kAacCodebook11[17 * 16];
    vlct::BitSink ok;
    ok.put(c.code, c.length), ok.put(0b1'0'1010, 6);  // (-26, 0): sign 1, escape 26 = 16 + 1010
    const int64_t firstEnd = int64_t(ok.nbits);
    ok.put(c.code, c.length), ok.put(0x1FF, 10);  // sign 0, then ones past the longest escape
    ok.bytes.resize(ok.bytes.size() + vlct::kPad);
    const vlct::DecodeSpec aacDec(vlct::esc_decode_entries(vlc_std::kAacCodebook11, 289), {7, 7, 7}, 3);
    EXPECT_EQ(AT(ok.bytes.data(), 0, okvsVLCDecodeEscBlock_AAC_1u16s(p, o, out, 4, aacDec.spec)), At(okvErrVLCParam, 0));
    EXPECT_TRUE(out[0] == -26 && out[1] == 0 && out[2] == 77);
    EXPECT_EQ(AT(ok.bytes.data(), 0, okvsVLCDecodeEscBlock_AAC_1u16s(p, o, out, 3, aacDec.spec)), At(okvOk, firstEnd));
    EXPECT_EQ(out[2], 77);
    // (0, 15) coded by one bit and its sign, and (15, 0) by one bit holding no sign; then (0, 0).
    const PairCode tiny[2] = {{0, 0, 1, 0}, {0, 15, 1, 1}};
    const vlct::DecodeSpec t(vlct::esc_decode_entries(tiny, 2), {2}), raw({{128, 0b0, 1}, {15 * 256 + 128, 0b1, 1}}, {2});
    const Okv8u bits[9] = {0b11011000};  // 1, linbits 101, sign 1, then 0
    EXPECT_EQ(AT(bits, 0, okvsVLCDecodeEscBlock_MP3_1u16s(p, o, 3, out, 4, t.spec)), At(okvOk, 6));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), (std::vector<Okv16s>{0, -20, 0, 0}));
    EXPECT_EQ(AT(bits, 0, okvsVLCDecodeEscBlock_MP3_1u16s(p, o, 3, out, 4, raw.spec)), At(okvOk, 6));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), (std::vector<Okv16s>{-20, 0, 0, 0}));
    const vlct::DecodeSpec raw0({{128, 0b0, 1}, {15 + 128, 0b1, 1}}, {2});  // (0, 15) by one bit holding no sign
    EXPECT_EQ(AT(bits, 0, okvsVLCDecodeEscBlock_MP3_1u16s(p, o, 3, out, 4, raw0.spec)), At(okvOk, 6));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), (std::vector<Okv16s>{0, -20, 0, 0}));
    const Codes e = {{7, 0b0, 1}, {9, 0b011, 3}};
    const vlct::DecodeSpec r({e[1], e[0]}, {2, 2}), d({{1, 0b10, 2}, {2, 0b10, 2}, {5, 0, 0}, {3, 0b0, 1}, {4, 0b11, 2}}, {2});
    const vlct::EncodeSpec en(kEnc37);
    ASSERT_TRUE(vlct::DecodeSpec(e, {2, 2}).st == okvErrVLCTable && r.st == okvOk && d.st == okvOk && en.st == okvOk);
    Okv8u buf[9] = {0b01110000}, zero[9] = {}, *w = zero;
    EXPECT_EQ(AT(buf, 0, okvsVLCDecodeOne_1u16s(p, o, out, r.spec)), At(okvOk, 1));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(AT(buf, 0, okvsVLCDecodeBlock_1u16s(p, o, out, 3, d.spec)), At(okvOk, 5));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{3, 4, 2}));
    int off = 0;
    ASSERT_EQ(okvOk, okvsVLCEncodeOne_16s1u(3, &w, &off, en.spec));
    EXPECT_TRUE(off == 2 && zero[0] == 0b01000000);
    EXPECT_EQ(std::vector<int64_t>({esize({{5, 1, 3}}), esize({{-3, 0, 3}, {4, 1, 3}}), esize({{-32768, 0, 1}, {32767, 1, 1}}),
                                    esize({{0, 0, 1}, {268435422, 1, 1}}), esize({{0, 0, 1}, {268435423, 1, 1}}),
                                    esize({{-2000000000, 0, 1}, {2000000000, 1, 1}})}),  // 2^31 bytes and more refused
              std::vector<int64_t>({140, 224, (65535 + 131072) * 4 + 132, 0x7FFFFFFC, okvErrVLCParam, okvErrVLCParam}));
    EXPECT_EQ(lib_size({{0, 0, 1}, {8193, 1, 1}}, {1}), 3 * 4 + 160);  // 8193 takes b_v + 1 = 15 bits: elements of 17
    const vlct::EncodeSpec wide(kWide), aac(vlct::aac_encode_entries());
    const vlct::EncodeSpec bare({{15, 0b0, 1}, {32 + 15, 0b1, 1}}), signOnly({{30, 0b1, 1}});  // (0, 0), (1, 0); (0, 15)
    const vlct::EncodeSpec pair16({{64 * 16 + 16 + 16, 0, 22}});  // (16, 16) and its signs in 22 bits
    std::vector<Okv16s> ones(1 << 26, 1), big(1 << 26, 8191);     // pairs of 22 + 2 * 21 bits
    const Okv16s esc[2] = {0, 15}, oneZero[2] = {1, 0};
    Okv32s n[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    ASSERT_EQ(okvsVLCCountBits_16s32s(ones.data(), 1 << 26, &n[0], wide.spec) +
                  okvsVLCCountBits_16s32s(ones.data(), (1 << 26) - 1, &n[1], wide.spec) +
                  okvsVLCCountEscBits_AAC_16s32s(oneZero, 1, &n[2], aac.spec) +       // fewer than two values
                  okvsVLCCountEscBits_MP3_16s32s(oneZero, 1, 0, &n[7], bare.spec) +
                  okvsVLCCountEscBits_MP3_16s32s(oneZero, 2, 0, &n[3], bare.spec) +   // the sign in the code
                  okvsVLCCountEscBits_MP3_16s32s(esc, 2, 1, &n[4], signOnly.spec) +  // a code of its sign bit alone
                  okvsVLCCountEscBits_AAC_16s32s(big.data(), 1 << 26, &n[5], pair16.spec) +
                  okvsVLCCountEscBits_AAC_16s32s(big.data(), (1 << 26) - 2, &n[6], pair16.spec),
              okvOk);
    EXPECT_EQ(std::vector<Okv32s>(n, n + 8),
              (std::vector<Okv32s>{INT32_MAX, INT32_MAX - 31, 0, 1, 2, INT32_MAX, INT32_MAX - 63, 0}));
}

// Free releases allocations; a failed InitAlloc hands the block over. Then every refusal of the family, in
// checking order; none moves a cursor or writes.
TEST(VlcTables, LifecycleAndRefusalsInOrder) {
    const Codes two = {{3, 0, 1}, {4, 1, 1}}, bad = {{0, 0, 1}, {1, 0b01, 2}};
    const Okv32s sz[] = {1, 1};
    OkvsVLCDecodeSpec_32s* d = nullptr;
    OkvsVLCDecodeUTupleSpec_32s* t = nullptr;
    OkvsVLCEncodeSpec_32s* en = nullptr;
    EXPECT_LT(heaptest::growth([&] {
                  okvsVLCDecodeInitAlloc_32s(two.data(), 2, sz, 1, &d);
                  okvsVLCDecodeUTupleInitAlloc_32s(two.data(), 2, sz, 1, 1, 3, &t);
                  okvsVLCEncodeInitAlloc_32s(two.data(), 2, &en);
                  okvsVLCDecodeFree_32s(d), okvsVLCDecodeUTupleFree_32s(t), okvsVLCEncodeFree_32s(en);
              }),
              16384);
    const Okv8u one[9] = {0x80};
    Okv16s v1 = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeInitAlloc_32s(two.data(), 2, sz, 1, &d));
    EXPECT_EQ(AT(one, 0, okvsVLCDecodeOne_1u16s(p, o, &v1, d)), At(okvOk, 1));
    EXPECT_EQ(4, v1);
    okvsVLCDecodeFree_32s(d);
    t = nullptr;
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeUTupleInitAlloc_32s(bad.data(), 2, sz, 2, 1, 2, &t));
    ASSERT_NE(nullptr, t);
    okvsVLCDecodeUTupleFree_32s(t);
    Codes chain;  // 0, 10, 110, ... nine codes
    for (int i = 0; i < 9; ++i) chain.push_back({i, (1u << (i + 1)) - 2, i + 1});
    const vlct::DecodeSpec dec(kCode, {2, 2, 1}), freedDec(two, {1}, 3);
    const vlct::TupleSpec tup(vlct::tuple_entries(vlc_std::kMp3Table16, 256, 4), {7, 7, 7}, 2, 4);
    const vlct::EncodeSpec enc(kEnc37), wide(kWide);
    const vlct::EncodeSpec freed({{0, 0, 1}}, 5), aac(vlct::aac_encode_entries());
    const vlct::EncodeSpec mp3(vlct::mp3_encode_entries(vlc_std::kMp3Table16));
    ASSERT_TRUE(dec.st == okvOk && freedDec.st == okvOk && tup.st == okvOk && enc.st == okvOk && wide.st == okvOk &&
                aac.st == okvOk && freed.st == okvOk && mp3.st == okvOk);
    okvsVLCEncodeFree_32s(freed.spec), okvsVLCDecodeFree_32s(freedDec.spec);
    const auto* encAsDec = reinterpret_cast<const OkvsVLCDecodeSpec_32s*>(enc.spec);
    const auto* decAsEnc = reinterpret_cast<const OkvsVLCEncodeSpec_32s*>(dec.spec);
    const auto* decAsTup = reinterpret_cast<const OkvsVLCDecodeUTupleSpec_32s*>(dec.spec);
    Okv8u buf[16] = {};
    const Okv8u* p = buf;
    Okv8u *w = buf, *nul = nullptr;
    int off = 0, eight = 8, minus = -1, size = -1;
    Okv16s out[4] = {77, 77, 77, 77};
    const Okv16s v[3] = {3, 5, 7}, big[2] = {8192, 0}, z[2] = {0, 0};
    Okv32s n = -1;
    const auto st = [](int64_t r) { return StatusCode(std::min<int64_t>(r, okvOk)); };
    const std::pair<StatusCode, StatusCode> calls[] = {
        {st(esize({{0, 0, 0}})), okvErrVLCParam},
        {st(esize({{0, 0, 33}})), okvErrVLCParam},
        {okvsVLCEncodeGetSize_32s(chain.data(), 0, &size), okvErrVLCParam},
        {okvsVLCEncodeGetSize_32s(nullptr, 0, &size), okvErrNullPtr},
        {okvsVLCEncodeGetSize_32s(chain.data(), 1, nullptr), okvErrNullPtr},
        {st(lib_size(chain, {4, 0, 8})), okvErrVLCTable},  // a size below 1, or too few, before the sum reaches L
        {st(lib_size(chain, {4, 4, 1, -5})), okvOk},        // sizes after the sum reaches L are not examined
        {st(lib_size({{0, 0, 0}, {1, 0, -2}}, {4})), okvErrVLCTable},
        {st(lib_size({{0, 0, 33}}, {16, 16, 16})), okvErrVLCTable},
        {st(lib_size(chain, {4}, 2, 0)), okvErrBadArg},
        {okvsVLCDecodeUTupleGetSize_32s(chain.data(), 0, sz, 1, 0, 4, &size), okvErrBadArg},  // before the table
        {okvsVLCDecodeGetSize_32s(nullptr, 1, sz, 1, &size), okvErrNullPtr},
        {okvsVLCDecodeGetSize_32s(chain.data(), 0, nullptr, 1, &size), okvErrNullPtr},
        {okvsVLCDecodeUTupleGetSize_32s(chain.data(), 9, sz, 1, 1, 1, nullptr), okvErrNullPtr},
        {okvsVLCDecodeUTupleGetSize_32s(nullptr, 9, sz, 1, 1, 1, &size), okvErrNullPtr},
        {okvsVLCDecodeUTupleInitAlloc_32s(two.data(), 2, nullptr, 1, 1, 3, &t), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, &eight, out, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeBlock_1u16s(&p, &minus, out, 1, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeBlock_1u16s(&p, &off, out, 0, dec.spec), okvOk},
        {okvsVLCDecodeBlock_1u16s(&p, &off, out, 1, nullptr), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, nullptr, out, dec.spec), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, &off, out, encAsDec), okvErrVLCParam},
        {okvsVLCDecodeOne_1u16s(&p, &off, out, freedDec.spec), okvErrVLCParam},
        {okvsVLCDecodeUTupleOne_1u16s(&p, &off, out, decAsTup), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(5, &w, &off, enc.spec), okvErrVLCParam},  // inside [3, 7] but without a code
        {okvsVLCEncodeBlock_16s1u(v, 3, &w, &off, enc.spec), okvErrVLCParam},
        {okvsVLCCountBits_16s32s(v, 3, &n, enc.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(8, &w, &off, enc.spec), okvErrVLCParam},  // outside the range
        {okvsVLCEncodeOne_16s1u(2, &w, &off, enc.spec), okvErrVLCParam},
        {okvsVLCEncodeBlock_16s1u(z, 2, &w, &eight, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(0, &w, &eight, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(0, &nul, &off, wide.spec), okvErrNullPtr},
        {okvsVLCEncodeBlock_16s1u(v, 0, &w, &off, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeBlock_16s1u(v, 2, &nul, &off, wide.spec), okvErrNullPtr},
        {okvsVLCCountBits_16s32s(v, 2, nullptr, wide.spec), okvErrNullPtr},
        {okvsVLCCountBits_16s32s(v, 0, &n, wide.spec), okvErrVLCParam},
        {okvsVLCCountBits_16s32s(v, 2, &n, freed.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(0, &w, &off, freed.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &eight, out, 2, dec.spec), okvErrBitOffset},
        {okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&p, &eight, 3, out, 2, tup.spec), okvErrBitOffset},
        {okvsVLCEncodeEscBlock_AAC_16s1u(out, 2, &w, &eight, enc.spec), okvErrBitOffset},
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, nullptr, 3, out, 2, dec.spec), okvErrNullPtr},
        {okvsVLCCountEscBits_MP3_16s32s(out, 2, 3, nullptr, enc.spec), okvErrNullPtr},
        {okvsVLCEncodeEscBlock_MP3_16s1u(out, 2, 3, nullptr, &off, enc.spec), okvErrNullPtr},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 2, encAsDec), okvErrContextMatch},
        {okvsVLCCountEscBits_AAC_16s32s(out, 2, &n, decAsEnc), okvErrContextMatch},
        {okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&p, &off, out, 2, decAsTup), okvErrVLCParam},  // plain, not a pair tuple
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, 15, out, 2, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, -1, out, 2, dec.spec), okvErrVLCParam},
        {okvsVLCEncodeEscBlock_MP3_16s1u(z, 2, 15, &w, &off, mp3.spec), okvErrVLCParam},
        {okvsVLCCountEscBits_MP3_16s32s(z, 2, 15, &n, mp3.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 1, dec.spec), okvOk},  // fewer than two values
        {okvsVLCEncodeEscBlock_AAC_16s1u(out, 1, &w, &off, enc.spec), okvOk},
        {okvsVLCEncodeEscBlock_AAC_16s1u(big, 2, &w, &off, aac.spec), okvErrVLCParam},  // beyond the escape range
        {okvsVLCCountEscBits_AAC_16s32s(big, 2, &n, aac.spec), okvErrVLCParam},
    };
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    EXPECT_TRUE(p == buf && w == buf && off == 0 && eight == 8 && minus == -1 && n == -1 && size == -1);
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), std::vector<Okv16s>(4, 77));
    EXPECT_EQ(std::vector<Okv8u>(buf, buf + 16), std::vector<Okv8u>(16, 0));
}

}  // namespace
