// Variant harness for the VQ codebooks, searches (scratch copied out) and reconstruction.
#include <cstring>

#include "harness/checkasm.h"

namespace {

// A codebook in arena memory at a random misalignment; its table is a compared input.
VQCodeBook* book(chk::Arena& a, int v, int length, int count, bool wild) {
    const float* table =
        a.in<float>(size_t(length * count), [&](size_t) { return wild ? a.rng().f32() : a.rng().uniform(-2, 2); });
    int size = 0;
    OKV_BODY(v, okvsVQCodeBookGetSize_32f)(length, count, &size);
    auto* mem = static_cast<unsigned char*>(a.scratch(size_t(size) + 64)) + a.rng().range(0, 63);
    VQCodeBook* cb = nullptr;
    OKV_BODY(v, okvsVQCodeBookInit_32f)(table, &cb, length, count, mem);
    return cb;
}

// The record, its rows and the scratch of the last search as compared outputs.
void record(chk::Arena& a, const VQCodeBook* cb) {
    VQCodeBook h;
    std::memcpy(&h, cb, sizeof h);
    const size_t n = size_t(h.count), L = size_t(h.length);
    int* o = a.out<int>(4);
    o[0] = h.count, o[1] = h.length, o[2] = h.valid, o[3] = h.selfOwned;
    for (size_t r = 0; r < n; ++r) std::memcpy(a.out<float>(L), h.rows[r], 4 * L);
    std::memcpy(a.out<float>(n), h.distances, 4 * n);
    std::memcpy(a.out<float>(n), h.sortedDistances, 4 * n);
    std::memcpy(a.out<int>(n), h.candidates, 4 * n);
    std::memcpy(a.out<int>(n), h.signs, 4 * n);
}

}  // namespace

#define CODEBOOK_EXPORTS \
    "okvsVQCodeBookGetSize_32f", "okvsVQCodeBookInit_32f", "okvsVQCodeBookInitAlloc_32f", "okvsVQCodeBookFree_32f"

// Sizes of any shape; a codebook in caller memory and an allocated one, each recorded and freed.
CHECK_EXPORTS(vq_codebook, CODEBOOK_EXPORTS) {
    const char* names[] = {CODEBOOK_EXPORTS};
    for (int it = 0; it < 4 * c.iters(); ++it) {
        const auto any = [&](int hi) { return c.rng().coin() ? c.rng().range(-2, hi) : int(c.rng().u32() >> c.rng().range(0, 31)); };
        const int length = any(64), count = any(300), len = c.rng().range(1, 40), cnt = c.rng().range(1, 70);
        c.call(names[it % 4], [&](chk::Arena& a, int v) -> int {
            int* st = a.out<int>(6);
            st[0] = OKV_BODY(v, okvsVQCodeBookGetSize_32f)(length, count, st + 1);
            VQCodeBook *cb = book(a, v, len, cnt, true), *own = nullptr;
            record(a, cb);
            st[2] = OKV_BODY(v, okvsVQCodeBookFree_32f)(cb) * 10 + OKV_BODY(v, okvsVQCodeBookFree_32f)(nullptr);
            st[3] = OKV_BODY(v, okvsVQCodeBookInitAlloc_32f)(a.in<float>(size_t(len * cnt)), &own, len, cnt);
            if (st[3] == okvOk) record(a, own), st[4] = OKV_BODY(v, okvsVQCodeBookFree_32f)(own);
            return 0;
        });
    }
}

