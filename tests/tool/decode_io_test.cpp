// okvac decode against what a user may hand it: every failure is one line on stderr naming the
// file, status 1 and nothing under OUT's name; successes stream and replace OUT atomically.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// 42 frames of MPEG-2 Layer III (22.05 kHz mono, 32 kbit/s, no CRC), the tool's built-in sample.
const uint8_t kSample[] = {
#include "../../tools/okvac/mp3/mp3_demo_sample.inc"
};
constexpr size_t kSampleFrames = 42;

fs::path okvac() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void spit(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }

struct Result {
    int status = -1;  // -1 when the process did not exit normally (a signal, an abort)
    std::string err;
};

class DecodeIo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(okvac())) << okvac();
        dir_ = fs::temp_directory_path() / ("okvac_io_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        spit(dir_ / "good.mp3", std::string(reinterpret_cast<const char*>(kSample), sizeof kSample));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs `okvac decode ARGS` in the scratch directory between the shell text before and after.
    Result decode(const std::string& args, const std::string& before = "", const std::string& after = "") {
        const std::string cmd = "cd '" + dir_.string() + "' || exit 99; " + before + "{ '" + okvac().string() +
                                "' decode " + args + " 2>stderr.txt; echo $? >status.txt; }" + after;
        const int st = std::system(cmd.c_str());
        Result r;
        const std::string status = slurp(dir_ / "status.txt");
        if (WIFEXITED(st) && !status.empty()) r.status = std::stoi(status);
        if (r.status > 128) r.status = -1;  // killed by a signal
        r.err = slurp(dir_ / "stderr.txt");
        fs::remove(dir_ / "stderr.txt");
        fs::remove(dir_ / "status.txt");
        return r;
    }

    // Files of the scratch directory other than the named ones.
    std::vector<std::string> others(std::initializer_list<std::string> known) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (std::find(known.begin(), known.end(), n) == known.end()) out.push_back(n);
        }
        return out;
    }

    fs::path dir_;
};

