#include "pcm/wav_reader.h"

#include <cstring>

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

}  // namespace

bool WavReader::fill(size_t n) {
    if (pos_ > 0 && pos_ >= buf_.size() / 2) {
        buf_.erase(buf_.begin(), buf_.begin() + (long)pos_);
        pos_ = 0;
    }
    while (buf_.size() - pos_ < n) {
        uint8_t tmp[65536];
        const long got = in_->read(tmp, sizeof tmp);
        if (got < 0) {
            error_ = in_->error();
            return false;
        }
        if (got == 0) return false;
        buf_.insert(buf_.end(), tmp, tmp + got);
    }
    return true;
}

bool WavReader::open(ByteSource& in, int rawRate, int rawChannels) {
    in_ = &in;
    if (rawRate) {
        rate_ = rawRate, channels_ = rawChannels;
        return true;
    }
    if (!fill(12) || memcmp(buf_.data(), "RIFF", 4) != 0 || memcmp(buf_.data() + 8, "WAVE", 4) != 0) {
        if (error_.empty()) error_ = "not a RIFF/WAVE file";
        return false;
    }
    pos_ = 12;
    bool haveFormat = false;
    for (;;) {
        if (!fill(8)) {
            if (error_.empty()) error_ = haveFormat ? "no data chunk" : "no fmt chunk";
            return false;
        }
        const uint8_t* c = buf_.data() + pos_;
        const uint32_t size = le32(c + 4);
        if (!memcmp(c, "data", 4)) {
            if (!haveFormat) {
                error_ = "data chunk before the fmt chunk";
                return false;
            }
            pos_ += 8;
            dataLeft_ = size == 0xFFFFFFFFu || size == 0 ? -1 : size;  // streamed WAV: to the end
            return true;
        }
        if (!fill(8 + (size_t)size + (size & 1))) {
            if (error_.empty()) error_ = "truncated chunk";
            return false;
        }
        c = buf_.data() + pos_;
        if (!memcmp(c, "fmt ", 4)) {
            if (size < 16) {
                error_ = "short fmt chunk";
                return false;
            }
            int tag = le16(c + 8);
            channels_ = le16(c + 10);
            rate_ = (int)le32(c + 12);
            const int bits = le16(c + 22);
            if (tag == 0xFFFE && size >= 40) tag = le16(c + 8 + 24);  // EXTENSIBLE: the sub-format
            if (!((tag == 1 && (bits == 16 || bits == 24)) || (tag == 3 && bits == 32))) {
                error_ = "unsupported sample format (16/24-bit integer or 32-bit float PCM only)";
                return false;
            }
            float_ = tag == 3;
            bytesPer_ = bits / 8;
            haveFormat = true;
        }
        pos_ += 8 + size + (size & 1);
    }
}

long WavReader::read(int16_t* out, long frames) {
    const size_t frameBytes = (size_t)bytesPer_ * (size_t)channels_;
    size_t want = (size_t)frames * frameBytes;
    if (dataLeft_ >= 0 && (long long)want > dataLeft_) want = (size_t)dataLeft_ - (size_t)dataLeft_ % frameBytes;
    fill(want);
    if (!error_.empty()) return -1;
    const size_t have = (buf_.size() - pos_) / frameBytes;
    const long n = (long)(have < want / frameBytes ? have : want / frameBytes);
    const uint8_t* p = buf_.data() + pos_;
    for (long i = 0; i < n * channels_; ++i, p += bytesPer_) {
        int v;
        if (float_) {
            float f;
            memcpy(&f, p, 4);
            const float s = f * 32768.0f;
            v = !(s > -32768.0f) ? -32768 : s > 32767.0f ? 32767 : (int)(s < 0 ? s - 0.5f : s + 0.5f);
        } else if (bytesPer_ == 3) {
            const int32_t w = (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24) >> 8;
            v = (w + 128) >> 8;
            v = v > 32767 ? 32767 : v;
        } else {
            v = (int16_t)le16(p);
        }
        out[i] = (int16_t)v;
    }
    pos_ += (size_t)n * frameBytes;
    if (dataLeft_ >= 0) dataLeft_ -= (long long)n * (long long)frameBytes;
    return n;
}
