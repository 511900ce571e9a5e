// Codebooks and searches against the plain models of vq_model.h; okvac vq end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "core/heap_growth.h"
#include "core/null_args.h"
#include "misc/vq_model.h"
#include "okvac.h"
#include "tool_util.h"

namespace {

using vqmodel::Book;

struct Owned {  // allocated, or (offset >= 0) in caller memory offset bytes into a vector
    VQCodeBook* p = nullptr;
    std::vector<unsigned char> mem;
    explicit Owned(const Book& b, int offset = -1) {
        int size = 0;
        EXPECT_EQ(okvsVQCodeBookGetSize_32f(b.length, b.count, &size), okvOk);
        mem.assign(size_t(size) + 64, 0xA5);
        EXPECT_EQ(offset < 0 ? okvsVQCodeBookInitAlloc_32f(b.table.data(), &p, b.length, b.count)
                             : okvsVQCodeBookInit_32f(b.table.data(), &p, b.length, b.count, mem.data() + offset),
                  okvOk);
    }
    ~Owned() { okvsVQCodeBookFree_32f(p); }
};

std::mt19937 g(11);
std::vector<float> randomVec(size_t n, float lo, float hi) {
    std::vector<float> v(n);
    for (float& x : v) x = std::uniform_real_distribution<float>(lo, hi)(g);
    return v;
}
Book randomBook(int count, int length) { return {count, length, randomVec(size_t(count * length), -2, 2)}; }
int below(int n) { return int(g() % unsigned(n)); }

constexpr int kGuard = 0x5A5A5A5A;

}  // namespace

