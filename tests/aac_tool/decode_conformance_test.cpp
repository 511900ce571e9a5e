// okvac decode against reference output. One table walks the conformance streams of every decoding
// path (LC, Main, LTP, SBR, PS; ADTS, ADIF, MP4 and 3GP) against ffmpeg's decoder (its fixed-point
// one where the float one errs near full scale), the HE-AAC check stream against its reference
// output, or against another container's decode of the same stream. Then the modes, gapless
// lengths, and refused and damaged input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "aac_tool_util.h"

using namespace aactool;

namespace {

struct Diff {
    int max = 0;
    double rms = 0, energy[2] = {};  // of got and ref
    size_t compared = 0;
};

// got against ref with got's first `lead` samples and ref's first `skip` left out; the shorter counts.
Diff compare(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, size_t lead = 0, size_t skip = 0) {
    Diff d;
    d.compared = got.size() > lead && ref.size() > skip ? std::min(got.size() - lead, ref.size() - skip) : 0;
    for (size_t i = 0; i < d.compared; ++i) {
        const int a = got[lead + i], b = ref[skip + i], e = std::abs(a - b);
        d.max = std::max(d.max, e);
        d.rms += double(e) * e;
        d.energy[0] += double(a) * a;
        d.energy[1] += double(b) * b;
    }
    d.rms = d.compared ? std::sqrt(d.rms / double(d.compared)) : 0;
    return d;
}

int decode(const fs::path& in, const fs::path& out, const std::string& opts = "", std::string* err = nullptr) {
    return shell(q(okvacPath()) + " decode " + opts + " " + q(in) + " " + q(out), err, out.string() + ".log");
}

uint32_t wavRate(const std::vector<uint8_t>& b) { return b.size() < 28 ? 0 : b[24] | b[25] << 8 | b[26] << 16; }

}  // namespace

