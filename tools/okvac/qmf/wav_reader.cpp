#include "qmf/wav_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint32_t le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

bool readWav(const char* path, WavData* out, std::string* error) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        *error = "cannot open the file";
        return false;
    }
    std::vector<uint8_t> b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) {
        *error = "not a RIFF/WAVE file";
        return false;
    }
    int format = 0, bits = 0;
    for (size_t p = 12; p + 8 <= b.size();) {
        const size_t len = le(&b[p + 4], 4), body = p + 8;
        const size_t avail = len < b.size() - body ? len : b.size() - body;
        if (!std::memcmp(&b[p], "fmt ", 4) && avail >= 16) {
            format = int(le(&b[body], 2));
            out->channels = int(le(&b[body + 2], 2));
            out->rate = int(le(&b[body + 4], 4));
            bits = int(le(&b[body + 14], 2));
            if (format == 0xFFFE && avail >= 26) format = int(le(&b[body + 24], 2));  // extensible
        } else if (!std::memcmp(&b[p], "data", 4)) {
            if (!format) break;
            const bool isFloat = format == 3 && bits == 32, isInt = format == 1 && bits % 8 == 0 && bits >= 8 && bits <= 32;
            if ((!isFloat && !isInt) || out->channels < 1 || out->channels > 64 || out->rate < 1) {
                *error = "unsupported sample format (integer PCM of 8 to 32 bits or 32-bit float expected)";
                return false;
            }
            const int bytes = bits / 8;
            const size_t count = avail / size_t(bytes * out->channels) * size_t(out->channels);
            out->samples.resize(count);
            for (size_t i = 0; i < count; ++i) {
                const uint32_t v = le(&b[body + i * bytes], bytes);
                if (isFloat) {
                    float x;
                    std::memcpy(&x, &v, 4);
                    out->samples[i] = x == x ? x : 0.0f;
                } else if (bits == 8) {
                    out->samples[i] = (int(v) - 128) / 128.0f;
                } else {
                    const int32_t s = int32_t(v << (32 - bits));  // sign-extended, scaled to 32 bits
                    out->samples[i] = float(s / 2147483648.0);
                }
            }
            return true;
        }
        p = body + len + (len & 1);
    }
    *error = "no fmt or data chunk";
    return false;
}
