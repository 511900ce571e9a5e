#include "adts_scanner.h"

#include "tags.h"

namespace {
// Same stream: MPEG version, layer, profile, rate and channel configuration agree.
bool sameStream(const AdtsInfo& a, const AdtsInfo& b) {
    return a.id == b.id && a.profile == b.profile && a.rateIndex == b.rateIndex &&
           a.channelConfig == b.channelConfig;
}
}  // namespace

bool adtsParseHeader(const uint8_t* p, AdtsInfo* info) {
    if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) return false;  // sync, layer 00
    info->id = (p[1] >> 3) & 1;
    info->profile = p[2] >> 6;
    info->rateIndex = (p[2] >> 2) & 15;
    info->channelConfig = (p[2] & 1) << 2 | p[3] >> 6;
    info->headerBytes = (p[1] & 1) ? 7 : 9;
    info->size = size_t(p[3] & 3) << 11 | size_t(p[4]) << 3 | p[5] >> 5;
    info->blocks = (p[6] & 3) + 1;
    // Rates 13..15 do not exist; 12 is kept so that it can be refused by name.
    const size_t crcWords = info->headerBytes == 9 ? 2 * info->blocks : 0;
    return info->rateIndex <= 12 && info->size > size_t(info->headerBytes) + crcWords;
}

AdtsScanner::AdtsScanner(const uint8_t* data, size_t len)
    : data_(data), len_(lengthWithoutTrailingTags(data, len)) {}

bool AdtsScanner::followedBy(const AdtsInfo& first, size_t end, int count) const {
    for (int k = 0; k < count; ++k) {
        if (end >= len_) return true;  // the end, or a frame cut short by it
        end += tagSizeAt(data_ + end, len_ - end);
        if (end == len_) return true;
        AdtsInfo n;
        if (end + 7 > len_) return k > 0;  // a header cut short, after one that matched
        if (!adtsParseHeader(data_ + end, &n) || !sameStream(first, n)) return false;
        end += n.size;
    }
    return true;
}

bool AdtsScanner::next(const uint8_t** frame, AdtsInfo* info, bool* truncated) {
    skipped_ = 0;
    if (truncated) *truncated = false;
    while (pos_ + 7 <= len_) {
        if (const size_t tag = tagSizeAt(data_ + pos_, len_ - pos_)) {
            pos_ += tag;
            continue;
        }
        AdtsInfo h;
        // In sync a frame needs the next header to match; out of sync, the next two.
        const bool ok = adtsParseHeader(data_ + pos_, &h) && (!synced_ || sameStream(last_, h)) &&
                        followedBy(h, pos_ + h.size, synced_ ? 1 : 2);
        if (!ok) {
            synced_ = false;
            ++skipped_;
            ++pos_;
            continue;
        }
        if (pos_ + h.size > len_) {
            if (truncated) *truncated = true;  // position() stays at its start
            return false;
        }
        *frame = data_ + pos_;
        *info = h;
        pos_ += h.size;
        synced_ = true;
        last_ = h;
        return true;
    }
    return false;
}
