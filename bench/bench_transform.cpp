// FFT and MDCT timings; with FFTW present, its single-precision transforms
// (FFTW_MEASURE plans) run alongside for comparison.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"
#include "core/kernels.h"
#include "transform/fft.h"

#ifdef OKV_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using okv_u8::OkvsFFTSpec_32f;
using okv_u8::OkvsFFTSpec_16sc;

std::vector<float> noise(size_t n) {
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> v(n);
    for (auto& x : v) x = d(g);
    return v;
}

struct Fft {
    std::vector<uint8_t> mem, init, work;
    OkvsFFTSpec_32f* spec = nullptr;
    Fft(int order, bool real) {
        int s, i, w;
        if (real)
            okv_u8::okvsFFTGetSize_R_32f(order, 8, 0, &s, &i, &w);
        else
            okv_u8::okvsFFTGetSize_C_32fc(order, 8, 0, &s, &i, &w);
        mem.resize(s);
        init.resize(i + 1);
        work.resize(w + 1);
        if (real)
            okv_u8::okvsFFTInit_R_32f(&spec, order, 8, 0, mem.data(), init.data());
        else
            okv_u8::okvsFFTInit_C_32fc(&spec, order, 8, 0, mem.data(), init.data());
    }
};

int order_of(int64_t n) { return __builtin_ctzll(uint64_t(n)); }