// Random books (ties now and then), allocated or in caller memory, and subvectors of mixed lengths: the
// preliminary search and IndexSelect against the ranking model, MainSelect against every pair of random candidates.
TEST(VQSearch, MatchesModelsBitExact) {
    for (int it = 0; it < 300; ++it) {
        const int length = below(40) + 1, nSub = below(4) + 1, full = it % 4 == 1;
        const int count0 = below(it % 4 ? 24 : 256) + 1, count1 = full ? count0 : below(24) + 1;
        const int nCand = full ? std::min(count0, count1) : below(std::min(count0, count1)) + 1;
        Book b0 = randomBook(count0, length), b1 = randomBook(count1, length);
        if (it % 3 == 0) std::copy_n(b0.row(0), length, b0.table.begin() + long(length) * (count0 - 1));
        Owned c0(b0, it % 2 ? -1 : 8 * (it % 8)), c1(b1, it % 3 ? -1 : 8 * (it % 5));  // any 8-byte offset
        VQCodeBook* books[2] = {c0.p, c1.p};
        std::vector<int> len(static_cast<size_t>(nSub)), pol(len.size()), ci[2], cs[2], out[8];
        size_t total = 0;
        for (int i = 0; i < nSub; ++i) total += size_t(len[i] = below(length + 1)), pol[i] = below(3);
        const std::vector<float> x = randomVec(total + 1, -1.5f, 1.5f), w = randomVec(total + 1, 0, 2);
        std::vector<int> idx(size_t(nSub * nCand)), sgn(idx.size());
        ASSERT_EQ(okvsVQPreliminarySelect_32f(x.data(), w.data(), nSub, len.data(), idx.data(), sgn.data(), nCand,
                                              pol.data(), c0.p), okvOk);
        const int* in[4];
        int* po[8];
        for (int s = 0; s < 2; ++s) {
            for (int e = 0; e < nSub * nCand; ++e) ci[s].push_back(below(s ? count1 : count0)), cs[s].push_back(below(2));
            in[s] = ci[s].data(), in[2 + s] = cs[s].data();
        }
        for (int k = 0; k < 8; ++k) po[k] = (out[k] = std::vector<int>(size_t(nSub), kGuard)).data();
        const int* pols[2] = {pol.data(), pol.data()};
        for (size_t i = 0, at = 0; i < size_t(nSub); at += size_t(len[i]), ++i) {
            const float *xv = &x[at], *wv = &w[at];
            const vqmodel::Ranked r = vqmodel::rank(b0, xv, wv, len[i], pol[i] == 1, nCand, 1.0f);
            ASSERT_EQ(std::vector<int>(idx.begin() + long(i * nCand), idx.begin() + long((i + 1) * nCand)), r.cand) << it;
            ASSERT_EQ(std::vector<int>(sgn.begin() + long(i * nCand), sgn.begin() + long((i + 1) * nCand)), r.candFlag);
            if (i + 1 == size_t(nSub)) {  // the scratch holds the last subvector's search
                ASSERT_EQ(0, std::memcmp(c0.p->distances, r.dist.data(), 4 * size_t(count0)));
                ASSERT_EQ(0, std::memcmp(c0.p->sortedDistances, r.candDist.data(), 4 * size_t(nCand)));
            }
        }
        ASSERT_EQ(okvsVQMainSelect_32f(x.data(), w.data(), len.data(), nSub, nCand, in, in + 2, po, po + 2, books, 2), okvOk);
        ASSERT_EQ(okvsVQIndexSelect_32f(x.data(), w.data(), nSub, len.data(), nCand, pols, po + 4, po + 6, books, 2, 0), okvOk);
        for (size_t i = 0, at = 0; i < size_t(nSub); at += size_t(len[i]), ++i) {
            const float *xv = &x[at], *wv = &w[at];
            const int L = len[i], base = int(i) * nCand;
            const vqmodel::Pair m = vqmodel::firstBest(nCand, nCand, [&](int a, int b) {
                return vqmodel::mainScore(xv, wv, L, b0.row(ci[0][base + a]), cs[0][base + a], b1.row(ci[1][base + b]),
                                          cs[1][base + b]);
            });
            ASSERT_EQ((std::vector<int>{out[0][i], out[1][i], out[2][i], out[3][i]}),
                      (std::vector<int>{ci[0][base + m.a], ci[1][base + m.b], cs[0][base + m.a], cs[1][base + m.b]}))
                << "MainSelect " << it << " subvector " << i;
            const vqmodel::Ranked r0 = vqmodel::rank(b0, xv, wv, L, pol[i] == 1, nCand, 2.0f);
            const vqmodel::Ranked r1 = vqmodel::rank(b1, xv, wv, L, pol[i] == 1, nCand, 2.0f);
            const vqmodel::Pair p = vqmodel::firstBest(nCand, nCand, [&](int a, int b) {
                return vqmodel::indexScore(wv, L, b0.row(r0.cand[a]), r0.candFlag[a], r0.candDist[a], b1.row(r1.cand[b]),
                                           r1.candFlag[b], r1.candDist[b]);
            });
            ASSERT_EQ((std::vector<int>{out[4][i], out[5][i], out[6][i], out[7][i]}),
                      (std::vector<int>{r0.cand[p.a], r1.cand[p.b], r0.candFlag[p.a], r1.candFlag[p.b]}))
                << "IndexSelect " << it << " subvector " << i;
            if (i + 1 == size_t(nSub)) {  // flags rewritten into candidate order
                ASSERT_EQ(std::vector<int>(c1.p->signs, c1.p->signs + nCand), r1.candFlag);
            }
        }
        // Reconstruction of one to three books (the first again as the third): the mean of the signed rows.
        const int nBooks = 1 + it % 3;
        VQCodeBook* three[3] = {c0.p, c1.p, c0.p};
        const Book* rowsOf[3] = {&b0, &b1, &b0};
        for (auto& flags : cs)
            for (int& v : flags) v = 1 - 2 * v;
        const int* pi[3] = {ci[0].data(), ci[1].data(), ci[0].data()};
        const int* ps[3] = {cs[0].data(), cs[1].data(), cs[1].data()};
        std::vector<float> rec(total + 1, 7.0f);
        ASSERT_EQ(okvsVQReconstruction_32f(pi, ps, len.data(), nSub, nBooks, rec.data(), three), okvOk);
        for (size_t i = 0, at = 0; i < size_t(nSub); ++i)
            for (int k = 0; k < len[i]; ++k, ++at) {
                float want = float(ps[0][i]) * rowsOf[0]->row(pi[0][i])[k];
                for (int s = 1; s < nBooks; ++s) want += float(ps[s][i]) * rowsOf[s]->row(pi[s][i])[k];
                ASSERT_EQ(rec[at], want * (1.0f / float(nBooks))) << nBooks << " books, subvector " << i << " k " << k;
            }
        EXPECT_EQ(rec[total], 7.0f);
    }
}

