// Sizes and construction of the float QMF bank structures, and the nine size queries and
// initialisers.
#include "sbr/qmf_spec.h"

namespace OKV_NS {
namespace sbrqmf {
namespace {

inline int round16(int v) { return (v + 15) & ~15; }

StatusCode xformSizes(const Bank& b, int* spec, int* init, int* work) {
    if (b.xform == Xform::DctInv) return okvsDCTInvGetSize_32f(b.len, b.hint, spec, init, work);
    if (b.xform == Xform::DctFwd) return okvsDCTFwdGetSize_32f(b.len, b.hint, spec, init, work);
    return okvsFFTGetSize_C_32fc(__builtin_ctz(unsigned(b.len)), kFftNoDiv, b.hint, spec, init, work);
}

}  // namespace

StatusCode getSize(const Bank& b, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    int spec, ini, work;
    const StatusCode st = xformSizes(b, &spec, &ini, &work);
    if (st != okvOk) return st;
    *pSpecSize = round16(spec) + b.k;
    *pInitBufSize = ini + 4;
    *pWorkBufSize = work + 4;
    return okvOk;
}

StatusCode init(const Bank& b, SBRQMFSpec_32f** ppSpec, Okv8u* pMem, Okv8u* pInitBuf) {
    if (!ppSpec || !pMem || !pInitBuf) return okvErrNullPtr;
    int spec, ini, work;
    StatusCode st = xformSizes(b, &spec, &ini, &work);
    if (st != okvOk) return st;
    Okv8u* base = reinterpret_cast<Okv8u*>((reinterpret_cast<Okv64u>(pMem) + 15) & ~Okv64u(15));
    void* xf = nullptr;
    const int order = __builtin_ctz(unsigned(b.len));
    switch (b.xform) {
    case Xform::FftSplit:
        st = okvsFFTInit_C_32f(reinterpret_cast<OkvsFFTSpec_32f**>(&xf), order, kFftNoDiv, b.hint, base, pInitBuf);
        break;
    case Xform::FftCplx:
        st = okvsFFTInit_C_32fc(reinterpret_cast<OkvsFFTSpec_32f**>(&xf), order, kFftNoDiv, b.hint, base, pInitBuf);
        break;
    case Xform::DctInv:
        st = okvsDCTInvInit_32f(reinterpret_cast<OkvsDCTSpec_32f**>(&xf), b.len, b.hint, base, pInitBuf);
        break;
    case Xform::DctFwd:
        st = okvsDCTFwdInit_32f(reinterpret_cast<OkvsDCTSpec_32f**>(&xf), b.len, b.hint, base, pInitBuf);
        break;
    }
    if (st != okvOk) return st;
    SBRQMFSpec_32f* s = reinterpret_cast<SBRQMFSpec_32f*>(base + round16(spec));
    s->id = b.id;
    s->delay = reinterpret_cast<Okv32f*>(reinterpret_cast<Okv8u*>(s) + 64);
    s->pos = 0;
    s->xform = xf;
    for (int i = 0; i < b.delayClear; ++i) s->delay[i] = 0.0f;
    *ppSpec = s;
    return okvOk;
}

}  // namespace sbrqmf

#define OKV_SBR_QMF_LIFECYCLE(getSizeName, initName, bank)                                   \
    StatusCode getSizeName(int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {           \
        return sbrqmf::getSize(sbrqmf::bank, pSpecSize, pInitBufSize, pWorkBufSize);         \
    }                                                                                        \
    StatusCode initName(SBRQMFSpec_32f** ppSpec, Okv8u* pMem, Okv8u* pInitBuf) {             \
        return sbrqmf::init(sbrqmf::bank, ppSpec, pMem, pInitBuf);                           \
    }

// The two complex forms of a bank report the same sizes.
OKV_SBR_QMF_LIFECYCLE(okvsAnalysisFilterGetSize_SBR_RToC_32f, okvsAnalysisFilterInit_SBR_RToC_32f, kAnaCplx32f)
OKV_SBR_QMF_LIFECYCLE(okvsAnalysisFilterGetSize_SBR_RToC_32f32fc, okvsAnalysisFilterInit_SBR_RToC_32f32fc,
                      kAnaCplx32fc)
OKV_SBR_QMF_LIFECYCLE(okvsAnalysisFilterGetSize_SBR_RToR_32f, okvsAnalysisFilterInit_SBR_RToR_32f, kAnaReal)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisFilterGetSize_SBR_CToR_32f, okvsSynthesisFilterInit_SBR_CToR_32f, kSynCplx32f)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisFilterInit_SBR_CToR_32fc32f,
                      kSynCplx32fc)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisFilterGetSize_SBR_RToR_32f, okvsSynthesisFilterInit_SBR_RToR_32f, kSynReal)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisDownFilterGetSize_SBR_CToR_32f, okvsSynthesisDownFilterInit_SBR_CToR_32f,
                      kDownCplx32f)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisDownFilterInit_SBR_CToR_32fc32f,
                      kDownCplx32fc)
OKV_SBR_QMF_LIFECYCLE(okvsSynthesisDownFilterGetSize_SBR_RToR_32f, okvsSynthesisDownFilterInit_SBR_RToR_32f,
                      kDownReal)

}  // namespace OKV_NS
