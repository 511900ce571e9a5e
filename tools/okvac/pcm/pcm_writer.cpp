#include "pcm/pcm_writer.h"

#include <bit>
#include <cstring>
#include <string>

#include "pcm/wav_header.h"

namespace {
void le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
}  // namespace

bool PcmWriter::open(const char* name, int channels, int rate, uint32_t mask) {
    channels_ = channels;
    mask_ = mask;
    rate_ = rate;
    const std::string n = name;
    wav_ = n.size() > 4 && n.compare(n.size() - 4, 4, ".wav") == 0;
    f_ = n == "-" ? stdout : std::fopen(name, "wb");
    return f_ && (!wav_ || header(0));
}

bool PcmWriter::header(uint32_t dataBytes) {
    uint8_t h[kWavHeaderMax];
    const size_t n = wavHeader(h, channels_, rate_, mask_, dataBytes);
    return std::fwrite(h, 1, n, f_) == n;
}

bool PcmWriter::write(const int16_t* pcm, size_t frames) {
    const size_t n = frames * size_t(channels_);
    if constexpr (std::endian::native == std::endian::little) {
        ok_ = ok_ && std::fwrite(pcm, 2, n, f_) == n;
    } else {
        uint8_t buf[4096];
        for (size_t i = 0; i < n;) {
            size_t k = 0;
            for (; k + 2 <= sizeof buf && i < n; ++i, k += 2) le16(buf + k, uint16_t(pcm[i]));
            ok_ = ok_ && std::fwrite(buf, 1, k, f_) == k;
        }
    }
    bytes_ += n * 2;
    return ok_;
}

bool PcmWriter::close() {
    if (!f_) return false;
    if (wav_ && ok_) {
        const uint32_t data = bytes_ > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(bytes_);
        ok_ = std::fseek(f_, 0, SEEK_SET) == 0 && header(data);
    }
    ok_ = (f_ == stdout ? std::fflush(f_) == 0 : std::fclose(f_) == 0) && ok_;
    f_ = nullptr;
    return ok_;
}
