// Layer III psychoacoustic model per frame (two granules): mono, stereo, and joint stereo (which
// also analyses mid and side).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

void BM_PsyModel_Frame(benchmark::State& st) {
    const int mode = (int)st.range(0), nch = mode == 3 ? 1 : 2;
    std::mt19937 g(1);
    std::vector<Okv16s> x((size_t)1152 * nch * 8);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = (Okv16s)(8000 * std::sin((double)(i / nch) * 0.0627) + 3000 * std::sin((double)i * 0.31) + (int)(g() % 2001) - 1000);
    std::vector<Okv8u> state(OKV_MP3_PSY_STATE_SIZE, 0), work(OKV_MP3_PSY_WORK_SIZE);
    MP3FrameHeader h{};
    h.id = 1, h.layer = 1, h.bitrate_index = 9, h.mode = mode;
    MP3PsyRatio ratio[4];
    MP3SideInfo si[4];
    int bound[6];
    size_t f = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(okvsPsychoacousticModelTwo_MP3_16s(x.data() + 1152 * nch * (f++ % 8), ratio, bound, si, &h,
                                                                    state.data(), nullptr, work.data()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PsyModel_Frame)->Arg(3)->Arg(0)->Arg(1);

}  // namespace
