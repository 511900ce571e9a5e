// TwinVQ codebooks and searches against the plain models of vq_model.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "misc/vq_model.h"
#include "okvac.h"

namespace {

using vqmodel::Book;

struct Owned {
    VQCodeBook* p = nullptr;
    explicit Owned(const Book& b) { EXPECT_EQ(okvsVQCodeBookInitAlloc_32f(b.table.data(), &p, b.length, b.count), okvOk); }
    ~Owned() { okvsVQCodeBookFree_32f(p); }
};

Book randomBook(std::mt19937& g, int count, int length) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    Book b{count, length, std::vector<float>(size_t(count) * size_t(length))};
    for (float& v : b.table) v = n(g);
    return b;
}

std::vector<float> randomVec(std::mt19937& g, size_t n, float lo, float hi) {
    std::uniform_real_distribution<float> u(lo, hi);
    std::vector<float> v(n);
    for (float& x : v) x = u(g);
    return v;
}

constexpr int kGuard = 0x5A5A5A5A;

}  // namespace

TEST(VQCodeBook, LayoutFitsForEveryAlignment) {
    for (auto [length, count] : {std::pair{1, 1}, {3, 5}, {16, 64}, {17, 33}}) {
        int size = 0;
        ASSERT_EQ(okvsVQCodeBookGetSize_32f(length, count, &size), okvOk);
        EXPECT_EQ(size, (16 * length + 352) * count + 1888);
        std::vector<float> table(size_t(length) * count);
        for (size_t i = 0; i < table.size(); ++i) table[i] = float(i) + 0.5f;
        std::vector<unsigned char> mem(size_t(size) + 64);
        for (int off = 0; off < 64; ++off) {
            unsigned char* base = mem.data() + off;
            const auto inside = [&](const void* p, size_t bytes) {
                const auto* q = static_cast<const unsigned char*>(p);
                return q >= base && q + bytes <= base + size && (reinterpret_cast<uintptr_t>(q) & 63) == 0;
            };
            VQCodeBook* cb = nullptr;
            ASSERT_EQ(okvsVQCodeBookInit_32f(table.data(), &cb, length, count, base), okvOk);
            ASSERT_EQ(static_cast<void*>(cb), base);
            VQCodeBook h;
            std::memcpy(&h, base, sizeof h);
            EXPECT_EQ((std::vector<int>{h.count, h.length, h.valid, h.selfOwned}), (std::vector<int>{count, length, 1, 0}));
            const auto* rowsAt = reinterpret_cast<unsigned char*>(h.rows);
            EXPECT_EQ(rowsAt, base + ((reinterpret_cast<uintptr_t>(base) + sizeof h + 63) / 64 * 64 - reinterpret_cast<uintptr_t>(base)));
            const size_t rowBytes = (4 * size_t(length) + 63) / 64 * 64, scr = (4 * size_t(count) + 63) / 64 * 64;
            const unsigned char* next = rowsAt + (8 * size_t(count) + 63) / 64 * 64;
            for (int c = 0; c < count; ++c, next += rowBytes) {
                ASSERT_EQ(reinterpret_cast<unsigned char*>(h.rows[c]), next);
                ASSERT_EQ(0, std::memcmp(h.rows[c], &table[size_t(c) * length], 4 * size_t(length)));
            }
            const void* scratch[4] = {h.distances, h.signs, h.sortedDistances, h.candidates};
            for (int s = 0; s < 4; ++s) EXPECT_EQ(scratch[s], next + s * scr) << "scratch " << s;
            EXPECT_TRUE(inside(h.rows, 8 * size_t(count)) && inside(h.candidates, 4 * size_t(count)))
                << "offset " << off;
            ASSERT_EQ(okvsVQCodeBookFree_32f(cb), okvOk);
            std::memcpy(&h, base, sizeof h);
            EXPECT_EQ(h.valid, 0);
        }
    }
}

