// SBR prediction coefficients: one frame's worth (32 bands x 38 slots) through the exports.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "okvac.h"

namespace {

constexpr int kBands = 32, kSlots = 38, kRows = 40;

template <class T, class G>
struct Rows {
    std::vector<std::vector<T>> data;
    std::vector<const T*> ptr;
    Rows(int width, G gen) : data(kRows, std::vector<T>(width)) {
        for (auto& r : data) {
            for (auto& v : r) v = gen();
            ptr.push_back(r.data());
        }
    }
};
template <class T, class G>
Rows<T, G> rows(int width, G gen) { return Rows<T, G>(width, gen); }

void PredictCoef_R_32f(benchmark::State& st) {
    std::mt19937 g(1);
    std::normal_distribution<float> n;
    auto x = rows<Okv32f>(kBands, [&] { return n(g); });
    std::vector<Okv32f> a0(kBands), a1(kBands);
    for (auto _ : st) benchmark::DoNotOptimize(okvsPredictCoef_SBR_R_32f_D2L(x.ptr.data(), a0.data(), a1.data(), kBands, kSlots));
}
BENCHMARK(PredictCoef_R_32f);

void PredictCoef_C_32f(benchmark::State& st) {
    std::mt19937 g(2);
    std::normal_distribution<float> n;
    auto re = rows<Okv32f>(kBands, [&] { return n(g); });
    auto im = rows<Okv32f>(kBands, [&] { return n(g); });
    std::vector<Okv32f> a(kBands), b(kBands), c(kBands), d(kBands);
    for (auto _ : st)
        benchmark::DoNotOptimize(okvsPredictCoef_SBR_C_32f_D2L(re.ptr.data(), im.ptr.data(), a.data(), b.data(), c.data(),
                                                               d.data(), kBands, kSlots));
}
BENCHMARK(PredictCoef_C_32f);

void PredictCoef_C_32fc(benchmark::State& st) {
    std::mt19937 g(3);
    std::normal_distribution<float> n;
    auto x = rows<Okv32fc>(kBands, [&] { return Okv32fc{n(g), n(g)}; });
    std::vector<Okv32fc> a0(kBands), a1(kBands);
    for (auto _ : st)
        benchmark::DoNotOptimize(okvsPredictCoef_SBR_C_32fc_D2L(x.ptr.data(), a0.data(), a1.data(), kBands, kSlots));
}
BENCHMARK(PredictCoef_C_32fc);

// The fixed forms compute one band a call: a frame is one call per band.
void PredictOneCoef_LP_32s(benchmark::State& st) {
    std::mt19937 g(4);
    auto x = rows<Okv32s>(kBands, [&] { return Okv32s(g()) >> 4; });
    Okv32s a0, a1, k;
    for (auto _ : st)
        for (int b = 0; b < kBands; ++b)
            benchmark::DoNotOptimize(okvsPredictOneCoef_SBRLP_32s_D2L(x.ptr.data(), &a0, &a1, &k, b, kSlots, 1));
}
BENCHMARK(PredictOneCoef_LP_32s);

void PredictOneCoef_HQ_32sc(benchmark::State& st) {
    std::mt19937 g(5);
    auto x = rows<Okv32sc>(kBands, [&] { return Okv32sc{Okv32s(g()) >> 4, Okv32s(g()) >> 4}; });
    Okv32sc a0, a1;
    for (auto _ : st)
        for (int b = 0; b < kBands; ++b)
            benchmark::DoNotOptimize(okvsPredictOneCoef_SBRHQ_32sc_D2L(x.ptr.data(), &a0, &a1, b, kSlots));
}
BENCHMARK(PredictOneCoef_HQ_32sc);

}  // namespace
