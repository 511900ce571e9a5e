// okvac decode against what a user may hand it: every failure is one line on stderr naming the
// file, status 1 and nothing under OUT's name; successes stream and replace OUT atomically.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

// 42 frames of MPEG-2 Layer III (22.05 kHz mono, 32 kbit/s, no CRC), the tool's built-in sample.
const uint8_t kSample[] = {
#include "../../tools/okvac/mp3/mp3_demo_sample.inc"
};

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void spit(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }

uint32_t le32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}

class DecodeIo : public ::testing::Test {
protected:
    const fs::path okvac = fs::read_symlink("/proc/self/exe").parent_path() / "okvac";
    const fs::path dir = fs::temp_directory_path() / ("okvac_io_" + std::to_string(getpid()));
    const std::string sample = std::string(reinterpret_cast<const char*>(kSample), sizeof kSample);

    void SetUp() override {
        ASSERT_TRUE(fs::exists(okvac)) << okvac;
        fs::remove_all(dir);
        fs::create_directories(dir);
        spit(dir / "good.mp3", sample);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs `okvac decode ARGS` in the scratch directory between the shell text before and after;
    // returns the exit status (-1 when killed) and stderr.
    std::pair<int, std::string> decode(const std::string& args, const std::string& before = "", const std::string& after = "") {
        const std::string cmd = "cd '" + dir.string() + "' || exit 99; " + before + "{ '" + okvac.string() + "' decode " +
                                args + " 2>stderr.txt; echo $? >status.txt; }" + after;
        const int st = std::system(cmd.c_str());
        const std::string status = slurp(dir / "status.txt"), err = slurp(dir / "stderr.txt");
        fs::remove(dir / "stderr.txt");
        fs::remove(dir / "status.txt");
        const int rc = WIFEXITED(st) && !status.empty() ? std::stoi(status) : -1;
        return {rc > 128 ? -1 : rc, err};
    }

    // Files of the scratch directory other than the named ones.
    std::vector<std::string> others(std::initializer_list<std::string> known) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir))
            if (std::find(known.begin(), known.end(), e.path().filename().string()) == known.end())
                out.push_back(e.path().filename().string());
        return out;
    }
};

