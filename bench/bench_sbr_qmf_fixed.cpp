// Fixed-point SBR QMF banks, per slot (items/s), against the float bank of the same form run
// over 32 slots a call; the lifecycle calls of each bank.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "okvac.h"
#include "sbr/qmf_window_data.h"

namespace {

constexpr int kSlots = 32;

std::vector<Okv32s> pcm(int n) {
    std::mt19937 g(1);
    std::vector<Okv32s> v(static_cast<size_t>(n));
    for (auto& x : v) x = (Okv32s(g() % 65536) - 32768) * 4096;
    return v;
}

// Bands at the level analysis of 16-bit PCM << 12 gives (scale 1/16).
std::vector<Okv32s> bands(int n) {
    std::mt19937 g(2);
    std::vector<Okv32s> v(static_cast<size_t>(n));
    for (auto& x : v) x = Okv32s(g() >> 8) - (1 << 23);
    return v;
}

template <class Filter>
void fixedSlots(benchmark::State& st, StatusCode (*initAlloc)(void**), StatusCode (*release)(void*), int in, int out,
                bool pcmIn, Filter f) {
    void* spec = nullptr;
    initAlloc(&spec);
    const std::vector<Okv32s> x = pcmIn ? pcm(in * kSlots) : bands(in * kSlots);
    std::vector<Okv32s> y(static_cast<size_t>(out));
    int l = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(f(&x[static_cast<size_t>(in) * l], y.data(), spec));
        l = (l + 1) % kSlots;
    }
    st.SetItemsProcessed(st.iterations());
    release(spec);
}

#define FIXED_BANK(NAME, IN, OUT, PCM, CALL)                                                                          \
    void NAME(benchmark::State& st) {                                                                             \
        fixedSlots(st, okvs##NAME##InitAlloc, okvs##NAME##Free, IN, OUT, PCM,                                        \
                   [](const Okv32s* x, Okv32s* y, void* spec) { return CALL; });                                  \
    }

}  // namespace

// One name per bank: the lifecycle entry points share the filter's suffix.
#define okvsAnaHQInitAlloc okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc
#define okvsAnaHQFree okvsAnalysisFilterFree_SBRHQ_32s32sc
#define okvsAnaLPInitAlloc okvsAnalysisFilterInitAlloc_SBRLP_32s
#define okvsAnaLPFree okvsAnalysisFilterFree_SBRLP_32s
#define okvsSynHQInitAlloc okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s
#define okvsSynHQFree okvsSynthesisFilterFree_SBRHQ_32sc32s
#define okvsSynLPInitAlloc okvsSynthesisFilterInitAlloc_SBRLP_32s
#define okvsSynLPFree okvsSynthesisFilterFree_SBRLP_32s
#define okvsDownHQInitAlloc okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s
#define okvsDownHQFree okvsSynthesisDownFilterFree_SBRHQ_32sc32s
#define okvsDownLPInitAlloc okvsSynthesisDownFilterInitAlloc_SBRLP_32s
#define okvsDownLPFree okvsSynthesisDownFilterFree_SBRLP_32s

