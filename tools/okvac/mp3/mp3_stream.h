// Finding Layer III frames in a byte stream: tags, junk, free format, VBR tag frames.
#pragma once
#include <cstddef>
#include <cstdint>

#include "../pcm/read_window.h"

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

// Finds frames in a ReadWindow; any input length runs in the window's constant memory.
class Mp3FrameScanner {
public:
    // Look-ahead before the end of the input: the free-format search and a frame followed by
    // two more of the largest size. The window's capacity must exceed it.
    static constexpr size_t kLookahead = 32768;

    explicit Mp3FrameScanner(ReadWindow& in) : in_(in) {}
    // Next frame, valid until the next call; *size may be shorter than fi->size for a truncated
    // last frame. False at the end of the input or on a read error.
    bool next(const uint8_t** frame, size_t* size, Mp3FrameInfo* fi);
    uint64_t frameOffset() const { return frameOffset_; }  // input offset of the latest frame

private:
    enum class Scan { Frame, More, End };
    Scan scan(const uint8_t** frame, size_t* size, Mp3FrameInfo* fi);
    size_t trailingTags() const;
    bool skipTag();
    size_t freeFormatSize(const Mp3FrameInfo& fi) const;
    size_t sizeAt(size_t pos, Mp3FrameInfo* fi) const;  // 0 when no valid header is there
    bool followedBy(const uint8_t* h, size_t end, int count) const;

    ReadWindow& in_;
    // The window while scanning: data_[0, len_) with the trailing tags cut off at the end.
    const uint8_t* data_ = nullptr;
    size_t len_ = 0, pos_ = 0;
    bool final_ = false;     // len_ is the end of the input
    size_t tail_ = 0;        // bytes of trailing tags, once the end is in the window
    bool tailKnown_ = false;
    bool synced_ = false;
    bool junk_ = false;    // bytes were skipped since the last frame
    size_t freeSize_ = 0;  // free-format frame size without padding, once found
    uint64_t frameOffset_ = 0;
};
