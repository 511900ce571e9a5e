// okvac decode of HE-AAC v2 (SBR with parametric stereo, mono core, stereo output): the seven
// signalling variants of the check stream against its reference output and against each
// other, and the ISO PS streams against ffmpeg (which matches that reference to 1 LSB).
#include <gtest/gtest.h>

#include <cstdio>

#include "aac_tool/aac_tool_util.h"

namespace {

using namespace aactool;

TEST(PsDecodeTool, CheckStreamVariantsMatchTheReference) {
    const fs::path dir = vectorDir() / "ct_decodercheck";
    std::vector<int16_t> ref = readPcm(dir / "aacPlusv2.wav");
    if (ref.size() != 22 + 2 * 346112u) GTEST_SKIP() << "HE-AAC v2 check streams not found under " << dir;
    ref.erase(ref.begin(), ref.begin() + 22);  // the 44-byte WAVE header
    TempDir tmp("okvac_ps_check");
    std::vector<int16_t> first;
    for (const char* name : {"File1_fixed.aac", "File2.mp4", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp", "File7.3gp"}) {
        fs::path out = tmp.path / name;
        out += ".raw";
        ASSERT_EQ(okvacDecode(dir / name, out), 0) << name;
        const std::vector<int16_t> got = readPcm(out);
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
