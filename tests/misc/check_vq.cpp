// Variant harness for the TwinVQ codebooks: lifecycle, the three searches (with their
// codebook scratch copied out for comparison) and reconstruction.
#include <cstring>

#include "harness/checkasm.h"

namespace {

// A codebook in arena memory at a random misalignment; its table is a compared input.
VQCodeBook* book(chk::Arena& a, int v, int length, int count, bool wild) {
    const float* table = a.in<float>(size_t(length) * size_t(count), [&](size_t) {
        return wild ? a.rng().f32() : float(a.rng().unit() * 4 - 2);
    });
    int size = 0;
    OKV_BODY(v, okvsVQCodeBookGetSize_32f)(length, count, &size);
    auto* mem = static_cast<unsigned char*>(a.scratch(size_t(size) + 64)) + a.rng().range(0, 63);
    VQCodeBook* cb = nullptr;
    OKV_BODY(v, okvsVQCodeBookInit_32f)(table, &cb, length, count, mem);
    return cb;
}

// The scratch of the last search as a compared output.
void scratchOut(chk::Arena& a, const VQCodeBook* cb) {
    VQCodeBook h;
    std::memcpy(&h, cb, sizeof h);
    const size_t n = size_t(h.count);
    std::memcpy(a.out<float>(n), h.distances, 4 * n);
    std::memcpy(a.out<float>(n), h.sortedDistances, 4 * n);
    std::memcpy(a.out<int>(n), h.candidates, 4 * n);
    std::memcpy(a.out<int>(n), h.signs, 4 * n);
}

struct Shape {
    int length, count[2], nSub, nCand;
    bool wild;  // any float bit patterns
    explicit Shape(chk::Rng& r)
        : length(r.range(1, 40)), count{r.range(1, 300), r.range(1, 40)}, nSub(r.range(0, 5)), wild(r.range(0, 3) == 0) {
        const int lo = count[0] < count[1] ? count[0] : count[1];
        nCand = r.range(0, 9) ? r.range(1, lo < 12 ? lo : 12) : r.range(0, lo + 1);  // sometimes refused
    }
};

const int* lengths(chk::Arena& a, const Shape& s, size_t* total) {
    int* len = a.in<int>(size_t(s.nSub) + 1, [&](size_t) { return a.rng().range(0, 9) ? a.rng().len(s.length) : s.length + 1; });
    *total = 0;
    for (int i = 0; i < s.nSub; ++i) *total += size_t(len[i] > 0 ? len[i] : 0);
    return len;
}

float noNaN(chk::Arena& a, bool wild) { return wild ? a.rng().f32() : float(a.rng().unit() * 3 - 1.5); }

}  // namespace

CHECK_EXPORTS(vq_codebook, "okvsVQCodeBookGetSize_32f", "okvsVQCodeBookInit_32f", "okvsVQCodeBookInitAlloc_32f",
              "okvsVQCodeBookFree_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int length = c.rng().coin() ? c.rng().range(-2, 64) : int(c.rng().u32() >> c.rng().range(0, 31));
        const int count = c.rng().coin() ? c.rng().range(-2, 300) : int(c.rng().u32() >> c.rng().range(0, 31));
        c.call("okvsVQCodeBookGetSize_32f", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsVQCodeBookGetSize_32f)(length, count, a.out<int>(1));
        });
    }
    for (int it = 0; it < c.iters(); ++it) {
        const int length = c.rng().range(1, 40), count = c.rng().range(1, 70);
        c.call("okvsVQCodeBookInit_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cb = book(a, v, length, count, true);
            VQCodeBook h;
            std::memcpy(&h, cb, sizeof h);
            int* o = a.out<int>(4);
            o[0] = h.count, o[1] = h.length, o[2] = h.valid, o[3] = h.selfOwned;
            float* rows = a.out<float>(size_t(length) * size_t(count));
            for (int r = 0; r < count; ++r) std::memcpy(rows + size_t(r) * size_t(length), h.rows[r], 4 * size_t(length));
            return OKV_BODY(v, okvsVQCodeBookFree_32f)(cb) * 10 + OKV_BODY(v, okvsVQCodeBookFree_32f)(nullptr);
        });
        c.call("okvsVQCodeBookInitAlloc_32f", [&](chk::Arena& a, int v) -> int {
            const float* t = a.in<float>(size_t(length) * size_t(count));
            VQCodeBook* cb = nullptr;
            const StatusCode st = OKV_BODY(v, okvsVQCodeBookInitAlloc_32f)(t, &cb, length, count);
            if (st != okvOk) return st;
            a.out<int>(1)[0] = cb->selfOwned;
            return OKV_BODY(v, okvsVQCodeBookFree_32f)(cb);
        });
    }
    c.call("okvsVQCodeBookFree_32f", [](chk::Arena& a, int v) -> int {
        VQCodeBook* cb = book(a, v, 3, 3, false);
        const StatusCode st = OKV_BODY(v, okvsVQCodeBookFree_32f)(cb);
        std::memcpy(a.out<int>(1), reinterpret_cast<unsigned char*>(cb) + offsetof(VQCodeBook, valid), 4);
        return st;
    });
}

