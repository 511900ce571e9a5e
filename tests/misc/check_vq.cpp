// Variant harness for the VQ codebooks, searches (scratch copied out) and reconstruction.
#include <cstring>

#include "harness/checkasm.h"

namespace {

// A codebook in arena memory at a random misalignment; its table is a compared input.
VQCodeBook* book(chk::Arena& a, int v, int length, int count, bool wild) {
    const auto entry = [&](size_t) { return wild ? a.rng().f32() : a.rng().uniform(-2, 2); };
    const float* table = a.in<float>(size_t(length * count), entry);
    int size = 0;
    OKV_BODY(v, okvsVQCodeBookGetSize_32f)(length, count, &size);
    VQCodeBook* cb = nullptr;
    OKV_BODY(v, okvsVQCodeBookInit_32f)(table, &cb, length, count, a.scratch<Okv8u>(size_t(size), size_t(a.rng().range(0, 63))));
    return cb;
}

// The record, its rows and the scratch of the last search as compared outputs.
void record(chk::Arena& a, const VQCodeBook* cb) {
    VQCodeBook h;
    std::memcpy(&h, cb, sizeof h);
    const size_t n = size_t(h.count), L = size_t(h.length);
    const int fields[4] = {h.count, h.length, h.valid, h.selfOwned};
    std::memcpy(a.out<int>(4), fields, sizeof fields);
    for (size_t r = 0; r < n; ++r) std::memcpy(a.out<float>(L), h.rows[r], 4 * L);
    for (const void* s : {static_cast<const void*>(h.distances), static_cast<const void*>(h.sortedDistances),
                          static_cast<const void*>(h.candidates), static_cast<const void*>(h.signs)})
        std::memcpy(a.out<int>(n), s, 4 * n);
}

}  // namespace

#define VQ(name) OKV_BODY(v, okvsVQ##name##_32f)

CHECKER(vq) {
    for (int it = 0; it < c.iters(); ++it) {
        // Sizes of any shape; a codebook in caller memory and an allocated one, each recorded and freed.
        for (int k = 0; k < 4; ++k) {
            const auto any = [&](int hi) {
                return c.rng().coin() ? c.rng().range(-2, hi) : int(c.rng().u32() >> c.rng().range(0, 31));
            };
            const int length = any(64), count = any(300), len = c.rng().range(1, 40), cnt = c.rng().range(1, 70);
            c.call("VQ codebook", [&](chk::Arena& a, int v) -> int {
                int* st = a.out<int>(6);
                st[0] = VQ(CodeBookGetSize)(length, count, st + 1);
                VQCodeBook *cb = book(a, v, len, cnt, true), *own = nullptr;
                record(a, cb);
                st[2] = VQ(CodeBookFree)(cb) * 10 + VQ(CodeBookFree)(nullptr);
                st[3] = VQ(CodeBookInitAlloc)(a.in<float>(size_t(len * cnt)), &own, len, cnt);
                if (st[3] == okvOk) record(a, own), st[4] = VQ(CodeBookFree)(own);
                return 0;
            });
        }
        // Searches and reconstruction: candidate counts sometimes refused, now and then any float bit patterns.
        const int length = c.rng().range(1, 40), count[2] = {c.rng().range(1, 300), c.rng().range(1, 40)};
        const int nSub = c.rng().range(0, 5), lo = std::min(count[0], count[1]), nBooks = c.rng().range(0, 4);
        const int nCand = c.rng().range(0, 9) ? c.rng().range(1, std::min(lo, 12)) : c.rng().range(0, lo + 1);
        const bool wild = c.rng().range(0, 3) == 0;
        const size_t subs = size_t(nSub) + 1, cands = size_t(nSub * std::max(nCand, 0)) + 1;
        // A value per entry: mostly in [0, hi], one in a hundred `bad` (refused).
        const auto ints = [&](chk::Arena& a, size_t n, int hi, int bad) {
            return a.in<int>(n, [&a, hi, bad](size_t) { return a.rng().pick(99, 0, hi, bad); });
        };
        // Subvector lengths (now and then longer than the rows), target and weights.
        struct Input { const int* len; const float *x = nullptr, *w = nullptr; size_t total = 0; };
        const auto input = [&](chk::Arena& a) {
            Input in{a.in<int>(subs, [&](size_t) { return a.rng().range(0, 9) ? a.rng().len(length) : length + 1; })};
            for (int i = 0; i < nSub; ++i) in.total += size_t(std::max(in.len[i], 0));
            in.x = a.in<float>(in.total + 1, [&](size_t) { return wild ? a.rng().f32() : a.rng().uniform(-1.5f, 1.5f); });
            in.w = a.in<float>(in.total + 1, [&](size_t) { return a.rng().uniform(0, 2); });
            return in;
        };
        c.call("okvsVQPreliminarySelect_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cb = book(a, v, length, count[0], wild);
            const Input in = input(a);
            int *idx = a.out<int>(cands), *sgn = a.out<int>(cands);
            const int st = VQ(PreliminarySelect)(in.x, in.w, nSub, in.len, idx, sgn, nCand, ints(a, subs, 2, 2), cb);
            return record(a, cb), st;
        });
        for (const bool index : {false, true})
            c.call(index ? "okvsVQIndexSelect_32f" : "okvsVQMainSelect_32f", [&](chk::Arena& a, int v) -> int {
                // Pointer arrays lie in guarded arena memory, so that reading past one faults.
                VQCodeBook* cbs[2] = {book(a, v, length, count[0], wild), book(a, v, length, count[1], wild)};
                const Input in = input(a);
                int *o[4] = {a.out<int>(subs), a.out<int>(subs), a.out<int>(subs), a.out<int>(subs)};
                int **io = a.in_copy(o, 2), **so = a.in_copy(o + 2, 2);
                const int* p[6] = {ints(a, subs, 1, 1), ints(a, subs, 1, 1), ints(a, cands, count[0] - 1, count[0]),
                                   ints(a, cands, count[1] - 1, count[1]), ints(a, cands, 1, 2), ints(a, cands, 1, 2)};
                const int **pol = a.in_copy(p, 2), **ci = a.in_copy(p + 2, 2), **cs = a.in_copy(p + 4, 2);
                VQCodeBook** cb = a.in_copy(cbs, 2);
                const int st = index ? VQ(IndexSelect)(in.x, in.w, nSub, in.len, nCand, pol, io, so, cb, 2, 0)
                                     : VQ(MainSelect)(in.x, in.w, in.len, nSub, nCand, ci, cs, io, so, cb, 2);
                return record(a, cbs[0]), record(a, cbs[1]), st;
            });
        c.call("okvsVQReconstruction_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cbs[4];
            const int *idx[4], *sgn[4];
            for (int b = 0; b < 4; ++b) {
                cbs[b] = book(a, v, length, count[b & 1], wild);
                idx[b] = ints(a, subs, count[b & 1] - 1, -1);
                sgn[b] = a.in<int>(subs, [&](size_t) { return a.rng().range(0, 99) ? 1 - 2 * a.rng().range(0, 1) : 0; });
            }
            const Input in = input(a);
            return VQ(Reconstruction)(a.in_copy(idx, 4), a.in_copy(sgn, 4), in.len, nSub, nBooks, a.out<float>(in.total + 1),
                                      a.in_copy(cbs, 4));
        });
    }
}
