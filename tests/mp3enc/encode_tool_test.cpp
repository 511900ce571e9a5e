// okvac encode end to end against independent decoders: synthesised signals at every MPEG-1
// rate, bitrate and mode (intensity stereo too) and at the MPEG-2 LSF rates; mpg123 and ffmpeg
// report nothing, okvac decode and ffmpeg agree with mpg123 within 1 LSB, and all three trim the
// stream by its tag frame to the input's length, down to a single sample. Speech from espeak-ng
// joins the synthesised signals where it and sox are installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path okvacPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "okvac"; }

bool have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Output of a shell command (stdout and stderr) and its status.
int run(const std::string& cmd, std::string* out) {
    out->clear();
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    return pclose(p);
}

void writeWav(const fs::path& p, const std::vector<int16_t>& pcm, int rate, int ch) {
    std::ofstream f(p, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = (uint32_t)(pcm.size() * 2);
    f.write("RIFF", 4), u32(36 + bytes), f.write("WAVEfmt ", 8), u32(16), u16(1), u16((uint16_t)ch);
    u32((uint32_t)rate), u32((uint32_t)(rate * ch * 2)), u16((uint16_t)(ch * 2)), u16(16), f.write("data", 4), u32(bytes);
    f.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

std::vector<int16_t> readRaw(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(f)), {});
    std::vector<int16_t> v(b.size() / 2);
    memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}

// Music-like test signal: tones with vibrato, plucks, band-limited noise bursts, a chirp, clicks.
std::vector<int16_t> music(int rate, int ch, int frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<int16_t> v((size_t)frames * ch);
    double noise = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = (double)i / rate;
        noise = 0.7 * noise + 0.3 * std::normal_distribution<double>(0, 1)(rng);
        for (int c = 0; c < ch; ++c) {
            double s = 0.25 * std::sin(2 * M_PI * (440 + 3 * std::sin(2 * M_PI * 5 * t)) * t + c);
            s += 0.15 * std::exp(-8 * std::fmod(t, 0.5)) * std::sin(2 * M_PI * (220 + 110 * c) * t);
            s += (std::fmod(t, 1.0) > 0.7 ? 0.1 : 0.01) * noise;
            s += 0.05 * std::sin(2 * M_PI * (200 + 4000 * std::fmod(t, 1.0)) * t);
            if (i % (rate / 3) == 0) s += 0.5;
            v[(size_t)i * ch + c] = (int16_t)std::lrint(32767 * std::max(-1.0, std::min(1.0, s)));
        }
    }
    return v;
}

// A quiet tone with four loud decaying clicks: start, short and stop blocks.
std::vector<int16_t> clicks(int rate) {
    std::vector<int16_t> v((size_t)rate);
    for (int i = 0; i < rate; ++i) {
        double s = 3000 * std::sin(2 * M_PI * 440 * i / rate);
        const int k = i % (rate / 4) - 1000;
        if (k >= 0 && k < 40) s += 25000 * (k % 2 ? 1 : -1) * std::pow(0.85, k);
        v[(size_t)i] = (int16_t)std::lrint(s);
    }
    return v;
}

// Spoken sentences from espeak-ng (22.05 kHz mono), brought by sox to the given rate and channel
// count. Empty when either tool is absent.
std::vector<int16_t> speech(const fs::path& tmp, int rate, int ch) {
    if (!have("espeak-ng") || !have("sox")) return {};
    const fs::path wav = tmp / "speech.wav", raw = tmp / ("speech" + std::to_string(rate) + "_" + std::to_string(ch) + ".raw");
    std::string out;
    if (run("espeak-ng -w " + wav.string() + " \"The quick brown fox jumps over the lazy dog. She sells sea shells by the sea shore, "
            "and six thick thistle sticks.\" && sox " + wav.string() + " -t raw -e signed -b 16 -c " + std::to_string(ch) + " " +
            raw.string() + " rate " + std::to_string(rate), &out) != 0)
        return {};
    return readRaw(raw);
}

