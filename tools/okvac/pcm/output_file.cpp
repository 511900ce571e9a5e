#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kBuffer = size_t(1) << 16;

// The pending temporary, removed when a signal ends the process (one output at a time).
char g_pending[4096];

void removePending(int sig) {
    if (g_pending[0]) unlink(g_pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void setPending(const std::string& temp) {
    if (temp.size() >= sizeof g_pending) return;
    std::memcpy(g_pending, temp.c_str(), temp.size() + 1);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, removePending);
}
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
    // A symbolic link keeps pointing where it did: its target is replaced.
    struct stat link;
    if (exists && lstat(name, &link) == 0 && S_ISLNK(link.st_mode)) {
        char* real = realpath(name, nullptr);
        if (!real) return fail(errno);
        target_ = real;
        std::free(real);
    } else {
        target_ = name;
    }
    const size_t slash = target_.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    temp_ = target_.substr(0, base) + "." + target_.substr(base) + ".okvac-XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return fail(errno);
    }
    setPending(temp_);
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
        if (std::rename(temp_.c_str(), target_.c_str()) != 0) return fail(errno);
        temp_.clear();
        g_pending[0] = 0;
    }
    return true;
}

void OutputFile::discard() {
    if (fd_ > 1) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    g_pending[0] = 0;
}
