// Single-precision Layer III analysis filterbank with its history in a spec structure.
//
// The history is 16 blocks of 32 samples; each call fills one block, newest sample first, so
// that Y[k] reads four consecutive k from one block. Block of age a (0 = newest) is
// (phase + a) mod 16; Y[k] takes ages (k >> 5) + 2j, j = 0..7.
#include <xmmintrin.h>

#include "mp3/analysis_core.h"
#include "okvcore/okvcore.h"

// The opaque type of the public header (a type only, no symbol).
struct PQMFAnalysisSpec {
    Okv32u id;
    Okv32s phase;
    Okv32u allocated;
    Okv32u reserved;
    Okv32f* history;
    Okv8u pad[8];
};

namespace OKV_NS {
namespace {

constexpr Okv32u kAnalysisId = 0x434D4168u;  // "hAMC"
constexpr int kAnalysisSize = 2107;
static_assert(sizeof(PQMFAnalysisSpec) == 32, "history starts 32 bytes into the structure");
static_assert(15 + 32 + 512 * 4 <= kAnalysisSize, "structure fits the reported size");

constexpr mp3ana::Matrix<Okv32f> kMatrix{};

PQMFAnalysisSpec* aligned(void* p) {
    return reinterpret_cast<PQMFAnalysisSpec*>((reinterpret_cast<Okv64u>(p) + 15) & ~Okv64u(15));
}

void build(PQMFAnalysisSpec* s, Okv32u allocated) {
    s->id = kAnalysisId;
    s->phase = 15;
    s->allocated = allocated;
    s->reserved = 0;
    s->history = reinterpret_cast<Okv32f*>(s + 1);
    for (int i = 0; i < 512; ++i) s->history[i] = 0.0f;
}

inline Okv32f hsum(__m128 v) {
    alignas(16) Okv32f t[4];
    _mm_store_ps(t, v);
    return (t[0] + t[1]) + (t[2] + t[3]);
}

}  // namespace

StatusCode okvsAnalysisFilterGetSize_PQMF_MP3_32f(int* pSize) {
    if (!pSize) return okvErrNullPtr;
    *pSize = kAnalysisSize;
    return okvOk;
}

StatusCode okvsAnalysisFilterInit_PQMF_MP3_32f(PQMFAnalysisSpec** ppSpec, Okv8u* pMem) {
    if (!ppSpec || !pMem) return okvErrNullPtr;
    PQMFAnalysisSpec* s = aligned(pMem);
    build(s, 0);
    *ppSpec = s;
    return okvOk;
}

StatusCode okvsAnalysisFilterInitAlloc_PQMF_MP3_32f(PQMFAnalysisSpec** ppSpec) {
    if (!ppSpec) return okvErrNullPtr;
    void* block = okvMalloc(kAnalysisSize);
    if (!block) return okvErrMemAlloc;
    build(aligned(block), 1);
    *ppSpec = static_cast<PQMFAnalysisSpec*>(block);
    return okvOk;
}

StatusCode okvsAnalysisFilterFree_PQMF_MP3_32f(PQMFAnalysisSpec* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    const PQMFAnalysisSpec* s = aligned(pSpec);
    if (s->id != kAnalysisId) return okvErrContextMatch;
    if (s->allocated == 1) okvFree(pSpec);
    return okvOk;
}

StatusCode okvsAnalysisFilter_PQMF_MP3_32f(const Okv32f* pSrc, Okv32f* pDst, PQMFAnalysisSpec* pSpec, int mode) {
    if (!pSrc || !pDst || !pSpec) return okvErrNullPtr;
    if (mode != 1 && mode != 2) return okvErrBadArg;
    PQMFAnalysisSpec* s = aligned(pSpec);
    if (s->id != kAnalysisId) return okvErrContextMatch;

    const int p = (s->phase + 15) & 15;
    s->phase = p;
    Okv32f* h = s->history;
    Okv32f* blk = h + 32 * p;
    for (int t = 0; t < 32; ++t) blk[31 - t] = pSrc[t * mode] * 3.0517578e-5f;

    const Okv32f* c = mp3ana::kWindows.f32;
    alignas(16) Okv32f y[64], z[32];
    for (int k = 0; k < 64; k += 4) {
        __m128 acc = _mm_setzero_ps();
        for (int j = 0; j < 8; ++j) {
            const Okv32f* hb = h + 32 * ((p + (k >> 5) + 2 * j) & 15) + (k & 31);
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(c + k + 64 * j), _mm_load_ps(hb)));
        }
        _mm_store_ps(y + k, acc);
    }
    mp3ana::fold(y, z);
    for (int m = 0; m < 32; ++m) {
        const Okv32f* row = kMatrix.c[m];
        __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps();
        for (int j = 0; j < 32; j += 8) {
            a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(row + j), _mm_load_ps(z + j)));
            a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(row + j + 4), _mm_load_ps(z + j + 4)));
        }
        pDst[m] = hsum(_mm_add_ps(a0, a1));
    }
    return okvOk;
}

}  // namespace OKV_NS