CHECK_EXPORTS(vq_search, "okvsVQPreliminarySelect_32f", "okvsVQMainSelect_32f", "okvsVQIndexSelect_32f",
              "okvsVQReconstruction_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int length = c.rng().range(1, 40), count[2] = {c.rng().range(1, 300), c.rng().range(1, 40)};
        const int nSub = c.rng().range(0, 5), lo = std::min(count[0], count[1]), nBooks = c.rng().range(0, 4);
        // Candidate counts, sometimes refused.
        const int nCand = c.rng().range(0, 9) ? c.rng().range(1, std::min(lo, 12)) : c.rng().range(0, lo + 1);
        const bool wild = c.rng().range(0, 3) == 0;  // any float bit patterns
        const size_t subs = size_t(nSub) + 1, cands = size_t(nSub * std::max(nCand, 0)) + 1;
        // Subvector lengths (now and then longer than the rows: refused), target and weights.
        struct Input { const int* len; const float *x, *w; size_t total; };
        const auto input = [&](chk::Arena& a) {
            Input in{a.in<int>(subs, [&](size_t) { return a.rng().range(0, 9) ? a.rng().len(length) : length + 1; }),
                     nullptr, nullptr, 0};
            for (int i = 0; i < nSub; ++i) in.total += size_t(std::max(in.len[i], 0));
            in.x = a.in<float>(in.total + 1, [&](size_t) { return wild ? a.rng().f32() : a.rng().uniform(-1.5f, 1.5f); });
            in.w = a.in<float>(in.total + 1, [&](size_t) { return a.rng().uniform(0, 2); });
            return in;
        };
        const auto flags = [&](chk::Arena& a, int hi) {
            return a.in<int>(std::max(subs, cands), [&a, hi](size_t) { return a.rng().range(0, hi); });
        };
        c.call("okvsVQPreliminarySelect_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cb = book(a, v, length, count[0], wild);
            const Input in = input(a);
            const StatusCode st = OKV_BODY(v, okvsVQPreliminarySelect_32f)(in.x, in.w, nSub, in.len, a.out<int>(cands),
                                                                          a.out<int>(cands), nCand, flags(a, 2), cb);
            record(a, cb);
            return st;
        });
        for (const bool index : {false, true})
            c.call(index ? "okvsVQIndexSelect_32f" : "okvsVQMainSelect_32f", [&](chk::Arena& a, int v) -> int {
                VQCodeBook* cbs[2] = {book(a, v, length, count[0], wild), book(a, v, length, count[1], wild)};
                const Input in = input(a);
                int* io[2] = {a.out<int>(subs), a.out<int>(subs)};
                int* so[2] = {a.out<int>(subs), a.out<int>(subs)};
                StatusCode st;
                if (index) {
                    const int* pol[2] = {flags(a, 1), flags(a, 1)};
                    st = OKV_BODY(v, okvsVQIndexSelect_32f)(in.x, in.w, nSub, in.len, nCand, pol, io, so, cbs, 2, 0);
                } else {  // now and then an index or flag out of range: refused
                    const int *ci[2], *cs[2];
                    for (int b = 0; b < 2; ++b) {
                        const int cnt = count[b];
                        ci[b] = a.in<int>(cands, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, cnt - 1) : cnt; });
                        cs[b] = a.in<int>(cands, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, 1) : 2; });
                    }
                    st = OKV_BODY(v, okvsVQMainSelect_32f)(in.x, in.w, in.len, nSub, nCand, ci, cs, io, so, cbs, 2);
                }
                record(a, cbs[0]);
                record(a, cbs[1]);
                return st;
            });
        c.call("okvsVQReconstruction_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cbs[4];
            const int *idx[4], *sgn[4];
            for (int b = 0; b < 4; ++b) {
                const int cnt = count[b & 1];
                cbs[b] = book(a, v, length, cnt, wild);
                idx[b] = a.in<int>(subs, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, cnt - 1) : -1; });
                sgn[b] = a.in<int>(subs, [&](size_t) { return a.rng().range(0, 99) ? 1 - 2 * a.rng().range(0, 1) : 0; });
            }
            const Input in = input(a);
            return OKV_BODY(v, okvsVQReconstruction_32f)(idx, sgn, in.len, nSub, nBooks, a.out<float>(in.total + 1), cbs);
        });
    }
}
