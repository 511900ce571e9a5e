// Helpers for the Layer III tests: frame headers, an MSB-first bit writer and readers of the standard tables.
#pragma once
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "okvac.h"

namespace mp3test {

// A Layer III frame header (CRC off, 128 kbit/s) of version id, mode and rate index sf.
inline MP3FrameHeader header(int id, int mode, int sf = 0, int modeExt = 0) {
    MP3FrameHeader h{};
    h.id = id;
    h.layer = 1;
    h.protection_bit = 1;
    h.mode = mode;
    h.mode_extension = modeExt;
    h.sampling_frequency = sf;
    h.bitrate_index = 9;
    return h;
}

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

inline std::string sharedDir() {
#ifdef OKV_SHARED_DIR
    return OKV_SHARED_DIR;
#else
    return "";
#endif
}

// Data lines (not starting with '#') of a shared table file, split into words; empty if absent.
inline std::vector<std::vector<std::string>> tableLines(const std::string& relPath) {
    std::vector<std::vector<std::string>> out;
    std::ifstream f(sharedDir() + "/tables/mp3/" + relPath);
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ss(line);
        std::vector<std::string> words;
        for (std::string w; ss >> w;) words.push_back(w);
        if (!words.empty()) out.push_back(words);
    }
    return out;
}

struct PairCode {
    int x, y;
    std::string code;
};

// Code words of pair table t (1..24) from the shared text.
inline std::vector<PairCode> pairCodes(int t) {
    std::vector<PairCode> out;
    char name[32];
    snprintf(name, sizeof name, "huffman/table_%02d.txt", t);
    for (auto& w : tableLines(name)) out.push_back({std::stoi(w[0]), std::stoi(w[1]), w[3]});
    return out;
}

}  // namespace mp3test
