// okvac decode end to end: conformance against the reference PCM of the Layer III vectors,
// and the non-standard streams.
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mp3_test_util.h"

namespace fs = std::filesystem;

namespace {

fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }

fs::path vectorDir() { return fs::path(mp3test::sharedDir()) / "vectors" / "mp3"; }

std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<int16_t> readPcm(const fs::path& p) {
    const std::vector<uint8_t> b = readFile(p);
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
    return s;
}

// Runs okvac decode on `in` into a raw file; returns the exit status (-1 when killed by a signal).
int runDecode(const fs::path& in, const fs::path& out, const char* synth, std::string* err = nullptr) {
    const fs::path errFile = out.string() + ".err";
    const std::string cmd = "'" + okvacPath().string() + "' decode --synth " + synth + " '" + in.string() + "' '" +
                            out.string() + "' 2>'" + errFile.string() + "'";
    const int st = std::system(cmd.c_str());
    if (err) {
        const std::vector<uint8_t> e = readFile(errFile);
        err->assign(e.begin(), e.end());
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

struct Stream {
    const char* name;
    int channels;    // of the decoder's output
    int leadFrames;  // frames of silence in our output that the reference leaves out
    int samplesPerFrame;
};

const Stream kStreams[] = {
    {"ILL2_layer3", 2, 0, 1152},         {"M2L3_bitrate_16_all", 1, 0, 576}, {"M2L3_bitrate_22_all", 1, 0, 576},
    {"M2L3_bitrate_24_all", 1, 0, 576},  {"M2L3_compl24", 1, 0, 576},        {"M2L3_noise", 2, 0, 576},
    {"l3-compl", 1, 0, 1152},            {"l3-he_32khz", 1, 0, 1152},        {"l3-he_44khz", 1, 0, 1152},
    {"l3-he_48khz", 1, 0, 1152},         {"l3-he_free", 2, 0, 1152},         {"l3-he_mode", 2, 0, 1152},
    {"l3-hecommon", 2, 0, 1152},         {"l3-si", 1, 0, 1152},              {"l3-si_block", 1, 0, 1152},
    {"l3-si_huff", 1, 0, 1152},          {"l3-sin1k0db", 2, 2, 1152},        {"l3-test45", 2, 0, 576},
    {"l3-test46", 2, 0, 576},
};

// The reference of l3-he_mode stores each frame with its own channel count: 10 mono frames,
// 100 stereo ones, 18 mono ones. Mono frames are doubled to compare with two-channel output.
std::vector<int16_t> expandHeMode(const std::vector<int16_t>& ref) {
    std::vector<int16_t> out;
    size_t i = 0;
    for (int seg = 0; seg < 3; ++seg) {
        const int frames = seg == 1 ? 100 : seg == 0 ? 10 : 18;
        for (int f = 0; f < frames; ++f)
            for (int s = 0; s < 1152; ++s) {
                if (seg == 1) {
                    out.push_back(ref.at(i++));
                    out.push_back(ref.at(i++));
                } else {
                    out.push_back(ref.at(i));
                    out.push_back(ref.at(i++));
                }
            }
    }
    return out;
}

}  // namespace

TEST(Mp3DecodeTool, ConformanceOfBothSynthesisPaths) {
    if (!fs::exists(vectorDir())) GTEST_SKIP() << "conformance vectors not found under " << vectorDir();
    ASSERT_TRUE(fs::exists(okvacPath())) << okvacPath();
    const fs::path tmp = fs::temp_directory_path() / ("okvac_conf_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    for (const char* synth : {"float", "fixed"}) {
        const bool isFloat = synth[1] == 'l';
        for (const Stream& s : kStreams) {
            const fs::path out = tmp / (std::string(s.name) + ".raw");
            ASSERT_EQ(runDecode(vectorDir() / (std::string(s.name) + ".bit"), out, synth), 0) << s.name;
            std::vector<int16_t> ref = readPcm(vectorDir() / (std::string(s.name) + ".pcm"));
            if (std::string(s.name) == "l3-he_mode") ref = expandHeMode(ref);
            const std::vector<int16_t> got = readPcm(out);
            const size_t lead = size_t(s.leadFrames) * s.samplesPerFrame * s.channels;
            ASSERT_GE(got.size(), lead + ref.size()) << s.name << ": output shorter than the reference";
            int maxDiff = 0;
            double sum = 0;
            for (size_t i = 0; i < ref.size(); ++i) {
                const int d = std::abs(int(got[lead + i]) - ref[i]);
                maxDiff = std::max(maxDiff, d);
                sum += double(d) * d;
            }
            const double rms = std::sqrt(sum / double(ref.size()));
            std::printf("  %-6s %-20s max %5d LSB  rms %.4f LSB\n", synth, s.name, maxDiff, rms);
            // Float: max 1 LSB, rms 0.15. Fixed, full accuracy: max 2 LSB, rms below 2^-15 / sqrt(12) of full scale.
            EXPECT_LE(maxDiff, isFloat ? 1 : 2) << s.name;
            EXPECT_LT(rms, isFloat ? 0.15 : 1.0 / std::sqrt(12.0)) << s.name;
        }
    }
    fs::remove_all(tmp);
}

TEST(Mp3DecodeTool, NonStandardStreams) {
    const fs::path dir = vectorDir() / "nonstandard";
    if (!fs::exists(dir)) GTEST_SKIP() << "non-standard vectors not found under " << dir;
    const fs::path tmp = fs::temp_directory_path() / ("okvac_ns_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    for (const auto& e : fs::directory_iterator(dir)) {
        const fs::path in = e.path();
        if (in.extension() == ".pcm") continue;
        const fs::path out = tmp / "out.raw";
        const fs::path ref = fs::path(in).replace_extension(".pcm");
        std::string err;
        fs::remove(out);
        const int rc = runDecode(in, out, "fixed", &err);
        // A stream without any frame (an empty reference) is refused, and leaves no output.
        if (fs::exists(ref) && fs::file_size(ref) == 0) {
            EXPECT_EQ(rc, 1) << in;
            EXPECT_NE(err.find("no decodable"), std::string::npos) << in << ": " << err;
            EXPECT_FALSE(fs::exists(out)) << in;
            continue;
        }
        ASSERT_EQ(rc, 0) << in << ": " << err;
        if (!fs::exists(ref)) continue;
        // Frames that fail to decode give silence here, where the reference decoder dropped them.
        if (in.stem().string().rfind("l3-nonstandard-compl-sideinfo", 0) == 0) continue;
        EXPECT_EQ(fs::file_size(out), fs::file_size(ref)) << in.filename() << " " << err;
    }
    fs::remove_all(tmp);
}
