// okvac decoding HE-AAC: the signalling variants of the check stream against each other, the
// SBR conformance streams against ffmpeg, and damaged SBR payloads.
#include <gtest/gtest.h>

#include <random>

#include "aac_tool_util.h"

namespace {

using namespace aactool;

bool haveCheckStreams() { return fs::exists(vectorDir() / "ct_decodercheck" / "File2.mp4"); }

uint32_t wavRate(const fs::path& p) {
    const std::vector<uint8_t> b = readFile(p);
    return b.size() < 28 ? 0 : uint32_t(b[24] | b[25] << 8 | b[26] << 16 | b[27] << 24);
}

// ADTS, MP4 and 3GP with implicit, hierarchical and backward-compatible signalling all decode to
// the same PCM at twice the core rate; --core-only gives the core at its own rate.
TEST(HeAacDecode, CheckStreamVariantsAgree) {
    if (!haveCheckStreams()) GTEST_SKIP() << "HE-AAC check streams not found under " << vectorDir();
    TempDir tmp("okvac_heaac_");
    const fs::path dir = vectorDir() / "ct_decodercheck";
    ASSERT_EQ(okvacDecode(dir / "File2.mp4", tmp.path / "ref.wav"), 0);
    EXPECT_EQ(wavRate(tmp.path / "ref.wav"), 44100u);
    const std::vector<uint8_t> ref = readFile(tmp.path / "ref.wav");
    // The reference output's length: 169 frames of 2048 stereo samples (parametric stereo).
    EXPECT_EQ(ref.size(), 44u + 4 * 346112u);
    for (const char* name : {"File1_fixed.aac", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp", "File7.3gp"}) {
        const fs::path out = tmp.path / (std::string(name) + ".wav");
        std::string err;
        ASSERT_EQ(okvacDecode(dir / name, out, "", &err), 0) << name;
        EXPECT_EQ(err.find("frame"), std::string::npos) << name << ": " << err;
        EXPECT_TRUE(readFile(out) == ref) << name;
    }
    ASSERT_EQ(okvacDecode(dir / "File2.mp4", tmp.path / "core.wav", "--core-only"), 0);
    EXPECT_EQ(wavRate(tmp.path / "core.wav"), 22050u);
    EXPECT_EQ(readFile(tmp.path / "core.wav").size(), 44u + 346112u);
}

// The SBR streams without parametric stereo (dual-rate and downsampled, MP4 and ADTS) against
// ffmpeg's float decoder.
TEST(HeAacDecode, SbrStreamsMatchFfmpeg) {
    if (!fs::exists(vectorDir() / "iso" / "al_sbr_cm_48_2.mp4")) GTEST_SKIP() << "SBR streams not found";
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_sbrff_");
    for (const char* name : {"iso/al_sbr_cm_48_2.mp4", "iso/adts/al_sbr_cm_48_2.adts", "iso/al_sbr_sr_48_2_fsaac48.mp4"}) {
        const fs::path got = tmp.path / "got.raw", ref = tmp.path / "ref.raw";
        ASSERT_EQ(okvacDecode(vectorDir() / name, got), 0) << name;
        ASSERT_TRUE(ffmpegDecode(vectorDir() / name, ref)) << name;
        const std::vector<int16_t> a = readPcm(got), b = readPcm(ref);
        EXPECT_EQ(a.size(), b.size()) << name;
        const Diff d = compare(a, b);
        std::printf("%s: max %d, RMS %.3f LSB over %zu samples\n", name, d.max, d.rms, d.compared);
        EXPECT_GT(d.compared, 1000000u) << name;
        EXPECT_LE(d.max, 16) << name;
        EXPECT_LE(d.rms, 1.0) << name;
    }
}

// Low power (real fixed-point banks, real prediction) against high quality: the same envelope,
// with aliasing and the phases of real-valued sinusoids and noise as the difference.
TEST(HeAacDecode, LowPowerStaysCloseToHighQuality) {
    const fs::path src = vectorDir() / "iso" / "al_sbr_cm_48_2.mp4";
    if (!fs::exists(src)) GTEST_SKIP() << "SBR streams not found";
    TempDir tmp("okvac_sbrlp_");
    ASSERT_EQ(okvacDecode(src, tmp.path / "hq.raw"), 0);
    ASSERT_EQ(okvacDecode(src, tmp.path / "lp.raw", "--sbr lp"), 0);
    const std::vector<int16_t> hq = readPcm(tmp.path / "hq.raw"), lp = readPcm(tmp.path / "lp.raw");
    ASSERT_EQ(hq.size(), lp.size());
    double sig = 0, err = 0;
    for (size_t i = 0; i < hq.size(); ++i) {
        sig += double(hq[i]) * hq[i];
        err += double(lp[i] - hq[i]) * (lp[i] - hq[i]);
    }
    const double snr = 10 * std::log10(sig / err);
    std::printf("low power against high quality: SNR %.1f dB\n", snr);
    EXPECT_GT(snr, 20.0);
    EXPECT_LT(snr, 60.0);  // the modes differ: a low-power run that fell back to the other path fails
}

TEST(HeAacDecode, AdifFindsSbrInTheFirstBlock) {
    const fs::path src = vectorDir() / "iso" / "adts" / "al_sbr_cm_48_2.adts";
    if (!fs::exists(src)) GTEST_SKIP() << "SBR streams not found";
    TempDir tmp("okvac_sbradif_");
    writeFile(tmp.path / "in.adif", adifFromAdts(readFile(src)));
    ASSERT_EQ(okvacDecode(src, tmp.path / "adts.wav"), 0);
    ASSERT_EQ(okvacDecode(tmp.path / "in.adif", tmp.path / "adif.wav"), 0);
    EXPECT_EQ(wavRate(tmp.path / "adif.wav"), 48000u);
    EXPECT_TRUE(readFile(tmp.path / "adif.wav") == readFile(tmp.path / "adts.wav"));
}

// Bit errors inside the frames: decoding goes on, and a damaged SBR payload leaves its frame to
// the upsampled core with a message.
TEST(HeAacDecode, DamagedSbrPayloadsKeepTheCore) {
    const fs::path src = vectorDir() / "iso" / "adts" / "al_sbr_cm_48_2.adts";
    if (!fs::exists(src)) GTEST_SKIP() << "SBR streams not found";
    TempDir tmp("okvac_sbrdamage_");
    const std::vector<uint8_t> data = readFile(src);
    std::mt19937 rng(7);
    int keptCore = 0;
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<uint8_t> d = data;
        for (int k = 0; k < 400; ++k) d[8 + rng() % (d.size() - 8)] ^= uint8_t(1u << (rng() % 8));
        const fs::path in = tmp.path / "in.adts", out = tmp.path / "out.raw";
        writeFile(in, d);
        std::string err;
        EXPECT_EQ(okvacDecode(in, out, "", &err), 0) << "trial " << trial << ": " << err;
        keptCore += err.find("keeps its core only") != std::string::npos;
    }
    EXPECT_GT(keptCore, 0);
}

}  // namespace
