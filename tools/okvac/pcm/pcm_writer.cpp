#include "pcm_writer.h"

#include <bit>
#include <cstring>

#include "wav_header.h"

namespace {
constexpr uint32_t kMaxData = 0xFFFFFFFFu - (kWavHeaderMax - 8);  // the RIFF size field still fits
void le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
}  // namespace

bool PcmWriter::open(const char* name, int channels, int rate, uint32_t mask) {
    channels_ = channels;
    mask_ = mask;
    rate_ = rate;
    const size_t n = std::strlen(name);
    wav_ = n > 4 && !std::strcmp(name + n - 4, ".wav");
    if (!out_.open(name)) return false;
    if (!wav_) return true;
    uint8_t h[kWavHeaderMax];
    return out_.write(h, header(h, 0xFFFFFFFFu));
}

size_t PcmWriter::header(uint8_t* h, uint32_t dataBytes) const {
    return wavHeader(h, channels_, rate_, mask_, dataBytes);
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
        uint8_t h[kWavHeaderMax];
        const size_t n = header(h, bytes_ > kMaxData ? kMaxData : uint32_t(bytes_));
        out_.writeAt(0, h, n);  // false on a pipe: the streaming header stays
    }
    return out_.commit();
}