// SNR of the decoded signal (och channels) against the input (ch channels, averaged for a mono
// stream); 2000 samples at either end are left out.
double snrOf(const std::vector<int16_t>& pcm, int ch, const std::vector<int16_t>& dec, int och) {
    const long frames = (long)(pcm.size() / ch);
    double sig = 0, err = 0;
    for (long i = 2000; i < frames - 2000; ++i) {
        const double a = ch == 2 && och == 1 ? (pcm[2 * i] + pcm[2 * i + 1]) / 2.0 : pcm[(size_t)i * ch];
        const double b = (size_t)(i * och) < dec.size() ? dec[(size_t)i * och] : 0;
        sig += a * a, err += (a - b) * (a - b);
    }
    return 10 * std::log10(sig / err);
}

}  // namespace

TEST(Mp3EncTool, StreamsDecodeCleanlyInEveryModeAndRate) {
    if (!have("mpg123") || !have("ffmpeg")) GTEST_SKIP() << "mpg123 or ffmpeg absent";
    const fs::path tmp = fs::temp_directory_path() / ("okvac_enc_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    // Each case's SNR today less 0.3 dB: rate control that loses quality fails. Cases with a
    // lameGap also stay within that many dB of lame -q 5 at the same bitrate and mode (both
    // decoded by mpg123). At 22.05 kHz stereo most of the gap is the click on the loud tone,
    // which the model leaves in a long block (52 ms there).
    struct Case {
        int rate, ch, kbps;
        const char* mode;
        bool crc;
        double minSnr, lameGap;
        bool speech = false;
    };
    const Case cases[] = {
        {44100, 2, 32, "joint", false, 8.6, 0},    {44100, 2, 40, "joint", false, 10.5, 0},
        {44100, 2, 48, "stereo", false, 15.9, 0},  {44100, 2, 56, "joint", false, 13.7, 0},
        {44100, 2, 64, "joint", false, 16.2, 0},   {44100, 2, 80, "joint", false, 18.7, 0},
        {44100, 2, 96, "stereo", false, 20.8, 0},  {44100, 2, 112, "joint", false, 24.3, 0},
        {44100, 2, 128, "joint", true, 25.3, 1},   {44100, 2, 160, "joint", false, 28.3, 0},
        {44100, 2, 192, "stereo", false, 25.6, 0}, {44100, 2, 192, "joint", false, 29.5, 1},
        {44100, 2, 224, "joint", false, 29.9, 0},  {44100, 2, 256, "joint", false, 30.1, 0},
        {44100, 2, 320, "joint", false, 30.5, 0},  {32000, 2, 128, "joint", true, 28.4, 0},
        {48000, 2, 128, "joint", true, 25.2, 0},   {44100, 1, 64, "mono", false, 22.3, 1},
        {44100, 2, 64, "mono", false, 21.3, 0},  // downmix
        {22050, 2, 64, "joint", false, 21.3, 3},   {24000, 2, 8, "joint", true, -0.2, 0},
        {16000, 1, 64, "mono", false, 22.3, 3},    {22050, 2, 160, "stereo", false, 25.9, 0},
        {24000, 1, 96, "mono", false, 25.4, 0},
        // Intensity stereo (decoded by okvac with the float synthesis): decoders must agree on
        // where intensity starts in each granule and on what each position means.
        {44100, 2, 96, "intensity", false, 22.0, 0}, {22050, 2, 48, "intensity", true, 16.9, 0},
        // Speech: MPEG-1 from the resampled voice, LSF at the voice's own rate.
        {44100, 1, 64, "mono", false, 24.3, 0, true}, {44100, 2, 128, "joint", false, 29.9, 0, true},
        {22050, 1, 32, "mono", false, 15.6, 0, true},
    };
    const bool lame = have("lame");
    if (!lame) std::printf("lame absent: no comparison with it\n");
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.rate) + "_" + std::to_string(c.ch) + "ch_" + std::to_string(c.kbps) + "_" + c.mode +
                                 (c.speech ? "_speech" : "");
        const bool is = std::string(c.mode) == "intensity";
        const std::vector<int16_t> pcm = c.speech ? speech(tmp, c.rate, c.ch) : music(c.rate, c.ch, c.rate * 3 / 2, (unsigned)c.kbps);
        if (pcm.empty()) {
            std::printf("%-20s skipped: espeak-ng or sox absent\n", name.c_str());
            continue;
        }
        const int frames = (int)(pcm.size() / c.ch);
        const fs::path wav = tmp / (name + ".wav"), mp3 = tmp / (name + ".mp3");
        writeWav(wav, pcm, c.rate, c.ch);
        std::string out;
        ASSERT_EQ(run(okvacPath().string() + " encode -b " + std::to_string(c.kbps) + (is ? " -m joint --intensity" : std::string(" -m ") + c.mode) +
                          (c.crc ? " --crc " : " ") + wav.string() + " " + mp3.string(), &out), 0) << out;
        EXPECT_EQ(run("mpg123 -q -s " + mp3.string() + " > " + (tmp / (name + ".m.raw")).string(), &out), 0);
        EXPECT_EQ(out, "") << name << ": mpg123";
        const fs::path fraw = tmp / (name + ".f.raw");
        EXPECT_EQ(run("ffmpeg -v error -err_detect crccheck -i " + mp3.string() + " -f s16le " + fraw.string(), &out), 0);
        EXPECT_EQ(out, "") << name << ": ffmpeg";
        ASSERT_EQ(run(okvacPath().string() + " decode" + (is ? " --synth float " : " ") + mp3.string() + " " + (tmp / (name + ".o.raw")).string(), &out), 0) << out;
        EXPECT_EQ(out, "") << name << ": okvac decode";
        const std::vector<int16_t> m = readRaw(tmp / (name + ".m.raw")), o = readRaw(tmp / (name + ".o.raw")), f = readRaw(fraw);
        const int och = std::string(c.mode) == "mono" ? 1 : 2;
        EXPECT_EQ(o.size(), (size_t)frames * och) << name << ": okvac decode";
        EXPECT_EQ(m.size(), (size_t)frames * och) << name << ": mpg123";
        EXPECT_EQ(f.size(), (size_t)frames * och) << name << ": ffmpeg";
        ASSERT_EQ(m.size(), o.size()) << name;
        ASSERT_EQ(m.size(), f.size()) << name;
        int worst = 0, worstF = 0;
        for (size_t i = 0; i < m.size(); ++i)
            worst = std::max(worst, std::abs(m[i] - o[i])), worstF = std::max(worstF, std::abs(m[i] - f[i]));
        EXPECT_LE(worst, 1) << name << ": okvac decode against mpg123";
        EXPECT_LE(worstF, 1) << name << ": ffmpeg against mpg123";
        const double snr = snrOf(pcm, c.ch, o, och);
        std::printf("%-20s SNR %6.2f dB\n", name.c_str(), snr);
        if ((c.lameGap > 0 || is) && lame) {
            const fs::path l = tmp / (name + ".lame.mp3"), lraw = tmp / (name + ".l.raw");
            // lame resamples at low bitrates unless told the output rate.
            ASSERT_EQ(run("lame --quiet -q 5 --resample " + std::to_string(c.rate / 1000.0) + " -b " + std::to_string(c.kbps) +
                              " -m " + (is ? 'j' : c.mode[0]) + " " + wav.string() +
                              " " + l.string() + " && mpg123 -q -s " + l.string() + " > " + lraw.string(), &out), 0) << out;
            // Where lame's first frame has no room for its tag (48 kbit/s at 22.05 kHz), decoders
            // keep its delay: 576 samples of the encoder and 529 of the decoder.
            std::vector<int16_t> ldec = readRaw(lraw);
            if (ldec.size() > (size_t)frames * och) ldec.erase(ldec.begin(), ldec.begin() + 1105 * och);
            const double ref = snrOf(pcm, c.ch, ldec, och);
            std::printf("%-20s lame   %6.2f dB\n", name.c_str(), ref);
            if (c.lameGap > 0) {
                EXPECT_GT(snr, ref - c.lameGap) << name;
            }
        }
        EXPECT_GT(snr, c.minSnr) << name;
    }
    fs::remove_all(tmp);
}