TEST(VQCodeBook, StatusesAndOwnership) {
    int size = -1;
    const float t[4] = {1, 2, 3, 4};
    VQCodeBook* cb = nullptr;
    alignas(64) unsigned char mem[4096];
    EXPECT_EQ(okvsVQCodeBookGetSize_32f(1, 1, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsVQCodeBookGetSize_32f(0, 1, &size), okvErrSize);
    EXPECT_EQ(okvsVQCodeBookGetSize_32f(1, 0, &size), okvErrSize);
    // The largest size that fits 32 bits, and one codevector more.
    const int n = (std::numeric_limits<int>::max() - 1888) / (16 * 8 + 352);
    EXPECT_EQ(okvsVQCodeBookGetSize_32f(8, n, &size), okvOk);
    EXPECT_EQ(size, (16 * 8 + 352) * n + 1888);
    EXPECT_EQ(okvsVQCodeBookGetSize_32f(8, n + 1, &size), okvErrSize);
    EXPECT_EQ(okvsVQCodeBookInit_32f(t, &cb, 8, n + 1, mem), okvErrSize);
    EXPECT_EQ(okvsVQCodeBookInitAlloc_32f(t, &cb, 8, n + 1), okvErrSize);
    EXPECT_EQ(okvsVQCodeBookInit_32f(nullptr, &cb, 1, 1, mem), okvErrNullPtr);
    EXPECT_EQ(okvsVQCodeBookInit_32f(t, nullptr, 1, 1, mem), okvErrNullPtr);
    EXPECT_EQ(okvsVQCodeBookInit_32f(t, &cb, 1, 1, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsVQCodeBookInitAlloc_32f(nullptr, &cb, 1, 1), okvErrNullPtr);
    EXPECT_EQ(cb, nullptr);
    EXPECT_EQ(okvsVQCodeBookFree_32f(nullptr), okvErrNullPtr);

    ASSERT_EQ(okvsVQCodeBookInitAlloc_32f(t, &cb, 2, 2), okvOk);
    EXPECT_EQ(cb->selfOwned, 1);
    EXPECT_EQ(okvsVQCodeBookFree_32f(cb), okvOk);  // released: ASan reports a leak or a double free

    // Nothing tests the valid word: a freed caller-memory codebook still searches.
    ASSERT_EQ(okvsVQCodeBookInit_32f(t, &cb, 1, 4, mem), okvOk);
    ASSERT_EQ(okvsVQCodeBookFree_32f(cb), okvOk);
    const float x = 2.9f, w = 1;
    const int len = 1, pol = 0;
    int idx = -1, sgn = -1;
    EXPECT_EQ(okvsVQPreliminarySelect_32f(&x, &w, 1, &len, &idx, &sgn, 1, &pol, cb), okvOk);
    EXPECT_EQ(idx, 2);
}

// Random codebooks and targets, several subvectors of mixed lengths per call.
TEST(VQPreliminary, MatchesPlainTranscriptionBitExact) {
    std::mt19937 g(11);
    for (int it = 0; it < 300; ++it) {
        const int count = it % 5 == 0 ? int(g() % 256) + 1 : int(g() % 20) + 1, length = int(g() % 40) + 1;
        const int nCand = int(g() % unsigned(count)) + 1, nSub = int(g() % 4) + 1;
        Book b = randomBook(g, count, length);
        if (it % 3 == 0) std::copy_n(b.row(0), length, b.table.begin() + long(length) * (count - 1));  // a tie
        Owned cb(b);
        std::vector<int> len(static_cast<size_t>(nSub)), pol(static_cast<size_t>(nSub));
        size_t total = 0;
        for (int i = 0; i < nSub; ++i) total += size_t(len[i] = int(g() % unsigned(length + 1))), pol[i] = int(g() % 3);
        const std::vector<float> x = randomVec(g, total + 1, -2, 2), w = randomVec(g, total + 1, 0, 3);
        std::vector<int> idx(size_t(nSub * nCand)), sgn(idx.size());
        ASSERT_EQ(okvsVQPreliminarySelect_32f(x.data(), w.data(), nSub, len.data(), idx.data(), sgn.data(), nCand,
                                              pol.data(), cb.p), okvOk);
        size_t at = 0;
        for (int i = 0; i < nSub; ++i) {
            const vqmodel::Ranked r = vqmodel::rank(b, &x[at], &w[at], len[i], pol[i] == 1, nCand, 1.0f);
            at += size_t(len[i]);
            ASSERT_EQ(std::vector<int>(idx.begin() + i * nCand, idx.begin() + (i + 1) * nCand), r.cand) << "it " << it;
            ASSERT_EQ(std::vector<int>(sgn.begin() + i * nCand, sgn.begin() + (i + 1) * nCand), r.candFlag);
            if (pol[i] != 1) {
                ASSERT_EQ(r.candFlag, std::vector<int>(size_t(nCand), 0));
            }
            // Independently of the insertion rule: the kept distances are the nCand smallest.
            std::vector<float> all = r.dist, kept;
            for (int t = 0; t < nCand; ++t) kept.push_back(all[size_t(idx[size_t(i * nCand + t)])]);
            std::sort(all.begin(), all.end());
            if (nCand < count) {
                ASSERT_TRUE(std::is_sorted(kept.begin(), kept.end()));
            }
            std::sort(kept.begin(), kept.end());
            ASSERT_EQ(kept, std::vector<float>(all.begin(), all.begin() + nCand));
        }
        // The scratch holds the last subvector's search.
        const vqmodel::Ranked last = vqmodel::rank(b, &x[at - len[nSub - 1]], &w[at - len[nSub - 1]], len[nSub - 1],
                                                   pol[nSub - 1] == 1, nCand, 1.0f);
        ASSERT_EQ(0, std::memcmp(cb.p->distances, last.dist.data(), 4 * size_t(count)));
        ASSERT_EQ(0, std::memcmp(cb.p->sortedDistances, last.candDist.data(), 4 * size_t(nCand)));
    }
}

// MainSelect against every candidate pair; IndexSelect against the model of both steps;
// with polarity 0 and nCand = count, IndexSelect finds the global optimum.
TEST(VQJoint, MatchesExhaustiveSearchOverCandidates) {
    std::mt19937 g(5);
    for (int it = 0; it < 200; ++it) {
        const int length = int(g() % 40) + 1, nSub = int(g() % 3) + 1;
        const bool full = it % 4 == 1;
        const int count0 = int(g() % (it % 4 ? 24 : 256)) + 1, count1 = full ? count0 : int(g() % 24) + 1;
        const int nCand = full ? std::min(count0, count1) : int(g() % unsigned(std::min(count0, count1))) + 1;
        const Book b0 = randomBook(g, count0, length), b1 = randomBook(g, count1, length);
        Owned c0(b0), c1(b1);
        VQCodeBook* books[2] = {c0.p, c1.p};
        std::vector<int> len(static_cast<size_t>(nSub));
        size_t total = 0;
        for (int& l : len) total += size_t(l = int(g() % unsigned(length + 1)));
        const std::vector<float> x = randomVec(g, total + 1, -1.5f, 1.5f), w = randomVec(g, total + 1, 0, 2);
        std::vector<int> pol0(static_cast<size_t>(nSub)), pol1(static_cast<size_t>(nSub));
        for (int i = 0; i < nSub; ++i) pol0[i] = full && it % 8 == 1 ? 0 : int(g() % 2), pol1[i] = pol0[i];
        const int* pol[2] = {pol0.data(), pol1.data()};

        // Random candidate lists (repeats allowed) for MainSelect.
        std::vector<int> ci[2], cs[2], mi[2], ms[2], xi[2], xs[2];
        for (int s = 0; s < 2; ++s) {
            for (int e = 0; e < nSub * nCand; ++e) ci[s].push_back(int(g() % unsigned(s ? count1 : count0))), cs[s].push_back(int(g() % 2));
            mi[s] = ms[s] = xi[s] = xs[s] = std::vector<int>(size_t(nSub), kGuard);
        }
        const int* pci[2] = {ci[0].data(), ci[1].data()};
        const int* pcs[2] = {cs[0].data(), cs[1].data()};
        int* pmi[2] = {mi[0].data(), mi[1].data()};
        int* pms[2] = {ms[0].data(), ms[1].data()};
        int* pxi[2] = {xi[0].data(), xi[1].data()};
        int* pxs[2] = {xs[0].data(), xs[1].data()};
        ASSERT_EQ(okvsVQMainSelect_32f(x.data(), w.data(), len.data(), nSub, nCand, pci, pcs, pmi, pms, books, 2), okvOk);
        ASSERT_EQ(okvsVQIndexSelect_32f(x.data(), w.data(), nSub, len.data(), nCand, pol, pxi, pxs, books, 2, 0), okvOk);

        size_t at = 0;
        for (int i = 0; i < nSub; ++i) {
            const float *xv = &x[at], *wv = &w[at];
            const int L = len[i], base = i * nCand;
            at += size_t(L);
            const vqmodel::Pair m = vqmodel::firstBest(nCand, nCand, [&](int a, int b) {
                return vqmodel::mainScore(xv, wv, L, b0.row(ci[0][base + a]), cs[0][base + a], b1.row(ci[1][base + b]),
                                          cs[1][base + b]);
            });
            ASSERT_EQ((std::vector<int>{mi[0][i], mi[1][i], ms[0][i], ms[1][i]}),
                      (std::vector<int>{ci[0][base + m.a], ci[1][base + m.b], cs[0][base + m.a], cs[1][base + m.b]}))
                << "MainSelect it " << it << " subvector " << i;

            const vqmodel::Ranked r0 = vqmodel::rank(b0, xv, wv, L, pol0[i] == 1, nCand, 2.0f);
            const vqmodel::Ranked r1 = vqmodel::rank(b1, xv, wv, L, pol1[i] == 1, nCand, 2.0f);
            const vqmodel::Pair p = vqmodel::firstBest(nCand, nCand, [&](int a, int b) {
                return vqmodel::indexScore(wv, L, b0.row(r0.cand[a]), r0.candFlag[a], r0.candDist[a],
                                           b1.row(r1.cand[b]), r1.candFlag[b], r1.candDist[b]);
            });
            ASSERT_EQ((std::vector<int>{xi[0][i], xi[1][i], xs[0][i], xs[1][i]}),
                      (std::vector<int>{r0.cand[p.a], r1.cand[p.b], r0.candFlag[p.a], r1.candFlag[p.b]}))
                << "IndexSelect it " << it << " subvector " << i;
            if (i == nSub - 1) {  // the scratch: flags rewritten into candidate order
                ASSERT_EQ(std::vector<int>(c1.p->signs, c1.p->signs + nCand), r1.candFlag);
            }

            if (full && pol0[i] == 0) {
                const vqmodel::Pair best = vqmodel::globalSearch(b0, b1, xv, wv, L, false);
                double tol = 0;
                for (int k = 0; k < L; ++k) {
                    const double s = std::fabs(xv[k]) + std::fabs(b0.row(xi[0][i])[k]) + std::fabs(b1.row(xi[1][i])[k]);
                    tol += 1e-5 * wv[k] * s * s;
                }
                const double got = vqmodel::exactScore(xv, wv, L, b0.row(xi[0][i]), 0, b1.row(xi[1][i]), 0);
                ASSERT_LE(got, vqmodel::exactScore(xv, wv, L, b0.row(best.a), 0, b1.row(best.b), 0) + tol);
            }
        }
    }
}

TEST(VQReconstruction, MeanOfSignedRows) {
    std::mt19937 g(3);
    for (int nBooks = 1; nBooks <= 3; ++nBooks) {
        std::vector<Book> books;
        std::vector<Owned*> owned;
        std::vector<VQCodeBook*> ptr;
        for (int s = 0; s < nBooks; ++s) {
            books.push_back(randomBook(g, 7, 13));
            owned.push_back(new Owned(books.back()));
            ptr.push_back(owned.back()->p);
        }
        const std::vector<int> len = {13, 0, 5, 1, 8};
        std::vector<std::vector<int>> idx(static_cast<size_t>(nBooks)), sgn(static_cast<size_t>(nBooks));
        std::vector<const int*> pi, ps;
        for (int s = 0; s < nBooks; ++s) {
            for (size_t i = 0; i < len.size(); ++i) idx[s].push_back(int(g() % 7)), sgn[s].push_back(g() % 2 ? 1 : -1);
            pi.push_back(idx[s].data());
            ps.push_back(sgn[s].data());
        }
        std::vector<float> dst(28, 7.0f);
        ASSERT_EQ(okvsVQReconstruction_32f(pi.data(), ps.data(), len.data(), 5, nBooks, dst.data(), ptr.data()), okvOk);
        size_t at = 0;
        for (size_t i = 0; i < len.size(); ++i)
            for (int k = 0; k < len[i]; ++k, ++at) {
                float want = float(sgn[0][i]) * books[0].row(idx[0][i])[k];
                for (int s = 1; s < nBooks; ++s) want += float(sgn[s][i]) * books[s].row(idx[s][i])[k];
                want *= 1.0f / float(nBooks);
                ASSERT_EQ(dst[at], want) << nBooks << " books, subvector " << i << " k " << k;
            }
        EXPECT_EQ((std::vector<float>(dst.begin() + 27, dst.end())), std::vector<float>{7.0f});  // T = 27
        for (Owned* o : owned) delete o;
    }
}

// Every refused call returns before writing; inputs that score NaN or beyond 1e38
// still give valid indices.
TEST(VQArguments, RefusedBeforeAnyWriteAndValidIndicesOnNaN) {
    const float table[8] = {1, 0, 0, 1, -1, 0, 0, -1};
    Owned a(Book{4, 2, {table, table + 8}}), b(Book{4, 2, {table, table + 8}});
    float x[4] = {0.5f, 0.25f, 1, 1}, w[4] = {1, 1, 1, 1}, dst[4] = {9, 9, 9, 9};
    int len[2] = {2, 2}, pol[2] = {1, 1}, out[4][4], cand[2][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}}, flags[2][4] = {};
    const int* pc[2] = {cand[0], cand[1]};
    const int* pf[2] = {flags[0], flags[1]};
    const int* pp[3] = {pol, pol, nullptr};  // a third entry, null: only nCodeBooks entries are read
    int* po[2] = {out[0], out[1]};
    int* ps[2] = {out[2], out[3]};
    VQCodeBook* books[3] = {a.p, b.p, nullptr};
    VQCodeBook* same[2] = {a.p, a.p};
    VQCodeBook* holed[2] = {a.p, nullptr};
    const auto prelim = [&](int nSub, int nCand) {
        return okvsVQPreliminarySelect_32f(x, w, nSub, len, out[0], out[1], nCand, pol, a.p);
    };
    const auto mainSel = [&](int nSub, int nCand, int nBooks, VQCodeBook** bk = nullptr) {
        return okvsVQMainSelect_32f(x, w, len, nSub, nCand, pc, pf, po, ps, bk ? bk : books, nBooks);
    };
    const auto indexSel = [&](int nSub, int nCand, int nBooks, VQCodeBook** bk = nullptr) {
        return okvsVQIndexSelect_32f(x, w, nSub, len, nCand, pp, po, ps, bk ? bk : books, nBooks, 0);
    };
    const auto recon = [&](int nSub, int nBooks, VQCodeBook** bk = nullptr) {
        return okvsVQReconstruction_32f(pc, pf, len, nSub, nBooks, dst, bk ? bk : books);
    };
    const auto fill = [&] { for (auto& r : out) std::fill_n(r, 4, kGuard); };
    const auto untouched = [&] {
        for (auto& r : out)
            for (int v : r)
                if (v != kGuard) return false;
        return dst[0] == 9 && dst[3] == 9;
    };
    struct Refusal {
        const char* what;
        std::function<int()> call;
        int want;
    };
    int& len1 = len[1];
    int& flag = flags[1][2];
    int& idx = cand[0][1];
    const Refusal refusals[] = {
        {"nSubVec 0", [&] { return prelim(0, 2) + mainSel(0, 2, 2) + indexSel(0, 2, 2) + recon(0, 2); }, okvOk},
        {"nCand 0", [&] { return prelim(2, 0); }, okvErrSize},
        {"nCand above count", [&] { return prelim(2, 5); }, okvErrSize},
        {"Main nCand 0", [&] { return mainSel(2, 0, 2); }, okvErrSize},
        {"Index nCand above count", [&] { return indexSel(2, 5, 2); }, okvErrSize},
        {"Main one codebook", [&] { return mainSel(2, 2, 1); }, okvErrSize},
        {"Index three codebooks", [&] { return indexSel(2, 2, 3); }, okvErrSize},
        {"Reconstruction no codebook", [&] { return recon(2, 0); }, okvErrSize},
        {"Index one codebook twice", [&] { return indexSel(2, 2, 2, same); }, okvErrBadArg},
        {"null output list", [&] { po[1] = nullptr; const int r = indexSel(2, 2, 2); po[1] = out[1]; return r; }, okvErrNullPtr},
        {"null weights", [&] { return okvsVQIndexSelect_32f(x, nullptr, 2, len, 2, pp, po, ps, books, 2, 0); }, okvErrNullPtr},
        {"inner null codebook", [&] { return mainSel(2, 2, 2, holed) + indexSel(2, 2, 2, holed) + recon(2, 2, holed); },
         3 * okvErrNullPtr},
        {"vector longer than the rows", [&] { len1 = 3; return prelim(2, 2) + mainSel(2, 2, 2) + indexSel(2, 2, 2) + recon(2, 2); },
         4 * okvErrSize},
        {"negative vector length", [&] { len1 = -1; return prelim(2, 2) + mainSel(2, 2, 2) + indexSel(2, 2, 2) + recon(2, 2); },
         4 * okvErrSize},
        {"flag 2", [&] { len1 = 2; flag = 2; return mainSel(2, 2, 2); }, okvErrBadArg},
        {"0/1 flags as reconstruction signs", [&] { flag = 0; return recon(2, 2); }, okvErrBadArg},
        {"index 4", [&] { idx = 4; return mainSel(2, 2, 2) + recon(2, 2); }, 2 * okvErrSize},
        {"index -1", [&] { idx = -1; return mainSel(2, 2, 2) + recon(2, 2); }, 2 * okvErrSize},
    };
    for (const Refusal& r : refusals) {
        fill();
        EXPECT_EQ(r.call(), r.want) << r.what;
        EXPECT_TRUE(untouched()) << r.what;
    }
    idx = 1;
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), 3e19f}) {  // 3e19^2 overflows
        x[0] = x[2] = bad;
        fill();
        ASSERT_EQ(prelim(2, 2), okvOk);
        for (int e = 0; e < 4; ++e) EXPECT_TRUE(out[0][e] == 0 && out[1][e] == 0) << bad;
        ASSERT_EQ(indexSel(2, 2, 2), okvOk);
        ASSERT_EQ(mainSel(2, 2, 2), okvOk);
        for (int s = 0; s < 2; ++s) EXPECT_TRUE(out[s][0] >= 0 && out[s][0] < 4 && out[2 + s][0] >= 0 && out[2 + s][0] <= 1);
    }
}
