#include "mp3_stream.h"

#include <cstring>

#include "mp3/frame_tables.h"

namespace {

constexpr size_t kMaxFreeFrame = 8192;  // above any free-format frame (640 kbit/s at 8 kHz: 5760)
static_assert(Mp3FrameScanner::kLookahead > 3 * (kMaxFreeFrame + 1) + 4);
// Trailing tags are looked for within this many bytes of the end; the window always holds
// them once the end is in view, so that the stream's frames do not depend on how it was read.
constexpr size_t kMaxTrailingTags = Mp3FrameScanner::kLookahead - 2 * kMaxFreeFrame;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint32_t le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]; }

// Same stream: version, layer and sampling frequency bits agree.
bool sameKind(const uint8_t* a, const uint8_t* b) {
    return a[0] == b[0] && (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

}  // namespace

bool mp3ParseHeader(const uint8_t* p, Mp3FrameInfo* fi) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int ver = (p[1] >> 3) & 3, layer = (p[1] >> 1) & 3;
    const int bri = p[2] >> 4, sfi = (p[2] >> 2) & 3, pad = (p[2] >> 1) & 1;
    if (ver == 1 || layer != 1 || bri == 15 || sfi == 3) return false;
    const bool mpeg1 = ver == 3;
    fi->version = mpeg1 ? 1 : ver == 2 ? 2 : 25;
    fi->sampleRate = kMp3Rates[sfi] >> (mpeg1 ? 0 : ver == 2 ? 1 : 2);
    fi->channels = (p[3] >> 6) == 3 ? 1 : 2;
    fi->samples = mpeg1 ? 1152 : 576;
    fi->bitrateIndex = bri;
    const int slots = mpeg1 ? 144000 : 72000;
    fi->size = bri ? size_t(slots) * kMp3Kbps[mpeg1][bri] / fi->sampleRate + pad : 0;
    fi->sideInfoStart = (p[1] & 1) ? 4 : 6;
    fi->sideInfoBytes = mpeg1 ? (fi->channels == 1 ? 17 : 32) : (fi->channels == 1 ? 9 : 17);
    return true;
}

bool mp3IsTagFrame(const uint8_t* frame, size_t size, const Mp3FrameInfo& fi, Mp3Gapless* gl) {
    const size_t xing = size_t(fi.sideInfoStart) + fi.sideInfoBytes;
    if (xing + 8 <= size && (!memcmp(frame + xing, "Xing", 4) || !memcmp(frame + xing, "Info", 4))) {
        const uint32_t flags = be32(frame + xing + 4);
        size_t q = xing + 8;
        long long frames = -1;
        if (flags & 1) frames = q + 4 <= size ? be32(frame + q) : -1, q += 4;
        if (flags & 2) q += 4;
        if (flags & 4) q += 100;
        if (flags & 8) q += 4;
        if (q > size) return false;  // too short to be a tag: audio
        gl->frames = frames;
        if (q + 24 <= size && !memcmp(frame + q, "LAME", 4)) {
            const uint8_t* d = frame + q + 21;
            gl->delay = d[0] << 4 | d[1] >> 4;
            gl->padding = (d[1] & 15) << 8 | d[2];
        }
        return true;
    }
    const size_t vbri = size_t(fi.sideInfoStart) + 32;
    return vbri + 26 <= size && !memcmp(frame + vbri, "VBRI", 4);
}

// ID3v1 and APE tags at the very end of the input (an APE tag of at most kMaxTrailingTags).
size_t Mp3FrameScanner::trailingTags() const {
    size_t len = len_;
    if (len >= 128 && !memcmp(data_ + len - 128, "TAG", 3)) len -= 128;
    if (len >= 32 && !memcmp(data_ + len - 32, "APETAGEX", 8)) {
        const uint32_t body = le32(data_ + len - 20), flags = le32(data_ + len - 12);
        const size_t total = size_t(body) + ((flags & 0x80000000u) ? 32 : 0);
        if (total <= kMaxTrailingTags) len = total <= len ? len - total : 0;
    }
    return len_ - len;
}

