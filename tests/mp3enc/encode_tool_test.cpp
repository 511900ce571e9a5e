// okvac encode end to end against independent decoders (mpg123, ffmpeg) and lame.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tool_util.h"

using namespace tooltest;
using Pcm = std::vector<int16_t>;

namespace {

const std::string kTool = q(okvacPath());

const TempDir kLog("okvac_enc_log_");

// Status of a shell command; *out gets its stdout and stderr.
int run(const std::string& cmd, std::string* out = nullptr) { return shell("{ " + cmd + "; }", out, kLog.path / "log"); }

struct TmpDir : TempDir {
    TmpDir() : TempDir("okvac_enc_") {}
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void writeWav(const std::string& p, const Pcm& pcm, int rate, int ch) {
    const uint32_t n = uint32_t(pcm.size() * 2), head[] = {0x46464952, 36 + n, 0x45564157, 0x20746d66, 16, 0x10000u * ch + 1,
                                                            uint32_t(rate), uint32_t(rate * ch * 2), 0x100000u + ch * 2, 0x61746164, n};
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(head), sizeof head)
        .write(reinterpret_cast<const char*>(pcm.data()), n);
}

// Music-like signal: tones with vibrato, plucks, band-limited noise bursts, a chirp, clicks.
Pcm music(int rate, int ch, int frames, unsigned seed) {
    std::mt19937 rng(seed);
    Pcm v(size_t(frames) * ch);
    double noise = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        noise = 0.7 * noise + 0.3 * std::normal_distribution<double>(0, 1)(rng);
        for (int c = 0; c < ch; ++c) {
            const double s = 0.25 * std::sin(2 * M_PI * (440 + 3 * std::sin(2 * M_PI * 5 * t)) * t + c) +
                             0.15 * std::exp(-8 * std::fmod(t, 0.5)) * std::sin(2 * M_PI * (220 + 110 * c) * t) +
                             (std::fmod(t, 1.0) > 0.7 ? 0.1 : 0.01) * noise +
                             0.05 * std::sin(2 * M_PI * (200 + 4000 * std::fmod(t, 1.0)) * t);
            v[size_t(i) * ch + c] = int16_t(std::lrint(32767 * std::clamp(s + (i % (rate / 3) ? 0 : 0.5), -1.0, 1.0)));
        }
    }
    return v;
}

// Encodes name.wav with `opts`, then decodes it with okvac (`dec` options), mpg123 and ffmpeg: each
// silent and exactly `samples` long. Returns the three outputs.
std::vector<Pcm> encodeAndDecode(const std::string& name, const std::string& opts, const std::string& dec, size_t samples) {
    std::string out;
    EXPECT_EQ(run(kTool + " encode " + opts + " " + name + ".wav " + name + ".mp3", &out), 0) << out;
    std::vector<Pcm> got;
    for (const std::string& cmd : {kTool + " decode " + dec + " " + name + ".mp3 " + name + ".raw",
                                   "mpg123 -q -s " + name + ".mp3 > " + name + ".raw",
                                   "ffmpeg -v error -err_detect crccheck -y -i " + name + ".mp3 -f s16le " + name + ".raw"}) {
        EXPECT_TRUE(run(cmd, &out) == 0 && out.empty()) << cmd << ": " << out;
        got.push_back(readFile<int16_t>(name + ".raw"));
        EXPECT_EQ(got.back().size(), samples) << cmd;
    }
    return got;
}

// SNR of the decoded signal against the input as the stream carries it (a mono stream: the channels'
// mean), 2000 samples at either end left out.
double snrOf(const Pcm& pcm, int ch, const Pcm& dec, int och) {
    double sig = 0, err = 0;
    for (size_t i = 2000; i + 2000 < pcm.size() / ch; ++i) {
        const double a = ch > och ? (pcm[2 * i] + pcm[2 * i + 1]) / 2.0 : pcm[i * ch], b = i * och < dec.size() ? dec[i * och] : 0;
        sig += a * a, err += (a - b) * (a - b);
    }
    return 10 * std::log10(sig / err);
}

}  // namespace