// Refusals write nothing, each pointer null in turn included; NaN or huge scores still give valid
// indices; freed codebooks search.
TEST(VQArguments, RefusalsWriteNothing) {
    const float table[8] = {1, 0, 0, 1, -1, 0, 0, -1};
    Owned a(Book{4, 2, {table, table + 8}}), b(Book{4, 2, {table, table + 8}}), c(Book{8, 1, {table, table + 8}});
    EXPECT_EQ(a.p->selfOwned, 1);
    float x[4] = {0.5f, 0.25f, 1, 1}, w[4] = {1, 1, 1, 1}, dst[4] = {9, 9, 9, 9};
    int len[2] = {2, 2}, pol[2] = {1, 1}, out[4][4], cand[2][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}}, flags[2][4] = {};
    const int *pc[2] = {cand[0], cand[1]}, *pf[2] = {flags[0], flags[1]}, *pp[3] = {pol, pol, nullptr};
    int *po[2] = {out[0], out[1]}, *ps[2] = {out[2], out[3]};
    VQCodeBook *books[3] = {a.p, b.p, nullptr}, *same[2] = {a.p, a.p};
    VQCodeBook *shortB[2] = {a.p, c.p}, *shortA[2] = {c.p, a.p};  // rows of 1: vectors of 2 do not fit
    // Preliminary, Main, Index and Reconstruction with nSub subvectors, nCand candidates, nb books.
    const auto sel = [&](int which, int nSub, int nCand, int nb, VQCodeBook** bk = nullptr) {
        bk = bk ? bk : books;
        return which == 0 ? okvsVQPreliminarySelect_32f(x, w, nSub, len, out[0], out[1], nCand, pol, bk[0])
             : which == 1 ? okvsVQMainSelect_32f(x, w, len, nSub, nCand, pc, pf, po, ps, bk, nb)
             : which == 2 ? okvsVQIndexSelect_32f(x, w, nSub, len, nCand, pp, po, ps, bk, nb, 0)
                          : okvsVQReconstruction_32f(pc, pf, len, nSub, nb, dst, bk);
    };
    const auto all = [&](int nSub, VQCodeBook** bk = nullptr) {
        return sel(1, nSub, 2, 2, bk) + sel(2, nSub, 2, 2, bk) + sel(3, nSub, 2, 2, bk);
    };
    int size = -1;
    VQCodeBook* cb = nullptr;
    alignas(64) unsigned char mem[4096];
    const int n = (INT32_MAX - 1888) / (16 * 8 + 352);  // the most codevectors of length 8 whose size fits 32 bits
    const auto getSize = [&](int length, int count, int* p) { return okvsVQCodeBookGetSize_32f(length, count, p); };
    const auto init = [&](const float* t, VQCodeBook** pp, int count, void* m) {
        return m ? okvsVQCodeBookInit_32f(t, pp, 8, count, m) : okvsVQCodeBookInitAlloc_32f(t, pp, 8, count);
    };
    // The searches with every pointer argument null in turn, and each entry of every list.
    const auto pre = [](auto x, auto w, auto len, auto i, auto s, auto pol, auto bk) {
        return okvsVQPreliminarySelect_32f(x, w, 2, len, i, s, 2, pol, bk);
    };
    const auto main = [](auto x, auto w, auto len, auto i, auto f, auto o, auto s, auto bk) {
        return okvsVQMainSelect_32f(x, w, len, 2, 2, i, f, o, s, bk, 2);
    };
    const auto index = [](auto x, auto w, auto len, auto p, auto o, auto s, auto bk) {
        return okvsVQIndexSelect_32f(x, w, 2, len, 2, p, o, s, bk, 2, 0);
    };
    const auto recon = [](auto i, auto s, auto len, auto d, auto bk) { return okvsVQReconstruction_32f(i, s, len, 2, 2, d, bk); };
    const auto holes = [&](int h) {
        const int* in[2] = {h ? pc[0] : nullptr, h ? nullptr : pc[1]};
        int* io[2] = {h ? po[0] : nullptr, h ? nullptr : po[1]};
        VQCodeBook* bk[2] = {h ? a.p : nullptr, h ? nullptr : b.p};
        return main(x, w, len, in, pf, po, ps, books) + main(x, w, len, pc, in, po, ps, books) +
               main(x, w, len, pc, pf, io, ps, books) + main(x, w, len, pc, pf, po, io, books) +
               main(x, w, len, pc, pf, po, ps, bk) + index(x, w, len, in, po, ps, books) + index(x, w, len, pp, io, ps, books) +
               index(x, w, len, pp, po, io, books) + index(x, w, len, pp, po, ps, bk) + recon(in, pf, len, dst, books) +
               recon(pc, in, len, dst, books) + recon(pc, pf, len, dst, bk);
    };
    using nullargs::firstNullNotRefused;
    const std::pair<std::function<int()>, int> cases[] = {
        {[&] { return getSize(1, 1, nullptr) + getSize(0, 1, &size) + getSize(1, 0, &size) + getSize(8, n + 1, &size); },
         okvErrNullPtr + 3 * okvErrSize},
        {[&] { return getSize(INT32_MAX, 1, &size) + getSize(INT32_MAX, INT32_MAX, &size); }, 2 * okvErrSize},
        {[&] { return getSize(8, n, &size) + size; }, (16 * 8 + 352) * n + 1888},
        {[&] { return init(table, &cb, n + 1, mem) + init(table, &cb, n + 1, nullptr); }, 2 * okvErrSize},
        {[&] { return init(nullptr, &cb, 1, mem) + init(table, nullptr, 1, mem) + init(nullptr, &cb, 1, nullptr) +
                      okvsVQCodeBookInit_32f(table, &cb, 1, 1, nullptr) + okvsVQCodeBookFree_32f(nullptr); },
         5 * okvErrNullPtr},
        {[&] { return sel(0, 0, 2, 2) + all(0); }, okvOk},
        {[&] { return sel(0, 2, 0, 2) + sel(1, 2, 0, 2) + sel(0, 2, 5, 2) + sel(2, 2, 5, 2); }, 4 * okvErrSize},
        {[&] { return sel(1, 2, 2, 1) + sel(2, 2, 2, 3) + sel(3, 2, 2, 0); }, 3 * okvErrSize},
        {[&] { return sel(2, 2, 2, 2, same); }, okvErrBadArg},
        {[&] {
             return firstNullNotRefused(pre, x, w, len, out[0], out[1], pol, a.p) +
                    firstNullNotRefused(main, x, w, len, pc, pf, po, ps, books) +
                    firstNullNotRefused(index, x, w, len, pp, po, ps, books) +
                    firstNullNotRefused(recon, pc, pf, len, dst, books);
         }, -4},
        {[&] { return holes(0) + holes(1); }, 24 * okvErrNullPtr},
        {[&] { return all(2, shortA) + all(2, shortB); }, 6 * okvErrSize},
        {[&] { len[1] = 3; return sel(0, 2, 2, 2) + all(2); }, 4 * okvErrSize},
        {[&] { len[1] = -1; return sel(0, 2, 2, 2) + all(2); }, 4 * okvErrSize},
        {[&] { len[1] = 2, flags[0][0] = 2; const int st = sel(1, 2, 2, 2); flags[0][0] = 0; return st; }, okvErrBadArg},
        {[&] { flags[1][2] = 2; return sel(1, 2, 2, 2); }, okvErrBadArg},
        {[&] { flags[1][2] = 0; return sel(3, 2, 2, 2); }, okvErrBadArg},  // 0/1 flags as reconstruction signs
        {[&] { cand[0][1] = 4; return sel(1, 2, 2, 2) + sel(3, 2, 2, 2); }, 2 * okvErrSize},
        {[&] { cand[0][1] = -1; return sel(1, 2, 2, 2) + sel(3, 2, 2, 2); }, 2 * okvErrSize},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        for (auto& row : out) std::fill_n(row, 4, kGuard);
        EXPECT_EQ(cases[k].first(), cases[k].second) << "case " << k;
        for (auto& row : out) EXPECT_EQ(std::count(row, row + 4, kGuard), 4) << "case " << k;
        EXPECT_TRUE(dst[0] == 9 && dst[3] == 9 && cb == nullptr) << "case " << k;
    }
    EXPECT_LT(heaptest::growth([&] {  // Free releases what InitAlloc took
                  okvsVQCodeBookInitAlloc_32f(table, &cb, 2, 4);
                  okvsVQCodeBookFree_32f(std::exchange(cb, nullptr));
              }),
              16384);
    cand[0][1] = 1;
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), 3e19f}) {  // 3e19^2 overflows
        x[0] = x[2] = bad;
        ASSERT_EQ(sel(0, 2, 2, 2), okvOk);
        for (int e = 0; e < 4; ++e) EXPECT_TRUE(out[0][e] == 0 && out[1][e] == 0) << bad;
        ASSERT_EQ(sel(2, 2, 2, 2) + sel(1, 2, 2, 2), okvOk);
        for (int s = 0; s < 2; ++s) EXPECT_TRUE(out[s][0] >= 0 && out[s][0] < 4 && out[2 + s][0] >= 0 && out[2 + s][0] <= 1);
    }
    const float t4[4] = {1, 2, 3, 4}, x1 = 2.9f, w1 = 1;
    const int len1 = 1, pol1 = 0;
    int idx = -1, sgn = -1;
    ASSERT_EQ(okvsVQCodeBookInit_32f(t4, &cb, 1, 4, mem), okvOk);
    ASSERT_EQ(okvsVQCodeBookFree_32f(cb), okvOk);
    EXPECT_EQ(cb->valid, 0);
    EXPECT_EQ(okvsVQPreliminarySelect_32f(&x1, &w1, 1, &len1, &idx, &sgn, 1, &pol1, cb), okvOk);
    EXPECT_EQ(idx, 2);
}

