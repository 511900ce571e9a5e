// okvac decode against what a user may hand it: every failure is one line on stderr naming the file,
// status 1 and nothing under OUT's name; successes stream and replace OUT atomically.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <set>

#include "tool_util.h"

using namespace tooltest;

namespace {

// 42 frames of MPEG-2 Layer III (22.05 kHz mono, 32 kbit/s, no CRC), the tool's built-in sample.
const uint8_t kSample[] = {
#include "../../tools/okvac/mp3/mp3_demo_sample.inc"
};

void put(const fs::path& p, const std::string& s) { writeFile(p, std::vector<char>(s.begin(), s.end())); }

class DecodeIo : public ::testing::Test {
protected:
    const TempDir tmp{"okvac_io_"};
    const fs::path& dir = tmp.path;
    const std::string sample{reinterpret_cast<const char*>(kSample), sizeof kSample};

    void SetUp() override { put(dir / "good.mp3", sample); }
    void inDir(const std::string& cmd) { shell("cd " + q(dir) + " || exit 99; " + cmd); }

    // Runs a shell line in the scratch directory with '@' standing for `okvac decode`; returns the
    // tool's exit status (-1 when killed) and its stderr.
    std::pair<int, std::string> run(const std::string& line) {
        const size_t at = line.find('@'), bar = std::min(line.find(" |", at), line.size());
        inDir(line.substr(0, at) + "{ " + q(okvacPath()) + " decode " + line.substr(at + 1, bar - at - 1) +
              " 2>stderr.txt; echo $? >status.txt; }" + line.substr(bar));
        const std::string status = readText(dir / "status.txt"), err = readText(dir / "stderr.txt");
        fs::remove(dir / "stderr.txt");
        fs::remove(dir / "status.txt");
        const int rc = status.empty() ? -1 : std::stoi(status);
        return {rc > 128 ? -1 : rc, err};
    }

