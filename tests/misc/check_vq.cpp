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

// The scratch of the last search as compared outputs.
void record(chk::Arena& a, const VQCodeBook* cb) {
    VQCodeBook h;
    std::memcpy(&h, cb, sizeof h);  // at the caller's misalignment
    const size_t n = size_t(h.count);
    for (const void* s : {static_cast<const void*>(h.distances), static_cast<const void*>(h.sortedDistances),
                          static_cast<const void*>(h.candidates), static_cast<const void*>(h.signs)})
        std::memcpy(a.out<int>(n), s, 4 * n);
}

}  // namespace

#define VQ(name) OKV_BODY(v, okvsVQ##name##_32f)

// Searches and reconstruction on codebooks in caller memory (one allocated too, and sizes of any shape);
// candidate counts sometimes refused, now and then any float bit patterns.
CHECKER(vq) {
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int length = c.rng().range(1, 40), count[2] = {c.rng().range(1, 300), c.rng().range(1, 40)};
        const int nSub = c.rng().range(0, 5), lo = std::min(count[0], count[1]), nBooks = c.rng().range(0, 4);
        const int nCand = c.rng().range(0, 9) ? c.rng().range(1, std::min(lo, 12)) : c.rng().range(0, lo + 1);
        const int anyLength = int(c.rng().u32() >> c.rng().range(0, 31)), anyCount = c.rng().range(-2, 300);
        const bool wild = c.rng().range(0, 3) == 0;
        const size_t subs = size_t(nSub) + 1, cands = size_t(nSub * std::max(nCand, 0)) + 1;
        c.call("VQ codebooks and searches", [&](chk::Arena& a, int v) -> int {
            int* st = a.out<int>(8);
            VQCodeBook *cb[2] = {book(a, v, length, count[0], wild), book(a, v, length, count[1], wild)}, *own = nullptr;
            VQCodeBook** cbs = a.in_copy(cb, 2);  // pointer arrays in guarded arena memory: reading past one faults
            // A value per entry: mostly in [0, hi], one in a hundred `bad` (refused).
            const auto ints = [&](size_t n, int hi, int bad) {
                return a.in<int>(n, [&a, hi, bad](size_t) { return a.rng().pick(99, 0, hi, bad); });
            };
            const int* len = a.in<int>(subs, [&](size_t) { return a.rng().range(0, 9) ? a.rng().len(length) : length + 1; });
            size_t total = 0;
            for (int i = 0; i < nSub; ++i) total += size_t(std::max(len[i], 0));
            const float* x = a.in<float>(total + 1, [&](size_t) { return wild ? a.rng().f32() : a.rng().uniform(-1.5f, 1.5f); });
            const float* w = a.in<float>(total + 1, [&](size_t) { return a.rng().uniform(0, 2); });
            int* o[4] = {a.out<int>(cands), a.out<int>(cands), a.out<int>(subs), a.out<int>(subs)};
            int **io = a.in_copy(o + 2, 2), **so = a.in_copy(o, 2);
            const int* p[6] = {ints(subs, 1, 1), ints(subs, 1, 1), ints(cands, count[0] - 1, count[0]),
                               ints(cands, count[1] - 1, count[1]), ints(cands, 1, 2), ints(cands, 1, 2)};
            const int **pol = a.in_copy(p, 2), **ci = a.in_copy(p + 2, 2), **cs = a.in_copy(p + 4, 2);
            st[0] = VQ(PreliminarySelect)(x, w, nSub, len, o[0], o[1], nCand, p[0], cb[0]);
            record(a, cb[0]);
            st[1] = VQ(MainSelect)(x, w, len, nSub, nCand, ci, cs, io, so, cbs, 2);
            st[2] = VQ(IndexSelect)(x, w, nSub, len, nCand, pol, io, so, cbs, 2, 0);
            record(a, cb[0]);
            record(a, cb[1]);
            const int* sgn[2] = {a.in<int>(subs, [&](size_t) { return a.rng().range(0, 99) ? 1 - 2 * a.rng().range(0, 1) : 0; }),
                                 a.in<int>(subs, [&](size_t) { return 1 - 2 * a.rng().range(0, 1); })};
            const int* idx[2] = {ints(subs, count[0] - 1, -1), ints(subs, count[1] - 1, -1)};
            st[3] = VQ(Reconstruction)(a.in_copy(idx, 2), a.in_copy(sgn, 2), len, nSub, std::min(nBooks, 2),
                                       a.out<float>(total + 1), cbs);
            st[4] = VQ(CodeBookGetSize)(anyLength, anyCount, st + 5);
            st[6] = VQ(CodeBookInitAlloc)(a.in<float>(size_t(length * count[1])), &own, length, count[1]);
            st[7] = VQ(CodeBookFree)(own) * 100 + VQ(CodeBookFree)(cb[0]) * 10 + VQ(CodeBookFree)(nullptr);
            return 0;
        });
    }
}