// Two-step near exhaustive, random far behind, saved codebooks load back.
TEST(VQTool, TwoStepNearExhaustiveOnGaussianMixture) {
    const tooltest::TempDir dir("vq_tool_");
    const auto runVq = [&](const std::string& args) {  // the dB figure of each result line, by its first word
        std::string text, line;
        EXPECT_EQ(tooltest::shell(tooltest::q(tooltest::okvacPath()) + " vq " + args, &text, dir.path / "log"), 0) << text;
        std::map<std::string, double> db;
        std::istringstream lines(text);
        char name[64];
        double v;
        while (std::getline(lines, line))
            if (std::sscanf(line.c_str(), "%63s %lf dB", name, &v) == 2) db[name] = v;
        return db;
    };
    const std::string books = tooltest::q(dir.path / "books");
    const auto db = runVq("--synthetic 4000 --size 64 --dim 16 --cand 8 --save " + books);
    ASSERT_EQ(db.size(), 4u);
    EXPECT_GE(std::min(db.at("two-step"), db.at("combined")), db.at("exhaustive") - 0.3);
    EXPECT_LE(db.at("random"), db.at("two-step") - 6.0);
    EXPECT_GT(db.at("exhaustive"), 5.0);  // training did something
    EXPECT_EQ(runVq("--synthetic 4000 --cand 8 --load " + books), db);
}
