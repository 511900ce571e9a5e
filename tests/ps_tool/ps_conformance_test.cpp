// okvac decode of parametric-stereo streams: the seven signalling variants of the check stream
// against its reference output and bit-identical to each other; conformance streams against ffmpeg.
#include <gtest/gtest.h>

#include "aac_tool/aac_tool_util.h"

using namespace aactool;

TEST(PsDecodeTool, StreamsMatchTheirReferences) {
    const char* streams[] = {"File1_fixed.aac", "File2.mp4", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp",
                             "File7.3gp", "iso/adts/al_sbr_ps_04_new.adts", "iso/adts/al_sbr_ps_06_new.adts"};
    std::vector<int16_t> check = readPcm(vectorDir() / "ct_decodercheck" / "aacPlusv2.wav"), first;
    if (check.size() == 22 + 2 * 346112u) check.erase(check.begin(), check.begin() + 22);  // the WAVE header
    TempDir tmp("okvac_ps");
    std::string skipped;
    for (const std::string name : streams) {
        SCOPED_TRACE(name);
        const bool iso = name[0] == 'i';
        const fs::path in = vectorDir() / (iso ? name : "ct_decodercheck/" + name), out = tmp.path / "out.raw";
        if (!fs::exists(in) || (iso ? !haveProgram("ffmpeg") : check.size() != 2 * 346112u)) {
            skipped += " " + name;
            continue;
        }
        ASSERT_EQ(okvacDecode(in, out), 0);
        const std::vector<int16_t> got = readPcm(out);
        ASSERT_TRUE(!iso || ffmpegDecode(in, tmp.path / "ref.raw"));
        const Diff d = compare(got, iso ? readPcm(tmp.path / "ref.raw") : check);
        EXPECT_GE(d.compared, iso ? 1 : check.size() - 2 * 2048);
        EXPECT_LE(d.rms, iso ? 4.0 : 1.0);
        EXPECT_LE(d.max, iso ? 32767 : 16);
        if (!iso && first.empty()) first = got;
        EXPECT_TRUE(iso || compare(got, first).max == 0) << "differs from the first variant";
    }
    if (!skipped.empty()) GTEST_SKIP() << "stream, its reference or ffmpeg absent for" << skipped;
}
