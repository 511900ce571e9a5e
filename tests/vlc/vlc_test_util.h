// VLC test, benchmark and fuzz helpers: bit sink, random codes, standard pair codes, specs.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "aac/huff_aac_data.h"
#include "mp3/huffman_encode_codes.h"
#include "okvac.h"

namespace vlc_std {

// Unsigned pair (x, y) and its codeword, first transmitted bit most significant.
struct PairCode {
    uint8_t x, y, length;
    uint32_t code;
};
struct PairTable {
    PairCode c[289];
};

// Codebook 11 from the decoder's two-level table: a root entry (8 bits) holds a code of up to 8
// bits with its length in bits 0-4, x in bits 8-13 and y in bits 14-19, or (bit 5) links to a
// subtable of 2^(bits 0-4) entries indexed by the bits that follow.
constexpr PairTable aac_codebook11() {
    PairTable t{};
    const Okv32u* h = OKV_NS::kHuffSpec11;
    for (uint32_t r = 0; r < 256; ++r) {
        const uint32_t sub = h[r] & 0x20 ? h[r] & 31 : 0;
        for (uint32_t j = 0; j < (1u << sub); ++j) {
            const uint32_t e = sub ? h[(h[r] >> 8) + j] : h[r], len = e & 31;
            const int x = int(e >> 8) & 63, y = int(e >> 14) & 63;
            t.c[17 * x + y] = {uint8_t(x), uint8_t(y), uint8_t(len), (r << sub | j) >> (8 + sub - len)};
        }
    }
    return t;
}

// An MP3 pair table from the encoder's code lists, which the decoding tables derive.
constexpr PairTable mp3_table(int tableSelect) {
    PairTable t{};
    const auto& p = OKV_NS::mp3enc::kEncodeTables.pair[OKV_NS::mp3enc::pairSlot(tableSelect)];
    for (int i = 0; i < 256; ++i) t.c[i] = {uint8_t(i >> 4), uint8_t(i & 15), uint8_t(p.c[i].len), p.c[i].code};
    return t;
}

inline constexpr PairTable kAac11 = aac_codebook11(), kMp3T16 = mp3_table(16), kMp3T24 = mp3_table(24);
inline constexpr const PairCode *kAacCodebook11 = kAac11.c, *kMp3Table16 = kMp3T16.c, *kMp3Table24 = kMp3T24.c;

}  // namespace vlc_std

