// okvac decode on AAC LTP against the reference decoder: the conformance stream with LTP data
// in MP4 and ADTS, the encoder's LTP streams at every rate class, and one of them rewrapped as
// ADIF, which must decode as its ADTS original.
#include <gtest/gtest.h>

#include "aac_tool_util.h"

using namespace aactool;

namespace {

Diff againstReference(const fs::path& in, const fs::path& tmp) {
    const fs::path got = tmp / "got.raw", ref = tmp / "ref.raw";
    std::string err;
    EXPECT_EQ(okvacDecode(in, got, "", &err), 0) << in << ": " << err;
    EXPECT_TRUE(ffmpegDecode(in, ref)) << in;
    const Diff d = compare(readPcm(got), readPcm(ref));
    EXPECT_GT(d.compared, 0u) << in;
    return d;
}

}  // namespace

// ap05_48 carries LTP data in most long frames, with intensity, M/S and TNS. Both reference
// decoders agree with each other to 2 LSB; okvac within 1 LSB and 0.2 LSB RMS. The prediction
// feeds back over runs of predicted frames: with the coefficients rounded to Q14 it drifted
// to 5 LSB within twenty frames.
TEST(AacDecodeLtp, ConformanceStreamAgainstReference) {
    const fs::path dir = vectorDir() / "iso";
    if (!fs::exists(dir / "ap05_48.mp4")) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacltp_");
    for (const char* name : {"ap05_48.mp4", "adts/ap05_48.adts"}) {
        const Diff d = againstReference(dir / name, tmp.path);
        std::printf("  %-20s max %d LSB  rms %.3f LSB over %zu samples\n", name, d.max, d.rms, d.compared);
        EXPECT_LE(d.max, 1) << name;
        EXPECT_LE(d.rms, 0.2) << name;
        EXPECT_GE(d.compared, 1800000u) << name;
    }
}

// The encoder writes LTP streams without LTP data: they test the LTP syntax (every ICS carries
// the flag), mono and stereo at every rate class, then the same stream as ADIF.
TEST(AacDecodeLtp, EncodedStreamsAtEveryRate) {
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacltpgen_");
    fs::path kept;
    for (int rate : {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000})
        for (int channels = 1; channels <= 2; ++channels) {
            char exprs[160];
            std::snprintf(exprs, sizeof exprs, "0.3*sin(2*PI*180*t)+0.1*sin(2*PI*%d*t*t)%s", rate / 12,
                          channels == 2 ? "|0.3*sin(2*PI*330*t)+0.1*sin(2*PI*91*t*t)" : "");
            const fs::path in = tmp.path / ("ltp_" + std::to_string(rate) + "_" + std::to_string(channels) + ".aac");
            ASSERT_EQ(shell(std::string("ffmpeg -nostdin -v error -f lavfi -i 'aevalsrc=exprs=") + exprs + ":s=" +
                            std::to_string(rate) + ":d=2' -c:a aac -strict -2 -profile:a aac_ltp -aac_pns 0 -y " + q(in)),
                      0);
            const Diff d = againstReference(in, tmp.path);
            std::printf("  %-20s max %d LSB  rms %.3f LSB\n", in.filename().c_str(), d.max, d.rms);
            EXPECT_LE(d.max, 2) << in;
            EXPECT_LE(d.rms, 0.289) << in;
            if (rate == 48000 && channels == 2) kept = in;
        }
    const fs::path adif = tmp.path / "ltp.adif";
    writeFile(adif, adifFromAdts(readFile(kept)));
    ASSERT_EQ(okvacDecode(kept, tmp.path / "a.raw"), 0);
    std::string err;
    ASSERT_EQ(okvacDecode(adif, tmp.path / "b.raw", "", &err), 0) << err;
    const std::vector<uint8_t> a = readFile(tmp.path / "a.raw"), b = readFile(tmp.path / "b.raw");
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "ADIF and ADTS decodes differ";
}
