// okvac decode on AAC against the reference decoder (ffmpeg's float decoder; its fixed-point one
// where the float one errs): the conformance streams (LC, Main, LTP, SBR), streams made here
// with each profile at every rate and layout, gapless lengths, noise levels, HE-AAC
// signalling variants and damaged input.
#include <gtest/gtest.h>

#include <random>

#include "aac_tool_util.h"

using namespace aactool;

namespace {

bool haveVectors() { return fs::exists(vectorDir() / "iso" / "al04_44.mp4"); }

// Decodes in with okvac and the reference; refChannel[c] is the reference channel of okvac's c.
Diff against(const fs::path& in, const fs::path& tmp, int channels, int leadFrames, const std::vector<int>& refChannel = {},
             const char* refDecoder = "aac") {
    std::string err;
    EXPECT_EQ(okvacDecode(in, tmp / "got.raw", "", &err), 0) << in << ": " << err;
    EXPECT_TRUE(ffmpegDecode(in, tmp / "ref.raw", refDecoder)) << in;
    std::vector<int16_t> r = readPcm(tmp / "ref.raw"), p(r.size());
    for (size_t i = 0; !refChannel.empty() && i + size_t(channels) <= r.size(); i += size_t(channels))
        for (size_t c = 0; c < size_t(channels); ++c) p[i + c] = r[i + size_t(refChannel[c])];
    const Diff d = compare(readPcm(tmp / "got.raw"), refChannel.empty() ? r : p, size_t(leadFrames) * 1024 * size_t(channels));
    EXPECT_GT(d.compared, 0u) << in;
    return d;
}

// faad's decode of in against okvac's got.raw (which leads by faad's dropped first frame); faad
// writes mono as two equal channels.
Diff faadDiff(const fs::path& in, const fs::path& tmp, int channels) {
    Diff d{};
    const fs::path ref = tmp / "faad.wav";
    if (!haveProgram("faad") || shell("faad -q -o " + q(ref) + " " + q(in) + " >/dev/null 2>&1") != 0) return d;
    const std::vector<uint8_t> w = readFile(ref);
    const size_t refChannels = w.size() < 44 ? 0 : w[22];
    std::vector<int16_t> r;
    for (size_t i = 44; refChannels && i + 2 * refChannels <= w.size(); i += 2 * refChannels)
        for (size_t c = 0; c < size_t(channels); ++c) r.push_back(int16_t(w[i + 2 * c] | w[i + 2 * c + 1] << 8));
    return compare(readPcm(tmp / "got.raw"), r, 1024 * size_t(channels));
}

void expectSameDecode(const fs::path& a, const fs::path& b, const fs::path& tmp) {
    std::string err;
    ASSERT_EQ(okvacDecode(a, tmp / "a.raw", "", &err), 0) << a << ": " << err;
    ASSERT_EQ(okvacDecode(b, tmp / "b.raw", "", &err), 0) << b << ": " << err;
    const std::vector<uint8_t> x = readFile(tmp / "a.raw");
    EXPECT_TRUE(!x.empty() && x == readFile(tmp / "b.raw")) << a << " and " << b << " differ";
}

uint32_t wavRate(const fs::path& p) {
    const std::vector<uint8_t> b = readFile(p);
    return b.size() < 28 ? 0 : uint32_t(b[24] | b[25] << 8 | b[26] << 16 | b[27] << 24);
}

}  // namespace

