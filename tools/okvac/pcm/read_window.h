// A sliding window over a ByteSource: parsers look ahead a bounded number of bytes and move
// on, so that any input length runs in constant memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "input_file.h"

class ReadWindow {
public:
    // capacity bounds the look-ahead that fill() can promise.
    explicit ReadWindow(ByteSource& src, size_t capacity = size_t(1) << 18);

    // Makes at least want bytes available at data() unless the input ends first; false on a
    // read error (the source's error() says why). Moves the window, invalidating data().
    bool fill(size_t want);
    const uint8_t* data() const { return buf_.data() + pos_; }
    size_t avail() const { return end_ - pos_; }
    bool atEnd() const { return eof_ && skip_ == 0; }  // avail() is all that is left
    // Moves past n bytes; beyond avail() the rest is skipped on the input by the next fill().
    void consume(size_t n);
    uint64_t offset() const { return base_ + pos_; }  // input offset of data()
    bool rewind();  // back to the first byte; false where the source cannot seek

private:
    ByteSource& src_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0, end_ = 0;
    uint64_t base_ = 0, skip_ = 0;
    bool eof_ = false;
};
