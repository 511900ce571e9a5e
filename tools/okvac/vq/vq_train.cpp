#include "vq/vq_train.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace okvac::vq {

namespace {

constexpr char kMagic[4] = {'O', 'K', 'V', 'Q'};

Choice sized(size_t n) {
    Choice c;
    for (int s = 0; s < 2; ++s) c.index[s].assign(n, 0), c.flag[s].assign(n, 0);
    return c;
}

float sign(int flag) { return flag ? -1.0f : 1.0f; }

}  // namespace

CodeBookPair::CodeBookPair(int size, int dim) : size_(size), dim_(dim) {
    for (auto& t : table_) t.assign(size_t(size) * size_t(dim), 0.0f);
    rebuild();
}

CodeBookPair::~CodeBookPair() {
    for (VQCodeBook* b : book_) okvsVQCodeBookFree_32f(b);
}

void CodeBookPair::rebuild() {
    for (int s = 0; s < 2; ++s) {
        okvsVQCodeBookFree_32f(book_[s]);
        book_[s] = nullptr;
        okvsVQCodeBookInitAlloc_32f(table_[s].data(), &book_[s], dim_, size_);
    }
}

void CodeBookPair::set(const std::vector<float> table[2]) {
    table_[0] = table[0];
    table_[1] = table[1];
    rebuild();
}

void CodeBookPair::train(const Dataset& d, int nCand, int iterations) {
    const size_t n = d.size(), D = size_t(dim_);
    std::mt19937 g(7);
    for (auto& t : table_)
        for (size_t c = 0; c < size_t(size_); ++c)
            std::memcpy(&t[c * D], &d.x[(g() % n) * D], D * sizeof(float));
    rebuild();
    std::vector<double> num(table_[0].size()), den(num.size());
    for (int it = 0; it < iterations; ++it) {
        const Choice ch = combined(d, nCand);
        for (int s = 0; s < 2; ++s) {  // codebook s moves, the other stays
            const int o = 1 - s;
            std::fill(num.begin(), num.end(), 0.0);
            std::fill(den.begin(), den.end(), 0.0);
            for (size_t i = 0; i < n; ++i) {
                // x ~ (u A + v B) / 2, so A ~ u (2x - v B) for the moving codebook A.
                const float u = sign(ch.flag[s][i]), v = sign(ch.flag[o][i]);
                const float* other = &table_[o][size_t(ch.index[o][i]) * D];
                const size_t row = size_t(ch.index[s][i]) * D;
                for (size_t k = 0; k < D; ++k) {
                    const double wk = d.w[i * D + k];
                    num[row + k] += wk * u * (2.0 * d.x[i * D + k] - v * other[k]);
                    den[row + k] += wk;
                }
            }
            for (size_t e = 0; e < num.size(); ++e)
                if (den[e] > 0) table_[s][e] = float(num[e] / den[e]);  // unused codevectors stay
        }
        rebuild();
    }
}

Choice CodeBookPair::combined(const Dataset& d, int nCand) {
    const size_t n = d.size();
    Choice c = sized(n);
    const std::vector<int> len(n, dim_), pol(n, 1);
    const int* pp[2] = {pol.data(), pol.data()};
    int* io[2] = {c.index[0].data(), c.index[1].data()};
    int* so[2] = {c.flag[0].data(), c.flag[1].data()};
    okvsVQIndexSelect_32f(d.x.data(), d.w.data(), int(n), len.data(), nCand, pp, io, so, book_, 2, 0);
    return c;
}

Choice CodeBookPair::twoStep(const Dataset& d, int nCand) {
    const size_t n = d.size();
    Choice c = sized(n);
    const std::vector<int> len(n, dim_), pol(n, 1);
    std::vector<int> ci[2], cs[2];
    for (int s = 0; s < 2; ++s) {
        ci[s].assign(n * size_t(nCand), 0);
        cs[s].assign(ci[s].size(), 0);
        okvsVQPreliminarySelect_32f(d.x.data(), d.w.data(), int(n), len.data(), ci[s].data(), cs[s].data(), nCand,
                                    pol.data(), book_[s]);
    }
    const int* pci[2] = {ci[0].data(), ci[1].data()};
    const int* pcs[2] = {cs[0].data(), cs[1].data()};
    int* io[2] = {c.index[0].data(), c.index[1].data()};
    int* so[2] = {c.flag[0].data(), c.flag[1].data()};
    okvsVQMainSelect_32f(d.x.data(), d.w.data(), len.data(), int(n), nCand, pci, pcs, io, so, book_, 2);
    return c;
}

