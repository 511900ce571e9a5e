// okvac decode of streams with parametric stereo (mono core, stereo output): the seven
// signalling variants of the check stream against its reference output and bit-identical to
// each other, and the conformance PS streams against ffmpeg (which matches that reference to 1 LSB).
#include <gtest/gtest.h>

#include "aac_tool/aac_tool_util.h"

namespace {

using namespace aactool;

struct Stream {
    const char *dir, *name;
};

TEST(PsDecodeTool, StreamsMatchTheirReferences) {
    const Stream streams[] = {{"ct_decodercheck", "File1_fixed.aac"}, {"ct_decodercheck", "File2.mp4"},
                              {"ct_decodercheck", "File3.mp4"},       {"ct_decodercheck", "File4.mp4"},
                              {"ct_decodercheck", "File5.mp4"},       {"ct_decodercheck", "File6.3gp"},
                              {"ct_decodercheck", "File7.3gp"},       {"iso/adts", "al_sbr_ps_04_new.adts"},
                              {"iso/adts", "al_sbr_ps_06_new.adts"}};
    std::vector<int16_t> check = readPcm(vectorDir() / "ct_decodercheck" / "aacPlusv2.wav"), first;
    if (check.size() == 22 + 2 * 346112u) check.erase(check.begin(), check.begin() + 22);  // the WAVE header
    TempDir tmp("okvac_ps");
    std::string skipped;
    for (const Stream& s : streams) {
        SCOPED_TRACE(s.name);
        const bool iso = s.dir[0] == 'i';
        const fs::path in = vectorDir() / s.dir / s.name, ref = tmp.path / "ref.raw";
        const fs::path out = tmp.path / (std::string(s.name) + ".raw");
        if (!fs::exists(in) || (iso ? !haveProgram("ffmpeg") : check.size() != 2 * 346112u)) {
            skipped += std::string(" ") + s.name;
            continue;
        }
        ASSERT_EQ(okvacDecode(in, out), 0);
        const std::vector<int16_t> got = readPcm(out);
        ASSERT_TRUE(!iso || ffmpegDecode(in, ref));
        const Diff d = compare(got, iso ? readPcm(ref) : check);
        std::printf("%-22s vs %s: max %d, RMS %.3f LSB over %zu stereo samples\n", s.name, iso ? "ffmpeg" : "reference", d.max,
                    d.rms, d.compared / 2);
        EXPECT_GE(d.compared, iso ? 1 : check.size() - 2 * 2048);
        EXPECT_LE(d.rms, iso ? 4.0 : 1.0);
        EXPECT_LE(d.max, iso ? 32767 : 16);
        if (!iso && first.empty()) first = got;
        EXPECT_TRUE(iso || compare(got, first).max == 0) << "differs from File1_fixed.aac";
    }
    if (!skipped.empty()) GTEST_SKIP() << "stream, its reference or ffmpeg absent for" << skipped;
}

}  // namespace
