// Finding Layer III frames in a byte stream: tags, junk, free format, VBR tag frames.
#pragma once
#include <cstddef>
#include <cstdint>

struct Mp3FrameInfo {
    int version;       // 1 MPEG-1, 2 MPEG-2 LSF, 25 MPEG-2.5
    int sampleRate;
    int channels;
    int samples;       // per channel
    int bitrateIndex;  // 0 = free format
    size_t size;       // frame bytes including header (0 = free format, not yet known)
    int sideInfoStart; // header bytes (4, or 6 with CRC)
    int sideInfoBytes;
};

// Parses and validates a Layer III header at p (4 bytes readable).
bool mp3ParseHeader(const uint8_t* p, Mp3FrameInfo* fi);

// Encoder delay and padding from a LAME tag, in samples per channel (-1 when absent).
struct Mp3Gapless {
    long long frames = -1;
    int delay = -1, padding = -1;
};

// True when the frame is a Xing/Info/VBRI tag frame (it carries no audio); fills gl from it.
bool mp3IsTagFrame(const uint8_t* frame, size_t size, const Mp3FrameInfo& fi, Mp3Gapless* gl);

class Mp3FrameScanner {
public:
    Mp3FrameScanner(const uint8_t* data, size_t len);
    // Next frame; *size may be shorter than fi->size for a truncated last frame.
    bool next(const uint8_t** frame, size_t* size, Mp3FrameInfo* fi);
    size_t position() const { return pos_; }
    size_t length() const { return len_; }

private:
    bool skipTag();
    size_t freeFormatSize(const Mp3FrameInfo& fi) const;
    size_t sizeAt(size_t pos, Mp3FrameInfo* fi) const;  // 0 when no valid header is there
    bool followedBy(const uint8_t* h, size_t end, int count) const;

    const uint8_t* data_;
    size_t len_, pos_ = 0;
    bool synced_ = false;
    bool junk_ = false;    // bytes were skipped since the last frame
    size_t freeSize_ = 0;  // free-format frame size without padding, once found
};
