// okvac decode end to end: every Layer III conformance vector against its reference PCM through both
// synthesis paths. Float: max 1 LSB, rms 0.15; fixed: max 2 LSB, rms below 2^-15 / sqrt(12) of full scale.
#include <gtest/gtest.h>

#include <cmath>

#include "mp3_test_util.h"
#include "tool_util.h"

using namespace tooltest;

TEST(Mp3DecodeTool, ConformanceOfBothSynthesisPaths) {
    const fs::path dir = fs::path(mp3test::sharedDir()) / "vectors" / "mp3";
    if (!fs::exists(dir)) GTEST_SKIP() << "conformance vectors not found under " << dir;
    const TempDir tmp("okvac_mp3_");
    const fs::path out = tmp.path / "out.raw";
    int streams = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".bit") continue;
        ++streams;
        const std::string name = e.path().stem().string();
        std::vector<int16_t> ref = readFile<int16_t>(fs::path(e.path()).replace_extension(".pcm")), two;
        // l3-he_mode: 10 mono frames, 100 stereo, 18 mono; the mono samples doubled.
        for (size_t f = 0, i = 0; name == "l3-he_mode" && f < 128; ++f)
            for (int s = 0; s < 1152; ++s, ++i) {
                two.push_back(ref.at(i));
                two.push_back(ref.at(f >= 10 && f < 110 ? ++i : i));
            }
        if (!two.empty()) ref = two;
        const size_t lead = name == "l3-sin1k0db" ? 2 * 1152 * 2 : 0;  // frames of silence the reference leaves out
        for (const bool isFloat : {true, false}) {
            const std::string synth = isFloat ? " decode --synth float " : " decode --synth fixed ";
            ASSERT_EQ(shell(q(okvacPath()) + synth + q(e.path()) + " " + q(out)), 0) << name;
            const std::vector<int16_t> got = readFile<int16_t>(out);
            ASSERT_GE(got.size(), lead + ref.size()) << name << ": output shorter than the reference";
            int maxDiff = 0;
            double sum = 0;
            for (size_t i = 0; i < ref.size(); ++i) {
                maxDiff = std::max(maxDiff, std::abs(got[lead + i] - ref[i]));
                sum += std::pow(got[lead + i] - ref[i], 2);
            }
            const double rms = std::sqrt(sum / double(ref.size()));
            EXPECT_TRUE(maxDiff <= (isFloat ? 1 : 2) && rms < (isFloat ? 0.15 : 1.0 / std::sqrt(12.0)))
                << name << synth << maxDiff << " " << rms;
        }
    }
    EXPECT_EQ(streams, 19);
}
