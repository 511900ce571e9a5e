#include "vq/vq_data.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>

#include "mp3/mp3_stream_decoder.h"
#include "okvac.h"

namespace okvac::vq {

namespace {

const uint8_t kSample[] = {
#include "mp3/mp3_demo_sample.inc"
};

constexpr int kFrame = 512, kCoeffs = kFrame / 2, kBand = 16;

uint32_t le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

Dataset Dataset::slice(size_t from, size_t to) const {
    Dataset d;
    d.dim = dim;
    d.x.assign(x.begin() + long(from * size_t(dim)), x.begin() + long(to * size_t(dim)));
    d.w.assign(w.begin() + long(from * size_t(dim)), w.begin() + long(to * size_t(dim)));
    return d;
}

bool readWav(const char* name, std::vector<float>* mono, std::string* error) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return *error = "cannot open the file", false;
    std::vector<uint8_t> b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return *error = "not a RIFF WAVE file", false;
    int channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const size_t len = le(&b[at + 4], 4), body = at + 8, avail = std::min(len, b.size() - body);
        if (!std::memcmp(&b[at], "fmt ", 4) && avail >= 16) {
            if (le(&b[body], 2) != 1) return *error = "only PCM WAV files are read", false;
            channels = int(le(&b[body + 2], 2));
            bits = int(le(&b[body + 14], 2));
        } else if (!std::memcmp(&b[at], "data", 4)) {
            if (bits != 16 || channels < 1) return *error = "only 16-bit PCM is read", false;
            const size_t frames = avail / size_t(2 * channels);
            mono->assign(frames, 0.0f);
            for (size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c)
                    (*mono)[i] += float(int16_t(le(&b[body + 2 * (i * size_t(channels) + size_t(c))], 2))) /
                                  (32768.0f * float(channels));
            return true;
        }
        at = body + len + (len & 1);
    }
    return *error = "no data chunk", false;
}

std::vector<float> builtInSample() {
    MemorySource src(kSample, sizeof kSample);
    ReadWindow in(src);
    Mp3StreamDecoder dec(in, false);
    std::vector<float> mono;
    const int16_t* pcm;
    size_t frames;
    while (dec.next(&pcm, &frames))
        for (size_t i = 0; i < frames; ++i) {
            float s = 0;
            for (int c = 0; c < dec.channels(); ++c) s += float(pcm[i * size_t(dec.channels()) + size_t(c)]);
            mono.push_back(s / (32768.0f * float(dec.channels())));
        }
    return mono;
}

Dataset spectra(const std::vector<float>& mono, int dim) {
    Dataset d;
    d.dim = dim;
    OkvsMDCTFwdSpec_32f* spec = nullptr;
    if (okvsMDCTFwdInitAlloc_32f(&spec, kFrame) != okvOk) return d;
    std::vector<float> win(kFrame), in(kFrame), X(kCoeffs), w(kCoeffs);
    for (int n = 0; n < kFrame; ++n) win[size_t(n)] = float(std::sin(std::numbers::pi * (n + 0.5) / kFrame));
    const int per = kCoeffs / dim;  // subvectors per frame
    for (size_t start = 0; start + kFrame <= mono.size(); start += kCoeffs) {
        for (int n = 0; n < kFrame; ++n) in[size_t(n)] = mono[start + size_t(n)] * win[size_t(n)];
        okvsMDCTFwd_32f(in.data(), X.data(), spec, nullptr);
        double energy = 0;
        for (float v : X) energy += double(v) * v;
        if (energy < 1e-10 * kCoeffs) continue;  // silence
        double wsum = 0;
        for (int b = 0; b < kCoeffs; b += kBand) {
            double e = 0;
            for (int k = b; k < b + kBand; ++k) e += double(X[size_t(k)]) * X[size_t(k)];
            const double rms = std::sqrt(e / kBand) + 1e-9;
            for (int k = b; k < b + kBand; ++k) {
                X[size_t(k)] = float(X[size_t(k)] / rms);
                w[size_t(k)] = float(std::pow(rms, 0.3));
                wsum += w[size_t(k)];
            }
        }
        for (float& v : w) v = float(v * kCoeffs / wsum);
        for (int j = 0; j < per; ++j)
            for (int e = 0; e < dim; ++e) {
                d.x.push_back(X[size_t(j + e * per)]);
                d.w.push_back(w[size_t(j + e * per)]);
            }
    }
    okvsMDCTFwdFree_32f(spec);
    return d;
}

Dataset gaussianMixture(size_t n, int dim) {
    std::mt19937 g(20141009);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_real_distribution<float> weight(0.5f, 1.5f);
    constexpr int kClusters = 16;
    std::vector<float> centre(size_t(kClusters) * size_t(dim));
    for (float& c : centre) c = normal(g);
    Dataset d;
    d.dim = dim;
    for (size_t i = 0; i < n; ++i) {
        const size_t c = g() % kClusters;
        const float sign = g() & 1 ? -1.0f : 1.0f;
        for (int e = 0; e < dim; ++e) {
            d.x.push_back(sign * (centre[c * size_t(dim) + size_t(e)] + 0.35f * normal(g)));
            d.w.push_back(weight(g));
        }
    }
    return d;
}

}  // namespace okvac::vq
