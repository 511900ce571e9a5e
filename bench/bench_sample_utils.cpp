// Sample-format and power-law utilities, with memcpy of the same bytes as the yardstick.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

constexpr int kLen = 4096;  // samples per channel

// 16-byte aligned, filled with moderate random values.
template <class T>
struct Block {
    T* p;
    explicit Block(size_t n) : p(static_cast<T*>(std::aligned_alloc(64, (n * sizeof(T) + 63) & ~size_t(63)))) {
        std::mt19937 g(1);
        for (size_t i = 0; i < n; ++i) p[i] = T(int(g() % 2000) - 1000);
    }
    ~Block() { std::free(p); }
};

template <class T>
struct Rows {
    std::vector<Block<T>> blocks;
    std::vector<T*> ptr;
    explicit Rows(int ch) {
        blocks.reserve(ch);
        for (int c = 0; c < ch; ++c) ptr.push_back(blocks.emplace_back(kLen).p);
    }
    const T* const* in() const { return ptr.data(); }
};

void memcpyBytes(benchmark::State& st) {
    const size_t bytes = size_t(st.range(0));
    Block<char> a(bytes), b(bytes);
    for (auto _ : st) {
        std::memcpy(b.p, a.p, bytes);
        benchmark::DoNotOptimize(b.p);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(bytes));
}
// The byte counts of 2 and 6 channels of 16-bit and float samples.
BENCHMARK(memcpyBytes)->Arg(2 * kLen * 2)->Arg(6 * kLen * 2)->Arg(2 * kLen * 4)->Arg(6 * kLen * 4);

template <class T, StatusCode (*F)(const T* const*, int, int, T*)>
void interleave(benchmark::State& st) {
    const int ch = int(st.range(0));
    Rows<T> rows(ch);
    Block<T> out(size_t(ch) * kLen);
    for (auto _ : st) benchmark::DoNotOptimize(F(rows.in(), ch, kLen, out.p));
    st.SetBytesProcessed(int64_t(st.iterations()) * ch * kLen * int64_t(sizeof(T)));
}
BENCHMARK(interleave<Okv16s, okvsInterleave_16s>)->Name("Interleave_16s")->Arg(2)->Arg(6);
BENCHMARK(interleave<Okv32f, okvsInterleave_32f>)->Name("Interleave_32f")->Arg(2)->Arg(6);

template <class T, StatusCode (*F)(const T*, int, int, T* const*)>
void deinterleave(benchmark::State& st) {
    const int ch = int(st.range(0));
    Rows<T> rows(ch);
    Block<T> in(size_t(ch) * kLen);
    for (auto _ : st) benchmark::DoNotOptimize(F(in.p, ch, kLen, rows.ptr.data()));
    st.SetBytesProcessed(int64_t(st.iterations()) * ch * kLen * int64_t(sizeof(T)));
}
BENCHMARK(deinterleave<Okv16s, okvsDeinterleave_16s>)->Name("Deinterleave_16s")->Arg(2)->Arg(6);
BENCHMARK(deinterleave<Okv32f, okvsDeinterleave_32f>)->Name("Deinterleave_32f")->Arg(2)->Arg(6);

void join(benchmark::State& st) {
    const int ch = int(st.range(0));
    Rows<Okv32f> rows(ch);
    Block<Okv16s> out(size_t(ch) * kLen);
    for (auto _ : st) benchmark::DoNotOptimize(okvsJoin_32f16s_D2L(rows.in(), ch, kLen, out.p));
    st.SetBytesProcessed(int64_t(st.iterations()) * ch * kLen * 2);  // bytes written
}
BENCHMARK(join)->Name("Join_32f16s_D2L")->Arg(2)->Arg(6);

// Element-wise utilities over kLen elements; items/s gives ns per element.
#define ELEMENTWISE(name, setup, call)                                  \
    void name(benchmark::State& st) {                                   \
        setup;                                                          \
        for (auto _ : st) benchmark::DoNotOptimize(call);               \
        st.SetItemsProcessed(int64_t(st.iterations()) * kLen);          \
    }                                                                   \
    BENCHMARK(name)

ELEMENTWISE(Pow43_16s32f, Block<Okv16s> x(kLen); Block<Okv32f> y(kLen), okvsPow43_16s32f(x.p, y.p, kLen));
ELEMENTWISE(Pow34_32f, Block<Okv32f> x(kLen); Block<Okv32f> y(kLen), okvsPow34_32f(x.p, y.p, kLen));
ELEMENTWISE(Pow34_32f16s, Block<Okv32f> x(kLen); Block<Okv16s> y(kLen), okvsPow34_32f16s(x.p, y.p, kLen));
ELEMENTWISE(Pow34_16s_Sfs, Block<Okv16s> x(kLen); Block<Okv16s> y(kLen), okvsPow34_16s_Sfs(x.p, 0, y.p, 0, kLen));
ELEMENTWISE(MakeFloat_16s32f, Block<Okv16s> m(kLen); Block<Okv16s> e(kLen); Block<Okv32f> y(kLen),
            okvsMakeFloat_16s32f(m.p, e.p, kLen, y.p));
ELEMENTWISE(CalcSF_16s32f, Block<Okv16s> x(kLen); Block<Okv32f> y(kLen), okvsCalcSF_16s32f(x.p, 0, y.p, kLen));
ELEMENTWISE(Pow43Scale_16s32s_Sf, Block<Okv16s> x(kLen); Block<Okv32s> y(kLen); Block<Okv16s> sf(64);
            std::vector<Okv32s> off(65); for (int b = 0; b <= 64; ++b) off[b] = b * 64,
            okvsPow43Scale_16s32s_Sf(x.p, y.p, sf.p, off.data(), 0, 64, 1, 0));
ELEMENTWISE(Scale_32f_I, Block<Okv32f> x(kLen); Block<Okv32f> g(64);
            std::vector<Okv32s> off(65); for (int b = 0; b <= 64; ++b) off[b] = b * 64,
            okvsScale_32f_I(x.p, g.p, off.data(), 64));

void Spread_16s_Sfs(benchmark::State& st) {
    Okv16s r;
    int d = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(okvsSpread_16s_Sfs(100, 100 + (d++ & 7), -2, &r));
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(Spread_16s_Sfs);

// One block of 1024 samples through an 8-tap filter; init and free timed separately.
void FIRBlockOne_32f(benchmark::State& st) {
    FIRBlockState* s = nullptr;
    okvsFIRBlockInitAlloc_32f(&s, 8, 1024);
    Block<Okv32f> x(1024), y(1024), h(8);
    for (auto _ : st) benchmark::DoNotOptimize(okvsFIRBlockOne_32f(x.p, y.p, s, h.p));
    st.SetItemsProcessed(int64_t(st.iterations()) * 1024);
    okvsFIRBlockFree_32f(s);
}
BENCHMARK(FIRBlockOne_32f);

void FIRBlockInitAllocFree_32f(benchmark::State& st) {
    for (auto _ : st) {
        FIRBlockState* s = nullptr;
        benchmark::DoNotOptimize(okvsFIRBlockInitAlloc_32f(&s, 8, 1024));
        benchmark::DoNotOptimize(okvsFIRBlockFree_32f(s));
    }
}
BENCHMARK(FIRBlockInitAllocFree_32f);

}  // namespace
