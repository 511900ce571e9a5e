// okvac's parametric-stereo synthesis: one frame (32 slots x 64 bands, mono in, left and right
// out) in the 20- and 34-band configurations.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "../tools/okvac/ps/ps_decoder.cpp"
#include "../tools/okvac/ps/ps_reader.cpp"

namespace {

void BM_PsFrame(benchmark::State& st) {
    const bool is34 = st.range(0) == 34;
    constexpr size_t kFrame = size_t(PsDecoder::kSlots) * PsDecoder::kBands;
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<Okv32fc> mono(kFrame + PsDecoder::kLookahead * PsDecoder::kBands), left(kFrame), right(kFrame);
    for (Okv32fc& v : mono) v = {d(g), d(g)};
    PsFrame f;
    f.numEnv = 2;
    f.border[0] = 15, f.border[1] = 31;
    f.iidBands = f.iccBands = is34 ? 34 : 20;
    f.is34 = is34;
    for (int e = 0; e < 2; ++e)
        for (int b = 0; b < 34; ++b) f.iid[e][b] = int8_t(b % 15 - 7), f.icc[e][b] = int8_t((b + e) % 8);
    PsDecoder dec;
    for (auto _ : st) {
        dec.process(&f, mono.data(), left.data(), right.data());
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
}
BENCHMARK(BM_PsFrame)->Arg(20)->Arg(34);

}  // namespace
