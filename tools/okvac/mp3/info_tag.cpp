#include "mp3/info_tag.h"

#include <cstring>

#include "mp3/crc16.h"
#include "mp3/frame_tables.h"

namespace {

// ffmpeg trims by the tag only when the encoder field starts with "LAME" (mpg123 and okvac
// decode read it either way), so the field is that prefix followed by this encoder's name.
constexpr char kEncoder[10] = "LAMEokvac";

void be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

}  // namespace

std::vector<uint8_t> infoTagFrame(const MP3FrameHeader& stream, const InfoTotals& t) {
    // Without CRC protection whatever the stream's: decoders look for the tag right after the
    // side information of an unprotected frame.
    MP3FrameHeader h = stream;
    h.protection_bit = 1;
    const int mono = h.mode == 3;
    const int sideBytes = h.id ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int tag = 4 + sideBytes, need = tag + 120 + 36;
    const int slots = h.id ? 144000 : 72000, rate = kMp3Rates[h.sampling_frequency] >> (1 - h.id);
    // The stream's bitrate, or the lowest one whose frame holds the tag.
    h.padding_bit = 0, h.mode_extension = 0;
    while (h.bitrate_index < 14 && slots * kMp3Kbps[h.id][h.bitrate_index] / rate < need) ++h.bitrate_index;
    std::vector<uint8_t> f(size_t(slots * kMp3Kbps[h.id][h.bitrate_index] / rate), 0);
    Okv8u* p = f.data();
    okvsPackFrameHeader_MP3(&h, &p);

    uint8_t* q = f.data() + tag;
    const long long bytes = t.bytes + (long long)f.size();
    memcpy(q, "Info", 4);
    be32(q + 4, 15);  // frames, bytes, seek table, quality
    be32(q + 8, uint32_t(t.frames));
    be32(q + 12, uint32_t(bytes));
    for (int i = 0; i < 100; ++i) q[16 + i] = uint8_t(i * 256 / 100);  // constant bitrate: linear
    be32(q + 116, 0);
    uint8_t* e = q + 120;
    memcpy(e, kEncoder, 9);
    e[9] = 1;  // tag revision 0, constant bitrate
    e[20] = uint8_t(t.kbps < 255 ? t.kbps : 255);
    e[21] = uint8_t(t.delay >> 4), e[22] = uint8_t((t.delay & 15) << 4 | t.padding >> 8), e[23] = uint8_t(t.padding);
    be32(e + 28, uint32_t(bytes));
    e[32] = uint8_t(t.audioCrc >> 8), e[33] = uint8_t(t.audioCrc);
    const uint16_t crc = crc16Reflected(0, f.data(), size_t(e + 34 - f.data()));
    e[34] = uint8_t(crc >> 8), e[35] = uint8_t(crc);
    return f;
}
