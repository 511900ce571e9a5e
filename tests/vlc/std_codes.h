// The standard pair codes the escape tests use, read back from the library's own decoding
// tables: AAC spectral codebook 11 and the MP3 pair tables 16 and 24.
#pragma once
#include <cstdint>

#include "aac/huff_aac_data.h"
#include "mp3/huffman_encode_codes.h"

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
inline constexpr const PairCode* kAacCodebook11 = kAac11.c;
inline constexpr const PairCode* kMp3Table16 = kMp3T16.c;
inline constexpr const PairCode* kMp3Table24 = kMp3T24.c;

}  // namespace vlc_std