void BM_FftC32fc(benchmark::State& st) {
    const int order = order_of(st.range(0));
    Fft f(order, false);
    std::vector<float> x = noise(2 << order), y(x.size());
    for (auto _ : st) {
        okv_u8::okvsFFTFwd_CToC_32fc(reinterpret_cast<Okv32fc*>(x.data()), reinterpret_cast<Okv32fc*>(y.data()), f.spec,
                             f.work.data());
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_FftC32fc)->Arg(16)->Arg(32)->RangeMultiplier(4)->Range(64, 4096)->Arg(512)->Arg(1 << 16);

void BM_FftR32f(benchmark::State& st) {
    const int order = order_of(st.range(0));
    Fft f(order, true);
    std::vector<float> x = noise(1 << order), y(x.size());
    for (auto _ : st) {
        okv_u8::okvsFFTFwd_RToPerm_32f(x.data(), y.data(), f.spec, f.work.data());
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_FftR32f)->RangeMultiplier(4)->Range(64, 4096)->Arg(512);

void BM_Fft16sc(benchmark::State& st) {
    const int order = order_of(st.range(0));
    int s, i, w;
    okv_u8::okvsFFTGetSize_C_16sc(order, 8, 0, &s, &i, &w);
    std::vector<uint8_t> mem(s), init(i + 1), work(w);
    OkvsFFTSpec_16sc* spec;
    okv_u8::okvsFFTInit_C_16sc(&spec, order, 8, 0, mem.data(), init.data());
    std::vector<Okv16sc> x(size_t(1) << order), y(x.size());
    for (size_t k = 0; k < x.size(); ++k) x[k] = {int16_t(k * 37 % 2001 - 1000), int16_t(k * 91 % 1999 - 999)};
    for (auto _ : st) {
        okv_u8::okvsFFTFwd_CToC_16sc_Sfs(x.data(), y.data(), spec, order, work.data());
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_Fft16sc)->Arg(8)->Arg(64)->Arg(512)->Arg(4096);

#ifdef OKV_HAVE_FFTW
// range(1) = 1 plans without SIMD codelets (FFTW_NO_SIMD): a bound for the
// vector width, since FFTW uses AVX where the processor has it.
void BM_FftwC(benchmark::State& st) {
    const int n = int(st.range(0));
    fftwf_complex* in = fftwf_alloc_complex(n);
    fftwf_complex* out = fftwf_alloc_complex(n);
    fftwf_plan p = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE | (st.range(1) ? FFTW_NO_SIMD : 0));
    std::vector<float> x = noise(2 * n);
    for (int k = 0; k < n; ++k) in[k][0] = x[2 * k], in[k][1] = x[2 * k + 1];
    for (auto _ : st) {
        fftwf_execute(p);
        benchmark::DoNotOptimize(out);
    }
    fftwf_destroy_plan(p);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwC)->ArgsProduct({{64, 256, 512, 1024, 4096}, {0, 1}});

void BM_FftwR(benchmark::State& st) {
    const int n = int(st.range(0));
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan p = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE | (st.range(1) ? FFTW_NO_SIMD : 0));
    std::vector<float> x = noise(n);
    for (int k = 0; k < n; ++k) in[k] = x[k];
    for (auto _ : st) {
        fftwf_execute(p);
        benchmark::DoNotOptimize(out);
    }
    fftwf_destroy_plan(p);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwR)->ArgsProduct({{64, 256, 512, 1024, 4096}, {0, 1}});
#endif

// What a 2048-point MDCT is measured against: its 512-point complex FFT and
// two linear passes (a complex multiply over the 512 values before and after).
void BM_Fft512PlusTwoPasses(benchmark::State& st) {
    Fft f(9, false);
    std::vector<float> x = noise(1024), y(1024), t = noise(1024);
    auto* xc = reinterpret_cast<Okv32fc*>(x.data());
    auto* yc = reinterpret_cast<Okv32fc*>(y.data());
    auto* tc = reinterpret_cast<const Okv32fc*>(t.data());
    for (auto _ : st) {
        okv_u8::okvsMul_32fc(xc, tc, yc, 512);
        okv_u8::okvsFFTFwd_CToC_32fc(yc, xc, f.spec, f.work.data());
        okv_u8::okvsMul_32fc(xc, tc, yc, 512);
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_Fft512PlusTwoPasses);

// One MDCT kind: InitAlloc, GetBufSize, the timed transform, Free.
template <class Spec, class T, class Alloc, class BufSize, class Run, class Free>
void mdct_bench(benchmark::State& st, int inLen, int outLen, Alloc alloc, BufSize bufSize, Run run, Free free) {
    Spec* spec;
    alloc(&spec, int(st.range(0)));
    int w;
    bufSize(spec, &w);
    std::vector<uint8_t> work(w);
    std::vector<T> x(inLen), y(outLen);
    for (int k = 0; k < inLen; ++k) x[k] = T(k * 7919 % 30001 - 15000);
    for (auto _ : st) {
        run(x.data(), y.data(), spec, work.data());
        benchmark::DoNotOptimize(y.data());
    }
    free(spec);
}

void BM_MdctFwd32f(benchmark::State& st) {
    const int len = int(st.range(0));
    mdct_bench<OkvsMDCTFwdSpec_32f, float>(st, len, len / 2, okvsMDCTFwdInitAlloc_32f, okvsMDCTFwdGetBufSize_32f,
                                           okvsMDCTFwd_32f, okvsMDCTFwdFree_32f);
}
BENCHMARK(BM_MdctFwd32f)->Arg(36)->Arg(256)->Arg(2048);

void BM_MdctInv32f(benchmark::State& st) {
    const int len = int(st.range(0));
    mdct_bench<OkvsMDCTInvSpec_32f, float>(st, len / 2, len, okvsMDCTInvInitAlloc_32f, okvsMDCTInvGetBufSize_32f,
                                           okvsMDCTInv_32f, okvsMDCTInvFree_32f);
}
BENCHMARK(BM_MdctInv32f)->Arg(36)->Arg(256)->Arg(2048);

void BM_MdctFwd16s(benchmark::State& st) {
    const int len = int(st.range(0));
    auto run = [](const Okv16s* x, Okv16s* y, const OkvsMDCTFwdSpec_16s* s, Okv8u* b) {
        return okvsMDCTFwd_16s_Sfs(x, y, s, 0, b);
    };
    mdct_bench<OkvsMDCTFwdSpec_16s, int16_t>(st, len, len / 2, okvsMDCTFwdInitAlloc_16s, okvsMDCTFwdGetBufSize_16s,
                                             run, okvsMDCTFwdFree_16s);
}
BENCHMARK(BM_MdctFwd16s)->Arg(256)->Arg(2048);

}  // namespace
