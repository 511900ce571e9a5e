#include "tags.h"

#include <cstring>

#include "bytes.h"

size_t tagSizeAt(const uint8_t* p, size_t left) {
    size_t n = 0;
    if (left >= 10 && !std::memcmp(p, "ID3", 3) && p[3] != 0xFF) {
        const uint8_t* s = p + 6;
        n = size_t(s[0] & 0x7F) << 21 | size_t(s[1] & 0x7F) << 14 | size_t(s[2] & 0x7F) << 7 | (s[3] & 0x7F);
        n += 10 + ((p[5] & 0x10) ? 10 : 0);  // header, and the footer when flagged
    } else if (left >= 32 && !std::memcmp(p, "APETAGEX", 8)) {
        n = size_t(le32(p + 12)) + 32;
    }
    return n < left ? n : left;
}

size_t lengthWithoutTrailingTags(const uint8_t* data, size_t len) {
    if (len >= 128 && !std::memcmp(data + len - 128, "TAG", 3)) len -= 128;
    if (len >= 32 && !std::memcmp(data + len - 32, "APETAGEX", 8)) {
        const uint32_t body = le32(data + len - 20), flags = le32(data + len - 12);
        const size_t total = size_t(body) + ((flags & 0x80000000u) ? 32 : 0);
        len = total <= len ? len - total : 0;
    }
    return len;
}
