// okvac decode on AAC Main against the reference decoder: the Main conformance stream (and
// without its prediction, which must then miss by far), Main streams made by the reference's
// encoder at several rates in ADTS and a derived ADIF file, damaged Main input; the streams with
// coupling channel elements.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "aac_tool_util.h"

using namespace aactool;

namespace {

Diff decodeAndCompare(const fs::path& in, const fs::path& tmp, const std::string& opts = "") {
    const fs::path got = tmp / "got.raw", ref = tmp / "ref.raw";
    std::string err;
    EXPECT_EQ(okvacDecode(in, got, opts, &err), 0) << in << ": " << err;
    EXPECT_TRUE(ffmpegDecode(in, ref)) << in;
    const Diff d = compare(readPcm(got), readPcm(ref));
    EXPECT_GT(d.compared, 0u) << in;
    return d;
}

// The second reference, when installed: faad's decode of in against okvac's got.raw, which
// leads by faad's first dropped frame; faad writes mono as two equal channels.
bool faadCompare(const fs::path& in, const fs::path& tmp, int channels, Diff* d) {
    const fs::path ref = tmp / "faad.wav";
    if (!haveProgram("faad") || shell("faad -q -o " + q(ref) + " " + q(in) + " >/dev/null 2>&1") != 0) return false;
    const std::vector<uint8_t> w = readFile(ref);
    if (w.size() < 44) return false;
    const int refChannels = w[22];
    std::vector<int16_t> r;
    for (size_t i = 44; i + 2 * size_t(refChannels) <= w.size(); i += 2 * size_t(refChannels))
        for (int c = 0; c < channels; ++c) r.push_back(int16_t(w[i + 2 * size_t(c)] | w[i + 2 * size_t(c) + 1] << 8));
    *d = compare(readPcm(tmp / "got.raw"), r, 1024 * size_t(channels));
    return d->compared > 0;
}

}  // namespace

// The conformance stream: 88.2 kHz mono, predicted in almost every frame. The reference agrees
// within 1 LSB; without prediction the decode is off by thousands.
TEST(AacMainTool, ConformanceStreamWithAndWithoutPrediction) {
    const fs::path dir = vectorDir() / "iso";
    if (!fs::exists(dir / "am00_88.mp4")) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacmain_");
    for (const fs::path& in : {dir / "am00_88.mp4", dir / "adts" / "am00_88.adts"}) {
        const Diff d = decodeAndCompare(in, tmp.path);
        std::printf("  %-24s max %d LSB  rms %.3f LSB\n", in.filename().c_str(), d.max, d.rms);
        EXPECT_LE(d.max, 4) << in;
        EXPECT_LE(d.rms, 0.5) << in;
    }
    const Diff off = decodeAndCompare(dir / "am00_88.mp4", tmp.path, "--no-prediction");
    std::printf("  without prediction: max %d LSB  rms %.1f LSB\n", off.max, off.rms);
    EXPECT_GT(off.rms, 100.0);
}

// Coupling channel elements against the reference: 5.1 Main with independent switching (added
// after the filterbank) and 5.1 LC at 96 kHz with dependent switching before and after TNS,
// with signed band gains; without the coupling the fed channels miss by thousands. Every frame
// within 4 LSB but two of the Main stream, where a loud burst in the pairs decodes up to 12 LSB
// from the reference, as it does with the coupling elements cut out of the stream.
TEST(AacMainTool, CouplingChannelElements) {
    const fs::path dir = vectorDir() / "iso";
    if (!fs::exists(dir / "am05_44.mp4")) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aaccce_");
    for (const auto& [name, loudFrames] : {std::pair{"am05_44.mp4", 2}, {"adts/am05_44.adts", 2}, {"al07_96.mp4", 0}}) {
        const Diff d = decodeAndCompare(dir / name, tmp.path);
        std::printf("  %-24s max %d LSB  rms %.3f LSB\n", name, d.max, d.rms);
        EXPECT_LE(d.max, 16) << name;
        EXPECT_LE(d.rms, 0.5) << name;
        const std::vector<int16_t> got = readPcm(tmp.path / "got.raw"), ref = readPcm(tmp.path / "ref.raw");
        int over = 0;
        for (size_t f = 0; f + 6 * 1024 <= std::min(got.size(), ref.size()); f += 6 * 1024) {
            int m = 0;
            for (size_t i = f; i < f + 6 * 1024; ++i) m = std::max(m, std::abs(got[i] - ref[i]));
            over += m > 4;
        }
        EXPECT_LE(over, loudFrames) << name;
    }
}

