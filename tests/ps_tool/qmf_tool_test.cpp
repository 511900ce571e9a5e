// okvac qmf end to end on real audio: every mode and rate, with and without the hybrid split,
// reaches 55 dB in the printed SNR and in the written file; bad input gets a message.
#include <gtest/gtest.h>

#include "aac_tool/aac_tool_util.h"

using namespace aactool;

namespace {
// Runs okvac qmf with args; the exit status, with stdout and stderr in *text.
int runQmf(const TempDir& tmp, const std::string& args, std::string* text) {
    const int rc = shell(q(okvacPath()) + " qmf " + args + " >" + q(tmp.path / "log") + " 2>&1");
    const std::vector<uint8_t> b = readFile(tmp.path / "log");
    text->assign(b.begin(), b.end());
    return rc;
}
}  // namespace

TEST(QmfTool, RealAudioReachesItsSnr) {
    const fs::path in = vectorDir() / "ct_decodercheck" / "aacPlusv2.wav";
    const std::vector<int16_t> x = readPcm(in);  // 16-bit stereo after a 44-byte header
    if (x.size() < 22) GTEST_SKIP() << "shared audio vector absent: " << in;
    TempDir tmp("okvac_qmf");
    const fs::path out = tmp.path / "out.wav";
    for (const std::string opts : {"--mode hq --rate same", "--mode lp --rate same", "--mode hq --rate double",
                                   "--mode lp --rate double", "--hybrid 20", "--hybrid 34", "--rate double --hybrid 20",
                                   "--rate double --hybrid 34"}) {
        SCOPED_TRACE(opts);
        std::string text;
        double snr = 0;
        ASSERT_EQ(runQmf(tmp, opts + " " + q(in) + " " + q(out), &text), 0) << text;
        ASSERT_EQ(std::sscanf(text.c_str(), "SNR %lf dB", &snr), 1) << text;
        EXPECT_GE(snr, 55.0);
        // The written file lines up with the input, at the even samples when doubled.
        const std::vector<int16_t> y = readPcm(out);
        const size_t step = opts.find("double") != std::string::npos ? 2 : 1;
        ASSERT_EQ(y.size(), 22 + (x.size() - 22) * step);
        EXPECT_EQ(uint16_t(y[12]) | uint16_t(y[13]) << 16, (uint16_t(x[12]) | uint16_t(x[13]) << 16) * step);  // the rate
        double s = 0, e = 0;
        for (size_t i = 22; i < x.size(); ++i) {
            const double d = y[22 + (i - 22) / 2 * 2 * step + i % 2] - x[i];
            s += double(x[i]) * x[i], e += d * d;
        }
        EXPECT_GE(10 * std::log10(s / e), 55.0);
    }
}

TEST(QmfTool, BadInputGivesAMessage) {
    TempDir tmp("okvac_qmf_bad");
    const fs::path junk = tmp.path / "junk.wav", out = tmp.path / "out.wav";
    const std::string header("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24), files = " " + q(junk) + " " + q(out);
    std::string text;
    for (const std::string& body : {std::string("not a wav"), header, header + std::string(16, '\xff') + "data"}) {
        writeFile(junk, std::vector<uint8_t>(body.begin(), body.end()));
        EXPECT_EQ(runQmf(tmp, files, &text), 1);
        EXPECT_NE(text.find("okvac qmf:"), std::string::npos) << text;
    }
    for (const char* args : {"--kx 33", "--kx x", "--mode mid", "--rate triple", "--hybrid 10", "--mode lp --hybrid 20"}) {
        EXPECT_EQ(runQmf(tmp, args + files, &text), 2) << args;
        EXPECT_NE(text.find("okvac qmf:"), std::string::npos) << text;
    }
    EXPECT_EQ(runQmf(tmp, q(tmp.path / "missing.wav") + " " + q(out), &text), 1);
    EXPECT_EQ(runQmf(tmp, "only_one.wav", &text), 2);
}
