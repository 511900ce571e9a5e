#include "wav_header.h"

#include <cstring>

namespace {
void le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void le32(uint8_t* p, uint32_t v) { le16(p, v & 0xFFFF), le16(p + 2, v >> 16); }
// The PCM subformat GUID of WAVE_FORMAT_EXTENSIBLE.
const uint8_t kPcmGuid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
}  // namespace

size_t wavHeader(uint8_t* h, int channels, int rate, uint32_t mask, uint32_t dataBytes) {
    const bool ext = channels > 2;
    const uint32_t fmtBytes = ext ? 40 : 16;
    const size_t size = 28 + fmtBytes;
    std::memcpy(h, "RIFF", 4);
    const uint32_t riff = uint32_t(size - 8);
    le32(h + 4, dataBytes > 0xFFFFFFFFu - riff ? 0xFFFFFFFFu : riff + dataBytes);  // saturates for streaming
    std::memcpy(h + 8, "WAVEfmt ", 8);
    le32(h + 16, fmtBytes);
    le16(h + 20, ext ? 0xFFFE : 1);
    le16(h + 22, uint32_t(channels));
    le32(h + 24, uint32_t(rate));
    le32(h + 28, uint32_t(rate * channels * 2));
    le16(h + 32, uint32_t(channels * 2));
    le16(h + 34, 16);
    if (ext) {
        le16(h + 36, 22);
        le16(h + 38, 16);
        le32(h + 40, mask);
        std::memcpy(h + 44, kPcmGuid, 16);
    }
    std::memcpy(h + size - 8, "data", 4);
    le32(h + size - 4, dataBytes);
    return size;
}
