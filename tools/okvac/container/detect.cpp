#include "detect.h"

#include <cstring>

#include "adts_scanner.h"
#include "mp4_reader.h"
#include "tags.h"

namespace {

// A LOAS frame: 11-bit sync 0x2B7 and a 13-bit length, followed by another one (or the end).
bool loasAt(const uint8_t* p, size_t left) {
    for (int k = 0; k < 2; ++k) {
        if (left == 0 && k > 0) return true;
        if (left < 3 || p[0] != 0x56 || (p[1] & 0xE0) != 0xE0) return false;
        const size_t n = 3 + (size_t(p[1] & 0x1F) << 8 | p[2]);
        if (n > left) return k > 0;
        p += n, left -= n;
    }
    return true;
}

}  // namespace

AacContainer detectAacContainer(const uint8_t* data, size_t len, size_t* start) {
    *start = 0;
    if (looksLikeMp4(data, len)) return AacContainer::kMp4;
    const size_t tag = tagSizeAt(data, len);
    if (len - tag >= 4 && !std::memcmp(data + tag, "ADIF", 4)) return *start = tag, AacContainer::kAdif;
    if (loasAt(data + tag, len - tag)) return *start = tag, AacContainer::kLatm;
    AdtsScanner scan(data, len);
    const uint8_t* frame;
    AdtsInfo info;
    bool truncated;
    if (scan.next(&frame, &info, &truncated)) return *start = size_t(frame - data), AacContainer::kAdts;
    if (truncated) return *start = scan.position(), AacContainer::kAdts;  // a frame longer than the data
    for (size_t i = tag; i + 3 <= len && i < tag + 65536; ++i)
        if (loasAt(data + i, len - i)) return *start = i, AacContainer::kLatm;
    return AacContainer::kNone;
}