// Main streams of the reference's encoder. The reference's own predictor departs from the
// table-based one in rare lines (one frame of the 44.1 kHz mono stream by 13 LSB, where faad
// agrees with okvac within 1 LSB): beyond 4 LSB faad decides.
TEST(AacMainTool, EncodedMainStreams) {
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacmaingen_");
    for (const int rate : {8000, 16000, 24000, 32000, 44100, 48000})
        for (const int channels : {1, 2}) {
            const std::string layout = channels == 1 ? "mono" : "stereo";
            const fs::path in = tmp.path / ("main_" + std::to_string(rate) + layout + ".aac");
            const std::string chirp = "0.3*sin(2*PI*300*t)+0.1*sin(2*PI*" + std::to_string(rate / 16) + "*t*t)";
            ASSERT_EQ(shell("ffmpeg -nostdin -v error -f lavfi -i 'aevalsrc=exprs=" + chirp +
                            (channels == 2 ? "|0.2*sin(2*PI*430*t)" : "") + ":c=" + layout + ":s=" +
                            std::to_string(rate) + ":d=4' -c:a aac -profile:a aac_main -aac_pns 0 -y " + q(in)),
                      0);
            Diff d = decodeAndCompare(in, tmp.path);
            std::printf("  %-24s max %d LSB  rms %.3f LSB\n", in.filename().c_str(), d.max, d.rms);
            int maxDiff = 4;
            if (d.max > 4 && faadCompare(in, tmp.path, channels, &d))
                std::printf("  %-24s max %d LSB  rms %.3f LSB against faad\n", "", d.max, d.rms);
            else if (d.max > 4)
                std::printf("  faad not installed: the reference alone, within 16 LSB\n"), maxDiff = 16;
            EXPECT_LE(d.max, maxDiff) << in;
            EXPECT_LE(d.rms, maxDiff == 4 ? 0.5 : 0.75) << in;
            if (rate != 32000) continue;
            // The same blocks in ADIF decode to the same samples.
            const fs::path adif = tmp.path / "main.adif", a = tmp.path / "adif.raw", b = tmp.path / "adts.raw";
            writeFile(adif, adifFromAdts(readFile(in)));
            std::string err;
            ASSERT_EQ(okvacDecode(adif, a, "", &err), 0) << err;
            ASSERT_EQ(okvacDecode(in, b), 0);
            EXPECT_EQ(readPcm(a), readPcm(b)) << layout;
        }
}

TEST(AacMainTool, BitFlipsAndTruncationNeverCrash) {
    const fs::path in0 = vectorDir() / "iso" / "adts" / "am00_88.adts";
    if (!fs::exists(in0)) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    TempDir tmp("okvac_aacmainflip_");
    std::mt19937 rng(12);
    const std::vector<uint8_t> data = readFile(in0);
    for (int trial = 0; trial < 8; ++trial) {
        std::vector<uint8_t> d = data;
        const int flips = 1 + int(rng() % 400);
        for (int k = 0; k < flips; ++k) d[rng() % d.size()] ^= uint8_t(1u << (rng() % 8));
        if (trial & 1) d.resize(rng() % d.size());
        const fs::path in = tmp.path / "in.aac", out = tmp.path / "out.raw";
        writeFile(in, d);
        std::string err;
        const int rc = okvacDecode(in, out, "", &err);
        EXPECT_TRUE(rc == 0 || rc == 1) << "trial " << trial << ": status " << rc << ": " << err;
    }
}
