// TwinVQ searches per subvector, two codebooks of 64 x 16 or 128 x 8, polarity on,
// against the plain scalar models of the tests (same compiler flags): the global
// exhaustive pair search for the joint searches, the one-codevector-at-a-time
// transcription for the pre-selection. Counter "per_subvec" is seconds per subvector.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "misc/vq_model.h"
#include "okvac.h"

namespace {

constexpr int kSubVecs = 64;

// Every pair of codevectors with every sign combination (only + when !polarity).
vqmodel::Pair globalSearch(const vqmodel::Book& A, const vqmodel::Book& B, const float* x, const float* w, int L,
                           bool polarity) {
    vqmodel::Pair best;
    best.D = 1e38f;
    for (int a = 0; a < A.count; ++a)
        for (int b = 0; b < B.count; ++b)
            for (int sa = 0; sa <= polarity; ++sa)
                for (int sb = 0; sb <= polarity; ++sb)
                    if (const float D = vqmodel::mainScore(x, w, L, A.row(a), sa, B.row(b), sb); D < float(best.D))
                        best = vqmodel::Pair{a, b, sa, sb, D};
    return best;
}

struct Setup {
    int count, length, nCand;
    vqmodel::Book book[2];
    VQCodeBook* cb[2] = {nullptr, nullptr};
    std::vector<float> x, w;
    std::vector<int> len, pol;

