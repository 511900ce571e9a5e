#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kBuffer = size_t(1) << 16;
}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::fail(int err) {
    if (!failed_) error_ = name_ + ": " + std::strerror(err);
    failed_ = true;
    return false;
}

bool OutputFile::open(const char* name) {
    buf_.reserve(kBuffer);
    if (!std::strcmp(name, "-")) {
        name_ = "stdout";
        fd_ = 1;
        std::signal(SIGPIPE, SIG_IGN);  // a closed pipe becomes a write error with a message
        return true;
    }
    name_ = name;
    struct stat st;
    const bool exists = stat(name, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        std::signal(SIGPIPE, SIG_IGN);
        fd_ = ::open(name, O_WRONLY | O_CLOEXEC);
        return fd_ >= 0 || fail(errno);
    }
    const char* slash = std::strrchr(name, '/');
    const std::string dir = slash ? std::string(name, size_t(slash - name) + 1) : "";
    temp_ = dir + "." + (slash ? slash + 1 : name) + ".okvac-XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return fail(errno);
    }
    // The mode a plain creation would give, or the replaced file's.
    mode_t mode = 0666;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    return fchmod(fd_, mode) == 0 || fail(errno);
}

bool OutputFile::flush() {
    for (size_t done = 0; done < buf_.size();) {
        const ssize_t w = ::write(fd_, buf_.data() + done, buf_.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return fail(w < 0 ? errno : ENOSPC);
        done += size_t(w);
    }
    buf_.clear();
    return true;
}

bool OutputFile::write(const void* p, size_t n) {
    if (failed_ || fd_ < 0) return false;
    const auto* b = static_cast<const uint8_t*>(p);
    while (n) {
        const size_t k = n < kBuffer - buf_.size() ? n : kBuffer - buf_.size();
        buf_.insert(buf_.end(), b, b + k);
        b += k;
        n -= k;
        if (buf_.size() == kBuffer && !flush()) return false;
    }
    return true;
}

bool OutputFile::writeAt(uint64_t offset, const void* p, size_t n) {
    if (failed_ || fd_ < 0 || !flush()) return false;
    if (lseek(fd_, 0, SEEK_CUR) < 0) return false;  // a pipe or FIFO
    const ssize_t w = pwrite(fd_, p, n, off_t(offset));
    return w == ssize_t(n) || fail(w < 0 ? errno : ENOSPC);
}

bool OutputFile::commit() {
    if (failed_ || fd_ < 0 || !flush()) return false;
    if (fd_ == 1) return true;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(errno);
    if (!temp_.empty()) {
        if (std::rename(temp_.c_str(), name_.c_str()) != 0) return fail(errno);
        temp_.clear();
    }
    return true;
}

void OutputFile::discard() {
    if (fd_ > 1) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}
