// SBR encoder analysis: one slot of the 64-band bank, against the same windowing and
// modulation around a libfftw3f 64-point plan; the TNR and transient measures.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cmath>
#include <random>
#include <vector>

#include "okvac.h"
#include "sbr/qmf_window_data.h"

#ifdef OKV_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

std::vector<float> noise(int n, int seed) {
    std::mt19937 g(seed);
    std::normal_distribution<float> d;
    std::vector<float> v(n);
    for (auto& x : v) x = 1e4f * d(g);
    return v;
}

void AnalysisFilterEnc(benchmark::State& st) {
    void* spec;
    okvsAnalysisFilterEncInitAlloc_SBR_32f(&spec);
    auto x = noise(640, 1);
    std::vector<float> y(128);
    for (auto _ : st) benchmark::DoNotOptimize(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), spec));
    okvsAnalysisFilterEncFree_SBR_32f(spec);
}
BENCHMARK(AnalysisFilterEnc);

#ifdef OKV_HAVE_FFTW
inline __m128 reversed(const float* p) { return _mm_shuffle_ps(_mm_loadu_ps(p), _mm_loadu_ps(p), 0x1B); }

// The same slot with FFTW's 64-point transform in place of the library's.
void AnalysisFilterEnc_FftwReference(benchmark::State& st) {
    fftwf_complex* z = fftwf_alloc_complex(64);
    fftwf_plan p = fftwf_plan_dft_1d(64, z, z, FFTW_FORWARD, FFTW_MEASURE);
    float pre[128], post[128];
    for (int m = 0; m < 64; ++m) {
        pre[2 * m] = float(std::cos(M_PI * (4 * m + 1) / 512)), pre[2 * m + 1] = float(-std::sin(M_PI * (4 * m + 1) / 512));
        const double q = M_PI * (4 * m + (m % 2 ? 1 : 3)) / 512;  // band 2j: 8j + 3, band 2j + 1: 8j + 5
        post[2 * m] = float(std::cos(q)), post[2 * m + 1] = float(std::sin(q));
    }
    auto x = noise(640, 1);
    std::vector<float> y(128);
    alignas(16) float u[128];
    for (auto _ : st) {
        // The library's SSE windowing.
        for (int n = 0; n < 128; n += 4) {
            __m128 acc = _mm_mul_ps(reversed(x.data() + 636 - n), _mm_load_ps(kOkvSbrQmfWindow640 + n));
            for (int j = 1; j < 5; ++j)
                acc = _mm_add_ps(acc, _mm_mul_ps(reversed(x.data() + 636 - n - 128 * j),
                                                 _mm_load_ps(kOkvSbrQmfWindow640 + n + 128 * j)));
            _mm_store_ps(u + n, acc);
        }
        for (int m = 0; m < 64; ++m) {
            const float a = m ? -u[128 - m] : u[0], b = u[64 - m];
            z[m][0] = a * pre[2 * m] - b * pre[2 * m + 1];
            z[m][1] = a * pre[2 * m + 1] + b * pre[2 * m];
        }
        fftwf_execute(p);
        for (int j = 0; j < 32; ++j) {
            y[4 * j] = z[j][0] * post[4 * j] - z[j][1] * post[4 * j + 1];
            y[4 * j + 1] = z[j][0] * post[4 * j + 1] + z[j][1] * post[4 * j];
            y[4 * j + 2] = z[63 - j][0] * post[4 * j + 2] + z[63 - j][1] * post[4 * j + 3];
            y[4 * j + 3] = z[63 - j][0] * post[4 * j + 3] - z[63 - j][1] * post[4 * j + 2];
        }
        benchmark::DoNotOptimize(y.data());
    }
    fftwf_destroy_plan(p);
    fftwf_free(z);
}
BENCHMARK(AnalysisFilterEnc_FftwReference);
#endif

void EstimateTNR(benchmark::State& st) {
    auto x = noise(64, 2);
    float t0, t1, e;
    for (auto _ : st) benchmark::DoNotOptimize(okvsEstimateTNR_SBR_32f(x.data(), &t0, &t1, &e));
}
BENCHMARK(EstimateTNR);

void DetectTransient(benchmark::State& st) {
    auto x = noise(64, 3);
    for (auto& v : x) v = v * v;
    std::vector<float> acc(64);
    float thr = 128000;
    for (auto _ : st) benchmark::DoNotOptimize(okvsDetectTransient_SBR_32f(x.data(), &thr, acc.data()));
}
BENCHMARK(DetectTransient);

}  // namespace
