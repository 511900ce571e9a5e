// Sequential byte input: a named file or - (stdin), or bytes in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes: the count, 0 at the end of the input, -1 on a read error.
    virtual long read(uint8_t* p, size_t n) = 0;
    // Back to the first byte; false where the input cannot seek (pipes, terminals).
    virtual bool rewind() = 0;
    // Reason of the last failure, as "NAME: reason".
    virtual const std::string& error() const = 0;
};

// Opens regular files, pipes, FIFOs and sockets; directories and devices are refused.
class InputFile final : public ByteSource {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() override;

    bool open(const char* name);  // false with error() set
    long read(uint8_t* p, size_t n) override;
    bool rewind() override;
    const std::string& error() const override { return error_; }
    long long size() const { return size_; }  // bytes of a regular file, -1 otherwise
    const std::string& name() const { return name_; }  // "stdin" for -

private:
    bool fail(int err);
    std::string name_, error_;
    int fd_ = -1;
    bool own_ = false;
    long long size_ = -1;
};

class MemorySource final : public ByteSource {
public:
    // chunk > 0 caps the bytes one read hands out, to exercise readers at every boundary.
    MemorySource(const uint8_t* data, size_t len, size_t chunk = 0) : data_(data), len_(len), chunk_(chunk) {}
    long read(uint8_t* p, size_t n) override;
    bool rewind() override;
    const std::string& error() const override { return error_; }

private:
    const uint8_t* data_;
    size_t len_, chunk_, pos_ = 0;
    std::string error_;
};