    explicit Setup(const benchmark::State& st)
        : count(int(st.range(0))), length(int(st.range(1))), nCand(int(st.range(2))) {
        std::mt19937 g(9);
        std::normal_distribution<float> n(0.0f, 1.0f);
        std::uniform_real_distribution<float> u(0.1f, 2.0f);
        for (int s = 0; s < 2; ++s) {
            book[s] = {count, length, std::vector<float>(size_t(count) * size_t(length))};
            for (float& v : book[s].table) v = n(g);
            okvsVQCodeBookInitAlloc_32f(book[s].table.data(), &cb[s], length, count);
        }
        x.resize(size_t(kSubVecs) * size_t(length));
        w.resize(x.size());
        for (float& v : x) v = n(g);
        for (float& v : w) v = u(g);
        len.assign(kSubVecs, length);
        pol.assign(kSubVecs, 1);
    }
    ~Setup() {
        okvsVQCodeBookFree_32f(cb[0]);
        okvsVQCodeBookFree_32f(cb[1]);
    }
    void report(benchmark::State& st) const {
        st.counters["per_subvec"] =
            benchmark::Counter(double(kSubVecs), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
};

// One int list per codebook.
struct Lists {
    std::vector<int> v[2];
    int* p[2];
    const int* c[2];
    explicit Lists(size_t n) {
        for (int s = 0; s < 2; ++s) v[s].assign(n, 0), p[s] = v[s].data(), c[s] = p[s];
    }
};

void shapes(benchmark::internal::Benchmark* b) {
    for (int nCand : {4, 8}) b->Args({64, 16, nCand})->Args({128, 8, nCand});
}

void IndexSelect(benchmark::State& st) {
    Setup s(st);
    Lists io(kSubVecs), so(kSubVecs);
    const int* pp[2] = {s.pol.data(), s.pol.data()};
    for (auto _ : st)
        benchmark::DoNotOptimize(
            okvsVQIndexSelect_32f(s.x.data(), s.w.data(), kSubVecs, s.len.data(), s.nCand, pp, io.p, so.p, s.cb, 2, 0));
    s.report(st);
}
BENCHMARK(IndexSelect)->Apply(shapes);

void PreliminaryPlusMain(benchmark::State& st) {
    Setup s(st);
    Lists ci(size_t(kSubVecs) * size_t(s.nCand)), cs(ci.v[0].size()), io(kSubVecs), so(kSubVecs);
    for (auto _ : st) {
        for (int b = 0; b < 2; ++b)
            okvsVQPreliminarySelect_32f(s.x.data(), s.w.data(), kSubVecs, s.len.data(), ci.p[b], cs.p[b], s.nCand,
                                        s.pol.data(), s.cb[b]);
        benchmark::DoNotOptimize(
            okvsVQMainSelect_32f(s.x.data(), s.w.data(), s.len.data(), kSubVecs, s.nCand, ci.c, cs.c, io.p, so.p, s.cb, 2));
    }
    s.report(st);
}
BENCHMARK(PreliminaryPlusMain)->Apply(shapes);

// A scalar model run on every subvector in turn.
template <class Model>
void eachSubVec(benchmark::State& st, const Setup& s, Model model) {
    for (auto _ : st)
        for (int i = 0; i < kSubVecs; ++i) {
            const size_t at = size_t(i) * size_t(s.length);
            benchmark::DoNotOptimize(model(&s.x[at], &s.w[at]));
        }
    s.report(st);
}

void ExhaustiveModel(benchmark::State& st) {
    Setup s(st);
    eachSubVec(st, s, [&](const float* x, const float* w) {
        return globalSearch(s.book[0], s.book[1], x, w, s.length, true);
    });
}
BENCHMARK(ExhaustiveModel)->Args({64, 16, 8})->Args({128, 8, 8});

void PreliminarySelect(benchmark::State& st) {
    Setup s(st);
    std::vector<int> ci(size_t(kSubVecs) * size_t(s.nCand)), cs(ci.size());
    for (auto _ : st)
        benchmark::DoNotOptimize(okvsVQPreliminarySelect_32f(s.x.data(), s.w.data(), kSubVecs, s.len.data(), ci.data(),
                                                             cs.data(), s.nCand, s.pol.data(), s.cb[0]));
    s.report(st);
}
BENCHMARK(PreliminarySelect)->Apply(shapes);

void PreliminaryModel(benchmark::State& st) {
    Setup s(st);
    eachSubVec(st, s, [&](const float* x, const float* w) { return vqmodel::rank(s.book[0], x, w, s.length, true, s.nCand, 1.0f); });
}
BENCHMARK(PreliminaryModel)->Apply(shapes);

void MainSelect(benchmark::State& st) {
    Setup s(st);
    Lists ci(size_t(kSubVecs) * size_t(s.nCand)), cs(ci.v[0].size()), io(kSubVecs), so(kSubVecs);
    for (int b = 0; b < 2; ++b)
        okvsVQPreliminarySelect_32f(s.x.data(), s.w.data(), kSubVecs, s.len.data(), ci.p[b], cs.p[b], s.nCand,
                                    s.pol.data(), s.cb[b]);
    for (auto _ : st)
        benchmark::DoNotOptimize(
            okvsVQMainSelect_32f(s.x.data(), s.w.data(), s.len.data(), kSubVecs, s.nCand, ci.c, cs.c, io.p, so.p, s.cb, 2));
    s.report(st);
}
BENCHMARK(MainSelect)->Apply(shapes);

void Reconstruction(benchmark::State& st) {
    Setup s(st);
    std::vector<int> idx(kSubVecs), sgn(kSubVecs);
    for (int i = 0; i < kSubVecs; ++i) idx[i] = (i * 37) % s.count, sgn[i] = i % 3 ? 1 : -1;
    const int* pi[2] = {idx.data(), idx.data()};
    const int* ps[2] = {sgn.data(), sgn.data()};
    std::vector<float> dst(s.x.size());
    for (auto _ : st)
        benchmark::DoNotOptimize(okvsVQReconstruction_32f(pi, ps, s.len.data(), kSubVecs, 2, dst.data(), s.cb));
    s.report(st);
}
BENCHMARK(Reconstruction)->Args({64, 16, 0})->Args({128, 8, 0});

// Building a codebook: layout and row copies (InitAlloc + Free, and Init alone with GetSize).
void CodeBookLifecycle(benchmark::State& st) {
    const int count = int(st.range(0)), length = int(st.range(1));
    std::vector<float> table(size_t(count) * size_t(length), 0.5f);
    int size = 0;
    okvsVQCodeBookGetSize_32f(length, count, &size);
    std::vector<unsigned char> mem(static_cast<size_t>(size));
    for (auto _ : st) {
        VQCodeBook* cb = nullptr;
        if (st.range(2)) {
            okvsVQCodeBookInitAlloc_32f(table.data(), &cb, length, count);
        } else {
            okvsVQCodeBookGetSize_32f(length, count, &size);
            okvsVQCodeBookInit_32f(table.data(), &cb, length, count, mem.data());
        }
        benchmark::DoNotOptimize(okvsVQCodeBookFree_32f(cb));
    }
}
BENCHMARK(CodeBookLifecycle)->Args({64, 16, 0})->Args({64, 16, 1})->Args({128, 8, 1});

}  // namespace