// Every rate, bitrate and mode, CRC and intensity: clean decodes agreeing within 1 LSB at the input's
// length; SNR floors; within a gap of lame -q 5's SNR.
TEST(Mp3EncTool, StreamsDecodeCleanlyAndCompareWithLame) {
    if (!have("mpg123 ffmpeg")) GTEST_SKIP() << "mpg123 or ffmpeg absent";
    const struct {
        int rate, ch, kbps;
        std::string mode;
        bool crc;
        double minSnr, lameGap;
    } cases[] = {
        {44100, 2, 32, "joint", 0, 8.6, 0}, {44100, 2, 40, "joint", 0, 10.5, 0}, {44100, 2, 48, "stereo", 0, 15.9, 0},
        {44100, 2, 56, "joint", 0, 13.7, 0}, {44100, 2, 64, "joint", 0, 16.2, 0}, {44100, 2, 80, "joint", 0, 18.2, 0},
        {44100, 2, 96, "stereo", 0, 20.8, 0}, {44100, 2, 112, "joint", 0, 24.3, 0}, {44100, 2, 128, "joint", 1, 25.3, 1},
        {44100, 2, 160, "joint", 0, 27.9, 0}, {44100, 2, 192, "stereo", 0, 25.6, 0}, {44100, 2, 192, "joint", 0, 29.5, 1},
        {44100, 2, 224, "joint", 0, 29.9, 0}, {44100, 2, 256, "joint", 0, 30.1, 0}, {44100, 2, 320, "joint", 0, 30.5, 0},
        {32000, 2, 128, "joint", 1, 28.4, 0}, {48000, 2, 128, "joint", 1, 25.2, 0}, {44100, 1, 64, "mono", 0, 22.3, 1},
        {44100, 2, 64, "mono", 0, 21.3, 0}, {22050, 2, 64, "joint", 0, 21.3, 3}, {24000, 2, 8, "joint", 1, -0.2, 0},
        {16000, 1, 64, "mono", 0, 22.3, 3}, {22050, 2, 160, "stereo", 0, 25.9, 0}, {24000, 1, 96, "mono", 0, 25.4, 0},
        {44100, 2, 96, "intensity", 0, 21.1, 0}, {22050, 2, 48, "intensity", 1, 16.9, 0},  // okvac: float synthesis
    };
    const TmpDir tmp;
    const bool lame = have("lame");
    for (const auto& c : cases) {
        const std::string name = tmp / (std::to_string(c.rate) + std::to_string(c.ch) + "_" + std::to_string(c.kbps) + c.mode);
        const bool is = c.mode == "intensity";
        const int och = c.mode == "mono" ? 1 : 2, frames = c.rate * 3 / 2;
        const Pcm pcm = music(c.rate, c.ch, frames, unsigned(c.kbps));
        writeWav(name + ".wav", pcm, c.rate, c.ch);
        const std::string opts = "-b " + std::to_string(c.kbps) + " -m " + (is ? "joint --intensity" : c.mode) + (c.crc ? " --crc" : "");
        const auto dec = encodeAndDecode(name, opts, is ? "--synth float" : "", size_t(frames) * och);
        for (int d = 1; d < 3; ++d)
            for (size_t i = 0; i < dec[0].size() && i < dec[d].size(); ++i) ASSERT_LE(std::abs(dec[d][i] - dec[0][i]), 1) << d << " " << i;
        const double snr = snrOf(pcm, c.ch, dec[0], och);
        EXPECT_GT(snr, c.minSnr) << name;
        if (!lame || c.lameGap == 0) continue;
        std::string out;
        const std::string lameCmd = "lame --quiet -q 5 --resample " + std::to_string(c.rate / 1000.0) + " -b " +
                                    std::to_string(c.kbps) + " -m " + c.mode[0] + " " + name + ".wav " + name + ".lame.mp3";
        ASSERT_EQ(run(lameCmd + " && mpg123 -q -s " + name + ".lame.mp3 > " + name + ".raw", &out), 0) << out;
        EXPECT_GT(snr, snrOf(pcm, c.ch, readFile<int16_t>(name + ".raw"), och) - c.lameGap) << name;
    }
}

// Tiny and frame-edge inputs decode to the input's length. Written to a pipe, the tag keeps the delay
// but no length; the frames after it are those of a file.
TEST(Mp3EncTool, DecodedLengthEqualsInputLength) {
    if (!have("mpg123 ffmpeg")) GTEST_SKIP() << "mpg123 or ffmpeg absent";
    const TmpDir tmp;
    for (int k = 0; k < 16; ++k) {
        const int rate = k & 1 ? 22050 : 44100, ch = k & 2 ? 2 : 1, frames = std::vector{1, 575, 1152, 1153}[k / 4];
        const std::string name = tmp / std::to_string(k);
        writeWav(name + ".wav", music(rate, ch, frames, unsigned(frames)), rate, ch);
        encodeAndDecode(name, "-b 64", "", size_t(frames) * ch);
    }
    std::string out;
    writeWav(tmp / "in.wav", music(44100, 1, 22050, 3), 44100, 1);
    const std::string enc = kTool + " encode " + tmp / "in.wav", dec = kTool + " decode ";
    ASSERT_EQ(run(enc + " " + tmp / "file.mp3 && " + enc + " - | cat > " + tmp / "pipe.mp3", &out), 0) << out;
    ASSERT_EQ(run(dec + tmp / "file.mp3 " + tmp / "file.raw && " + dec + tmp / "pipe.mp3 " + tmp / "pipe.raw", &out), 0)
        << out;
    const std::vector<uint8_t> file = readFile(tmp / "file.mp3"), pipe = readFile(tmp / "pipe.mp3");
    const long tag = 418;  // 128 kbit/s at 44.1 kHz, no padding
    ASSERT_EQ(file.size(), pipe.size());
    EXPECT_FALSE(std::equal(file.begin(), file.begin() + tag, pipe.begin()));
    EXPECT_TRUE(std::equal(file.begin() + tag, file.end(), pipe.begin() + tag));
    const Pcm a = readFile<int16_t>(tmp / "file.raw"), b = readFile<int16_t>(tmp / "pipe.raw");
    EXPECT_TRUE(a.size() == 22050u && b.size() > a.size() && std::equal(a.begin(), a.end(), b.begin()));
}

TEST(Mp3EncTool, BadInputsFailWithAMessage) {
    const TmpDir tmp;
    std::ofstream(tmp / "junk.wav") << "this is not a wave file";
    writeWav(tmp / "rate8k.wav", Pcm(4000), 8000, 1);
    writeWav(tmp / "ok.wav", Pcm(4000), 44100, 1);
    std::string out;
    for (const std::string& args : {tmp / "junk.wav", tmp / "rate8k.wav", tmp / "missing.wav", "-b 33 " + tmp / "ok.wav"}) {
        EXPECT_NE(run(kTool + " encode " + args + " " + tmp / "out.mp3", &out), 0) << args;
        EXPECT_TRUE(out.find("okvac encode: ") != std::string::npos && !fs::exists(tmp / "out.mp3")) << args << ": " << out;
    }
}
