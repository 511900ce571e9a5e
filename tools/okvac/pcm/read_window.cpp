#include "read_window.h"

#include <cstring>

ReadWindow::ReadWindow(ByteSource& src, size_t capacity) : src_(src), buf_(capacity) {}

void ReadWindow::consume(size_t n) {
    if (n <= end_ - pos_) {
        pos_ += n;
        return;
    }
    skip_ += n - (end_ - pos_);
    pos_ = end_;
}

bool ReadWindow::fill(size_t want) {
    if (want > buf_.size()) want = buf_.size();
    if (end_ - pos_ >= want || (eof_ && !skip_)) return true;
    base_ += pos_;
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (!eof_ && end_ < want) {
        const long r = src_.read(buf_.data() + end_, buf_.size() - end_);
        if (r < 0) return false;
        eof_ = r == 0;
        if (skip_) {  // bytes the reader asked to pass over
            const size_t drop = skip_ < uint64_t(r) ? size_t(skip_) : size_t(r);
            std::memmove(buf_.data(), buf_.data() + drop, size_t(r) - drop);
            skip_ -= drop;
            base_ += drop;
            end_ += size_t(r) - drop;
        } else {
            end_ += size_t(r);
        }
    }
    if (eof_) skip_ = 0;  // a skip past the end stops at the end
    return true;
}

bool ReadWindow::rewind() {
    if (!src_.rewind()) return false;
    pos_ = end_ = 0;
    base_ = skip_ = 0;
    eof_ = false;
    return true;
}
