// Plain scalar models of the VQ searches (tests and benchmarks).
#pragma once

#include <vector>

namespace vqmodel {

struct Book {  // count rows of length floats
    int count, length;
    std::vector<float> table;
    const float* row(int c) const { return table.data() + size_t(c) * size_t(length); }
};

struct Ranked {
    std::vector<float> dist;                  // per codevector
    std::vector<int> flag;                    // per codevector
    std::vector<int> cand, candFlag;          // nCand entries
    std::vector<float> candDist;              // nCand entries
};

// Weight scale 1 for the preliminary search, 2 for the combined one. The candidates: all codevectors
// in order when nCand covers them, else an insertion-sorted list below 1e38 (index 0 in unused slots).
inline Ranked rank(const Book& b, const float* x, const float* w, int L, bool polarity, int nCand, float scale) {
    Ranked r;
    for (int c = 0; c < b.count; ++c) {
        float dp = 0.0f, dm = 0.0f;
        for (int k = 0; k < L; ++k) {
            const float ww = scale * w[k], t = b.row(c)[k] - x[k], u = b.row(c)[k] + x[k];
            dp += ww * (t * t);
            dm += ww * (u * u);
        }
        const bool flip = polarity && dp > dm;
        r.dist.push_back(flip ? dm : dp);
        r.flag.push_back(flip);
    }
    const bool all = nCand >= b.count;
    std::vector<float> list{1e38f};
    std::vector<int> who{0};
    for (int c = 0; c < b.count && !all; ++c) {
        const float d = r.dist[c];
        if (!(d < list.back())) continue;
        size_t p = 0;
        while (list[p] < d) ++p;
        list.insert(list.begin() + long(p), d);
        who.insert(who.begin() + long(p), c);
        if (int(list.size()) > nCand) list.pop_back(), who.pop_back();
    }
    for (int t = 0; t < nCand; ++t) {
        const bool real = all || (t < int(list.size()) && list[t] < 1e38f);
        r.cand.push_back(all ? t : real ? who[t] : 0);
        r.candDist.push_back(all ? r.dist[t] : real ? list[t] : 1e38f);
        r.candFlag.push_back(real ? r.flag[r.cand[t]] : 0);
    }
    return r;
}

struct Pair {
    int a = 0, b = 0;  // positions in the candidate lists, or codevector indices
    int sa = 0, sb = 0;
    double D = 0;
};

// First pair in loop order (a, then b) with the smallest score below 1e38.
template <class Score>
Pair firstBest(int na, int nb, Score score) {
    Pair best;
    float bestD = 1e38f;
    for (int a = 0; a < na; ++a)
        for (int b = 0; b < nb; ++b)
            if (const float D = score(a, b); D < bestD) bestD = D, best.a = a, best.b = b;
    best.D = bestD;
    return best;
}

// The two-step measure: sum w (x - (uA + vB) / 2)^2.
inline float mainScore(const float* x, const float* w, int L, const float* A, int sa, const float* B, int sb) {
    const float u = 1.0f - 2.0f * float(sa), v = 1.0f - 2.0f * float(sb);
    float D = 0.0f;
    for (int k = 0; k < L; ++k) {
        const float t = x[k] - (u * A[k] + v * B[k]) / 2.0f;
        D += w[k] * (t * t);
    }
    return D;
}

// The combined measure from doubled distances: (da + db - sum w (uA - vB)^2) / 4.
inline float indexScore(const float* w, int L, const float* A, int sa, float da, const float* B, int sb, float db) {
    const float u = 1.0f - 2.0f * float(sa), v = 1.0f - 2.0f * float(sb);
    float s = 0.0f;
    for (int k = 0; k < L; ++k) {
        const float t = u * A[k] - v * B[k];
        s += w[k] * (t * t);
    }
    return 0.25f * (da + db - s);
}

}  // namespace vqmodel
