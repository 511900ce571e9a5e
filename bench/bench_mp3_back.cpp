// Back half of the Layer III decoder, per stage and per stereo frame (two granules, two
// channels): requantisation with joint stereo, hybrid inverse MDCT, both synthesis forms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

// A typical 128 kbit/s granule: bound about 420, mostly values 0..3, some larger ones.
std::vector<int32_t> quantised(uint32_t seed)
{
    std::mt19937 g(seed);
    std::vector<int32_t> x(1152, 0);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 420; ++i) {
            const int r = int(g() % 100);
            const int v = r < 40 ? 0 : r < 85 ? 1 + int(g() % 3) : r < 98 ? 4 + int(g() % 12) : 16 + int(g() % 200);
            x[576 * c + i] = (g() & 1) ? -v : v;
        }
    return x;
}

void BM_ReQuantize_JointStereoFrame(benchmark::State& st)
{
    const std::vector<int32_t> src = quantised(1);
    MP3FrameHeader hdr = {};
    hdr.id = 1;
    hdr.layer = 1;
    hdr.mode = 1;
    hdr.mode_extension = 2;
    MP3SideInfo si[2] = {};
    for (auto& s : si) s.global_gain = 150;
    int8_t sf[80] = {};
    for (int i = 0; i < 80; ++i) sf[i] = int8_t(i % 5);
    std::vector<int32_t> x(1152), work(576);
    for (auto _ : st)
        for (int gr = 0; gr < 2; ++gr) {
            x = src;
            int nz[2] = {420, 420};
            benchmark::DoNotOptimize(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()));
        }
}
BENCHMARK(BM_ReQuantize_JointStereoFrame);

void BM_MDCTInv_LongFrame(benchmark::State& st)
{
    std::mt19937 g(2);
    std::vector<int32_t> src(576), x(576), out(576), ov(1152, 0);
    for (int i = 0; i < 420; ++i) src[i] = int32_t(g() % (1 << 24)) - (1 << 23);
    int prev[2] = {0, 0};
    for (auto _ : st)
        for (int gr = 0; gr < 2; ++gr)
            for (int c = 0; c < 2; ++c) {
                x = src;
                benchmark::DoNotOptimize(
                    okvsMDCTInv_MP3_32s(x.data(), out.data(), &ov[576 * c], 420, &prev[c], st.range(0), 0));
            }
}
BENCHMARK(BM_MDCTInv_LongFrame)->Arg(0)->Arg(2);

void BM_SynthFixed_StereoFrame(benchmark::State& st)
{
    std::mt19937 g(3);
    std::vector<int32_t> sub(576), hist(1024, 0);
    for (auto& v : sub) v = int32_t(g() % (1 << 22)) - (1 << 21);
    int pos[2] = {0, 0};
    int16_t pcm[2 * 1152];
    for (auto _ : st)
        for (int gr = 0; gr < 2; ++gr)
            for (int c = 0; c < 2; ++c)
                for (int t = 0; t < 18; ++t)
                    okvsSynthPQMF_MP3_32s16s(&sub[32 * t], pcm + 1152 * gr + 64 * t + c, &hist[512 * c], &pos[c], 2);
    benchmark::DoNotOptimize(pcm);
}
BENCHMARK(BM_SynthFixed_StereoFrame);

void BM_SynthFloat_StereoFrame(benchmark::State& st)
{
    std::mt19937 g(4);
    std::vector<float> sub(576);
    for (auto& v : sub) v = float(int(g() % 2001) - 1000) * 1e-4f;
    PQMFSynthesisSpec* spec[2];
    for (auto& s : spec) okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(&s);
    std::vector<float> pcm(2 * 1152);
    for (auto _ : st)
        for (int gr = 0; gr < 2; ++gr)
            for (int c = 0; c < 2; ++c)
                for (int t = 0; t < 18; ++t)
                    okvsSynthesisFilter_PQMF_MP3_32f(&sub[32 * t], &pcm[1152 * gr + 64 * t + c], spec[c], 2);
    benchmark::DoNotOptimize(pcm.data());
    for (auto s : spec) okvsSynthesisFilterFree_PQMF_MP3_32f(s);
}
BENCHMARK(BM_SynthFloat_StereoFrame);

}  // namespace
