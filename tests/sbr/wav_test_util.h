// Minimal reader of 16-bit PCM WAV files for the tests (samples scaled to [-1, 1)).
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace wavtest {

struct Wav {
    int channels = 0, rate = 0;
    std::vector<float> samples;  // interleaved
};

inline bool readWav16(const std::string& path, Wav* w) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return false;
    auto u16 = [&](size_t p) { return uint32_t(b[p] | b[p + 1] << 8); };
    auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
    for (size_t p = 12; p + 8 <= b.size();) {
        const uint32_t len = u32(p + 4);
        if (!std::memcmp(b.data() + p, "fmt ", 4) && len >= 16) {
            w->channels = int(u16(p + 10));
            w->rate = int(u32(p + 12));
            if (u16(p + 8) != 1 || u16(p + 22) != 16) return false;
        } else if (!std::memcmp(b.data() + p, "data", 4)) {
            const size_t n = std::min<size_t>(len, b.size() - p - 8) / 2;
            w->samples.resize(n);
            for (size_t i = 0; i < n; ++i) w->samples[i] = int16_t(u16(p + 8 + 2 * i)) / 32768.0f;
            return w->channels > 0;
        }
        p += 8 + len + (len & 1);
    }
    return false;
}

}  // namespace wavtest
