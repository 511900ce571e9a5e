// Fixed-point SBR QMF banks: size queries, initialisation, allocation and release.
#include <cstring>

#include "core/kernels.h"
#include "sbr/qmf_fixed.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

constexpr int sizeOf(int delayValues) { return kDelayOffset + 4 * delayValues + 15; }

StatusCode getSize(int* pSize, int delayValues) {
    if (!pSize) return okvErrNullPtr;
    *pSize = sizeOf(delayValues);
    return okvOk;
}

void build(void* pMem, Okv32u id, int delayValues, Okv32u allocated) {
    Header* h = headerAt(pMem);
    auto* base = reinterpret_cast<Okv8u*>(h);
    Record* r = reinterpret_cast<Record*>(base + kRecordOffset);
    r->delay = reinterpret_cast<Okv32s*>(base + kDelayOffset);
    r->pos = 0;
    std::memset(r->delay, 0, size_t(delayValues) * 4);
    h->id = id;
    h->rec = r;
    h->allocated = allocated;
}

StatusCode init(void* pMem, Okv32u id, int delayValues) {
    if (!pMem) return okvErrNullPtr;
    build(pMem, id, delayValues, 0);
    return okvOk;
}

StatusCode initAlloc(void** ppSpec, Okv32u id, int delayValues) {
    if (!ppSpec) return okvErrNullPtr;
    Okv8u* mem = okvsMalloc_8u(sizeOf(delayValues));
    if (!mem) return okvErrMemAlloc;
    build(mem, id, delayValues, 1);
    *ppSpec = mem;
    return okvOk;
}

// A structure built by Init belongs to the caller: nothing is written to it.
StatusCode release(void* pSpec, Okv32u id) {
    if (!pSpec) return okvErrNullPtr;
    const Header* h = headerAt(pSpec);
    if (h->id != id) return okvErrContextMatch;
    if (h->allocated == 1) okvsFree(pSpec);
    return okvOk;
}

}  // namespace

#define OKV_QMF_FIXED_LIFECYCLE(KIND, FORM, ID, VALUES)                                                       \
    StatusCode okvs##KIND##GetSize_##FORM(int* pSize) { return getSize(pSize, VALUES); }                      \
    StatusCode okvs##KIND##Init_##FORM(void* pMem) { return init(pMem, ID, VALUES); }                        \
    StatusCode okvs##KIND##InitAlloc_##FORM(void** ppSpec) { return initAlloc(ppSpec, ID, VALUES); }         \
    StatusCode okvs##KIND##Free_##FORM(void* pSpec) { return release(pSpec, ID); }

OKV_QMF_FIXED_LIFECYCLE(AnalysisFilter, SBRHQ_32s32sc, kAnalysisHQ, 320)
OKV_QMF_FIXED_LIFECYCLE(AnalysisFilter, SBRLP_32s, kAnalysisLP, 320)
OKV_QMF_FIXED_LIFECYCLE(SynthesisFilter, SBRHQ_32sc32s, kSynthesisHQ, 1280)
OKV_QMF_FIXED_LIFECYCLE(SynthesisFilter, SBRLP_32s, kSynthesisLP, 1280)
OKV_QMF_FIXED_LIFECYCLE(SynthesisDownFilter, SBRHQ_32sc32s, kDownHQ, 640)
OKV_QMF_FIXED_LIFECYCLE(SynthesisDownFilter, SBRLP_32s, kDownLP, 640)

#undef OKV_QMF_FIXED_LIFECYCLE

}  // namespace OKV_NS
