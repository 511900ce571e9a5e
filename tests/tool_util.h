// Helpers of the okvac tool tests: the tool's path, files, shell commands, a scratch directory.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tooltest {

namespace fs = std::filesystem;

inline fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }

// The file's bytes as elements of T (a trailing partial element dropped).
template <class T = uint8_t> std::vector<T> readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<T> v(b.size() / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
    return v;
}

inline std::string readText(const fs::path& p) {
    const std::vector<char> b = readFile<char>(p);
    return std::string(b.begin(), b.end());
}

template <class T> void writeFile(const fs::path& p, const std::vector<T>& d) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size() * sizeof(T)));
}

// A path quoted for the shell.
inline std::string q(const fs::path& p) {
    std::string s = "'";  // built in steps: g++ 12 misreads the one-expression form (-Wrestrict)
    s += p.string();
    return s += '\'';
}

// Runs cmd with stdout and stderr to a file whose text goes to *text; the exit status, -1 on a signal.
inline int shell(const std::string& cmd, std::string* text = nullptr, const fs::path& log = "/dev/null") {
    const int st = std::system((cmd + " >" + q(log) + " 2>&1").c_str());
    if (text) *text = readText(log);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Whether every command of the space-separated list is installed.
inline bool have(const std::string& tools) { return shell("for t in " + tools + "; do command -v $t || exit 1; done") == 0; }

// A temporary directory removed with its content at the end of the scope.
struct TempDir {
    fs::path path;
    explicit TempDir(const char* tag) : path(fs::temp_directory_path() / (std::string(tag) + std::to_string(getpid()))) {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

}  // namespace tooltest
