// The parametric-stereo tables the generator computes against the shared values, and okvac qmf end
// to end on real audio. PS decoding itself is checked on the HE-AAC streams in test_aac_tool.
#include <gtest/gtest.h>

#include <cmath>

#include "../../tools/okvac/ps/ps_tables_data.h"
#include "aac_tool/aac_tool_util.h"
#include "mp3/mp3_test_util.h"

using namespace aactool;

TEST(PsTables, MatchTheSharedText) {
    using namespace ps_tables;
    const auto rows = [](const std::string& file) { return mp3test::tableLines("../ps/" + file); };
    if (rows("mixing_ra.txt").size() != 368) GTEST_SKIP() << "shared PS tables absent";
    for (const bool rb : {false, true})
        for (const auto& w : rows(rb ? "mixing_rb.txt" : "mixing_ra.txt")) {
            const int iid = std::stoi(w[1]), icc = std::stoi(w[3]);
            const auto& fine = rb ? kRbFine : kRaFine;
            const auto& coarse = rb ? kRbDefault : kRaDefault;
            const float* h = w[0] == "fine" ? fine[iid + 15][icc] : coarse[iid + 7][icc];
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(h[j], std::stod(w[5 + j]), 2e-7) << w[0] << iid << " " << icc;
        }
    for (const bool is34 : {false, true}) {
        const auto f = rows(is34 ? "fract_delay_34.txt" : "fract_delay_20.txt");
        ASSERT_EQ(f.size(), is34 ? 50u : 30u);
        const float(*phi)[2] = is34 ? kPhiFract34 : kPhiFract20;
        const float(*qf)[3][2] = is34 ? kQFract34 : kQFract20;
        for (size_t k = 0; k < f.size(); ++k)
            for (int j = 0; j < 8; ++j)
                EXPECT_NEAR(j < 2 ? phi[k][j] : qf[k][j / 2 - 1][j % 2], std::stod(f[k][2 + j]), 2e-7) << k << j;
    }
}

// Every mode and rate, with and without the hybrid split, reaches 55 dB in the printed SNR and in the
// written file (at the even samples when doubled); bad input (status 1) and arguments (status 2) get a
// message.
TEST(QmfTool, RealAudioReachesItsSnrAndBadInputIsRefused) {
    const fs::path in = vectorDir() / "ct_decodercheck" / "aacPlusv2.wav";
    const std::vector<int16_t> x = readFile<int16_t>(in);  // 16-bit stereo after a 44-byte header
    if (x.size() < 22) GTEST_SKIP() << "shared audio vector absent: " << in;
    TempDir tmp("okvac_qmf");
    const fs::path out = tmp.path / "out.wav", junk = tmp.path / "junk.wav";
    std::string files = " ";  // appended piecewise: the one-expression form trips a false -Wrestrict in g++ 12
    files.append(q(junk)).append(" ").append(q(out));
    std::string text;
    const auto qmf = [&](const std::string& args) {
        return shell(q(okvacPath()) + " qmf " + args, &text, tmp.path / "log");
    };
    for (const std::string opts : {"--mode hq --rate same", "--mode lp --rate same", "--mode hq --rate double",
                                   "--mode lp --rate double", "--hybrid 20", "--hybrid 34", "--rate double --hybrid 20",
                                   "--rate double --hybrid 34"}) {
        double snr = 0, s = 0, e = 0;
        ASSERT_EQ(qmf(opts + " " + q(in) + " " + q(out)), 0) << text;
        ASSERT_EQ(std::sscanf(text.c_str(), "SNR %lf dB", &snr), 1) << text;
        const std::vector<int16_t> y = readFile<int16_t>(out);
        const size_t step = opts.find("double") != std::string::npos ? 2 : 1;
        ASSERT_EQ(y.size(), 22 + (x.size() - 22) * step) << opts;
        const auto rate = [](const std::vector<int16_t>& v) { return uint16_t(v[12]) | uint16_t(v[13]) << 16; };
        EXPECT_EQ(rate(y), rate(x) * step) << opts;
        for (size_t i = 22; i < x.size(); ++i) {
            const double d = y[22 + (i - 22) / 2 * 2 * step + i % 2] - x[i];
            s += double(x[i]) * x[i];
            e += d * d;
        }
        EXPECT_TRUE(snr >= 55.0 && 10 * std::log10(s / e) >= 55.0) << opts;
    }
    const std::string header("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
    for (const std::string& body : {std::string("not a wav"), header, header + std::string(16, '\xff') + "data"}) {
        writeFile(junk, std::vector<uint8_t>(body.begin(), body.end()));
        EXPECT_TRUE(qmf(files) == 1 && text.find("okvac qmf:") != std::string::npos) << text;
    }
    for (const char* args :
         {"--kx 33", "--kx x", "--mode mid", "--rate triple", "--hybrid 10", "--mode lp --hybrid 20"})
        EXPECT_TRUE(qmf(args + files) == 2 && text.find("okvac qmf:") != std::string::npos) << args << ": " << text;
    EXPECT_EQ(qmf(q(tmp.path / "missing.wav") + " " + q(out)), 1);
    EXPECT_EQ(qmf("only_one.wav"), 2);
}
