// DTS synthesis filterbank, both variants (argument 0 = u8, 1 = n8): ns/unit is the time of one
// call (one 32-sample slot), alternating the two prototypes.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "harness/checkasm.h"  // OKV_BODY: the body of either variant

namespace {

void BM_DtsSynthesis(benchmark::State& st) {
    const int v = int(st.range(0));
    int size = 0;
    OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(&size);
    std::vector<uint8_t> mem(static_cast<size_t>(size));
    OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(mem.data());
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> x(64), y(32);
    for (float& s : x) s = d(g);
    int k = 0;
    for (auto _ : st) {
        OKV_BODY(v, okvsSynthesisFilter_DTS_32f)(&x[32 * (k & 1)], y.data(), k & 1, mem.data());
        ++k;
        benchmark::DoNotOptimize(y.data());
    }
    st.counters["ns/unit"] =
        benchmark::Counter(1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DtsSynthesis)->Arg(0)->Arg(1);

}  // namespace
