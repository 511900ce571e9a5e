// Layer III encoder stages per stereo frame (two granules, two channels, 1152 samples each):
// fixed and float analysis, forward MDCT, mid/side, quantisation with rate control, packing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

// Music-like PCM: two tones over soft noise, per channel, with 480 samples of history first.
std::vector<int16_t> pcm(int n, uint32_t seed) {
    std::mt19937 g(seed);
    std::vector<int16_t> v((size_t)n);
    for (int i = 0; i < n; ++i)
        v[(size_t)i] = (int16_t)(8000 * std::sin(i * 0.0627) + 3000 * std::sin(i * 0.31) + (int)(g() % 2001) - 1000);
    return v;
}

// Ratios of -20 dB in every band and a moderate perceptual entropy.
void flatRatios(MP3PsyRatio* ratio) {
    for (int k = 0; k < 4; ++k) {
        for (int& v : ratio[k].ratio) v = 21474836;
        ratio[k].pe = 400;
    }
}

MP3FrameHeader header() {
    MP3FrameHeader h{};
    h.id = 1, h.layer = 1, h.protection_bit = 1, h.bitrate_index = 9, h.mode = 1, h.mode_extension = 2;
    return h;
}

// Spectra of one frame through analysis and forward MDCT.
std::vector<Okv32s> spectra() {
    const std::vector<int16_t> x = pcm(480 + 1152, 1);
    const MP3FrameHeader h = header();
    std::vector<Okv32s> xr(2304), sub(576), ov(576, 0);
    for (int r = 0; r < 4; ++r) {
        for (int t = 0; t < 18; ++t) okvsAnalysisPQMF_MP3_16s32s(x.data() + 576 * (r / 2) + 32 * t, sub.data() + 32 * t, 1);
        okvsMDCTFwd_MP3_32s(sub.data(), xr.data() + 576 * r, 0, 0, &h, ov.data());
    }
    return xr;
}

void BM_AnalysisFixed_Frame(benchmark::State& st) {
    const std::vector<int16_t> x = pcm(480 + 1152, 1);
    Okv32s out[32];
    for (auto _ : st)
        for (int ch = 0; ch < 2; ++ch)
            for (int t = 0; t < 36; ++t) benchmark::DoNotOptimize(okvsAnalysisPQMF_MP3_16s32s(x.data() + 32 * t, out, 1));
}
BENCHMARK(BM_AnalysisFixed_Frame);

void BM_AnalysisFloat_Frame(benchmark::State& st) {
    std::vector<float> x(1152);
    for (int i = 0; i < 1152; ++i) x[(size_t)i] = (float)(8000 * std::sin(i * 0.0627));
    PQMFAnalysisSpec* spec[2];
    for (auto& s : spec) okvsAnalysisFilterInitAlloc_PQMF_MP3_32f(&s);
    float out[32];
    for (auto _ : st)
        for (int ch = 0; ch < 2; ++ch)
            for (int t = 0; t < 36; ++t) benchmark::DoNotOptimize(okvsAnalysisFilter_PQMF_MP3_32f(x.data() + 32 * t, out, spec[ch], 1));
    for (auto& s : spec) okvsAnalysisFilterFree_PQMF_MP3_32f(s);
}
BENCHMARK(BM_AnalysisFloat_Frame);

void BM_MDCTFwd_Frame(benchmark::State& st) {
    const std::vector<Okv32s> sub = spectra();
    const MP3FrameHeader h = header();
    std::vector<Okv32s> out(576), ov(576, 0);
    for (auto _ : st)
        for (int r = 0; r < 4; ++r) benchmark::DoNotOptimize(okvsMDCTFwd_MP3_32s(sub.data() + 576 * r, out.data(), 0, 0, &h, ov.data()));
}
BENCHMARK(BM_MDCTFwd_Frame);

void BM_JointStereo_Frame(benchmark::State& st) {
    const std::vector<Okv32s> src = spectra();
    const MP3FrameHeader h = header();
    std::vector<Okv32s> x;
    MP3SideInfo si[2] = {};
    Okv8s pos[39];
    int bound[3];
    for (auto _ : st) {
        x = src;
        for (int gr = 0; gr < 2; ++gr)
            benchmark::DoNotOptimize(okvsJointStereoEncode_MP3_32s_I(x.data() + 1152 * gr, x.data() + 1152 * gr + 576, pos, &h, si, bound));
    }
}
BENCHMARK(BM_JointStereo_Frame);

void BM_Quantize_Frame128k(benchmark::State& st) {
    const std::vector<Okv32s> src = spectra();
    const MP3FrameHeader h = header();
    std::vector<Okv32s> x, work(OKV_MP3_QUANT_WORK_LEN);
    std::vector<Okv8s> sf(160);
    int scfsi[8], c1[4], huf[4];
    const int bound[6] = {21, 12, 12, 21, 12, 12};
    alignas(16) Okv8u state[256] = {};
    for (auto _ : st) {
        x = src;
        MP3SideInfo si[4] = {};
        MP3PsyRatio ratio[4];
        flatRatios(ratio);
        MP3BitReservoir resv{0, 4088};
        benchmark::DoNotOptimize(okvsQuantize_MP3_32s_I(x.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, state, &resv,
                                                        3056, bound, work.data()));
    }
}
BENCHMARK(BM_Quantize_Frame128k);

void BM_Pack_Frame128k(benchmark::State& st) {
    std::vector<Okv32s> x = spectra(), work(OKV_MP3_QUANT_WORK_LEN);
    const MP3FrameHeader h = header();
    std::vector<Okv8s> sf(160);
    int scfsi[8], c1[4], huf[4];
    const int bound[6] = {21, 12, 12, 21, 12, 12};
    alignas(16) Okv8u state[256] = {};
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4];
    flatRatios(ratio);
    MP3BitReservoir resv{0, 4088};
    okvsQuantize_MP3_32s_I(x.data(), sf.data(), scfsi, c1, huf, &h, si, ratio, state, &resv, 3056, bound, work.data());
    std::vector<Okv8u> buf(2048);
    for (auto _ : st) {
        Okv8u* p = buf.data();
        okvsPackFrameHeader_MP3(&h, &p);
        okvsPackSideInfo_MP3(si, &p, 0, 0, scfsi, &h);
        int off = 0;
        for (int r = 0; r < 4; ++r) {
            MP3SideInfo s = si[r];
            okvsPackScaleFactors_MP3_8s1u(sf.data() + 40 * r, &p, &off, &h, &s, scfsi, r / 2, r % 2);
            okvsHuffmanEncode_MP3_32s1u(x.data() + 576 * r, &p, &off, &h, &s, c1[r], huf[r]);
        }
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_Pack_Frame128k);

}  // namespace