Choice CodeBookPair::exhaustive(const Dataset& d) const {
    const size_t n = d.size(), D = size_t(dim_);
    Choice c = sized(n);
    std::vector<float> y(D);
    for (size_t i = 0; i < n; ++i) {
        const float* x = &d.x[i * D];
        const float* w = &d.w[i * D];
        float best = 1e38f;
        for (int a = 0; a < size_; ++a)
            for (int fa = 0; fa < 2; ++fa) {
                const float* A = &table_[0][size_t(a) * D];
                for (size_t k = 0; k < D; ++k) y[k] = 2.0f * x[k] - sign(fa) * A[k];  // 2x - uA
                for (int b = 0; b < size_; ++b)
                    for (int fb = 0; fb < 2; ++fb) {
                        const float* B = &table_[1][size_t(b) * D];
                        const float v = sign(fb);
                        float e = 0;
                        for (size_t k = 0; k < D; ++k) {
                            const float t = y[k] - v * B[k];
                            e += w[k] * (t * t);
                        }
                        if (e < best) best = e, c.index[0][i] = a, c.index[1][i] = b, c.flag[0][i] = fa, c.flag[1][i] = fb;
                    }
            }
    }
    return c;
}

Choice CodeBookPair::random(const Dataset& d) const {
    const size_t n = d.size();
    Choice c = sized(n);
    std::mt19937 g(3);
    for (int s = 0; s < 2; ++s)
        for (size_t i = 0; i < n; ++i) c.index[s][i] = int(g() % unsigned(size_)), c.flag[s][i] = int(g() & 1);
    return c;
}

std::vector<float> CodeBookPair::reconstruct(const Choice& c, size_t n) {
    std::vector<int> sgn[2];
    for (int s = 0; s < 2; ++s)
        for (int f : c.flag[s]) sgn[s].push_back(1 - 2 * f);
    const std::vector<int> len(n, dim_);
    const int* pi[2] = {c.index[0].data(), c.index[1].data()};
    const int* ps[2] = {sgn[0].data(), sgn[1].data()};
    std::vector<float> y(n * size_t(dim_));
    okvsVQReconstruction_32f(pi, ps, len.data(), int(n), 2, y.data(), book_);
    return y;
}

bool CodeBookPair::save(const char* name) const {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const int32_t head[2] = {size_, dim_};
    bool ok = std::fwrite(kMagic, 1, 4, f) == 4 && std::fwrite(head, 4, 2, f) == 2;
    for (const auto& t : table_) ok = ok && std::fwrite(t.data(), 4, t.size(), f) == t.size();
    return std::fclose(f) == 0 && ok;
}

bool CodeBookPair::load(const char* name, std::vector<float> table[2], int* size, int* dim, std::string* error) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return *error = "cannot open the file", false;
    char magic[4];
    int32_t head[2];
    bool ok = std::fread(magic, 1, 4, f) == 4 && !std::memcmp(magic, kMagic, 4) && std::fread(head, 4, 2, f) == 2 &&
              head[0] >= 1 && head[0] <= 4096 && head[1] >= 1 && head[1] <= 256;
    if (ok) {
        for (int s = 0; s < 2 && ok; ++s) {
            table[s].assign(size_t(head[0]) * size_t(head[1]), 0.0f);
            ok = std::fread(table[s].data(), 4, table[s].size(), f) == table[s].size();
        }
        for (int s = 0; s < 2 && ok; ++s)
            for (float v : table[s]) ok = ok && std::isfinite(v);
    }
    std::fclose(f);
    if (!ok) return *error = "not a codebook file of this tool", false;
    *size = head[0];
    *dim = head[1];
    return true;
}

double weightedSnr(const Dataset& d, const std::vector<float>& y) {
    double s = 0, e = 0;
    for (size_t k = 0; k < d.x.size(); ++k) {
        const double t = double(d.x[k]) - y[k];
        s += double(d.w[k]) * d.x[k] * d.x[k];
        e += double(d.w[k]) * t * t;
    }
    return 10.0 * std::log10(s / (e > 0 ? e : 1e-300));
}

}  // namespace okvac::vq
