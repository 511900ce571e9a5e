// Helpers of the Layer III decoder and encoder tests: frame headers, bit positions, an MSB-first bit
// writer, the band tables and a reader of the shared standard tables.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "mp3/sfb_tables_data.h"
#include "okvac.h"

namespace mp3test {

inline constexpr Okv16s kSfbLong[9][23] = OKV_MP3_SFB_LONG_INIT;
inline constexpr Okv16s kSfbShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
// Row length of each pair table (0: no table) and escape bits of each table_select.
inline constexpr int kXlen[16] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16};
inline constexpr int kLinbits[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,
                                     1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};

// A Layer III frame header (CRC off, 128 kbit/s) of version id, mode and rate index sf.
inline MP3FrameHeader header(int id, int mode, int sf = 0, int modeExt = 0) {
    MP3FrameHeader h{};
    h.id = id, h.layer = 1, h.protection_bit = 1, h.mode = mode, h.mode_extension = modeExt, h.sampling_frequency = sf;
    h.bitrate_index = 9;
    return h;
}

// Bit position reached from base: bytes moved times 8 plus the offset.
inline long bitPos(const Okv8u* base, const Okv8u* p, int offset) { return (p - base) * 8L + offset; }

// MSB-first bit writer (also used by the other codecs' stream builders).
class BitWriter {
public:
    void put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) putBit((value >> i) & 1);
    }
    void putCode(const std::string& bits) {
        for (char c : bits) putBit(c == '1');
    }
    size_t bits() const { return nbits_; }
    // The bytes written, followed by `pad` zero bytes for the readers' look-ahead.
    std::vector<uint8_t> bytes(size_t pad = 16) const {
        std::vector<uint8_t> b = buf_;
        b.resize(b.size() + pad, 0);
        return b;
    }

private:
    void putBit(int b) {
        if (nbits_ % 8 == 0) buf_.push_back(0);
        buf_.back() |= uint8_t(b << (7 - nbits_++ % 8));
    }
    std::vector<uint8_t> buf_;
    size_t nbits_ = 0;
};

inline std::string sharedDir() { return OKV_SHARED_DIR; }

// Data lines (not starting with '#') of a shared table file, split into words; empty if absent.
inline std::vector<std::vector<std::string>> tableLines(const std::string& relPath) {
    std::vector<std::vector<std::string>> out;
    std::ifstream f(sharedDir() + "/tables/mp3/" + relPath);
    for (std::string line; std::getline(f, line);) {
        std::istringstream ss(line);
        std::vector<std::string> words{std::istream_iterator<std::string>(ss), {}};
        if (!words.empty() && line[0] != '#') out.push_back(words);
    }
    return out;
}

}  // namespace mp3test

#define MP3_SKIP_WITHOUT_TABLES(cond) \
    if (!(cond)) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir()
