// Helpers of the Layer III decoder and encoder tests: frame headers, an MSB-first bit writer, the band
// tables and readers of the standard tables.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
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
    h.id = id, h.layer = 1, h.protection_bit = 1, h.mode = mode, h.mode_extension = modeExt;
    h.sampling_frequency = sf, h.bitrate_index = 9;
    return h;
}

// Bit position reached from base: bytes moved times 8 plus the offset.
inline long bitPos(const Okv8u* base, const Okv8u* p, int offset) { return (p - base) * 8L + offset; }

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
        if (b) buf_.back() |= uint8_t(0x80 >> (nbits_ % 8));
        ++nbits_;
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
        std::vector<std::string> words;
        for (std::string w; ss >> w;) words.push_back(w);
        if (!words.empty() && line[0] != '#') out.push_back(words);
    }
    return out;
}

// Lifecycle of a float filter state (analysis or synthesis) in misaligned caller memory: 16-byte
// aligned, nothing written past its size, the argument checks, Free of an Init'd state keeping it
// usable, foreign blocks and nulls refused. In mode 1 the filter reads at most 64 values, writes 32.
template <class State>
void checkFilterLifecycle(StatusCode (*getSize)(int*), StatusCode (*init)(State**, Okv8u*),
                          StatusCode (*filter)(const Okv32f*, Okv32f*, State*, int), StatusCode (*release)(State*)) {
    int size = 0;
    ASSERT_EQ(getSize(&size), okvOk);
    EXPECT_EQ(size, 2107);
    std::vector<Okv8u> mem(size + 64, 0xCC), junk(64, 0);
    State* obj = nullptr;
    ASSERT_EQ(init(&obj, mem.data() + 3), okvOk);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(obj) % 16, 0u);
    const Okv32f zeros[64] = {};
    Okv32f out[33];
    out[32] = 99;
    for (int call = 0; call < 20; ++call) ASSERT_EQ(filter(zeros, out, obj, 1), okvOk);
    for (int m = 0; m < 33; ++m) EXPECT_EQ(out[m], m < 32 ? 0.0f : 99.0f);
    EXPECT_EQ(std::vector<StatusCode>({filter(zeros, out, obj, 0), filter(zeros, out, obj, 3), filter(zeros, nullptr, obj, 1),
                                       release(obj), filter(zeros, out, obj, 1), release(reinterpret_cast<State*>(junk.data())),
                                       filter(zeros, out, reinterpret_cast<State*>(junk.data()), 1), release(nullptr),
                                       init(&obj, nullptr), getSize(nullptr)}),
              std::vector<StatusCode>({okvErrBadArg, okvErrBadArg, okvErrNullPtr, okvOk, okvOk, okvErrContextMatch,
                                       okvErrContextMatch, okvErrNullPtr, okvErrNullPtr, okvErrNullPtr}));
    for (size_t i = size + 3; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i - 3 << " of " << size;
}

}  // namespace mp3test

#define MP3_SKIP_WITHOUT_TABLES(cond) \
    if (!(cond)) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir()
