// AAC long-term prediction per call on one channel frame: the prediction, the reconstruction
// over all 40 bands, and the history update for long and short frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

std::vector<int32_t> randomBlock(size_t n, uint32_t seed, int amp)
{
    std::mt19937 g(seed);
    std::vector<int32_t> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = int32_t(g() % uint32_t(2 * amp + 1)) - amp;
    return x;
}

void BM_LongTermPredict_Long(benchmark::State& st)
{
    const std::vector<int32_t> h = randomBlock(3072, 1, 8 * 20000);
    std::vector<int32_t> out(2048);
    AACLtpData ltp{};
    ltp.ltpLag = int(st.range(0));
    ltp.ltpCoef = 16137;
    for (auto _ : st) {
        okvsLongTermPredict_AAC_32s(h.data(), out.data(), &ltp, 0);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_LongTermPredict_Long)->Arg(600)->Arg(1800);

void BM_LongTermReconstruct_AllBands(benchmark::State& st)
{
    const std::vector<int32_t> p = randomBlock(1024, 2, 4000);
    std::vector<int32_t> x = randomBlock(1024, 3, 4000);
    int flags[41];
    for (int& f : flags) f = 1;
    for (auto _ : st) {
        okvsLongTermReconstruct_AAC_32s(p.data(), x.data(), flags, 0, 4);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_LongTermReconstruct_AllBands);

void BM_LtpUpdate(benchmark::State& st)
{
    const int seq = int(st.range(0));
    const std::vector<int32_t> x = randomBlock(1024, 4, 3000);
    std::vector<int32_t> h(3072, 0), work(6144);
    for (auto _ : st) {
        okvsLtpUpdate_AAC_32s(x.data(), h.data(), seq, 1, 0, work.data());
        benchmark::DoNotOptimize(h.data());
    }
}
BENCHMARK(BM_LtpUpdate)->Arg(0)->Arg(2);

}  // namespace