    std::set<std::string> files() {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
};

TEST_F(DecodeIo, FailuresGiveOneLineStatusOneAndNoOutput) {
    std::mt19937 rng(7);
    std::string noise(100000, '\0'), longer;  // longer: more PCM than a pipe buffers
    for (char& c : noise) c = char(rng());
    for (int i = 0; i < 20; ++i) longer += sample;
    for (const auto& [name, content] : {std::pair<const char*, std::string>{"noise.bin", noise}, {"empty.mp3", ""},
                                        {"cut.mp3", sample.substr(0, 3)}, {"kept.wav", "earlier contents"},
                                        {"locked.mp3", sample}, {"long.mp3", longer}})
        put(dir / name, content);
    fs::create_directory(dir / "adir");
    ASSERT_TRUE(mkfifo((dir / "fifo").c_str(), 0600) == 0 && chmod((dir / "locked.mp3").c_str(), 0) == 0);
    const auto before = files();
    const char* const cases[][3] = {  // command, the file the message names, part of the message
        {"@ adir out.wav", "adir", "Is a directory"},
        {"@ gone.mp3 out.wav", "gone.mp3", "No such file"},
        {"@ /proc/self/mem out.wav", "/proc/self/mem", "Input/output error"},
        {"@ /dev/zero out.wav", "/dev/zero", "is a device"},
        {"@ locked.mp3 out.wav", "locked.mp3", geteuid() ? "Permission denied" : nullptr},  // root reads any file
        {"@ empty.mp3 out.wav", "empty.mp3", "no decodable MP3 frame"},
        {"@ noise.bin out.raw", "noise.bin", "no decodable MP3 frame"},
        {"@ cut.mp3 out.raw", "cut.mp3", "no decodable MP3 frame"},
        {"cat noise.bin > fifo & @ fifo out.wav", "fifo", "no decodable MP3 frame"},
        {"cat noise.bin | @ - out.wav", "stdin", "no decodable MP3 frame"},
        {"@ noise.bin kept.wav", "noise.bin", "no decodable MP3 frame"},
        {"@ good.mp3 /dev/full", "/dev/full", "No space left on device"},
        {"@ good.mp3 nodir/out.wav", "nodir/out.wav", "No such file"},
        {"@ good.mp3 adir", "adir", "Is a directory"},
        {"@ long.mp3 - | true", "stdout", "Broken pipe"},
    };
    for (const auto& [line, named, reason] : cases) {
        if (!reason) continue;
        const auto [status, err] = run(line);
        EXPECT_TRUE(status == 1 && err.rfind(std::string("okvac decode: ") + named + ": ", 0) == 0 &&
                    err.find(reason) != std::string::npos && std::count(err.begin(), err.end(), '\n') == 1)
            << line << ": " << status << " " << err;
        EXPECT_TRUE(files() == before && readText(dir / "kept.wav") == "earlier contents") << line;
    }
}

// A signal while the output is pending leaves neither OUT nor the temporary.
TEST_F(DecodeIo, InterruptedDecodeLeavesNothing) {
    ASSERT_EQ(mkfifo((dir / "slow").c_str(), 0600), 0);
    inDir("(for i in 1 2 3 4 5 6 7 8 9 10; do cat good.mp3; done; sleep 2) > slow & " + q(okvacPath()) +
          " decode slow out.wav & sleep 1; ls -a > during.txt; kill $!; wait");
    EXPECT_NE(readText(dir / "during.txt").find(".out.wav.okvac-"), std::string::npos) << "no temporary while decoding";
    EXPECT_EQ(files(), (std::set<std::string>{"during.txt", "good.mp3", "slow"}));
}

// The same PCM whichever way it travels: a file, stdin, stdout, a replaced file (its permissions kept,
// through a symlink), a FIFO; a WAV gets its sizes where the output can seek, the streaming sizes where
// it cannot. A frame that fails yields its time as silence and one summary line.
TEST_F(DecodeIo, OutputsAgreeAndFailedFramesAreSummarised) {
    put(dir / "old.wav", "earlier contents");
    fs::create_symlink("old.wav", dir / "link.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600) + chmod((dir / "old.wav").c_str(), 0640), 0);
    std::string bad = sample;
    bad[4] = char(0xFF);  // main_data_begin of the first frame: 255 bytes that do not exist
    put(dir / "bad.mp3", bad);
    for (const char* line : {"@ good.mp3 ref.raw", "cat good.mp3 | @ - piped.raw", "@ good.mp3 - > stdout.raw",
                             "@ good.mp3 link.wav",
                             "timeout 20 cat pipe.wav > fromfifo.wav & @ good.mp3 pipe.wav; wait"})
        ASSERT_EQ(run(line).first, 0) << line;
    const std::string raw = readText(dir / "ref.raw"), wav = readText(dir / "old.wav");
    ASSERT_GT(raw.size(), 0u);
    EXPECT_EQ(readText(dir / "piped.raw") + readText(dir / "stdout.raw"), raw + raw);
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav") && fs::is_fifo(dir / "pipe.wav"));
    EXPECT_EQ(fs::status(dir / "old.wav").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    ASSERT_EQ(wav.size(), 44 + raw.size());
    EXPECT_EQ(wav.substr(0, 8) + wav.substr(24, 4) + wav.substr(40),
              "RIFF" + le32(uint32_t(wav.size() - 8)) + le32(22050) + le32(uint32_t(raw.size())) + raw);
    EXPECT_EQ(readText(dir / "fromfifo.wav").substr(8), wav.substr(8, 32) + le32(0xFFFFFFFFu) + raw);
    const auto [status, err] = run("@ bad.mp3 bad.raw");
    EXPECT_TRUE(status == 0 && err.find("frame 1 at byte 0: bit reservoir underflow") != std::string::npos &&
                err.find("okvac decode: bad.mp3: 1 of 42 frames failed") != std::string::npos) << err;
    EXPECT_EQ(fs::file_size(dir / "bad.raw"), raw.size());
}

}  // namespace