namespace {
FIXED_BANK(AnaHQ, 32, 64, true, okvsAnalysisFilter_SBRHQ_32s32sc(x, reinterpret_cast<Okv32sc*>(y), 32, spec))
FIXED_BANK(AnaLP, 32, 32, true, okvsAnalysisFilter_SBRLP_32s(x, y, 32, spec))
FIXED_BANK(SynHQ, 128, 64, false, okvsSynthesisFilter_SBRHQ_32sc32s(reinterpret_cast<const Okv32sc*>(x), y, spec))
FIXED_BANK(SynLP, 64, 64, false, okvsSynthesisFilter_SBRLP_32s(x, y, spec))
FIXED_BANK(DownHQ, 64, 32, false, okvsSynthesisDownFilter_SBRHQ_32sc32s(reinterpret_cast<const Okv32sc*>(x), y, spec))
FIXED_BANK(DownLP, 32, 32, false, okvsSynthesisDownFilter_SBRLP_32s(x, y, spec))
BENCHMARK(AnaHQ);
BENCHMARK(AnaLP);
BENCHMARK(SynHQ);
BENCHMARK(SynLP);
BENCHMARK(DownHQ);
BENCHMARK(DownLP);

// The float twins, 32 slots a call.
using FloatGetSize = StatusCode (*)(int*, int*, int*);
using FloatInit = StatusCode (*)(SBRQMFSpec_32f**, Okv8u*, Okv8u*);

template <class Call>
void floatSlots(benchmark::State& st, FloatGetSize getSize, FloatInit init, int in, int out, Call call) {
    int s, i, w;
    getSize(&s, &i, &w);
    std::vector<Okv8u> mem(static_cast<size_t>(s)), ib(static_cast<size_t>(i)), work(static_cast<size_t>(w));
    SBRQMFSpec_32f* spec;
    init(&spec, mem.data(), ib.data());
    std::mt19937 g(3);
    std::vector<float> x(static_cast<size_t>(in) * kSlots), y(static_cast<size_t>(out) * kSlots);
    for (auto& v : x) v = float(Okv32s(g()) >> 5);
    std::vector<float*> rows(kSlots);
    std::vector<const float*> crows(kSlots);
    for (int l = 0; l < kSlots; ++l) {
        rows[static_cast<size_t>(l)] = &y[static_cast<size_t>(out) * l];
        crows[static_cast<size_t>(l)] = &x[static_cast<size_t>(in) * l];
    }
    for (auto _ : st) benchmark::DoNotOptimize(call(x.data(), rows.data(), crows.data(), y.data(), spec, work.data()));
    st.SetItemsProcessed(st.iterations() * kSlots);
}

void FloatAnaHQ(benchmark::State& st) {
    floatSlots(st, okvsAnalysisFilterGetSize_SBR_RToC_32f32fc, okvsAnalysisFilterInit_SBR_RToC_32f32fc, 32, 64,
               [](const float* x, float** rows, const float**, float*, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(x, reinterpret_cast<Okv32fc**>(rows),
                                                                  kOkvSbrQmfWindow320, kSlots, 0, 32, s, w);
               });
}
void FloatAnaLP(benchmark::State& st) {
    floatSlots(st, okvsAnalysisFilterGetSize_SBR_RToR_32f, okvsAnalysisFilterInit_SBR_RToR_32f, 32, 32,
               [](const float* x, float** rows, const float**, float*, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsAnalysisFilter_SBR_RToR_32f_D2L(x, rows, kOkvSbrQmfWindow320, kSlots, 0, 32, s, w);
               });
}
void FloatSynHQ(benchmark::State& st) {
    floatSlots(st, okvsSynthesisFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisFilterInit_SBR_CToR_32fc32f, 128, 64,
               [](const float*, float**, const float** rows, float* y, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(reinterpret_cast<const Okv32fc**>(rows), y,
                                                                   kOkvSbrQmfWindow640, kSlots, s, w);
               });
}
void FloatSynLP(benchmark::State& st) {
    floatSlots(st, okvsSynthesisFilterGetSize_SBR_RToR_32f, okvsSynthesisFilterInit_SBR_RToR_32f, 64, 64,
               [](const float*, float**, const float** rows, float* y, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsSynthesisFilter_SBR_RToR_32f_D2L(rows, y, kOkvSbrQmfWindow640, kSlots, s, w);
               });
}
void FloatDownHQ(benchmark::State& st) {
    floatSlots(st, okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisDownFilterInit_SBR_CToR_32fc32f, 64,
               32, [](const float*, float**, const float** rows, float* y, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(reinterpret_cast<const Okv32fc**>(rows), y,
                                                                       kOkvSbrQmfWindow320, kSlots, s, w);
               });
}
void FloatDownLP(benchmark::State& st) {
    floatSlots(st, okvsSynthesisDownFilterGetSize_SBR_RToR_32f, okvsSynthesisDownFilterInit_SBR_RToR_32f, 32, 32,
               [](const float*, float**, const float** rows, float* y, SBRQMFSpec_32f* s, Okv8u* w) {
                   return okvsSynthesisDownFilter_SBR_RToR_32f_D2L(rows, y, kOkvSbrQmfWindow320, kSlots, s, w);
               });
}
BENCHMARK(FloatAnaHQ);
BENCHMARK(FloatAnaLP);
BENCHMARK(FloatSynHQ);
BENCHMARK(FloatSynLP);
BENCHMARK(FloatDownHQ);
BENCHMARK(FloatDownLP);

// Lifecycle: GetSize, Init into a caller block, InitAlloc with Free.
struct Lifecycle {
    const char* name;
    StatusCode (*getSize)(int*);
    StatusCode (*init)(void*);
    StatusCode (*initAlloc)(void**);
    StatusCode (*release)(void*);
};
const Lifecycle kLifecycles[] = {
    {"AnaHQ", okvsAnalysisFilterGetSize_SBRHQ_32s32sc, okvsAnalysisFilterInit_SBRHQ_32s32sc, okvsAnaHQInitAlloc,
     okvsAnaHQFree},
    {"AnaLP", okvsAnalysisFilterGetSize_SBRLP_32s, okvsAnalysisFilterInit_SBRLP_32s, okvsAnaLPInitAlloc, okvsAnaLPFree},
    {"SynHQ", okvsSynthesisFilterGetSize_SBRHQ_32sc32s, okvsSynthesisFilterInit_SBRHQ_32sc32s, okvsSynHQInitAlloc,
     okvsSynHQFree},
    {"SynLP", okvsSynthesisFilterGetSize_SBRLP_32s, okvsSynthesisFilterInit_SBRLP_32s, okvsSynLPInitAlloc,
     okvsSynLPFree},
    {"DownHQ", okvsSynthesisDownFilterGetSize_SBRHQ_32sc32s, okvsSynthesisDownFilterInit_SBRHQ_32sc32s,
     okvsDownHQInitAlloc, okvsDownHQFree},
    {"DownLP", okvsSynthesisDownFilterGetSize_SBRLP_32s, okvsSynthesisDownFilterInit_SBRLP_32s, okvsDownLPInitAlloc,
     okvsDownLPFree},
};

const int kRegistered = [] {
    for (const Lifecycle& l : kLifecycles) {
        benchmark::RegisterBenchmark((std::string(l.name) + "GetSize").c_str(), [l](benchmark::State& st) {
            int s;
            for (auto _ : st) benchmark::DoNotOptimize(l.getSize(&s));
        });
        benchmark::RegisterBenchmark((std::string(l.name) + "Init").c_str(), [l](benchmark::State& st) {
            int s;
            l.getSize(&s);
            std::vector<Okv8u> mem(static_cast<size_t>(s));
            for (auto _ : st) benchmark::DoNotOptimize(l.init(mem.data()));
        });
        benchmark::RegisterBenchmark((std::string(l.name) + "InitAllocFree").c_str(), [l](benchmark::State& st) {
            for (auto _ : st) {
                void* spec;
                benchmark::DoNotOptimize(l.initAlloc(&spec));
                benchmark::DoNotOptimize(l.release(spec));
            }
        });
    }
    return 0;
}();

}  // namespace
