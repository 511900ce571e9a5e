// Byte output to a named file or - (stdout). A regular file (new or existing) is written to a
// temporary in its directory and renamed onto the name by commit(), so that the name never
// shows a partial result; devices, FIFOs and stdout are written directly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // discards what was not committed

    bool open(const char* name);  // false with error() set
    bool write(const void* p, size_t n);
    // Overwrites bytes already written (a header completed at the end); false where the output
    // cannot seek, which is not an error of the output itself.
    bool writeAt(uint64_t offset, const void* p, size_t n);
    bool commit();   // flushes, closes and renames; false with error() set
    void discard();  // removes the temporary
    const std::string& error() const { return error_; }  // "NAME: reason"

private:
    bool flush();
    bool fail(int err);
    std::string name_, target_, temp_, error_;
    int fd_ = -1;
    bool failed_ = false;
    std::vector<uint8_t> buf_;
};
