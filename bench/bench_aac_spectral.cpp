// AAC decoder back end per stage on one 44.1 kHz channel frame: inverse quantisation, M/S,
// intensity, noise substitution, TNS, deinterleaving, and the filterbank in each form.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

constexpr int kMaxSfb = 49, kRate = 4;
const int kOneGroup[8] = {1};
const int kShortGroups[8] = {3, 2, 3};

// A typical 128 kbit/s long frame: mostly values 0..3 below line 700, some larger ones.
std::vector<int32_t> quantised(uint32_t seed)
{
    std::mt19937 g(seed);
    std::vector<int32_t> x(1024, 0);
    for (int i = 0; i < 700; ++i) {
        const int r = int(g() % 100);
        const int v = r < 40 ? 0 : r < 85 ? 1 + int(g() % 3) : r < 98 ? 4 + int(g() % 12) : 16 + int(g() % 300);
        x[i] = (g() & 1) ? -v : v;
    }
    return x;
}

std::vector<int32_t> dequantised(uint32_t seed)
{
    std::vector<int32_t> x = quantised(seed);
    std::vector<int16_t> sf(kMaxSfb, 110);
    std::vector<uint8_t> cb(kMaxSfb, 5);
    okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, kOneGroup, kMaxSfb, cb.data(), kRate, 1024);
    return x;
}

void BM_QuantInv_Long(benchmark::State& st)
{
    const std::vector<int32_t> src = quantised(1);
    std::vector<int16_t> sf(kMaxSfb);
    for (int b = 0; b < kMaxSfb; ++b) sf[b] = int16_t(90 + b % 30);
    std::vector<uint8_t> cb(kMaxSfb, 7);
    std::vector<int32_t> x(1024);
    for (auto _ : st) {
        x = src;
        okvsQuantInv_AAC_32s_I(x.data(), sf.data(), 1, kOneGroup, kMaxSfb, cb.data(), kRate, 1024);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_QuantInv_Long);

void BM_MsAndIntensity_Long(benchmark::State& st)
{
    const std::vector<int32_t> l0 = dequantised(2), r0 = dequantised(3);
    std::vector<uint8_t> ms(60, 1), cb(kMaxSfb, 5);
    for (int b = 40; b < kMaxSfb; ++b) cb[b] = 15;
    std::vector<int16_t> pos(kMaxSfb, 3);
    std::vector<int32_t> l(1024), r(1024);
    for (auto _ : st) {
        l = l0, r = r0;
        okvsDecodeMsStereo_AAC_32s_I(l.data(), r.data(), 1, ms.data(), cb.data(), 1, kOneGroup, kMaxSfb, kRate, 1024);
        okvsDecodeIsStereo_AAC_32s(l.data(), r.data(), pos.data(), cb.data(), 1, kOneGroup, kMaxSfb, kRate, 1024);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_MsAndIntensity_Long);

void BM_Pns_TenBands(benchmark::State& st)
{
    std::vector<uint8_t> cb(kMaxSfb, 1);
    for (int b = 30; b < 40; ++b) cb[b] = 13;
    std::vector<int16_t> sf(kMaxSfb, 60);
    std::vector<int32_t> x(1024);
    int ltp[41] = {}, seed = 1;
    for (auto _ : st) {
        okvsDecodePNS_AAC_32s(x.data(), ltp, cb.data(), sf.data(), kMaxSfb, 1, kOneGroup, kRate, 1024, &seed);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_Pns_TenBands);

void BM_Tns_Long_Order12(benchmark::State& st)
{
    const std::vector<int32_t> src = dequantised(4);
    const int nf[8] = {1}, len[8] = {42}, order[8] = {12}, res[8] = {4}, dir[8] = {0};
    const int8_t coef[60] = {3, -2, 1, 0, -1, 2, 1, 0, 0, -1, 1, 0};
    std::vector<int32_t> x(1024);
    for (auto _ : st) {
        x = src;
        okvsDecodeTNS_AAC_32s_I(x.data(), nf, len, order, res, coef, dir, kMaxSfb, 1, kRate, 1024);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_Tns_Long_Order12);

void BM_Deinterleave_Short(benchmark::State& st)
{
    const std::vector<int32_t> src = dequantised(5);
    std::vector<int32_t> dst(1024);
    for (auto _ : st) {
        okvsDeinterleaveSpectrum_AAC_32s(src.data(), dst.data(), 3, kShortGroups, 14, kRate, 128);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_Deinterleave_Short);

// Filterbank: range(0) is the window sequence (0 long, 2 eight short).
void BM_MDCTInv_32s16s(benchmark::State& st)
{
    const std::vector<int32_t> src = dequantised(6);
    std::vector<int32_t> x(1024), ov(1024);
    std::vector<int16_t> pcm(2048);
    for (auto _ : st) {
        x = src;
        okvsMDCTInv_AAC_32s16s(x.data(), pcm.data(), ov.data(), int(st.range(0)), 0, 0, 2);
        benchmark::DoNotOptimize(pcm.data());
    }
}
BENCHMARK(BM_MDCTInv_32s16s)->Arg(0)->Arg(2);

void BM_MDCTInv_32s_I(benchmark::State& st)
{
    std::vector<int32_t> src = dequantised(7);
    for (auto& v : src) v >>= 6;
    std::vector<int32_t> x(1024), ov(1024);
    for (auto _ : st) {
        x = src;
        okvsMDCTInv_AAC_32s_I(x.data(), ov.data(), int(st.range(0)), 1, 1, 1024);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_MDCTInv_32s_I)->Arg(0)->Arg(2);

void BM_MDCTFwd(benchmark::State& st)
{
    std::mt19937 g(8);
    std::vector<int32_t> src(2048), x(2048), out(1024), work(2048);
    for (auto& v : src) v = int32_t(g() % 65536) - 32768;
    for (auto _ : st) {
        if (st.range(0)) {
            x = src;
            okvsMDCTFwd_AAC_32s_I(x.data(), 0, 0, 0, 2048);
            benchmark::DoNotOptimize(x.data());
        } else {
            okvsMDCTFwd_AAC_32s(src.data(), out.data(), src.data(), 0, 0, 0, work.data());
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(BM_MDCTFwd)->Arg(0)->Arg(1);

}  // namespace
