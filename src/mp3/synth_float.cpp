// Single-precision polyphase synthesis with its history in a spec structure.
// Evaluation order: Lee DCT in float into the history, then per output sample the even-age
// and odd-age rings multiplied four lanes at a time, the four partial sums added pairwise.
#include <pmmintrin.h>
#include <xmmintrin.h>

#include "mp3/synth_layout.h"
#include "okvcore/okvcore.h"
#include "mp3/synth_window_data.h"

// The opaque type of the public header (a type only, no symbol).
struct PQMFSynthesisSpec {
    Okv32u id;
    Okv32s pos;
    Okv32u allocated;
    Okv32u reserved;
    Okv32f* history;
    Okv8u pad[8];
};

namespace OKV_NS {
namespace {

using namespace mp3synth;

constexpr Okv32u kSynthId = 0x434D4167u;
constexpr int kSynthSize = 2107;
static_assert(sizeof(PQMFSynthesisSpec) == 32, "history starts 32 bytes into the structure");
static_assert(15 + 32 + 512 * 4 <= kSynthSize, "structure fits the reported size");

constexpr Okv32f kD[257] = OKV_MP3_SYNTH_D_F32_INIT;
constexpr Rings<Okv32f> kRings{kD};

PQMFSynthesisSpec* aligned(void* p)
{
    return reinterpret_cast<PQMFSynthesisSpec*>((reinterpret_cast<Okv64u>(p) + 15) & ~Okv64u(15));
}

void build(PQMFSynthesisSpec* s, Okv32u allocated)
{
    s->id = kSynthId;
    s->pos = 15;
    s->allocated = allocated;
    s->reserved = 0;
    s->history = reinterpret_cast<Okv32f*>(s + 1);
    for (int i = 0; i < 512; ++i) s->history[i] = 0.0f;
}

inline __m128 ring(const Okv32f* h, const Okv32f* c)
{
    return _mm_add_ps(_mm_mul_ps(_mm_load_ps(h), _mm_loadu_ps(c)),
                      _mm_mul_ps(_mm_load_ps(h + 4), _mm_loadu_ps(c + 4)));
}

}  // namespace

StatusCode okvsSynthesisFilterGetSize_PQMF_MP3_32f(int* pSize)
{
    if (!pSize) return okvErrNullPtr;
    *pSize = kSynthSize;
    return okvOk;
}

StatusCode okvsSynthesisFilterInit_PQMF_MP3_32f(PQMFSynthesisSpec** ppSpec, Okv8u* pMem)
{
    if (!ppSpec || !pMem) return okvErrNullPtr;
    PQMFSynthesisSpec* s = aligned(pMem);
    build(s, 0);
    *ppSpec = s;
    return okvOk;
}

StatusCode okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(PQMFSynthesisSpec** ppSpec)
{
    if (!ppSpec) return okvErrNullPtr;
    void* block = okvMalloc(kSynthSize);
    if (!block) return okvErrMemAlloc;
    build(aligned(block), 1);
    *ppSpec = static_cast<PQMFSynthesisSpec*>(block);
    return okvOk;
}

StatusCode okvsSynthesisFilterFree_PQMF_MP3_32f(PQMFSynthesisSpec* pSpec)
{
    if (!pSpec) return okvErrNullPtr;
    const PQMFSynthesisSpec* s = aligned(pSpec);
    if (s->id != kSynthId) return okvErrContextMatch;
    if (s->allocated == 1) okvFree(pSpec);
    return okvOk;
}

StatusCode okvsSynthesisFilter_PQMF_MP3_32f(const Okv32f* pSrc, Okv32f* pDst,
                                            PQMFSynthesisSpec* pSpec, int mode)
{
    if (!pSrc || !pDst || !pSpec) return okvErrNullPtr;
    if (mode < 1 || mode > 2) return okvErrBadArg;
    PQMFSynthesisSpec* s = aligned(pSpec);
    if (s->id != kSynthId) return okvErrContextMatch;

    const int p = s->pos & 15;
    s->pos = (p + 15) & 15;
    Okv32f* h = s->history;
    Okv32f x[32];
    dctLee<Okv32f, 32>(pSrc, x);
    for (int m = 0; m < 32; ++m) h[m * 16 + (p & 1) * 8 + (p >> 1)] = x[m];

    const int parE = (p & 1) * 8, parO = 8 - parE;
    const int offE = 8 - (p >> 1);
    const int offO = 8 - (((p + 1) >> 1) & 7);
    for (int j = 0; j < 32; j += 4) {
        __m128 v[4];
        for (int i = 0; i < 4; ++i) {
            const int sIdx = j + i;
            __m128 acc = ring(h + idxOdd(sIdx) * 16 + parO, kRings.c[sIdx][1] + offO);
            if (sIdx != 16)
                acc = _mm_add_ps(acc, ring(h + idxEven(sIdx) * 16 + parE, kRings.c[sIdx][0] + offE));
            v[i] = acc;
        }
        const __m128 r = _mm_hadd_ps(_mm_hadd_ps(v[0], v[1]), _mm_hadd_ps(v[2], v[3]));
        if (mode == 1) {
            _mm_storeu_ps(pDst + j, r);
        } else {
            alignas(16) Okv32f t[4];
            _mm_store_ps(t, r);
            for (int i = 0; i < 4; ++i) pDst[2 * (j + i)] = t[i];
        }
    }
    return okvOk;
}

}  // namespace OKV_NS
