#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

InputFile::~InputFile() {
    if (own_) ::close(fd_);
}

bool InputFile::fail(int err) {
    error_ = name_ + ": " + std::strerror(err);
    return false;
}

bool InputFile::open(const char* name) {
    name_ = std::strcmp(name, "-") ? name : "stdin";
    own_ = std::strcmp(name, "-") != 0;
    fd_ = own_ ? ::open(name, O_RDONLY | O_CLOEXEC) : 0;
    if (fd_ < 0) {
        own_ = false;
        return fail(errno);
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) return fail(errno);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    // A device could hand out bytes forever (/dev/zero) or block on a terminal.
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        error_ = name_ + ": is a device, not a file or pipe";
        return false;
    }
    if (S_ISREG(st.st_mode)) size_ = st.st_size;
    return true;
}

long InputFile::read(uint8_t* p, size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd_, p, n);
        if (r >= 0) return long(r);
        if (errno != EINTR) return fail(errno), -1;
    }
}

bool InputFile::rewind() { return size_ >= 0 && lseek(fd_, 0, SEEK_SET) == 0; }

long MemorySource::read(uint8_t* p, size_t n) {
    if (chunk_ && n > chunk_) n = chunk_;
    if (n > len_ - pos_) n = len_ - pos_;
    std::memcpy(p, data_ + pos_, n);
    pos_ += n;
    return long(n);
}

bool MemorySource::rewind() {
    pos_ = 0;
    return true;
}