CHECK_EXPORTS(vq_search, "okvsVQPreliminarySelect_32f", "okvsVQMainSelect_32f", "okvsVQIndexSelect_32f",
              "okvsVQReconstruction_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const Shape s(c.rng());
        c.call("okvsVQPreliminarySelect_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cb = book(a, v, s.length, s.count[0], s.wild);
            size_t total;
            const int* len = lengths(a, s, &total);
            const float* x = a.in<float>(total + 1, [&](size_t) { return noNaN(a, s.wild); });
            const float* w = a.in<float>(total + 1, [&](size_t) { return float(a.rng().unit() * 2); });
            const int* pol = a.in<int>(size_t(s.nSub) + 1, [&](size_t) { return a.rng().range(0, 2); });
            const size_t n = size_t(s.nSub) * size_t(s.nCand > 0 ? s.nCand : 0) + 1;
            const StatusCode st = OKV_BODY(v, okvsVQPreliminarySelect_32f)(x, w, s.nSub, len, a.out<int>(n), a.out<int>(n),
                                                                          s.nCand, pol, cb);
            scratchOut(a, cb);
            return st;
        });
        const auto joint = [&](bool index) {
            return [&, index](chk::Arena& a, int v) -> int {
                VQCodeBook* cbs[2] = {book(a, v, s.length, s.count[0], s.wild), book(a, v, s.length, s.count[1], s.wild)};
                size_t total;
                const int* len = lengths(a, s, &total);
                const float* x = a.in<float>(total + 1, [&](size_t) { return noNaN(a, s.wild); });
                const float* w = a.in<float>(total + 1, [&](size_t) { return float(a.rng().unit() * 2); });
                const size_t n = size_t(s.nSub) * size_t(s.nCand > 0 ? s.nCand : 0) + 1;
                int* io[2] = {a.out<int>(size_t(s.nSub) + 1), a.out<int>(size_t(s.nSub) + 1)};
                int* so[2] = {a.out<int>(size_t(s.nSub) + 1), a.out<int>(size_t(s.nSub) + 1)};
                StatusCode st;
                if (index) {
                    const int* pol[2];
                    for (auto& p : pol) p = a.in<int>(size_t(s.nSub) + 1, [&](size_t) { return a.rng().range(0, 1); });
                    st = OKV_BODY(v, okvsVQIndexSelect_32f)(x, w, s.nSub, len, s.nCand, pol, io, so, cbs, 2, 0);
                } else {
                    const int *ci[2], *cs[2];
                    for (int b = 0; b < 2; ++b) {
                        const int cnt = s.count[b];
                        ci[b] = a.in<int>(n, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, cnt - 1) : cnt; });
                        cs[b] = a.in<int>(n, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, 1) : 2; });
                    }
                    st = OKV_BODY(v, okvsVQMainSelect_32f)(x, w, len, s.nSub, s.nCand, ci, cs, io, so, cbs, 2);
                }
                scratchOut(a, cbs[0]);
                scratchOut(a, cbs[1]);
                return st;
            };
        };
        c.call("okvsVQMainSelect_32f", joint(false));
        c.call("okvsVQIndexSelect_32f", joint(true));
        const int nBooks = c.rng().range(0, 4);
        c.call("okvsVQReconstruction_32f", [&](chk::Arena& a, int v) -> int {
            VQCodeBook* cbs[4];
            const int *idx[4], *sgn[4];
            for (int b = 0; b < 4; ++b) {
                const int cnt = s.count[b & 1];
                cbs[b] = book(a, v, s.length, cnt, s.wild);
                idx[b] = a.in<int>(size_t(s.nSub) + 1, [&](size_t) { return a.rng().range(0, 99) ? a.rng().range(0, cnt - 1) : -1; });
                sgn[b] = a.in<int>(size_t(s.nSub) + 1, [&](size_t) { return a.rng().range(0, 99) ? 1 - 2 * a.rng().range(0, 1) : 0; });
            }
            size_t total;
            const int* len = lengths(a, s, &total);
            return OKV_BODY(v, okvsVQReconstruction_32f)(idx, sgn, len, s.nSub, nBooks, a.out<float>(total + 1), cbs);
        });
    }
}
