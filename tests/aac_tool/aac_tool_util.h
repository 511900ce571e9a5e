// Helpers of the okvac tool tests: running okvac and shell commands, files, PCM, a scratch directory.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace aactool {

namespace fs = std::filesystem;

inline fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }
inline fs::path vectorDir() { return fs::path(OKV_SHARED_DIR) / "vectors" / "aac"; }

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

inline std::string q(const fs::path& p) {
    std::string s = "'";  // built in steps: g++ 12 misreads the one-expression form (-Wrestrict)
    s += p.string();
    return s += '\'';
}

// Runs cmd with stdout and stderr to a file whose text goes to *text; the exit status, -1 on a signal.
inline int shell(const std::string& cmd, std::string* text = nullptr, const fs::path& log = "/dev/null") {
    const int st = std::system((cmd + " >" + q(log) + " 2>&1").c_str());
    if (text) {
        const std::vector<uint8_t> b = readFile(log);
        text->assign(b.begin(), b.end());
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
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
