// okvac decode end to end: every Layer III conformance vector against its reference PCM through
// both synthesis paths, and the non-standard streams.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mp3_test_util.h"

namespace fs = std::filesystem;

namespace {

fs::path vectorDir() { return fs::path(mp3test::sharedDir()) / "vectors" / "mp3"; }

std::vector<int16_t> readPcm(const fs::path& p) {  // little-endian, as the host
    std::ifstream f(p, std::ios::binary);
    std::vector<int16_t> s(fs::exists(p) ? fs::file_size(p) / 2 : 0);
    f.read(reinterpret_cast<char*>(s.data()), std::streamsize(2 * s.size()));
    return s;
}

// Runs okvac decode on `in` into `out`; returns the exit status (-1 when killed) and stderr.
int runDecode(const fs::path& in, const fs::path& out, const char* synth, std::string* err) {
    const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "okvac";
    const std::string cmd = "'" + tool.string() + "' decode --synth " + synth + " '" + in.string() + "' '" +
                            out.string() + "' 2>'" + out.string() + ".err'";
    const int st = std::system(cmd.c_str());
    std::ifstream f(out.string() + ".err");
    err->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The reference of l3-he_mode stores each frame with its own channel count: 10 mono frames, 100
// stereo ones, 18 mono ones. Mono frames are doubled to compare with two-channel output.
std::vector<int16_t> expandHeMode(const std::vector<int16_t>& ref) {
    std::vector<int16_t> out;
    size_t i = 0;
    for (int f = 0; f < 128; ++f)
        for (int s = 0; s < 1152; ++s) {
            out.push_back(ref.at(i));
            out.push_back(ref.at(f >= 10 && f < 110 ? ++i : i));
            ++i;
        }
    return out;
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("okvac_mp3_" + std::to_string(getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
} const tmp;

}  // namespace

// Float: max 1 LSB, rms 0.15. Fixed: max 2 LSB, rms below 2^-15 / sqrt(12) of full scale.
TEST(Mp3DecodeTool, ConformanceOfBothSynthesisPaths) {
    if (!fs::exists(vectorDir())) GTEST_SKIP() << "conformance vectors not found under " << vectorDir();
    int streams = 0;
    for (const auto& e : fs::directory_iterator(vectorDir())) {
        if (e.path().extension() != ".bit") continue;
        ++streams;
        const std::string name = e.path().stem().string();
        std::vector<int16_t> ref = readPcm(fs::path(e.path()).replace_extension(".pcm"));
        if (name == "l3-he_mode") ref = expandHeMode(ref);
        const size_t lead = name == "l3-sin1k0db" ? 2 * 1152 * 2 : 0;  // frames of silence the reference leaves out
        for (const char* synth : {"float", "fixed"}) {
            const bool isFloat = synth[1] == 'l';
            std::string err;
            ASSERT_EQ(runDecode(e.path(), tmp.path / "out.raw", synth, &err), 0) << name << ": " << err;
            const std::vector<int16_t> got = readPcm(tmp.path / "out.raw");
            ASSERT_GE(got.size(), lead + ref.size()) << name << ": output shorter than the reference";
            int maxDiff = 0;
            double sum = 0;
            for (size_t i = 0; i < ref.size(); ++i) {
                const int d = std::abs(int(got[lead + i]) - ref[i]);
                maxDiff = std::max(maxDiff, d);
                sum += double(d) * d;
            }
            const double rms = std::sqrt(sum / double(ref.size()));
            std::printf("  %-6s %-20s max %5d LSB  rms %.4f LSB\n", synth, name.c_str(), maxDiff, rms);
            EXPECT_LE(maxDiff, isFloat ? 1 : 2) << name;
            EXPECT_LT(rms, isFloat ? 0.15 : 1.0 / std::sqrt(12.0)) << name;
        }
    }
    EXPECT_EQ(streams, 19);
}

// A stream without any frame (an empty reference) is refused and leaves no output; the others
// decode to the reference's length, except where frames failing to decode give silence here and
// the reference decoder dropped them.
TEST(Mp3DecodeTool, NonStandardStreams) {
    const fs::path dir = vectorDir() / "nonstandard";
    if (!fs::exists(dir)) GTEST_SKIP() << "non-standard vectors not found under " << dir;
    const fs::path out = tmp.path / "out.raw";
    for (const auto& e : fs::directory_iterator(dir)) {
        const fs::path in = e.path(), ref = fs::path(in).replace_extension(".pcm");
        if (in.extension() == ".pcm") continue;
        std::string err;
        fs::remove(out);
        const bool refused = fs::exists(ref) && fs::file_size(ref) == 0;
        EXPECT_EQ(runDecode(in, out, "fixed", &err), refused ? 1 : 0) << in << ": " << err;
        EXPECT_EQ(fs::exists(out), !refused) << in;
        EXPECT_EQ(err.find("no decodable") != std::string::npos, refused) << in << ": " << err;
        if (!refused && fs::exists(ref) && in.stem().string().rfind("l3-nonstandard-compl-sideinfo", 0) != 0) {
            EXPECT_EQ(fs::file_size(out), fs::file_size(ref)) << in.filename() << " " << err;
        }
    }
}