// Tiny and frame-edge inputs: the tag's delay and padding trim every decoder's output to the
// input's length, with nothing missing or left over at either end.
TEST(Mp3EncTool, DecodedLengthEqualsInputLength) {
    if (!have("mpg123") || !have("ffmpeg")) GTEST_SKIP() << "mpg123 or ffmpeg absent";
    const fs::path tmp = fs::temp_directory_path() / ("okvac_enclen_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    for (const int rate : {44100, 22050})
        for (const int ch : {1, 2})
            for (const int frames : {1, 575, 1152, 1153}) {
                const std::string name = std::to_string(rate) + "_" + std::to_string(ch) + "ch_" + std::to_string(frames);
                const fs::path wav = tmp / (name + ".wav"), mp3 = tmp / (name + ".mp3");
                writeWav(wav, music(rate, ch, frames, (unsigned)frames), rate, ch);
                std::string out;
                ASSERT_EQ(run(okvacPath().string() + " encode -b 64 " + wav.string() + " " + mp3.string(), &out), 0) << out;
                const std::string raw = (tmp / (name + ".raw")).string();
                for (const std::string& dec : {okvacPath().string() + " decode " + mp3.string() + " " + raw,
                                               "mpg123 -q -s " + mp3.string() + " > " + raw,
                                               "ffmpeg -v error -y -i " + mp3.string() + " -f s16le " + raw}) {
                    EXPECT_EQ(run(dec, &out), 0) << name << ": " << dec;
                    EXPECT_EQ(out, "") << name << ": " << dec;
                    EXPECT_EQ(readRaw(raw).size(), (size_t)frames * ch) << name << ": " << dec;
                }
            }
    fs::remove_all(tmp);
}

TEST(Mp3EncTool, BadInputsFailWithAMessage) {
    const fs::path tmp = fs::temp_directory_path() / ("okvac_encbad_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    std::ofstream(tmp / "junk.wav") << "this is not a wave file";
    writeWav(tmp / "rate8k.wav", std::vector<int16_t>(4000), 8000, 1);
    writeWav(tmp / "ok.wav", std::vector<int16_t>(4000), 44100, 1);
    std::string out;
    const std::string tool = okvacPath().string() + " encode ";
    for (const std::string& args : {tool + (tmp / "junk.wav").string() + " " + (tmp / "a.mp3").string(),
                                    tool + (tmp / "rate8k.wav").string() + " " + (tmp / "b.mp3").string(),
                                    tool + (tmp / "missing.wav").string() + " " + (tmp / "c.mp3").string(),
                                    tool + "-b 33 " + (tmp / "ok.wav").string() + " " + (tmp / "d.mp3").string()}) {
        const int st = run(args, &out);
        EXPECT_NE(st, 0) << args;
        EXPECT_NE(out.find("okvac encode: "), std::string::npos) << out;
    }
    EXPECT_FALSE(fs::exists(tmp / "a.mp3"));
    EXPECT_FALSE(fs::exists(tmp / "d.mp3"));
    fs::remove_all(tmp);
}

// LSF start and stop blocks: region 1 begins at line 54 in decoders (36 in the quantiser's count),
// so their regions are coded anew. Coded at 36, the 16 kHz stream loses 3.7 dB.
TEST(Mp3EncTool, LsfBlockSwitchingDecodes) {
    if (!have("mpg123") || !have("ffmpeg")) GTEST_SKIP() << "mpg123 or ffmpeg absent";
    const fs::path tmp = fs::temp_directory_path() / ("okvac_enclsf_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    const struct {
        int rate;
        double minSnr;
    } cases[] = {{16000, 10.3}, {22050, 12.4}, {24000, 13.1}};
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.rate);
        const fs::path wav = tmp / (name + ".wav"), mp3 = tmp / (name + ".mp3"), raw = tmp / (name + ".raw");
        const std::vector<int16_t> pcm = clicks(c.rate);
        writeWav(wav, pcm, c.rate, 1);
        std::string out;
        ASSERT_EQ(run(okvacPath().string() + " encode -b 32 " + wav.string() + " " + mp3.string(), &out), 0) << out;
        EXPECT_EQ(run("ffmpeg -v error -i " + mp3.string() + " -f null -", &out), 0);
        EXPECT_EQ(out, "") << name << ": ffmpeg";
        EXPECT_EQ(run("mpg123 -q -s " + mp3.string() + " > " + raw.string(), &out), 0);
        EXPECT_EQ(out, "") << name << ": mpg123";
        const std::vector<int16_t> dec = readRaw(raw);
        ASSERT_EQ(dec.size(), pcm.size()) << name;
        const double snr = snrOf(pcm, 1, dec, 1);
        std::printf("%-6s SNR %6.2f dB\n", name.c_str(), snr);
        EXPECT_GT(snr, c.minSnr) << name;
    }
    fs::remove_all(tmp);
}