// The reference drops the first frame of faac-made streams. The dolby stereo stream codes
// intensity bands under M/S mask 2: the reference inverts them there, okvac (as invert_intensity
// says) does not, 34 LSB apart in one frame. ap05_48 carries LTP data with intensity, M/S and
// TNS: the prediction's Q14 coefficients (truncated) drift to 5 LSB over runs of predicted
// frames. SBR: dual-rate and downsampled; with parametric stereo only near the reference. Main:
// am00_88 is predicted in almost every frame (without prediction it misses by thousands);
// am05_44 (independent switching, added after the filterbank) and al07_96 (dependent switching
// before and after TNS, signed band gains) carry coupling channel elements, am05_44's pairs TNS
// filters above order 12. al15_44 codes 5.1 with its surround pair second in the front row:
// okvac plays it FL FR FC LFE SL SR, the reference FL FR FC LFE FLC FRC, surrounds at FL FR.
TEST(AacDecodeTool, ConformanceAgainstReferenceDecoder) {
    if (!haveVectors()) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    struct Stream {
        std::string path;
        int channels, lead = 0, maxDiff = 2;
        double rms = 0.289;
        std::vector<int> refChannel = {};
    };
    std::vector<Stream> streams = {{"misc/ct_faac-adts.aac", 2, 1}, {"misc/foo.aac", 2}, {"misc/id3v1.aac", 2}, {"misc/id3v2.aac", 1},
                                   {"iso/al_sbr_sr_48_2_fsaac48.mp4", 2, 0, 16, 1.0}, {"iso/al07_96.mp4", 6, 0, 4, 0.5},
                                   {"iso/adts/al_sbr_ps_04_new.adts", 2, 0, 32767, 4.0},
                                   {"iso/adts/al_sbr_ps_06_new.adts", 2, 0, 32767, 4.0},
                                   {"iso/al15_44.mp4", 6, 0, 4, 0.5, {4, 5, 2, 3, 0, 1}}};
    for (const Stream& s : {Stream{"al04_44", 1}, {"al05_44", 2}, {"al06_44", 3}, {"al17_44", 2}, {"ap05_48", 2, 0, 5, 0.4},
                            {"al_sbr_cm_48_2", 2, 0, 16, 1.0}, {"am00_88", 1, 0, 4, 0.5}, {"am05_44", 6, 0, 4, 0.5}})
        for (const std::string& path : {"iso/" + s.path + ".mp4", "iso/adts/" + s.path + ".adts"})
            streams.push_back({path, s.channels, s.lead, s.maxDiff, s.rms});
    for (std::string tones : {"afconvert_16000_mono.m4a", "afconvert_16000_stereo.aac", "afconvert_44100_mono.aac",
                              "afconvert_44100_stereo.aac", "dolby_44100_mono.m4a", "dolby_44100_stereo.m4a", "faac_16000_mono.aac",
                              "faac_16000_stereo.aac", "faac_44100_mono.m4a", "faac_44100_stereo.m4a", "nero_16000_mono.m4a",
                              "nero_16000_stereo.m4a", "nero_44100_mono.m4a", "nero_44100_stereo.m4a",
                              "quicktime7_44100_stereo.m4a", "quicktimeX_44100_stereo.m4a"}) {
        const bool dolbyStereo = tones == "dolby_44100_stereo.m4a";
        streams.push_back({"misc/tones/tones_" + tones.insert(tones.size() - 4, "_aac_lc"), tones.find("stereo") != std::string::npos ? 2 : 1,
                           tones.starts_with("faac"), dolbyStereo ? 40 : 2, dolbyStereo ? 0.5 : 0.289});
    }
    TempDir tmp("okvac_aacconf_");
    for (const Stream& s : streams) {
        Diff d = against(vectorDir() / s.path, tmp.path, s.channels, s.lead, s.refChannel);
        if (d.max > s.maxDiff)  // the float reference's own error near full scale: ask the fixed one
            d = against(vectorDir() / s.path, tmp.path, s.channels, s.lead, s.refChannel, "aac_fixed");
        EXPECT_LE(d.max, s.maxDiff) << s.path;
        EXPECT_LE(d.rms, s.rms) << s.path;
    }
    const fs::path main = vectorDir() / "iso/am00_88.mp4";
    ASSERT_EQ(okvacDecode(main, tmp.path / "got.raw", "--no-prediction"), 0);
    ASSERT_TRUE(ffmpegDecode(main, tmp.path / "ref.raw"));
    EXPECT_GT(compare(readPcm(tmp.path / "got.raw"), readPcm(tmp.path / "ref.raw")).rms, 100.0);
}

