// SBR QMF banks and the PS hybrid filter, both variants (argument 0 = u8, 1 = n8): each bank at
// 32 slots per call (one HE-AAC frame), with ns/unit the time per slot; one hq channel frame
// (analysis then synthesis); the hybrid filter against its direct 13-tap complex form. Run with
// the engine's FFT (BM_FftC32fc/32 and /64) for the ratios.
#include <benchmark/benchmark.h>

#include <complex>
#include <random>
#include <vector>

#include "harness/checkasm.h"  // OKV_BODY: the body of either variant
#include "sbr/qmf_window_data.h"
#include "transform/dct.h"

namespace {

constexpr int kSlots = 32;

void perSlot(benchmark::State& st, double units) {
    st.counters["ns/unit"] =
        benchmark::Counter(units * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::vector<float> noise(size_t n) {
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> v(n);
    for (float& x : v) x = d(g);
    return v;
}

struct Bank {
    std::vector<uint8_t> mem, init, work;
    SBRQMFSpec_32f* spec = nullptr;
    template <class G, class I>
    Bank(G getSize, I initFn) {
        int s, i, w;
        getSize(&s, &i, &w);
        mem.resize(size_t(s));
        init.resize(size_t(i));
        work.resize(size_t(w));
        initFn(&spec, mem.data(), init.data());
    }
};

// Source and destination of one frame: samples, split rows and interleaved rows.
struct Frame {
    std::vector<float> pcm = noise(64 * kSlots), re = noise(64 * kSlots), im = noise(64 * kSlots);
    std::vector<float*> reRows, imRows;
    std::vector<Okv32fc*> cRows;
    Frame() {
        for (int l = 0; l < kSlots; ++l) {
            reRows.push_back(&re[size_t(64) * l]);
            imRows.push_back(&im[size_t(64) * l]);
            cRows.push_back(reinterpret_cast<Okv32fc*>(&re[size_t(64) * l]));
        }
    }
    const float** cre() { return const_cast<const float**>(reRows.data()); }
    const float** cim() { return const_cast<const float**>(imRows.data()); }
    const Okv32fc** ccx() { return const_cast<const Okv32fc**>(cRows.data()); }
};

#define QMF_BENCH(NAME, KIND, FORM, CALL)                                                        \
    void NAME(benchmark::State& st) {                                                            \
        const int v = int(st.range(0));                                                          \
        Bank b(OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM), OKV_BODY(v, okvs##KIND##Init_SBR_##FORM)); \
        Frame f;                                                                                 \
        std::vector<float> out(64 * kSlots * 2);                                                 \
        for (auto _ : st) {                                                                      \
            CALL;                                                                                \
            benchmark::DoNotOptimize(out.data());                                                \
        }                                                                                        \
        perSlot(st, kSlots);                                                                     \
    }                                                                                            \
    BENCHMARK(NAME)->Arg(0)->Arg(1)

QMF_BENCH(BM_QmfAnalysisRToC_32f, AnalysisFilter, RToC_32f,
          OKV_BODY(v, okvsAnalysisFilter_SBR_RToC_32f_D2L)(f.pcm.data(), f.reRows.data(), f.imRows.data(),
                                                            kOkvSbrQmfWindow320, kSlots, 0, 32, b.spec, b.work.data()));
QMF_BENCH(BM_QmfAnalysisRToC_32f32fc, AnalysisFilter, RToC_32f32fc,
          OKV_BODY(v, okvsAnalysisFilter_SBR_RToC_32f32fc_D2L)(f.pcm.data(), f.cRows.data(), kOkvSbrQmfWindow320,
                                                                kSlots, 0, 32, b.spec, b.work.data()));
QMF_BENCH(BM_QmfAnalysisRToR_32f, AnalysisFilter, RToR_32f,
          OKV_BODY(v, okvsAnalysisFilter_SBR_RToR_32f_D2L)(f.pcm.data(), f.reRows.data(), kOkvSbrQmfWindow320, kSlots,
                                                            0, 32, b.spec, b.work.data()));
QMF_BENCH(BM_QmfSynthesisCToR_32f, SynthesisFilter, CToR_32f,
          OKV_BODY(v, okvsSynthesisFilter_SBR_CToR_32f_D2L)(f.cre(), f.cim(), out.data(), kOkvSbrQmfWindow640, kSlots,
                                                             b.spec, b.work.data()));
QMF_BENCH(BM_QmfSynthesisCToR_32fc32f, SynthesisFilter, CToR_32fc32f,
          OKV_BODY(v, okvsSynthesisFilter_SBR_CToR_32fc32f_D2L)(f.ccx(), out.data(), kOkvSbrQmfWindow640, kSlots,
                                                                 b.spec, b.work.data()));
QMF_BENCH(BM_QmfSynthesisRToR_32f, SynthesisFilter, RToR_32f,
          OKV_BODY(v, okvsSynthesisFilter_SBR_RToR_32f_D2L)(f.cre(), out.data(), kOkvSbrQmfWindow640, kSlots, b.spec,
                                                             b.work.data()));
QMF_BENCH(BM_QmfSynthesisDownCToR_32f, SynthesisDownFilter, CToR_32f,
          OKV_BODY(v, okvsSynthesisDownFilter_SBR_CToR_32f_D2L)(f.cre(), f.cim(), out.data(), kOkvSbrQmfWindow320,
                                                                 kSlots, b.spec, b.work.data()));
QMF_BENCH(BM_QmfSynthesisDownCToR_32fc32f, SynthesisDownFilter, CToR_32fc32f,
          OKV_BODY(v, okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L)(f.ccx(), out.data(), kOkvSbrQmfWindow320, kSlots,
                                                                     b.spec, b.work.data()));
QMF_BENCH(BM_QmfSynthesisDownRToR_32f, SynthesisDownFilter, RToR_32f,
          OKV_BODY(v, okvsSynthesisDownFilter_SBR_RToR_32f_D2L)(f.cre(), out.data(), kOkvSbrQmfWindow320, kSlots,
                                                                 b.spec, b.work.data()));

// One hq channel frame: complex analysis, then the downsampled (argument 1: 0) or the 64-band
// (1) complex synthesis.
void BM_QmfHqChannelFrame(benchmark::State& st) {
    const int v = int(st.range(0));
    const bool full = st.range(1);
    Bank a(OKV_BODY(v, okvsAnalysisFilterGetSize_SBR_RToC_32f32fc), OKV_BODY(v, okvsAnalysisFilterInit_SBR_RToC_32f32fc));
    Bank s = full ? Bank(OKV_BODY(v, okvsSynthesisFilterGetSize_SBR_CToR_32fc32f),
                         OKV_BODY(v, okvsSynthesisFilterInit_SBR_CToR_32fc32f))
                  : Bank(OKV_BODY(v, okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f),
                         OKV_BODY(v, okvsSynthesisDownFilterInit_SBR_CToR_32fc32f));
    Frame f;
    std::vector<float> out(64 * kSlots);
    for (auto _ : st) {
        OKV_BODY(v, okvsAnalysisFilter_SBR_RToC_32f32fc_D2L)(f.pcm.data(), f.cRows.data(), kOkvSbrQmfWindow320, kSlots,
                                                              0, 32, a.spec, a.work.data());
        if (full)
            OKV_BODY(v, okvsSynthesisFilter_SBR_CToR_32fc32f_D2L)(f.ccx(), out.data(), kOkvSbrQmfWindow640, kSlots,
                                                                   s.spec, s.work.data());
        else
            OKV_BODY(v, okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L)(f.ccx(), out.data(), kOkvSbrQmfWindow320,
                                                                       kSlots, s.spec, s.work.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_QmfHqChannelFrame)->ArgsProduct({{0, 1}, {0, 1}});

// The hybrid filter (argument 1: mode) against the direct form below, per 32-slot call.
void BM_PsHybrid(benchmark::State& st) {
    const int v = int(st.range(0)), mode = int(st.range(1));
    const std::vector<float> x = noise(88);
    std::vector<float> y(32 * 24);
    for (auto _ : st) {
        OKV_BODY(v, okvsAnalysisFilter_PS_32fc_D2)(x.data(), y.data(), mode);
        benchmark::DoNotOptimize(y.data());
    }
    perSlot(st, kSlots);
}
BENCHMARK(BM_PsHybrid)->ArgsProduct({{0, 1}, {0, 1, 2, 4}});

// Direct form: 13 complex taps g[k] exp(-j 2 pi / Q (q + 1/2)(k - 6)) per output.
void BM_PsHybridDirect(benchmark::State& st) {
    const int q = int(st.range(0));
    std::vector<std::complex<float>> taps(size_t(q) * 13);
    for (int b = 0; b < q; ++b)
        for (int k = 0; k < 13; ++k)
            taps[size_t(13) * b + k] = std::polar(0.1f, float(-2 * M_PI / q * (b + 0.5) * (k - 6)));
    const std::vector<float> xf = noise(88);
    const std::complex<float>* x = reinterpret_cast<const std::complex<float>*>(xf.data());
    std::vector<std::complex<float>> y(32 * 12);
    for (auto _ : st) {
        for (int n = 0; n < 32; ++n)
            for (int b = 0; b < q; ++b) {
                std::complex<float> acc = 0;
                for (int k = 0; k < 13; ++k) acc += taps[size_t(13) * b + k] * x[n + k];
                y[size_t(12) * n + b] = acc;
            }
        benchmark::DoNotOptimize(y.data());
    }
    perSlot(st, kSlots);
}
BENCHMARK(BM_PsHybridDirect)->Arg(2)->Arg(4)->Arg(8)->Arg(12);

// The engine's DCT at the sizes of the real banks' modulation (argument: length; 1 inverse),
// for the cost the real forms carry beside their windowing.
void BM_QmfEngineDct(benchmark::State& st) {
    const int n = int(st.range(0));
    const bool inv = st.range(1);
    int s, i, w;
    okv_u8::okvsDCTFwdGetSize_32f(n, 1, &s, &i, &w);
    std::vector<uint8_t> mem(static_cast<size_t>(s)), init(static_cast<size_t>(i) + 1), work(static_cast<size_t>(w));
    okv_u8::OkvsDCTSpec_32f* spec = nullptr;
    if (inv)
        okv_u8::okvsDCTInvInit_32f(&spec, n, 2, mem.data(), init.data());
    else
        okv_u8::okvsDCTFwdInit_32f(&spec, n, 1, mem.data(), init.data());
    const std::vector<float> x = noise(size_t(n));
    std::vector<float> y(static_cast<size_t>(n));
    for (auto _ : st) {
        if (inv)
            okv_u8::okvsDCTInv_32f(x.data(), y.data(), spec, work.data());
        else
            okv_u8::okvsDCTFwd_32f(x.data(), y.data(), spec, work.data());
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_QmfEngineDct)->Args({32, 1})->Args({64, 0})->Args({32, 0});

}  // namespace