// The reference drops the first frame of faac-made streams (lead 1). dolby stereo codes intensity
// under M/S mask 2, which the reference inverts and okvac (as invert_intensity says) does not.
// ap05_48's LTP coefficients drift to 5 LSB over runs of predicted frames. al07_96 and am05_44
// carry coupling channel elements; al15_44 puts its surround pair second in the front row (the
// reference plays it at FL FR). am00_88 is predicted in almost every frame: without prediction it
// misses by far (maxDiff -1). al18_44 substitutes noise in every frame: its level only (maxDiff 0).
TEST(AacDecodeTool, ConformanceStreams) {
    if (!fs::exists(vectorDir() / "iso/al04_44.mp4") || !fs::exists(vectorDir() / "ct_decodercheck/File2.mp4"))
        GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    if (!have("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    struct Row {
        std::string path;
        int channels, lead = 0, maxDiff = 2;
        double rms = 0.289;
        std::string ref = "", opts = "";  // ref: another stream whose decode must match, or reference PCM
        std::vector<int> refChannel = {};
    };
    const std::string ct = "ct_decodercheck/";
    std::vector<Row> rows = {
        {"misc/ct_faac-adts.aac", 2, 1}, {"misc/ct_faac-adts.adif", 2, 0, 0, 0, "misc/ct_faac-adts.aac"},
        {"misc/foo.aac", 2}, {"misc/id3v1.aac", 2}, {"misc/id3v2.aac", 1}, {"iso/al07_96.mp4", 6, 0, 4, 0.5},
        {"iso/al_sbr_sr_48_2_fsaac48.mp4", 2, 0, 16, 1.0}, {"iso/adts/al_sbr_ps_04_new.adts", 2, 0, 32767, 4.0},
        {"iso/adts/al_sbr_ps_06_new.adts", 2, 0, 32767, 4.0}, {"iso/al18_44.mp4", 2, 0, 0},
        {"iso/al15_44.mp4", 6, 0, 4, 0.5, "", "", {4, 5, 2, 3, 0, 1}},
        {"iso/am00_88.mp4", 1, 0, -1, 0, "", "--no-prediction"},
        {ct + "File2.mp4", 2, 0, 16, 1.0, ct + "aacPlusv2.wav"}};
    for (const char* f : {"File1_fixed.aac", "File3.mp4", "File4.mp4", "File5.mp4", "File6.3gp", "File7.3gp"})
        rows.push_back({ct + f, 2, 0, 0, 0, ct + "File2.mp4"});
    for (const Row& s : {Row{"al04_44", 1}, {"al05_44", 2}, {"al06_44", 3}, {"al17_44", 2}, {"ap05_48", 2, 0, 5, 0.4},
                         {"al_sbr_cm_48_2", 2, 0, 16, 1.0}, {"am00_88", 1, 0, 4, 0.5}, {"am05_44", 6, 0, 4, 0.5}})
        for (const std::string& path : {"iso/" + s.path + ".mp4", "iso/adts/" + s.path + ".adts"})
            rows.push_back({path, s.channels, s.lead, s.maxDiff, s.rms});
    for (const auto& entry : fs::directory_iterator(vectorDir() / "misc/tones")) {
        const std::string name = entry.path().filename().string();
        const bool stereo = name.find("stereo") != std::string::npos, dolby = name.starts_with("tones_dolby") && stereo;
        if (name.find("_aac_lc.") == std::string::npos) continue;
        const int lead = name.starts_with("tones_faac");
        rows.push_back({"misc/tones/" + name, 1 + stereo, lead, dolby ? 40 : 2, dolby ? 0.5 : 0.289});
    }
    ASSERT_EQ(rows.size(), 51u) << "tone streams missing";
    TempDir tmp("okvac_aacconf_");
    const fs::path got = tmp.path / "got.raw", ref = tmp.path / "ref.raw";
    for (const Row& s : rows) {
        SCOPED_TRACE(s.path);
        std::string err;
        const fs::path in = vectorDir() / s.path;
        ASSERT_EQ(decode(in, got, s.opts, &err), 0) << err;
        EXPECT_EQ(err.find("decode: frame"), std::string::npos) << err;  // no failing frame
        if (s.ref.ends_with(".wav")) {  // both after 22-sample headers; 169 frames of 2048 stereo samples
            const Diff d = compare(readFile<int16_t>(got), readFile<int16_t>(vectorDir() / s.ref), 0, 22);
            EXPECT_TRUE(d.compared >= 2 * 346112u - 2 * 2048 && d.rms <= s.rms && d.max <= s.maxDiff) << d.max;
            continue;
        }
        if (!s.ref.empty()) {
            ASSERT_EQ(decode(vectorDir() / s.ref, ref), 0);
            EXPECT_TRUE(readFile(got) == readFile(ref));
            continue;
        }
        Diff d;
        std::vector<int16_t> r;
        for (const std::string dec : {"aac", "aac_fixed"}) {
            const std::string ffmpeg = "ffmpeg -nostdin -v quiet -threads 1 -c:a " + dec;
            ASSERT_EQ(shell(ffmpeg + " -i " + q(in) + " -f s16le -y " + q(ref)), 0);
            r = readFile<int16_t>(ref);
            const std::vector<int16_t> p = r;  // okvac's channel c is the reference's refChannel[c]
            for (size_t i = 0, c = size_t(s.channels); !s.refChannel.empty() && i + c <= r.size(); i += c)
                for (size_t k = 0; k < c; ++k) r[i + k] = p[i + size_t(s.refChannel[k])];
            d = compare(readFile<int16_t>(got), r, size_t(s.lead) * 1024 * size_t(s.channels));
            if (d.max <= s.maxDiff || s.maxDiff <= 0) break;
        }
        ASSERT_GT(d.compared, 0u);
        const double levelDb = std::fabs(10 * std::log10(d.energy[0] / d.energy[1]));
        EXPECT_TRUE(s.maxDiff >= 0 || d.rms > 100.0) << d.rms;
        // Two noise realisations: the levels within 0.05 dB over the whole stream.
        EXPECT_TRUE(s.maxDiff != 0 || (readFile<int16_t>(got).size() == r.size() && levelDb <= 0.05)) << levelDb;
        EXPECT_TRUE(s.maxDiff <= 0 || (d.max <= s.maxDiff && d.rms <= s.rms)) << d.max << " " << d.rms;
    }
}

// --core-only gives an HE-AAC stream's core at its own rate and says so; low power (real banks and
// prediction) keeps the envelope of high quality, aliasing and phases apart. Gapless metadata trims
// to the stated lengths (--no-gapless keeps whole frames); an MP4 of n samples decodes to n. LATM is
// refused with a message and no output; bit flips and truncation end with status 0 or 1, and a
// damaged SBR payload leaves its frame to the core.
TEST(AacDecodeTool, ModesLengthsAndDamagedInput) {
    if (!fs::exists(vectorDir() / "iso/al04_44.mp4")) GTEST_SKIP() << "AAC vectors not found under " << vectorDir();
    TempDir tmp("okvac_aacmodes_");
    const fs::path in = tmp.path / "in.bin", out = tmp.path / "out.raw", wav = tmp.path / "out.wav";
    std::string err;
    ASSERT_EQ(decode(vectorDir() / "ct_decodercheck/File2.mp4", wav, "--core-only", &err), 0);
    const std::vector<uint8_t> core = readFile(wav);
    EXPECT_TRUE(wavRate(core) == 22050 && core.size() == 44u + 346112u) << core.size();
    EXPECT_NE(err.find("HE-AAC"), std::string::npos) << err;
    const fs::path sbr = vectorDir() / "iso/al_sbr_cm_48_2.mp4";
    ASSERT_EQ(decode(sbr, wav), 0);
    ASSERT_EQ(decode(sbr, out, "--sbr lp"), 0);
    const std::vector<int16_t> hq = readFile<int16_t>(wav), lp = readFile<int16_t>(out);
    EXPECT_EQ(wavRate(readFile(wav)), 48000u);
    ASSERT_EQ(hq.size(), lp.size() + 22);
    const Diff d = compare(hq, lp, 22);
    const double snr = 10 * std::log10(d.energy[0] / (d.rms * d.rms * double(d.compared)));
    EXPECT_TRUE(snr > 20 && snr < 60) << snr;  // a low-power run that fell back to the other path fails
    for (const auto& [path, channels, samples] : {std::tuple{"tones_afconvert_16000_mono_aac_lc.m4a", 1u, 32000u},
                                                  {"tones_nero_44100_stereo_aac_lc.m4a", 2u, 88200u}}) {
        ASSERT_EQ(decode(vectorDir() / "misc/tones" / path, out), 0) << path;
        EXPECT_EQ(fs::file_size(out), samples * 2 * channels) << path;
        ASSERT_EQ(decode(vectorDir() / "misc/tones" / path, out, "--no-gapless"), 0) << path;
        EXPECT_TRUE(fs::file_size(out) > samples * 2 * channels && fs::file_size(out) % (2048 * channels) == 0);
    }
    for (int n : {1, 1023, 1024, 1025, 44100}) {
        const fs::path m4a = tmp.path / "n.m4a";
        const std::string trim = "-af atrim=end_sample=" + std::to_string(n);
        const std::string sine = "ffmpeg -nostdin -v error -f lavfi -i 'sine=f=500:r=44100' ";
        if (shell(sine + trim + " -c:a aac -y " + q(m4a))) break;  // no ffmpeg
        ASSERT_EQ(decode(m4a, out), 0);
        EXPECT_EQ(fs::file_size(out), size_t(n) * 2) << n << " samples";
    }
    EXPECT_EQ(decode(vectorDir() / "misc/latm/latm_stereo_to_51.loas", in, "", &err), 1);
    EXPECT_TRUE(err.find("LATM") != std::string::npos && !fs::exists(in)) << err;
    std::mt19937 rng(99);
    int keptCore = 0;
    for (const std::string name : {"misc/ct_faac-adts.aac", "iso/al05_44.mp4", "misc/ct_faac-adts.adif",
                                   "iso/al06_44.mp4", "iso/ap05_48.mp4", "iso/adts/am00_88.adts",
                                   "iso/adts/al_sbr_cm_48_2.adts"})
        for (int trial = 0; trial < 8; ++trial) {
            std::vector<uint8_t> b = readFile(vectorDir() / name);
            const bool isSbr = name.find("sbr") != std::string::npos;  // 400 flips past the first header
            for (int k = isSbr ? 400 : 1 + int(rng() % 400); k > 0; --k)
                b[8 + rng() % (b.size() - 8)] ^= uint8_t(1u << (rng() % 8));
            if (trial & 1 && !isSbr) b.resize(rng() % b.size());
            writeFile(in, b);
            const int rc = decode(in, out, "", &err);
            EXPECT_TRUE(rc == 0 || (rc == 1 && !isSbr)) << name << " trial " << trial << ": " << rc << ": " << err;
            keptCore += isSbr && err.find("keeps its core only") != std::string::npos;
        }
    EXPECT_GT(keptCore, 0);
}
