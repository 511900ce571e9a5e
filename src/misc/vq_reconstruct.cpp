// TwinVQ reconstruction: the mean of the signed codevectors of every codebook.
//
// Sign entries are multipliers +1 or -1 (searches report 0/1 flags: pass 1 - 2s).
// Argument rules, in order: null pointers, including the first nCodeBooks entries of
// each list: okvErrNullPtr; nSubVec < 1: okvOk, nothing written; nCodeBooks < 1, a
// pVecLen[i] outside 0..length or an index outside 0..count - 1 of any codebook:
// okvErrSize; a sign entry other than +1 or -1: okvErrBadArg.
#include "core/bits.h"
#include "misc/vq_internal.h"

namespace OKV_NS {

StatusCode okvsVQReconstruction_32f(const int** ppIndx, const int** ppSign, const int* pVecLen, int nSubVec,
                                    int nCodeBooks, Okv32f* pDst, VQCodeBook** ppCodeBooks) {
    if (!ppIndx || !ppSign || !pVecLen || !pDst || !ppCodeBooks) return okvErrNullPtr;
    for (int s = 0; s < nCodeBooks; ++s)
        if (!ppIndx[s] || !ppSign[s] || !ppCodeBooks[s]) return okvErrNullPtr;
    if (nSubVec < 1) return okvOk;
    if (nCodeBooks < 1) return okvErrSize;
    for (int s = 0; s < nCodeBooks; ++s) {
        const VQCodeBook b = ownsVQLoad(ppCodeBooks[s]);
        for (int i = 0; i < nSubVec; ++i)
            if (pVecLen[i] < 0 || pVecLen[i] > b.length || ppIndx[s][i] < 0 || ppIndx[s][i] >= b.count)
                return okvErrSize;
    }
    for (int s = 0; s < nCodeBooks; ++s)
        for (int i = 0; i < nSubVec; ++i)
            if (ppSign[s][i] != 1 && ppSign[s][i] != -1) return okvErrBadArg;

    // Per element ((s0 r0 + s1 r1) + ...) * (1 / nCodeBooks): one pass per codebook,
    // four elements at a time, then the scaling pass.
    const Okv32f inv = 1.0f / Okv32f(nCodeBooks);
    for (int i = 0; i < nSubVec; ++i) {
        const int L = pVecLen[i];
        for (int s = 0; s < nCodeBooks; ++s) {
            const Okv32f* r = ownsVQLoad(ppCodeBooks[s]).rows[ppIndx[s][i]];
            const Okv32f m = Okv32f(ppSign[s][i]);
            int k = 0;
            for (; k + 4 <= L; k += 4) {
                const __m128 t = _mm_mul_ps(_mm_set1_ps(m), _mm_load_ps(r + k));
                _mm_storeu_ps(pDst + k, s ? _mm_add_ps(_mm_loadu_ps(pDst + k), t) : t);
            }
            for (; k < L; ++k) pDst[k] = s ? pDst[k] + m * r[k] : m * r[k];
        }
        int k = 0;
        for (; k + 4 <= L; k += 4) _mm_storeu_ps(pDst + k, _mm_mul_ps(_mm_loadu_ps(pDst + k), _mm_set1_ps(inv)));
        for (; k < L; ++k) pDst[k] *= inv;
        pDst += L;
    }
    return okvOk;
}

}  // namespace OKV_NS
