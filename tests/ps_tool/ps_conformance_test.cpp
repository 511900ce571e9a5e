// okvac decode of HE-AAC v2 (SBR with parametric stereo, mono core, stereo output): the seven
// signalling variants of the check stream against its reference output and against each
// other, and the ISO PS streams against ffmpeg (which matches that reference to 1 LSB).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "aac_tool/aac_tool_util.h"

namespace {

using namespace aactool;

// The 16-bit samples of a WAVE file's data chunk (empty when there is none).
std::vector<int16_t> wavSamples(const fs::path& p) {
    const std::vector<uint8_t> b = readFile(p);
    for (size_t i = 12; i + 8 <= b.size();) {
        const size_t len = size_t(b[i + 4] | b[i + 5] << 8 | b[i + 6] << 16 | uint32_t(b[i + 7]) << 24);
        if (!std::memcmp(&b[i], "data", 4)) {
            std::vector<int16_t> s(std::min(len, b.size() - i - 8) / 2);
            for (size_t k = 0; k < s.size(); ++k) s[k] = int16_t(b[i + 8 + 2 * k] | b[i + 9 + 2 * k] << 8);
            return s;
        }
        i += 8 + len + (len & 1);
    }
    return {};
}

TEST(PsDecodeTool, CheckStreamVariantsMatchTheReference) {
    const fs::path dir = vectorDir() / "ct_decodercheck";
    const std::vector<int16_t> ref = wavSamples(dir / "aacPlusv2.wav");
    if (ref.empty()) GTEST_SKIP() << "HE-AAC v2 check streams not found under " << dir;
    TempDir tmp("okvac_ps_check");
    std::vector<int16_t> first;
    for (const char* name : {"File1_fixed.aac", "File2.mp4", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp", "File7.3gp"}) {
        fs::path out = tmp.path / name;
        out += ".wav";
        ASSERT_EQ(okvacDecode(dir / name, out), 0) << name;
        const std::vector<int16_t> got = wavSamples(out);
        const Diff d = compare(got, ref);
        std::printf("%-16s vs reference: max %d, RMS %.3f LSB over %zu stereo samples\n", name, d.max, d.rms, d.compared / 2);
        EXPECT_GE(d.compared, ref.size() - 2 * 2048) << name;
        EXPECT_LE(d.rms, 1.0) << name;
        EXPECT_LE(d.max, 16) << name;
        if (first.empty()) {
            first = got;
        } else {
            const Diff same = compare(got, first);
            EXPECT_EQ(same.max, 0) << name << " differs from File1_fixed.aac";
        }
    }
}

TEST(PsDecodeTool, IsoStreamsAgainstFfmpeg) {
    const fs::path dir = vectorDir() / "iso" / "adts";
    if (!fs::exists(dir / "al_sbr_ps_06_new.adts")) GTEST_SKIP() << "ISO PS streams not found under " << dir;
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_ps_iso");
    for (const char* name : {"al_sbr_ps_04_new.adts", "al_sbr_ps_06_new.adts"}) {
        fs::path out = tmp.path / name, ref = out;
        out += ".raw";
        ref += ".ref";
        ASSERT_EQ(okvacDecode(dir / name, out), 0) << name;
        ASSERT_TRUE(ffmpegDecode(dir / name, ref)) << name;
        const Diff d = compare(readPcm(out), readPcm(ref));
        std::printf("%-22s vs ffmpeg: max %d, RMS %.3f LSB over %zu stereo samples\n", name, d.max, d.rms, d.compared / 2);
        EXPECT_GT(d.compared, size_t(0)) << name;
        EXPECT_LE(d.rms, 4.0) << name;
    }
}

}  // namespace