TEST_F(DecodeIo, FailuresGiveOneLineStatusOneAndNoOutput) {
    std::mt19937 rng(7);
    std::string noise(100000, '\0');
    for (char& c : noise) c = char(rng());
    spit(dir / "noise.bin", noise);
    spit(dir / "empty.mp3", "");
    spit(dir / "cut.mp3", sample.substr(0, 3));
    spit(dir / "kept.wav", "earlier contents");
    spit(dir / "locked.mp3", sample);
    std::string longer;  // more PCM than a pipe buffers
    for (int i = 0; i < 20; ++i) longer += sample;
    spit(dir / "long.mp3", longer);
    fs::create_directory(dir / "adir");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(chmod((dir / "locked.mp3").c_str(), 0), 0);
    const struct {
        std::string args, before, after;
        const char* named;   // the file the message names
        const char* reason;  // part of the message
        const char* out;     // must not appear (kept.wav: must keep its earlier contents)
    } cases[] = {
        {"adir out.wav", "", "", "adir", "Is a directory", "out.wav"},
        {"gone.mp3 out.wav", "", "", "gone.mp3", "No such file", "out.wav"},
        {"/proc/self/mem out.wav", "", "", "/proc/self/mem", "Input/output error", "out.wav"},
        {"/dev/zero out.wav", "", "", "/dev/zero", "is a device", "out.wav"},
        {"locked.mp3 out.wav", "", "", "locked.mp3", geteuid() ? "Permission denied" : "", "out.wav"},
        {"empty.mp3 out.wav", "", "", "empty.mp3", "no decodable MP3 frame", "out.wav"},
        {"noise.bin out.raw", "", "", "noise.bin", "no decodable MP3 frame", "out.raw"},
        {"cut.mp3 out.raw", "", "", "cut.mp3", "no decodable MP3 frame", "out.raw"},
        {"fifo out.wav", "cat noise.bin > fifo & ", "", "fifo", "no decodable MP3 frame", "out.wav"},
        {"- out.wav", "cat noise.bin | ", "", "stdin", "no decodable MP3 frame", "out.wav"},
        {"noise.bin kept.wav", "", "", "noise.bin", "no decodable MP3 frame", "kept.wav"},
        {"good.mp3 /dev/full", "", "", "/dev/full", "No space left on device", nullptr},
        {"good.mp3 nodir/out.wav", "", "", "nodir/out.wav", "No such file", "nodir"},
        {"good.mp3 adir", "", "", "adir", "Is a directory", nullptr},
        {"long.mp3 -", "", " | true", "stdout", "Broken pipe", nullptr},
    };
    for (const auto& c : cases) {
        if (!*c.reason) continue;  // root reads any file
        SCOPED_TRACE(c.args);
        const auto [status, err] = decode(c.args, c.before, c.after);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err.rfind(std::string("okvac decode: ") + c.named + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        if (c.out && std::string(c.out) == "kept.wav") {
            EXPECT_EQ(slurp(dir / c.out), "earlier contents");
        } else if (c.out) {
            EXPECT_FALSE(fs::exists(dir / c.out));
        }
        EXPECT_EQ(others({"good.mp3", "noise.bin", "empty.mp3", "cut.mp3", "adir", "fifo", "kept.wav", "long.mp3", "locked.mp3"}),
                  std::vector<std::string>{});
    }
}

// A signal while the output is pending leaves neither OUT nor the temporary.
TEST_F(DecodeIo, InterruptedDecodeLeavesNothing) {
    ASSERT_EQ(mkfifo((dir / "slow").c_str(), 0600), 0);
    const std::string cmd = "cd '" + dir.string() + "' || exit 99; (for i in 1 2 3 4 5 6 7 8 9 10; do cat good.mp3; done; sleep 2) > slow & '" +
                            okvac.string() + "' decode slow out.wav 2>/dev/null & sleep 1; ls -a > during.txt; kill $!; wait";
    std::system(cmd.c_str());
    EXPECT_NE(slurp(dir / "during.txt").find(".out.wav.okvac-"), std::string::npos) << "no temporary while decoding";
    EXPECT_EQ(others({"good.mp3", "slow", "during.txt"}), std::vector<std::string>{});
}

// The same PCM whichever way it travels: a file, stdin, stdout, a replaced file (its permissions
// kept, through a symlink), a FIFO; a WAV gets its sizes where the output can seek, the streaming
// sizes where it cannot. A frame that fails yields its time as silence and one summary line.
TEST_F(DecodeIo, OutputsAgreeAndFailedFramesAreSummarised) {
    ASSERT_EQ(decode("good.mp3 ref.raw").first, 0);
    const std::string raw = slurp(dir / "ref.raw");
    ASSERT_GT(raw.size(), 0u);
    ASSERT_EQ(decode("- piped.raw", "cat good.mp3 | ").first, 0);
    EXPECT_EQ(slurp(dir / "piped.raw"), raw);
    ASSERT_EQ(decode("good.mp3 - > stdout.raw").first, 0);
    EXPECT_EQ(slurp(dir / "stdout.raw"), raw);

    spit(dir / "old.wav", "earlier contents");
    fs::create_symlink("old.wav", dir / "link.wav");
    ASSERT_EQ(chmod((dir / "old.wav").c_str(), 0640), 0);
    ASSERT_EQ(decode("good.mp3 link.wav").first, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
    const std::string wav = slurp(dir / "old.wav");
    EXPECT_EQ(fs::status(dir / "old.wav").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(wav.size(), 44 + raw.size());
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(std::vector<uint32_t>({le32(wav, 4), le32(wav, 24), le32(wav, 40)}),
              std::vector<uint32_t>({uint32_t(wav.size() - 8), 22050u, uint32_t(raw.size())}));
    EXPECT_EQ(wav.substr(44), raw);

    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(decode("good.mp3 pipe.wav", "timeout 20 cat pipe.wav > fromfifo.wav & ", "; wait").first, 0);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.wav"));
    EXPECT_EQ(slurp(dir / "fromfifo.wav").substr(8), wav.substr(8, 32) + "\xFF\xFF\xFF\xFF" + raw);

    std::string bad = sample;
    bad[4] = char(0xFF);  // main_data_begin of the first frame: 255 bytes that do not exist
    spit(dir / "bad.mp3", bad);
    const auto [status, err] = decode("bad.mp3 bad.raw");
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("frame 1 at byte 0: bit reservoir underflow"), std::string::npos) << err;
    EXPECT_NE(err.find("okvac decode: bad.mp3: 1 of 42 frames failed"), std::string::npos) << err;
    EXPECT_EQ(fs::file_size(dir / "bad.raw"), raw.size());
}

}  // namespace
