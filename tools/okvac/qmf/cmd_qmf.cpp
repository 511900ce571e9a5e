// okvac qmf: a WAV file through the SBR QMF analysis and synthesis banks, delay-compensated,
// with the SNR against the input.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "pcm/pcm_writer.h"
#include "qmf/qmf_channel.h"
#include "qmf/wav_reader.h"

namespace {

void help(std::FILE* out) {
    std::fprintf(out,
                 "usage: okvac qmf [--mode hq|lp] [--rate same|double] [--kx N] [--hybrid 20|34] IN.wav OUT.wav\n\n"
                 "Runs each channel of IN through the 32-band QMF analysis and back through a synthesis bank:\n"
                 "--mode hq (default) the complex banks, lp the real ones; --rate same (default) the downsampled\n"
                 "32-band synthesis, double the 64-band one (bands 32-63 zero, OUT at twice the rate).\n"
                 "--kx N keeps the bands below N (0..32, default 32). --hybrid 20|34 (hq only) splits the low\n"
                 "bands with the parametric-stereo hybrid filters and sums them back, the other bands delayed\n"
                 "to match. OUT (16-bit) is delay-compensated to line up with IN; the SNR against IN is printed.\n");
}

bool parseInt(const char* s, int* v) {
    char* end = nullptr;
    const long x = std::strtol(s, &end, 10);
    if (!*s || *end || x < -100000 || x > 100000) return false;
    *v = int(x);
    return true;
}

int fail(const char* what) {
    std::fprintf(stderr, "okvac qmf: %s\n", what);
    return 2;
}

int run(int argc, char** argv) {
    QmfChannel::Config cfg;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--mode" && hasValue) {
            const std::string v = argv[++i];
            if (v != "hq" && v != "lp") return fail("--mode takes hq or lp");
            cfg.mode = v == "hq" ? QmfChannel::Mode::Hq : QmfChannel::Mode::Lp;
        } else if (a == "--rate" && hasValue) {
            const std::string v = argv[++i];
            if (v != "same" && v != "double") return fail("--rate takes same or double");
            cfg.doubleRate = v == "double";
        } else if (a == "--kx" && hasValue) {
            if (!parseInt(argv[++i], &cfg.kx) || cfg.kx < 0 || cfg.kx > 32) return fail("--kx takes 0 to 32");
        } else if (a == "--hybrid" && hasValue) {
            if (!parseInt(argv[++i], &cfg.hybrid) || (cfg.hybrid != 20 && cfg.hybrid != 34))
                return fail("--hybrid takes 20 or 34");
        } else if (a.size() > 1 && a[0] == '-') {
            help(stderr);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        help(stderr);
        return 2;
    }
    if (cfg.hybrid && cfg.mode != QmfChannel::Mode::Hq) return fail("--hybrid needs --mode hq");

    WavData in;
    std::string err;
    if (!readWav(files[0], &in, &err)) {
        std::fprintf(stderr, "okvac qmf: %s: %s\n", files[0], err.c_str());
        return 1;
    }
    const int ch = in.channels, step = cfg.doubleRate ? 2 : 1;
    const size_t frames = in.samples.size() / size_t(ch);
    if (frames == 0) {
        std::fprintf(stderr, "okvac qmf: %s holds no samples\n", files[0]);
        return 1;
    }
    if (2.0 * in.rate * step > 2147483647.0) return fail("sample rate too high");

    // Each channel: frames of 1024 input samples, enough of them to cover the delay.
    std::vector<float> out(frames * step * ch);
    double sig = 0, noise = 0;
    for (int c = 0; c < ch; ++c) {
        QmfChannel q;
        StatusCode st;
        if (!q.init(cfg, &st)) {
            std::fprintf(stderr, "okvac qmf: cannot build the filterbanks (status %d)\n", st);
            return 1;
        }
        const size_t delay = size_t(q.delay()), perFrame = QmfChannel::kSlots * 32;
        const size_t nFrames = (frames + delay / step + perFrame) / perFrame;
        std::vector<float> x(nFrames * perFrame, 0.0f), y(nFrames * size_t(q.outPerFrame()));
        for (size_t n = 0; n < frames; ++n) x[n] = in.samples[n * ch + c];
        for (size_t f = 0; f < nFrames && st == okvOk; ++f) {
            st = q.analyse(&x[f * perFrame]);
            if (st == okvOk) st = q.hybridRoundTrip();
            if (st == okvOk) st = q.synthesise(&y[f * q.outPerFrame()]);
        }
        if (st != okvOk) {
            std::fprintf(stderr, "okvac qmf: filtering failed (status %d)\n", st);
            return 1;
        }
        for (size_t n = 0; n < frames * step; ++n) out[n * ch + c] = y[n + delay];
        for (size_t n = 0; n < frames; ++n) {
            const double d = double(out[n * step * ch + c]) - x[n];
            sig += double(x[n]) * x[n];
            noise += d * d;
        }
    }

    PcmWriter w;
    if (!w.open(files[1], ch, in.rate * step)) {
        std::fprintf(stderr, "okvac qmf: %s\n", w.error().c_str());
        return 1;
    }
    std::vector<int16_t> pcm(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        const float v = std::nearbyint(out[i] * 32768.0f);
        pcm[i] = int16_t(v > 32767.0f ? 32767 : v < -32768.0f ? -32768 : int(v));
    }
    if (!w.write(pcm.data(), frames * step) || !w.finish()) {
        std::fprintf(stderr, "okvac qmf: %s\n", w.error().c_str());
        return 1;
    }
    if (noise > 0)
        std::printf("SNR %.2f dB\n", 10 * std::log10(sig / noise));
    else
        std::printf("SNR inf dB\n");
    return 0;
}

}  // namespace

OKVAC_COMMAND(qmf, "QMF analysis and synthesis of a WAV file, with the SNR", help, run);
