// TwinVQ searches: per-codebook pre-selection, the joint choice among candidate pairs
// (two-step: PreliminarySelect + MainSelect; combined: IndexSelect).
//
// Sums run over k in order from 0.0f, each term w * (t * t); four codevectors or four
// pairs share one SSE register, a lane each, so results equal plain scalar loops.
//
// Argument rules (checked in this order, nothing written before all pass):
//  - null pointers, including the per-codebook entries of the pointer lists: okvErrNullPtr;
//  - nSubVec < 1: okvOk, nothing written;
//  - nCand < 1, nCand above a searched codebook's count, nCodeBooks other than 2 in the
//    joint searches (they pair codebooks 0 and 1: N = 2 in the measure), a pVecLen[i]
//    outside 0..length, a candidate index outside 0..count - 1: okvErrSize;
//  - a candidate sign flag other than 0 or 1, or IndexSelect handed one codebook twice
//    (the second pre-selection would overwrite the first one's scratch): okvErrBadArg.
// Distances that are NaN or not below 1e38 are never kept: candidate slots left empty
// read codevector 0 with flag 0 and distance 1e38, and when no pair scores below 1e38
// the first pair is chosen, so every index written is a valid one.
#include "core/bits.h"
#include "misc/vq_internal.h"

namespace OKV_NS {
namespace {

constexpr Okv32f kEmpty = 1e38f;

bool lengthsFit(const int* pVecLen, int nSubVec, int length) {
    for (int i = 0; i < nSubVec; ++i)
        if (pVecLen[i] < 0 || pVecLen[i] > length) return false;
    return true;
}

// Distance and sign flag of every codevector to target x: d+ = sum w (r - x)^2 and,
// with polarity, d- = sum w (r + x)^2, kept when d+ > d-. Scale 2 doubles each weight.
template <bool Polarity>
void distances(const VQCodeBook& b, const Okv32f* x, const Okv32f* w, int L, Okv32f scale) {
    const __m128 s = _mm_set1_ps(scale);
    for (int c = 0; c < b.count; c += 4) {
        const Okv32f* r[4];
        for (int j = 0; j < 4; ++j) r[j] = b.rows[c + j < b.count ? c + j : c];
        __m128 dp = _mm_setzero_ps(), dm = _mm_setzero_ps();
        ownsVQSweep4(r, L, [&](int k, __m128 col) {
            const __m128 xk = _mm_set1_ps(x[k]), wk = _mm_mul_ps(s, _mm_set1_ps(w[k]));
            const __m128 t = _mm_sub_ps(col, xk);
            dp = _mm_add_ps(dp, _mm_mul_ps(wk, _mm_mul_ps(t, t)));
            if (Polarity) {
                const __m128 u = _mm_add_ps(col, xk);
                dm = _mm_add_ps(dm, _mm_mul_ps(wk, _mm_mul_ps(u, u)));
            }
        });
        alignas(16) Okv32f d[4];
        alignas(16) Okv32s f[4];
        if (Polarity) {
            const __m128 flip = _mm_cmpgt_ps(dp, dm);
            _mm_store_ps(d, _mm_or_ps(_mm_and_ps(flip, dm), _mm_andnot_ps(flip, dp)));
            _mm_store_si128(reinterpret_cast<__m128i*>(f), _mm_srli_epi32(_mm_castps_si128(flip), 31));
        } else {
            _mm_store_ps(d, dp);
            _mm_store_si128(reinterpret_cast<__m128i*>(f), _mm_setzero_si128());
        }
        for (int j = 0; j < 4 && c + j < b.count; ++j) {
            b.distances[c + j] = d[j];
            b.signs[c + j] = f[j];
        }
    }
}

// Fills the candidate and sorted-distance scratch with nCand entries; returns how many
// hold a codevector. nCand == count keeps index order with each codevector's own
// distance. Otherwise insertion into a list ended by the 1e38 sentinel: a distance
// enters only below the entry at the fill mark, ahead of every equal one already kept
// (so the later of two equal codevectors ranks first), and the last slot drops off.
int preselect(const VQCodeBook& b, int nCand) {
    Okv32f* S = b.sortedDistances;
    Okv32s* I = b.candidates;
    if (nCand == b.count) {
        for (int t = 0; t < nCand; ++t) {
            S[t] = b.distances[t];
            I[t] = t;
        }
        return nCand;
    }
    for (int t = 0; t < nCand; ++t) {
        S[t] = kEmpty;
        I[t] = 0;
    }
    int fill = 0, kept = 0;
    for (int c = 0; c < b.count; ++c) {
        const Okv32f d = b.distances[c];
        if (!(d < S[fill])) continue;
        int lo = 0, hi = fill;
        while (lo < hi) {
            const int mid = (lo + hi) >> 1;
            if (S[mid] >= d) hi = mid; else lo = mid + 1;
        }
        if (fill < nCand - 1) ++fill;
        for (int j = fill; j > lo; --j) {
            S[j] = S[j - 1];
            I[j] = I[j - 1];
        }
        S[lo] = d;
        I[lo] = c;
        if (kept < nCand) ++kept;
    }
    return kept;
}

void searchBook(const VQCodeBook& b, const Okv32f* x, const Okv32f* w, int L, bool polarity, Okv32f scale) {
    if (polarity) distances<true>(b, x, w, L, scale);
    else distances<false>(b, x, w, L, scale);
}

// One candidate of a joint search: row, multiplier and (IndexSelect) doubled distance.
struct Cand {
    const Okv32f* row;
    Okv32s flag;
    Okv32f dist;
};

// Runs score(A, u, four B rows, their multipliers, their candidates) over every
// candidate a of list 0 and, in groups of four, every b of list 1; the first pair in
// loop order with the smallest score below 1e38 wins (pair 0, 0 when none does).
template <class Cands, class Score>
void choosePair(int nCand, Cands cand, Score score, int* ba, int* bb) {
    Okv32f best = kEmpty;
    *ba = *bb = 0;
    for (int a = 0; a < nCand; ++a) {
        const Cand A = cand(0, a);
        const Okv32f u = A.flag ? -1.0f : 1.0f;
        for (int b0 = 0; b0 < nCand; b0 += 4) {
            Cand B[4];
            const Okv32f* r[4];
            Okv32s f[4];
            for (int j = 0; j < 4; ++j) {
                B[j] = cand(1, b0 + j < nCand ? b0 + j : b0);
                r[j] = B[j].row;
                f[j] = B[j].flag;
            }
            alignas(16) Okv32f D[4];
            _mm_store_ps(D, score(A, u, r, ownsVQMultipliers(f), B));
            for (int j = 0; j < 4 && b0 + j < nCand; ++j)
                if (D[j] < best) {
                    best = D[j];
                    *ba = a;
                    *bb = b0 + j;
                }
        }
    }
}

}  // namespace

StatusCode okvsVQPreliminarySelect_32f(const Okv32f* pSrc, const Okv32f* pWeight, int nSubVec, const int* pVecLen,
                                       int* pIndxCand, int* pSignCand, int nCand, const int* pPolarity,
                                       VQCodeBook* pCodeBook) {
    if (!pSrc || !pWeight || !pVecLen || !pIndxCand || !pSignCand || !pPolarity || !pCodeBook) return okvErrNullPtr;
    if (nSubVec < 1) return okvOk;
    const VQCodeBook b = ownsVQLoad(pCodeBook);
    if (nCand < 1 || nCand > b.count || !lengthsFit(pVecLen, nSubVec, b.length)) return okvErrSize;
    for (int i = 0; i < nSubVec; ++i) {
        const int L = pVecLen[i];
        searchBook(b, pSrc, pWeight, L, pPolarity[i] == 1, 1.0f);
        const int kept = preselect(b, nCand);
        int* idx = pIndxCand + std::size_t(i) * std::size_t(nCand);
        int* sgn = pSignCand + std::size_t(i) * std::size_t(nCand);
        for (int t = 0; t < nCand; ++t) {
            idx[t] = b.candidates[t];
            sgn[t] = t < kept ? b.signs[b.candidates[t]] : 0;
        }
        pSrc += L;
        pWeight += L;
    }
    return okvOk;
}

StatusCode okvsVQMainSelect_32f(const Okv32f* pSrc, const Okv32f* pWeight, const int* pVecLen, int nSubVec, int nCand,
                                const int** ppIndxCand, const int** ppSignCand, int** ppIndxOut, int** ppSignOut,
                                VQCodeBook** ppCodeBooks, int nCodeBooks) {
    if (!pSrc || !pWeight || !pVecLen || !ppIndxCand || !ppSignCand || !ppIndxOut || !ppSignOut || !ppCodeBooks)
        return okvErrNullPtr;
    for (int s = 0; s < 2; ++s)
        if (!ppIndxCand[s] || !ppSignCand[s] || !ppIndxOut[s] || !ppSignOut[s] || !ppCodeBooks[s])
            return okvErrNullPtr;
    if (nSubVec < 1) return okvOk;
    const VQCodeBook bk[2] = {ownsVQLoad(ppCodeBooks[0]), ownsVQLoad(ppCodeBooks[1])};
    if (nCand < 1 || nCodeBooks != 2) return okvErrSize;
    const int length = bk[0].length < bk[1].length ? bk[0].length : bk[1].length;
    if (!lengthsFit(pVecLen, nSubVec, length)) return okvErrSize;
    const std::size_t entries = std::size_t(nSubVec) * std::size_t(nCand);
    for (int s = 0; s < 2; ++s)
        for (std::size_t e = 0; e < entries; ++e)
            if (ppIndxCand[s][e] < 0 || ppIndxCand[s][e] >= bk[s].count) return okvErrSize;
    for (int s = 0; s < 2; ++s)
        for (std::size_t e = 0; e < entries; ++e)
            if (ppSignCand[s][e] != 0 && ppSignCand[s][e] != 1) return okvErrBadArg;

    const __m128 half = _mm_set1_ps(0.5f);  // division by N = 2, exactly
    for (int i = 0; i < nSubVec; ++i) {
        const int L = pVecLen[i];
        const std::size_t base = std::size_t(i) * std::size_t(nCand);
        const auto cand = [&](int s, int t) {
            const int c = ppIndxCand[s][base + t];
            return Cand{bk[s].rows[c], ppSignCand[s][base + t], 0.0f};
        };
        // D = sum w (x - (uA + vB) / 2)^2
        const auto score = [&](const Cand& A, Okv32f u, const Okv32f* const r[4], __m128 v, const Cand*) {
            __m128 acc = _mm_setzero_ps();
            ownsVQSweep4(r, L, [&](int k, __m128 col) {
                const __m128 mix = _mm_mul_ps(_mm_add_ps(_mm_set1_ps(u * A.row[k]), _mm_mul_ps(v, col)), half);
                const __m128 t = _mm_sub_ps(_mm_set1_ps(pSrc[k]), mix);
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(pWeight[k]), _mm_mul_ps(t, t)));
            });
            return acc;
        };
        int a, b;
        choosePair(nCand, cand, score, &a, &b);
        ppIndxOut[0][i] = ppIndxCand[0][base + a];
        ppIndxOut[1][i] = ppIndxCand[1][base + b];
        ppSignOut[0][i] = ppSignCand[0][base + a];
        ppSignOut[1][i] = ppSignCand[1][base + b];
        pSrc += L;
        pWeight += L;
    }
    return okvOk;
}