// LC at every rate (mono and stereo, ADTS and MP4) and in every layout at 48 kHz; LTP (without
// LTP data: the syntax) and Main at their rates. The reference's Main predictor departs from the
// table-based one in rare lines: beyond 4 LSB faad decides. Each 48 kHz ADTS stream rewrapped as ADIF decodes
// as its original. Noise substitution is off (its noise is random by design).
TEST(AacDecodeTool, EncodedWithEveryProfileRateAndLayout) {
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacgen_");
    const std::vector<int> lc = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    const std::vector<int> ltp = {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000}, mainRates = {8000, 16000, 24000, 32000, 44100, 48000};
    // The reference gives 6.1 (coded with a program configuration) its own order FL FR FC BC LFE
    // BL BR, okvac the mask order FL FR FC LFE BL BR BC.
    const struct { std::string profile; std::vector<int> rates; const char* layout; int channels; std::vector<int> refChannel; } kCases[] = {
        {"aac_low", lc, "mono", 1, {}}, {"aac_low", lc, "stereo", 2, {}}, {"aac_low", {48000}, "3.0", 3, {}},
        {"aac_low", {48000}, "4.0", 4, {}}, {"aac_low", {48000}, "5.0", 5, {}}, {"aac_low", {48000}, "5.1", 6, {}},
        {"aac_low", {48000}, "6.1", 7, {0, 1, 2, 4, 5, 6, 3}}, {"aac_low", {48000}, "7.1", 8, {}}, {"aac_ltp", ltp, "mono", 1, {}},
        {"aac_ltp", ltp, "stereo", 2, {}}, {"aac_main", mainRates, "mono", 1, {}}, {"aac_main", mainRates, "stereo", 2, {}},
    };
    for (const auto& k : kCases)
        for (int rate : k.rates)
            for (const std::string ext : {".aac", ".m4a"}) {
                if (k.profile != "aac_low" && ext == ".m4a") continue;  // ADTS only
                std::string exprs;
                for (int c = 0; c < k.channels; ++c)
                    exprs += (c ? "|0.3*sin(2*PI*" : "0.3*sin(2*PI*") + std::to_string(200 + 130 * c) + "*t)+0.1*sin(2*PI*" +
                             std::to_string(rate / 16 + 97 * c) + "*t*t)";
                const fs::path in = tmp.path / (k.profile + "_" + k.layout + "_" + std::to_string(rate) + ext);
                ASSERT_EQ(shell("ffmpeg -nostdin -v error -f lavfi -i 'aevalsrc=exprs=" + exprs + ":c=" + k.layout + ":s=" +
                                std::to_string(rate) + ":d=" + (k.profile == "aac_low" ? "0.4" : "2") +
                                "' -c:a aac -strict -2 -profile:a " + k.profile + " -aac_pns 0 -y " + q(in)),
                          0);
                Diff d = against(in, tmp.path, k.channels, 0, k.refChannel);
                if (k.profile == "aac_main" && d.max > 4) {  // where the reference's predictor departs, faad decides
                    d = faadDiff(in, tmp.path, k.channels);
                    EXPECT_GT(d.compared, 0u) << in << ": faad gave nothing to compare";
                }
                EXPECT_LE(d.max, k.profile == "aac_main" ? 4 : 2) << in;
                EXPECT_LE(d.rms, k.profile == "aac_main" ? 0.5 : 0.289) << in;
                if (rate != 48000 || ext != ".aac" || k.channels > 2) continue;
                writeFile(tmp.path / "rewrap.adif", adifFromAdts(readFile(in)));
                expectSameDecode(in, tmp.path / "rewrap.adif", tmp.path);
            }
}

