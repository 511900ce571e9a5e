// Helpers of the okvac AAC tests: running okvac and the reference decoder, reading PCM,
// comparing two decodes.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace aactool {

namespace fs = std::filesystem;

inline fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }
inline fs::path vectorDir() { return fs::path(OKV_SHARED_DIR) / "vectors" / "aac"; }

inline bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& p, const std::vector<uint8_t>& d) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}

inline std::vector<int16_t> readPcm(const fs::path& p) {
    const std::vector<uint8_t> b = readFile(p);
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
    return s;
}

// Runs a shell command; the exit status, or -1 when a signal ended it.
inline int shell(const std::string& cmd) {
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

inline std::string q(const fs::path& p) {
    std::string s = "'";  // built in steps: g++ 12 misreads the one-expression form (-Wrestrict)
    s += p.string();
    return s += '\'';
}

// okvac decode IN OUT [options]; *err gets its stderr.
inline int okvacDecode(const fs::path& in, const fs::path& out, const std::string& opts = "", std::string* err = nullptr) {
    const fs::path errFile = out.string() + ".err";
    const int rc = shell(q(okvacPath()) + " decode " + opts + " " + q(in) + " " + q(out) + " 2>" + q(errFile));
    if (err) {
        const std::vector<uint8_t> e = readFile(errFile);
        err->assign(e.begin(), e.end());
    }
    return rc;
}

// The reference: ffmpeg's float decoder (or decoder, e.g. its fixed-point aac_fixed), raw
// interleaved 16-bit PCM in its channel order.
inline bool ffmpegDecode(const fs::path& in, const fs::path& out, const char* decoder = "aac") {
    return shell("ffmpeg -nostdin -v quiet -threads 1 -c:a " + std::string(decoder) + " -i " + q(in) + " -f s16le -y " +
                 q(out)) == 0;
}

struct Diff {
    int max = 0;
    double rms = 0;
    size_t compared = 0;
};

// Compares got and ref with got's sample lead removed; the shorter length counts.
inline Diff compare(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, size_t lead = 0) {
    Diff d;
    const size_t n = got.size() > lead ? std::min(got.size() - lead, ref.size()) : 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int e = std::abs(int(got[lead + i]) - ref[i]);
        d.max = std::max(d.max, e);
        sum += double(e) * e;
    }
    d.compared = n;
    d.rms = n ? std::sqrt(sum / double(n)) : 0;
    return d;
}

// Rewraps an ADTS stream as ADIF: a variable-rate header with one program configuration (the
// stream's profile and rate, one SCE or, for two channels, one CPE), then the raw blocks.
inline std::vector<uint8_t> adifFromAdts(const std::vector<uint8_t>& adts) {
    std::vector<uint8_t> out;
    uint32_t acc = 0, bits = 0;
    auto put = [&](uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            if (acc = acc << 1 | ((v >> i) & 1); ++bits % 8 == 0) out.push_back(uint8_t(acc));
    };
    if (adts.size() < 7) return out;
    const bool pair = ((adts[2] & 1) << 2 | adts[3] >> 6) == 2;
    put(0x41444946, 32);                                          // "ADIF"
    put(1, 4), put(0, 27);                                        // variable rate, one element
    put(0, 4), put(adts[2] >> 6, 2), put((adts[2] >> 2) & 15, 4); // tag, profile, rate
    put(1, 4), put(0, 20);                                        // one front element
    put(pair, 1), put(0, 4 + (8 - (bits + 4) % 8) % 8 + 8);       // its tag 0, alignment, no comment
    for (size_t p = 0; p + 7 <= adts.size();) {
        const size_t len = size_t((adts[p + 3] & 3) << 11 | adts[p + 4] << 3 | adts[p + 5] >> 5);
        const size_t head = (adts[p + 1] & 1) ? 7 : 9;
        if (len < head || p + len > adts.size()) break;
        out.insert(out.end(), adts.begin() + std::ptrdiff_t(p + head), adts.begin() + std::ptrdiff_t(p + len));
        p += len;
    }
    return out;
}

// A temporary directory removed with its content at the end of the scope.
struct TempDir {
    fs::path path;
    explicit TempDir(const char* tag) : path(fs::temp_directory_path() / (std::string(tag) + std::to_string(getpid()))) {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

}  // namespace aactool