bool Mp3FrameScanner::skipTag() {
    const size_t left = len_ - pos_;
    if (left >= 10 && !memcmp(data_ + pos_, "ID3", 3) && data_[pos_ + 3] != 0xFF) {
        const uint8_t* s = data_ + pos_ + 6;
        size_t n = size_t(s[0] & 0x7F) << 21 | size_t(s[1] & 0x7F) << 14 | size_t(s[2] & 0x7F) << 7 | (s[3] & 0x7F);
        n += 10 + ((data_[pos_ + 5] & 0x10) ? 10 : 0);
        pos_ += n < left || !final_ ? n : left;  // the window skips what it does not hold
        return true;
    }
    if (left >= 32 && !memcmp(data_ + pos_, "APETAGEX", 8)) {
        const size_t n = size_t(le32(data_ + pos_ + 12)) + 32;
        pos_ += n < left || !final_ ? n : left;
        return true;
    }
    return false;
}

size_t Mp3FrameScanner::freeFormatSize(const Mp3FrameInfo& fi) const {
    const uint8_t* h = data_ + pos_;
    const int pad = (h[2] >> 1) & 1;
    const size_t limit = pos_ + kMaxFreeFrame < len_ ? pos_ + kMaxFreeFrame : len_;
    for (size_t q = pos_ + fi.sideInfoStart + fi.sideInfoBytes; q + 4 <= limit; ++q) {
        Mp3FrameInfo n;
        if (data_[q] == 0xFF && sameKind(h, data_ + q) && mp3ParseHeader(data_ + q, &n) && n.bitrateIndex == 0)
            return q - pos_ - pad;
    }
    return 0;
}

size_t Mp3FrameScanner::sizeAt(size_t pos, Mp3FrameInfo* fi) const {
    if (pos + 4 > len_ || !mp3ParseHeader(data_ + pos, fi)) return 0;
    if (fi->bitrateIndex == 0) fi->size = freeSize_ ? freeSize_ + ((data_[pos + 2] >> 1) & 1) : 0;
    return fi->size;
}

bool Mp3FrameScanner::followedBy(const uint8_t* h, size_t end, int count) const {
    for (int k = 0; k < count; ++k) {
        if (end == len_ && final_) return true;
        Mp3FrameInfo n;
        const size_t size = sizeAt(end, &n);
        if (!size || !sameKind(h, data_ + end)) return false;
        end += size;
    }
    return true;
}

bool Mp3FrameScanner::next(const uint8_t** frame, size_t* size, Mp3FrameInfo* fi) {
    for (;;) {
        if (!in_.fill(kLookahead)) return false;
        data_ = in_.data();
        len_ = in_.avail();
        final_ = in_.atEnd();
        if (final_ && !tailKnown_) {
            tail_ = trailingTags();
            tailKnown_ = true;
        }
        if (final_) len_ = len_ > tail_ ? len_ - tail_ : 0;
        pos_ = 0;
        const Scan r = scan(frame, size, fi);
        in_.consume(pos_);
        if (r == Scan::End) return false;
        if (r == Scan::Frame) return true;
    }
}

Mp3FrameScanner::Scan Mp3FrameScanner::scan(const uint8_t** frame, size_t* size, Mp3FrameInfo* fi) {
    while (pos_ + 4 <= len_) {
        if (!final_ && pos_ + kLookahead > len_) return Scan::More;
        if (skipTag()) {
            synced_ = false;
            if (pos_ > len_) return Scan::More;
            continue;
        }
        const uint8_t* h = data_ + pos_;
        if (!mp3ParseHeader(h, fi)) {
            synced_ = false;
            junk_ = true;
            ++pos_;
            continue;
        }
        if (fi->bitrateIndex == 0) {
            if (!freeSize_ || !synced_) freeSize_ = freeFormatSize(*fi);
            if (!freeSize_) {
                junk_ = true;
                ++pos_;
                continue;
            }
            fi->size = freeSize_ + ((h[2] >> 1) & 1);
        }
        const size_t end = pos_ + fi->size;
        // In sync, a frame must be followed by a header of the same stream (or the end); out of
        // sync, by two more such frames, or, where no junk came before it, by the end.
        const bool ok = end >= len_ ? synced_ || (end == len_ && !junk_)
                                    : end + 4 > len_ || followedBy(h, end, synced_ ? 1 : 2);
        if (!ok) {
            synced_ = false;
            junk_ = true;
            ++pos_;
            continue;
        }
        *frame = h;
        *size = end <= len_ ? fi->size : len_ - pos_;
        frameOffset_ = in_.offset() + pos_;
        pos_ = end <= len_ ? end : len_;
        synced_ = true;
        junk_ = false;
        return Scan::Frame;
    }
    if (!final_) return Scan::More;
    pos_ = len_ + tail_;  // the end
    return Scan::End;
}