// ADTS, MP4 and 3GP with implicit, hierarchical and backward-compatible signalling decode alike
// at twice the core rate, with parametric stereo, as the check stream's reference output;
// --core-only gives the core at its own rate; low power (real banks and prediction) keeps the
// envelope of high quality, aliasing and phases apart. The SBR stream rewrapped as ADIF finds
// its SBR data in the first block and decodes as the original.
TEST(AacDecodeTool, HeAacSignallingVariantsAndModes) {
    const fs::path dir = vectorDir() / "ct_decodercheck", sbr = vectorDir() / "iso/al_sbr_cm_48_2.mp4";
    if (!fs::exists(dir / "File2.mp4") || !fs::exists(dir / "aacPlusv2.wav"))
        GTEST_SKIP() << "HE-AAC check streams not found under " << vectorDir();
    TempDir tmp("okvac_heaac_");
    ASSERT_EQ(okvacDecode(dir / "File2.mp4", tmp.path / "ref.wav"), 0);
    EXPECT_EQ(wavRate(tmp.path / "ref.wav"), 44100u);
    const std::vector<uint8_t> ref = readFile(tmp.path / "ref.wav");
    EXPECT_EQ(ref.size(), 44u + 4 * 346112u);  // 169 frames of 2048 stereo samples (parametric stereo)
    // The check stream's reference output, both after 22-sample headers.
    const std::vector<int16_t> got = readPcm(tmp.path / "ref.wav"), check = readPcm(dir / "aacPlusv2.wav");
    const Diff ps = compare({got.begin() + 22, got.end()}, {check.begin() + std::min<ptrdiff_t>(22, ssize(check)), check.end()});
    EXPECT_TRUE(ps.compared >= 2 * 346112u - 2 * 2048 && ps.rms <= 1.0 && ps.max <= 16) << ps.max << " " << ps.rms;
    for (const char* name : {"File1_fixed.aac", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp", "File7.3gp"}) {
        std::string err;
        ASSERT_EQ(okvacDecode(dir / name, tmp.path / "v.wav", "", &err), 0) << name;
        EXPECT_EQ(err.find("frame"), std::string::npos) << name << ": " << err;
        EXPECT_TRUE(readFile(tmp.path / "v.wav") == ref) << name;
    }
    ASSERT_EQ(okvacDecode(dir / "File2.mp4", tmp.path / "core.wav", "--core-only"), 0);
    EXPECT_EQ(wavRate(tmp.path / "core.wav"), 22050u);
    EXPECT_EQ(readFile(tmp.path / "core.wav").size(), 44u + 346112u);
    const fs::path sbrAdts = vectorDir() / "iso/adts/al_sbr_cm_48_2.adts";
    writeFile(tmp.path / "sbr.adif", adifFromAdts(readFile(sbrAdts)));
    ASSERT_EQ(okvacDecode(tmp.path / "sbr.adif", tmp.path / "sbr.wav"), 0);
    EXPECT_EQ(wavRate(tmp.path / "sbr.wav"), 48000u);
    expectSameDecode(sbrAdts, tmp.path / "sbr.adif", tmp.path);
    ASSERT_EQ(okvacDecode(sbr, tmp.path / "hq.raw"), 0);
    ASSERT_EQ(okvacDecode(sbr, tmp.path / "lp.raw", "--sbr lp"), 0);
    const std::vector<int16_t> hq = readPcm(tmp.path / "hq.raw"), lp = readPcm(tmp.path / "lp.raw");
    ASSERT_EQ(hq.size(), lp.size());
    double sig = 0, err = 0;
    for (size_t i = 0; i < hq.size(); ++i) sig += double(hq[i]) * hq[i], err += double(lp[i] - hq[i]) * (lp[i] - hq[i]);
    EXPECT_GT(10 * std::log10(sig / err), 20.0);
    EXPECT_LT(10 * std::log10(sig / err), 60.0);  // a low-power run that fell back to the other path fails
}

// Gapless metadata trims to the stated lengths (--no-gapless keeps whole frames); an MP4 of n
// samples decodes to n samples.
TEST(AacDecodeTool, GaplessLengths) {
    if (!haveVectors()) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    TempDir tmp("okvac_aacgap_");
    const fs::path out = tmp.path / "out.raw";
    for (const auto& [path, channels, samples] : {std::tuple{"tones_afconvert_16000_mono_aac_lc.m4a", 1u, 32000u},
                                                  {"tones_nero_44100_stereo_aac_lc.m4a", 2u, 88200u}}) {
        ASSERT_EQ(okvacDecode(vectorDir() / "misc/tones" / path, out), 0) << path;
        EXPECT_EQ(fs::file_size(out), samples * 2 * channels) << path;
        ASSERT_EQ(okvacDecode(vectorDir() / "misc/tones" / path, out, "--no-gapless"), 0) << path;
        EXPECT_GT(fs::file_size(out), samples * 2 * channels) << path;
        EXPECT_EQ(fs::file_size(out) % (1024 * 2 * channels), 0u) << path << ": whole frames";
    }
    if (!haveProgram("ffmpeg")) return;
    for (int n : {1, 1023, 1024, 1025, 44100}) {
        const fs::path in = tmp.path / ("n" + std::to_string(n) + ".m4a");
        ASSERT_EQ(shell("ffmpeg -nostdin -v error -f lavfi -i 'sine=f=500:r=44100' -af atrim=end_sample=" + std::to_string(n) +
                        " -c:a aac -y " + q(in)), 0);
        ASSERT_EQ(okvacDecode(in, out), 0);
        EXPECT_EQ(fs::file_size(out), size_t(n) * 2) << n << " samples";
    }
}

// al18_44 substitutes noise in every frame. Two noise realisations give 1024-sample blocks levels
// about 1.3 dB apart (RMS), shrinking as 1/sqrt(length): within 0.5 dB over every 16 blocks, 0.05
// dB over the whole stream.
TEST(AacDecodeTool, NoiseSubstitutionLevels) {
    if (!haveVectors()) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    TempDir tmp("okvac_aacpns_");
    const fs::path in = vectorDir() / "iso/al18_44.mp4";
    ASSERT_EQ(okvacDecode(in, tmp.path / "got.raw"), 0);
    ASSERT_TRUE(ffmpegDecode(in, tmp.path / "ref.raw"));
    const std::vector<int16_t> got = readPcm(tmp.path / "got.raw"), ref = readPcm(tmp.path / "ref.raw");
    ASSERT_EQ(got.size(), ref.size());
    constexpr size_t kSpan = 16 * 1024;
    int checked = 0;
    double allGot = 0, allRef = 0;
    for (size_t b = 0; b + kSpan <= got.size(); b += kSpan) {
        double eg = 0, er = 0;
        for (size_t i = b; i < b + kSpan; ++i) eg += double(got[i]) * got[i], er += double(ref[i]) * ref[i];
        allGot += eg, allRef += er;
        if (er < double(kSpan) * 100) continue;  // spans near silence (below 10 LSB RMS)
        EXPECT_LE(std::fabs(10 * std::log10(eg / er)), 0.5) << "span " << b / kSpan;
        ++checked;
    }
    EXPECT_LE(std::fabs(10 * std::log10(allGot / allRef)), 0.05);
    EXPECT_GT(checked, 150);
}

// LATM is refused with a message and no output; HE-AAC asked for its core says so. Bit flips and
// truncation end with status 0 or 1, and a damaged SBR payload leaves its frame to the core.
TEST(AacDecodeTool, RefusedAndDamagedInput) {
    if (!haveVectors()) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    TempDir tmp("okvac_aacdamage_");
    const fs::path in = tmp.path / "in.bin", out = tmp.path / "out.raw";
    std::string err;
    EXPECT_EQ(okvacDecode(vectorDir() / "misc/latm/latm_stereo_to_51.loas", out, "", &err), 1);
    EXPECT_TRUE(err.find("LATM") != std::string::npos && !fs::exists(out)) << err;
    ASSERT_EQ(okvacDecode(vectorDir() / "iso/al_sbr_cm_48_2.mp4", out, "--core-only", &err), 0);
    EXPECT_NE(err.find("HE-AAC"), std::string::npos) << err;
    std::mt19937 rng(99);
    int keptCore = 0;
    for (const char* name : {"misc/ct_faac-adts.aac", "iso/al05_44.mp4", "misc/ct_faac-adts.adif", "iso/al06_44.mp4",
                             "iso/ap05_48.mp4", "iso/adts/am00_88.adts", "iso/adts/al_sbr_cm_48_2.adts"})
        for (int trial = 0; trial < 8; ++trial) {
            std::vector<uint8_t> d = readFile(vectorDir() / name);
            const bool sbr = std::string(name).find("sbr") != std::string::npos;  // 400 flips past the first header
            for (int k = sbr ? 400 : 1 + int(rng() % 400); k > 0; --k) d[8 + rng() % (d.size() - 8)] ^= uint8_t(1u << (rng() % 8));
            if (trial & 1 && !sbr) d.resize(rng() % d.size());
            writeFile(in, d);
            const int rc = okvacDecode(in, out, "", &err);
            EXPECT_TRUE(rc == 0 || (rc == 1 && !sbr)) << name << " trial " << trial << ": status " << rc << ": " << err;
            keptCore += sbr && err.find("keeps its core only") != std::string::npos;
        }
    EXPECT_GT(keptCore, 0);
}