namespace vlct {

using Codes = std::vector<VLCCodeEntry>;
using Sizes = std::vector<Okv32s>;

// Bit-by-bit reference writer.
struct BitSink {
    std::vector<uint8_t> bytes;
    uint64_t nbits = 0;
    void bit(unsigned b) {
        if (nbits % 8 == 0) bytes.push_back(0);
        if (b) bytes.back() |= uint8_t(0x80u >> (nbits % 8));
        ++nbits;
    }
    void put(uint64_t code, int len) {
        for (int i = len - 1; i >= 0; --i) bit(unsigned(code >> i) & 1);
    }
};

// Decoders read up to 8 bytes from the byte of the current position.
constexpr size_t kPad = 8;

// A random prefix code of n codes (complete for n >= 2) with lengths up to maxLen, built by
// splitting leaves of a binary tree, deep ones now and then so that long codes occur. Values are
// distinct int16: a small non-negative range, a signed range, or scattered.
inline Codes random_prefix_code(std::mt19937& rng, int n, int maxLen) {
    Codes e = {{0, 0, 1}, {0, 1, 1}};
    if (n == 1) {
        const int len = int(rng() % maxLen) + 1;
        e = {{0, uint32_t(rng()) & uint32_t((uint64_t(1) << len) - 1), len}};
    }
    while (int(e.size()) < n) {
        size_t k = rng() % e.size();
        if (rng() % 3 == 0)
            for (size_t i = 0; i < e.size(); ++i)
                if (e[i].length > e[k].length && e[i].length < maxLen) k = i;
        if (e[k].length >= maxLen) continue;
        e[k].code <<= 1, e[k].length++;
        e.push_back({0, e[k].code | 1, e[k].length});
    }
    std::shuffle(e.begin(), e.end(), rng);
    const int mode = int(rng() % 3);
    std::vector<int32_t> vals;
    for (int i = 0; i < n; ++i) {
        int32_t v = mode == 0 ? i : i - n / 2;
        if (mode == 2)
            do v = int32_t(int16_t(rng()));
            while (std::find(vals.begin(), vals.end(), v) != vals.end());
        vals.push_back(v);
    }
    std::shuffle(vals.begin(), vals.end(), rng);
    for (int i = 0; i < n; ++i) e[i].value = vals[i];
    return e;
}

// Random level widths covering the longest code, sometimes followed by unexamined sizes.
inline Sizes random_sizes(std::mt19937& rng, const Codes& e) {
    int L = 0;
    for (auto& x : e) L = std::max(L, x.length);
    Sizes s;
    for (int sum = 0; sum < L; sum += s.back()) s.push_back(int(rng() % 9) + 1);
    if (rng() % 4 == 0) s.push_back(int(rng() % 3) - 1);
    return s;
}

// A standard pair table with its sign bits appended to the codeword (first value's sign first,
// 1 = negative), each signed pair valued by pack(a, b).
template <class Pack>
Codes signed_pairs(const vlc_std::PairCode* t, int n, Pack pack) {
    Codes e;
    for (int i = 0; i < n; ++i) {
        const int x = t[i].x, y = t[i].y, len = t[i].length + (x ? 1 : 0) + (y ? 1 : 0);
        for (int sx = 0; sx < (x ? 2 : 1); ++sx)
            for (int sy = 0; sy < (y ? 2 : 1); ++sy) {
                const uint32_t signs = uint32_t(x ? sx << (y ? 1 : 0) : 0) | uint32_t(y ? sy : 0);
                e.push_back({pack(sx ? -x : x, sy ? -y : y), t[i].code << (len - t[i].length) | signs, len});
            }
    }
    return e;
}

// Entry lists of the escape codecs.
inline Codes esc_decode_entries(const vlc_std::PairCode* t, int n) {
    return signed_pairs(t, n, [](int a, int b) { return 256 * a + b + 128; });
}
inline Codes aac_encode_entries() {
    return signed_pairs(vlc_std::kAacCodebook11, 289, [](int a, int b) { return 64 * a + b + 16; });
}
inline Codes mp3_encode_entries(const vlc_std::PairCode* t) {
    return signed_pairs(t, 256, [](int a, int b) { return 32 * a + b + 15; });
}
// UTuple form: the codeword only, valued by the packed pair of B-bit magnitudes.
inline Codes tuple_entries(const vlc_std::PairCode* t, int n, int B) {
    Codes e;
    for (int i = 0; i < n; ++i) e.push_back({t[i].x << B | t[i].y, t[i].code, t[i].length});
    return e;
}

// Spec memory from GetSize, owned by a vector and started at a chosen misalignment.
struct SpecMem {
    std::vector<uint8_t> mem;
    void* at(size_t size, size_t shift) {
        mem.assign(size + shift, 0xA5);
        return mem.data() + shift;
    }
};

// A spec built by GetSize then Init in memory `shift` bytes into a vector; st: the first status other than okvOk.
template <class Spec>
struct Built {
    SpecMem m;
    Spec* spec = nullptr;
    StatusCode st;
    Built(size_t shift, auto get, auto init, auto... a) {
        int n = 0;
        st = get(a..., &n);
        spec = static_cast<Spec*>(m.at(size_t(n), shift));
        if (st == okvOk) st = init(a..., spec);
    }
};
#define VLCT_TABLE(e, s) (e).data(), int((e).size()), (s).data(), int((s).size())
struct DecodeSpec : Built<OkvsVLCDecodeSpec_32s> {
    DecodeSpec(const Codes& e, const Sizes& s, size_t shift = 7)
        : Built(shift, okvsVLCDecodeGetSize_32s, okvsVLCDecodeInit_32s, VLCT_TABLE(e, s)) {}
};
struct TupleSpec : Built<OkvsVLCDecodeUTupleSpec_32s> {
    TupleSpec(const Codes& e, const Sizes& s, int N, int B, size_t shift = 1)
        : Built(shift, okvsVLCDecodeUTupleGetSize_32s, okvsVLCDecodeUTupleInit_32s, VLCT_TABLE(e, s), N, B) {}
};
struct EncodeSpec : Built<OkvsVLCEncodeSpec_32s> {
    explicit EncodeSpec(const Codes& e, size_t shift = 9)
        : Built(shift, okvsVLCEncodeGetSize_32s, okvsVLCEncodeInit_32s, e.data(), int(e.size())) {}
};

}  // namespace vlct