// Written to a pipe, the tag frame cannot be completed: it keeps the delay (okvac decode still
// drops the leading samples) but no length; the frames after it are those of a file.
TEST(Mp3EncTool, TagFrameOnAPipeGivesTheDelayOnly) {
    const fs::path tmp = fs::temp_directory_path() / ("okvac_encpipe_" + std::to_string(getpid()));
    fs::create_directories(tmp);
    const int frames = 22050;
    writeWav(tmp / "in.wav", music(44100, 1, frames, 3), 44100, 1);
    std::string out;
    const std::string tool = okvacPath().string();
    ASSERT_EQ(run(tool + " encode " + (tmp / "in.wav").string() + " " + (tmp / "file.mp3").string(), &out), 0) << out;
    ASSERT_EQ(run(tool + " encode " + (tmp / "in.wav").string() + " - | cat > " + (tmp / "pipe.mp3").string(), &out), 0) << out;
    const std::vector<int16_t> file = readRaw(tmp / "file.mp3"), pipe = readRaw(tmp / "pipe.mp3");
    ASSERT_EQ(file.size(), pipe.size());
    const size_t tagWords = 418 / 2;  // 128 kbit/s at 44.1 kHz, no padding
    EXPECT_NE(std::vector<int16_t>(file.begin(), file.begin() + tagWords), std::vector<int16_t>(pipe.begin(), pipe.begin() + tagWords));
    EXPECT_EQ(std::vector<int16_t>(file.begin() + tagWords, file.end()), std::vector<int16_t>(pipe.begin() + tagWords, pipe.end()));
    for (const char* name : {"file", "pipe"})
        ASSERT_EQ(run(tool + " decode " + (tmp / (std::string(name) + ".mp3")).string() + " " + (tmp / (std::string(name) + ".raw")).string(), &out), 0) << out;
    const std::vector<int16_t> a = readRaw(tmp / "file.raw"), b = readRaw(tmp / "pipe.raw");
    ASSERT_EQ(a.size(), (size_t)frames);
    ASSERT_GT(b.size(), a.size());
    EXPECT_EQ(a, std::vector<int16_t>(b.begin(), b.begin() + frames));
    fs::remove_all(tmp);
}
