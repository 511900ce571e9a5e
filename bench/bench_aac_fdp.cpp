// Frequency-domain prediction of one 44.1 kHz long frame (band limit 40: 672 lines), both
// sides, against the one-line model as the scalar baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "aac/fdp_model.h"
#include "okvac.h"

namespace {

constexpr int kLines = 1024, kBands = 40;
// 44.1 kHz long-window band offsets up to the prediction limit.
const int kOffsets[kBands + 1] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,
                                  72,  80,  88,  96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264,
                                  292, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608, 640, 672};

std::vector<float> frame(int f)
{
    std::vector<float> x(kLines);
    for (int k = 0; k < kLines; ++k) x[k] = 2000.0f * std::sin(0.37f * float(f) + 0.11f * float(k)) + float(k % 7);
    return x;
}

void BM_FDPInv(benchmark::State& st)
{
    FDPState* s = nullptr;
    okvsFDPInitAlloc_32f(&s, kLines);
    const std::vector<unsigned char> flag(kBands, 1);
    std::vector<float> x = frame(0);
    int f = 0;
    for (auto _ : st) {
        okvsFDPInv_32f_I(x.data(), kOffsets, kBands, flag.data(), s);
        if (++f % 64 == 0) okvsFDPReset_32f(s), x = frame(f);
        benchmark::DoNotOptimize(x.data());
    }
    okvsFDPFree_32f(s);
}
BENCHMARK(BM_FDPInv);

void BM_FDPInv_OneLineModel(benchmark::State& st)
{
    const fdpmodel::Tables t;
    fdpmodel::Predictor m(kLines);
    std::vector<float> x = frame(0);
    int f = 0;
    for (auto _ : st) {
        m.inverse(t, x.data(), 0, kOffsets[kBands], true);
        if (++f % 64 == 0) m = fdpmodel::Predictor(kLines), x = frame(f);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_FDPInv_OneLineModel);

void BM_FDPFwd(benchmark::State& st)
{
    FDPState* s = nullptr;
    okvsFDPInitAlloc_32f(&s, kLines);
    const std::vector<float> x = frame(1);
    std::vector<float> r(kLines);
    for (auto _ : st) {
        okvsFDPFwd_32f(x.data(), r.data(), s);
        benchmark::DoNotOptimize(r.data());
    }
    okvsFDPFree_32f(s);
}
BENCHMARK(BM_FDPFwd);

void BM_FDPResets(benchmark::State& st)
{
    FDPState* s = nullptr;
    okvsFDPInitAlloc_32f(&s, kLines);
    const std::vector<unsigned char> flag(kBands, 1);
    int g = 0;
    for (auto _ : st) {
        okvsFDPResetGroup_32f(g, 30, s);
        g = (g + 1) % 30;
        okvsFDPResetSfb_32f(kOffsets, kBands, flag.data(), s);
        okvsFDPReset_32f(s);
    }
    okvsFDPFree_32f(s);
}
BENCHMARK(BM_FDPResets);

}  // namespace