TEST_F(DecodeIo, FailuresGiveOneLineStatusOneAndNoOutput) {
    std::mt19937 rng(7);
    std::string noise(100000, '\0');
    for (char& c : noise) c = char(rng());
    spit(dir_ / "noise.bin", noise);
    spit(dir_ / "empty.mp3", "");
    spit(dir_ / "cut.mp3", std::string(reinterpret_cast<const char*>(kSample), 3));
    fs::create_directory(dir_ / "adir");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    spit(dir_ / "kept.wav", "earlier contents");
    std::string longer;  // more PCM than a pipe buffers
    for (int i = 0; i < 20; ++i) longer.append(reinterpret_cast<const char*>(kSample), sizeof kSample);
    spit(dir_ / "long.mp3", longer);

    struct Case {
        const char* what;
        std::string args, before, after;
        const char* named;   // the file the message names
        const char* reason;  // part of the message
        const char* out;     // must not appear (or keep its earlier contents for kept.wav)
    };
    const Case cases[] = {
        {"directory", "adir out.wav", "", "", "adir", "Is a directory", "out.wav"},
        {"vanished file", "gone.mp3 out.wav", "", "", "gone.mp3", "No such file", "out.wav"},
        {"read error", "/proc/self/mem out.wav", "", "", "/proc/self/mem", "Input/output error", "out.wav"},
        {"device", "/dev/zero out.wav", "", "", "/dev/zero", "is a device", "out.wav"},
        {"empty file", "empty.mp3 out.wav", "", "", "empty.mp3", "no decodable MP3 frame", "out.wav"},
        {"random bytes", "noise.bin out.raw", "", "", "noise.bin", "no decodable MP3 frame", "out.raw"},
        {"three bytes of a frame", "cut.mp3 out.raw", "", "", "cut.mp3", "no decodable MP3 frame", "out.raw"},
        {"FIFO of junk", "fifo out.wav", "cat noise.bin > fifo & ", "", "fifo", "no decodable MP3 frame", "out.wav"},
        {"junk on stdin", "- out.wav", "cat noise.bin | ", "", "stdin", "no decodable MP3 frame", "out.wav"},
        {"earlier output kept", "noise.bin kept.wav", "", "", "noise.bin", "no decodable MP3 frame", "kept.wav"},
        {"full disk", "good.mp3 /dev/full", "", "", "/dev/full", "No space left on device", nullptr},
        {"missing directory", "good.mp3 nodir/out.wav", "", "", "nodir/out.wav", "No such file", "nodir"},
        {"output is a directory", "good.mp3 adir", "", "", "adir", "Is a directory", nullptr},
        {"closed pipe", "long.mp3 -", "", " | true", "stdout", "Broken pipe", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = decode(c.args, c.before, c.after);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind(std::string("okvac decode: ") + c.named + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        if (c.out && std::string(c.out) == "kept.wav") {
            EXPECT_EQ(slurp(dir_ / c.out), "earlier contents");
        } else if (c.out) {
            EXPECT_FALSE(fs::exists(dir_ / c.out));
        }
        EXPECT_EQ(others({"good.mp3", "noise.bin", "empty.mp3", "cut.mp3", "adir", "fifo", "kept.wav", "long.mp3"}),
                  std::vector<std::string>{});
    }
}

TEST_F(DecodeIo, UnreadableFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    ASSERT_EQ(chmod((dir_ / "good.mp3").c_str(), 0), 0);
    const Result r = decode("good.mp3 out.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "okvac decode: good.mp3: Permission denied\n");
    EXPECT_FALSE(fs::exists(dir_ / "out.wav"));
}

// A signal while the output is pending leaves neither OUT nor the temporary.
TEST_F(DecodeIo, InterruptedDecodeLeavesNothing) {
    ASSERT_EQ(mkfifo((dir_ / "slow").c_str(), 0600), 0);
    const std::string cmd = "cd '" + dir_.string() + "' || exit 99; (for i in 1 2 3 4 5 6 7 8 9 10; do cat good.mp3; done; sleep 2) > slow & '" +
                            okvac().string() + "' decode slow out.wav 2>/dev/null & sleep 1; ls -a > during.txt; kill $!; wait";
    std::system(cmd.c_str());
    EXPECT_NE(slurp(dir_ / "during.txt").find(".out.wav.okvac-"), std::string::npos) << "no temporary while decoding";
    EXPECT_EQ(others({"good.mp3", "slow", "during.txt"}), std::vector<std::string>{});
}

// The same PCM whichever way it travels: a file, stdout, a FIFO, a replaced file; a WAV gets
// its sizes where the output can seek and the streaming sizes where it cannot.
TEST_F(DecodeIo, OutputsAgree) {
    ASSERT_EQ(decode("good.mp3 ref.raw").status, 0);
    const std::string raw = slurp(dir_ / "ref.raw");
    ASSERT_EQ(raw.size() % 2, 0u);
    ASSERT_GT(raw.size(), 0u);

    ASSERT_EQ(decode("- piped.raw", "cat good.mp3 | ").status, 0);
    EXPECT_EQ(slurp(dir_ / "piped.raw"), raw);
    ASSERT_EQ(decode("good.mp3 - > stdout.raw").status, 0);
    EXPECT_EQ(slurp(dir_ / "stdout.raw"), raw);

    spit(dir_ / "old.wav", "earlier contents");
    ASSERT_EQ(chmod((dir_ / "old.wav").c_str(), 0640), 0);
    ASSERT_EQ(decode("good.mp3 old.wav").status, 0);
    const std::string wav = slurp(dir_ / "old.wav");
    EXPECT_EQ(fs::status(dir_ / "old.wav").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(wav.size(), 44 + raw.size());
    auto le32 = [](const std::string& s, size_t at) {
        return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
               uint32_t(uint8_t(s[at + 3])) << 24;
    };
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(le32(wav, 24), 22050u);
    EXPECT_EQ(le32(wav, 40), raw.size());
    EXPECT_EQ(wav.substr(44), raw);

    spit(dir_ / "old.wav", "overwritten through the link");
    fs::create_symlink("old.wav", dir_ / "link.wav");
    ASSERT_EQ(decode("good.mp3 link.wav").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav"));
    EXPECT_EQ(slurp(dir_ / "old.wav"), wav);

    ASSERT_EQ(mkfifo((dir_ / "pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(decode("good.mp3 pipe.wav", "timeout 20 cat pipe.wav > fromfifo.wav & ", "; wait").status, 0);
    const std::string streamed = slurp(dir_ / "fromfifo.wav");
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.wav"));
    ASSERT_EQ(streamed.size(), wav.size());
    EXPECT_EQ(le32(streamed, 40), 0xFFFFFFFFu);
    EXPECT_EQ(streamed.substr(8), wav.substr(8).replace(32, 4, "\xFF\xFF\xFF\xFF"));
}

// A frame that fails still yields its time as silence: status 0 and one summary line.
TEST_F(DecodeIo, FailedFramesAreSummarised) {
    std::string bad(reinterpret_cast<const char*>(kSample), sizeof kSample);
    bad[4] = char(0xFF);  // main_data_begin of the first frame: 255 bytes that do not exist
    spit(dir_ / "bad.mp3", bad);
    ASSERT_EQ(decode("good.mp3 good.raw").status, 0);
    const Result r = decode("bad.mp3 bad.raw");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frame 1 at byte 0: bit reservoir underflow"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("okvac decode: bad.mp3: 1 of " + std::to_string(kSampleFrames) + " frames failed"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fs::file_size(dir_ / "bad.raw"), fs::file_size(dir_ / "good.raw"));
}

}  // namespace