// The last argument takes no part in the result.
StatusCode okvsVQIndexSelect_32f(const Okv32f* pSrc, const Okv32f* pWeight, int nSubVec, const int* pVecLen, int nCand,
                                 const int** ppPolarity, int** ppIndxOut, int** ppSignOut, VQCodeBook** ppCodeBooks,
                                 int nCodeBooks, int /*last*/) {
    if (!pSrc || !pWeight || !pVecLen || !ppPolarity || !ppIndxOut || !ppSignOut || !ppCodeBooks) return okvErrNullPtr;
    for (int s = 0; s < 2; ++s)
        if (!ppIndxOut[s] || !ppSignOut[s]) return okvErrNullPtr;
    for (int s = 0; s < nCodeBooks && s < 2; ++s)  // the lists hold nCodeBooks entries
        if (!ppPolarity[s] || !ppCodeBooks[s]) return okvErrNullPtr;
    if (nSubVec < 1) return okvOk;
    if (nCand < 1 || nCodeBooks != 2) return okvErrSize;
    const VQCodeBook bk[2] = {ownsVQLoad(ppCodeBooks[0]), ownsVQLoad(ppCodeBooks[1])};
    for (const VQCodeBook& b : bk)
        if (nCand > b.count || !lengthsFit(pVecLen, nSubVec, b.length)) return okvErrSize;
    if (ppCodeBooks[0] == ppCodeBooks[1]) return okvErrBadArg;

    for (int i = 0; i < nSubVec; ++i) {
        const int L = pVecLen[i];
        for (int s = 0; s < 2; ++s) {
            const VQCodeBook& b = bk[s];
            searchBook(b, pSrc, pWeight, L, ppPolarity[s][i] == 1, 2.0f);
            const int kept = preselect(b, nCand);
            // Flags into candidate order. A candidate list such as 3, 0 would read an
            // entry already rewritten, so the flags ride in bit 31 of the indices first.
            for (int t = 0; t < nCand; ++t)
                if (t < kept && b.signs[b.candidates[t]]) b.candidates[t] |= INT32_MIN;
            for (int t = 0; t < nCand; ++t) {
                b.signs[t] = b.candidates[t] < 0;
                b.candidates[t] &= INT32_MAX;
            }
        }
        const auto cand = [&](int s, int t) {
            return Cand{bk[s].rows[bk[s].candidates[t]], bk[s].signs[t], bk[s].sortedDistances[t]};
        };
        // D = (da + db - sum w (uA - vB)^2) / 4
        const auto score = [&](const Cand& A, Okv32f u, const Okv32f* const r[4], __m128 v, const Cand* B) {
            __m128 acc = _mm_setzero_ps();
            ownsVQSweep4(r, L, [&](int k, __m128 col) {
                const __m128 t = _mm_sub_ps(_mm_set1_ps(u * A.row[k]), _mm_mul_ps(v, col));
                acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(pWeight[k]), _mm_mul_ps(t, t)));
            });
            const __m128 db = _mm_setr_ps(B[0].dist, B[1].dist, B[2].dist, B[3].dist);
            return _mm_mul_ps(_mm_set1_ps(0.25f), _mm_sub_ps(_mm_add_ps(_mm_set1_ps(A.dist), db), acc));
        };
        int a, b;
        choosePair(nCand, cand, score, &a, &b);
        ppIndxOut[0][i] = bk[0].candidates[a];
        ppIndxOut[1][i] = bk[1].candidates[b];
        ppSignOut[0][i] = bk[0].signs[a];
        ppSignOut[1][i] = bk[1].signs[b];
        pSrc += L;
        pWeight += L;
    }
    return okvOk;
}

}  // namespace OKV_NS
