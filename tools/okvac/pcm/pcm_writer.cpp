#include "pcm_writer.h"

#include <bit>
#include <cstring>

namespace {
constexpr size_t kHeader = 44;
constexpr uint32_t kMaxData = 0xFFFFFFFFu - 36;  // the RIFF size field still fits
void le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void le32(uint8_t* p, uint32_t v) { le16(p, v & 0xFFFF), le16(p + 2, v >> 16); }
}  // namespace

bool PcmWriter::open(const char* name, int channels, int rate) {
    channels_ = channels;
    rate_ = rate;
    const size_t n = std::strlen(name);
    wav_ = n > 4 && !std::strcmp(name + n - 4, ".wav");
    if (!out_.open(name)) return false;
    if (!wav_) return true;
    uint8_t h[kHeader];
    header(h, 0xFFFFFFFFu);
    return out_.write(h, sizeof h);
}

void PcmWriter::header(uint8_t* h, uint32_t dataBytes) const {
    std::memcpy(h, "RIFF", 4);
    le32(h + 4, dataBytes > kMaxData ? 0xFFFFFFFFu : 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    le32(h + 16, 16);
    le16(h + 20, 1);
    le16(h + 22, uint32_t(channels_));
    le32(h + 24, uint32_t(rate_));
    le32(h + 28, uint32_t(rate_ * channels_ * 2));
    le16(h + 32, uint32_t(channels_ * 2));
    le16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    le32(h + 40, dataBytes);
}

bool PcmWriter::write(const int16_t* pcm, size_t frames) {
    const size_t n = frames * size_t(channels_);
    bytes_ += n * 2;
    if constexpr (std::endian::native == std::endian::little) return out_.write(pcm, n * 2);
    uint8_t buf[4096];
    for (size_t i = 0; i < n;) {
        size_t k = 0;
        for (; k < sizeof buf && i < n; ++i, k += 2) le16(buf + k, uint16_t(pcm[i]));
        if (!out_.write(buf, k)) return false;
    }
    return true;
}

bool PcmWriter::finish() {
    if (wav_) {
        uint8_t h[kHeader];
        header(h, bytes_ > kMaxData ? kMaxData : uint32_t(bytes_));
        out_.writeAt(0, h, sizeof h);  // false on a pipe: the streaming header stays
    }
    return out_.commit();
}
