// okvac qmf end to end: every mode and rate, with and without the hybrid split, on real audio
// (SNR printed and SNR of the written file against the input), and refusals of bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "qmf_test_util.h"
#include "wav_test_util.h"

namespace fs = std::filesystem;

namespace {

fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }

// Runs okvac qmf with args; returns the exit status (-1 when killed) and its stdout and stderr.
int runQmf(const std::string& args, std::string* out) {
    const fs::path log = fs::temp_directory_path() / ("okvac_qmf_" + std::to_string(::getpid()) + ".log");
    std::string cmd = "'";
    cmd.append(okvacPath().string()).append("' qmf ").append(args).append(" >'").append(log.string()).append("' 2>&1");
    const int st = std::system(cmd.c_str());
    std::ifstream f(log);
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    fs::remove(log);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(QmfTool, RealAudioReachesItsSnr) {
    const std::string in = qmftest::sharedDir() + "/vectors/aac/ct_decodercheck/aacPlusv2.wav";
    wavtest::Wav x;
    if (!wavtest::readWav16(in, &x)) GTEST_SKIP() << "shared audio vector absent";
    const fs::path out = fs::temp_directory_path() / ("okvac_qmf_" + std::to_string(::getpid()) + ".wav");
    for (const char* opts : {"--mode hq --rate same", "--mode lp --rate same", "--mode hq --rate double",
                             "--mode lp --rate double", "--hybrid 20", "--hybrid 34", "--rate double --hybrid 20",
                             "--rate double --hybrid 34"}) {
        SCOPED_TRACE(opts);
        std::string text;
        ASSERT_EQ(runQmf(std::string(opts) + " '" + in + "' '" + out.string() + "'", &text), 0) << text;
        double snr = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "SNR %lf dB", &snr), 1) << text;
        EXPECT_GE(snr, 55.0);
        // The written file lines up with the input (at the even samples when doubled).
        wavtest::Wav y;
        ASSERT_TRUE(wavtest::readWav16(out.string(), &y));
        const size_t step = std::string(opts).find("double") != std::string::npos ? 2 : 1;
        ASSERT_EQ(y.rate, x.rate * int(step));
        ASSERT_EQ(y.samples.size(), x.samples.size() * step);
        double s = 0, e = 0;
        for (size_t n = 0; n < x.samples.size() / 2; ++n)
            for (size_t c = 0; c < 2; ++c) {
                const double d = y.samples[(n * step) * 2 + c] - x.samples[n * 2 + c];
                s += double(x.samples[n * 2 + c]) * x.samples[n * 2 + c];
                e += d * d;
            }
        EXPECT_GE(10 * std::log10(s / e), 55.0);
    }
    fs::remove(out);
}

TEST(QmfTool, BadInputGivesAMessage) {
    const fs::path dir = fs::temp_directory_path();
    const fs::path junk = dir / ("okvac_qmf_junk_" + std::to_string(::getpid()) + ".wav");
    const fs::path out = dir / ("okvac_qmf_out_" + std::to_string(::getpid()) + ".wav");
    const std::string header("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
    for (const std::string& body : {std::string("not a wav"), header, header + std::string(16, '\xff') + "data"}) {
        std::ofstream(junk, std::ios::binary) << body;
        std::string text;
        EXPECT_EQ(runQmf("'" + junk.string() + "' '" + out.string() + "'", &text), 1);
        EXPECT_NE(text.find("okvac qmf:"), std::string::npos) << text;
    }
    const std::string files = " '" + junk.string() + "' '" + out.string() + "'";
    for (const char* args : {"--kx 33", "--kx x", "--mode mid", "--rate triple", "--hybrid 10", "--mode lp --hybrid 20"}) {
        std::string text;
        EXPECT_EQ(runQmf(std::string(args) + files, &text), 2) << args;
        EXPECT_NE(text.find("okvac qmf:"), std::string::npos) << text;
    }
    std::string text;
    EXPECT_EQ(runQmf("'" + (dir / "okvac_qmf_missing.wav").string() + "' '" + out.string() + "'", &text), 1);
    EXPECT_EQ(runQmf("only_one.wav", &text), 2);
    fs::remove(junk);
    fs::remove(out);
}

}  // namespace
