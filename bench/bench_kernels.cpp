// Internal vector kernels (u8 bodies) over 4096 elements.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/kernels.h"

namespace {

namespace K = OKV_NS;
constexpr int kN = 4096;

template <class T>
std::vector<T> values(int n, int seed) {
    std::mt19937 g(seed);
    std::vector<T> v(n);
    for (auto& x : v) x = T(int(g() % 200001) - 100000);
    return v;
}

#define KERNEL(name, setup, call)                              \
    void name(benchmark::State& st) {                          \
        setup;                                                 \
        for (auto _ : st) benchmark::DoNotOptimize(call);      \
        st.SetItemsProcessed(int64_t(st.iterations()) * kN);   \
    }                                                          \
    BENCHMARK(name)

KERNEL(Copy_32f, auto a = values<float>(kN, 1); auto b = a, K::okvsCopy_32f(a.data(), b.data(), kN));
KERNEL(Zero_32f, auto a = values<float>(kN, 1), K::okvsZero_32f(a.data(), kN));
KERNEL(Add_32s_ISfs_0, auto a = values<Okv32s>(kN, 1); auto b = values<Okv32s>(kN, 2),
       K::okvsAdd_32s_ISfs(a.data(), b.data(), kN, 0));
KERNEL(Add_32s_ISfs_3, auto a = values<Okv32s>(kN, 1); auto b = values<Okv32s>(kN, 2),
       K::okvsAdd_32s_ISfs(a.data(), b.data(), kN, 3));
KERNEL(Convert_32s16s_Sfs, auto a = values<Okv32s>(kN, 1); std::vector<Okv16s> b(kN),
       K::okvsConvert_32s16s_Sfs(a.data(), b.data(), kN, 2));
KERNEL(Convert_32f16s_Sfs_HalfAway, auto a = values<float>(kN, 1); std::vector<Okv16s> b(kN),
       K::okvsConvert_32f16s_Sfs(a.data(), b.data(), kN, okvRoundHalfAway, 2));
KERNEL(Convert_16s32f, auto a = values<Okv16s>(kN, 1); std::vector<float> b(kN),
       K::okvsConvert_16s32f(a.data(), b.data(), kN));
KERNEL(Mul_32fc, std::vector<Okv32fc> a(kN, Okv32fc{1.5f, -2.0f}); auto b = a; auto c = a,
       K::okvsMul_32fc(a.data(), b.data(), c.data(), kN));
KERNEL(StdDev_32f_Fast, auto a = values<float>(kN, 1); float r, K::okvsStdDev_32f(a.data(), kN, &r, 1));
KERNEL(MinMax_16s, auto a = values<Okv16s>(kN, 1); Okv16s lo; Okv16s hi,
       K::okvsMinMax_16s(a.data(), kN, &lo, &hi));

void SortAscend_32s_I(benchmark::State& st) {
    const auto src = values<Okv32s>(kN, 3);
    auto v = src;
    for (auto _ : st) {
        st.PauseTiming();
        v = src;
        st.ResumeTiming();
        benchmark::DoNotOptimize(K::okvsSortAscend_32s_I(v.data(), kN));
    }
    st.SetItemsProcessed(int64_t(st.iterations()) * kN);
}
BENCHMARK(SortAscend_32s_I);

}  // namespace
