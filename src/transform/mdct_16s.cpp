// 16-bit forward MDCT: headroom scaling, fold and Q14 pre-rotation into
// 16-bit complex values, the 16-bit FFT, Q14 post-rotation in 32 bits and a
// final Sfs conversion.
#include "core/kernels.h"
#include "core/trig.h"
#include "transform/mdct.h"
#include "transform/work_buf.h"

namespace OKV_NS {
namespace {

StatusCode get_size(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    if (len < 32 || ownsLog2(len) < 0) return okvErrSize;
    int fs, fi, fw;
    StatusCode st = okvsFFTGetSize_C_16sc(ownsLog2(len) - 2, kFftNoDiv, 0, &fs, &fi, &fw);
    if (st != okvOk) return st;
    const Okv64s work = len + (4 * Okv64s(len) > fw ? 4 * Okv64s(len) : fw) + 64;
    if (work > INT32_MAX) return okvErrSize;  // from 2^29 points
    *pSpecSize = len + 168 + fs + 64;
    *pInitBufSize = fi;
    *pWorkBufSize = int(work);
    return okvOk;
}

// Q14 pair rounded by adding 0.5 and truncating.
inline Okv16s q14(double v) { return Okv16s(Okv32s(16384.0 * v + 0.5 - (16384.0 * v + 0.5 < 0))); }

}  // namespace

StatusCode okvsMDCTFwdGetSize_16s(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}

StatusCode okvsMDCTFwdInit_16s(OkvsMDCTFwdSpec_16s** ppSpec, int len, Okv8u* pMem, Okv8u* pInitBuf) {
    if (!ppSpec || !pMem) return okvErrNullPtr;
    if (len < 32 || ownsLog2(len) < 0) return okvErrSize;
    int ss = 0, is = 0, ws = 0;
    get_size(len, &ss, &is, &ws);
    Okv8u* a = ownsAlign64(pMem);
    OkvMdctSpec* s = reinterpret_cast<OkvMdctSpec*>(a);
    for (unsigned i = 0; i < sizeof(*s); ++i) a[i] = 0;
    s->len = len;
    s->workSize = ws;
    s->fftOrder = ownsLog2(len) - 2;
    Okv16s* tw = reinterpret_cast<Okv16s*>(a + 64);
    for (int m = 0; m < len / 4; ++m) {
        const double ang = (8.0 * m + 1.0) / (4.0 * len);
        tw[2 * m] = q14(okv_sinpi(ang));
        tw[2 * m + 1] = q14(okv_cospi(ang));
    }
    s->twiddle = tw;
    OkvsFFTSpec_16sc* fft;
    StatusCode st = okvsFFTInit_C_16sc(&fft, s->fftOrder, kFftNoDiv, 0, ownsAlign64(a + 64 + len),
                                       pInitBuf);
    if (st != okvOk) return st;
    s->fft = fft;
    s->id = kMdctIdFwd16s;
    *ppSpec = reinterpret_cast<OkvsMDCTFwdSpec_16s*>(s);
    return okvOk;
}

StatusCode okvsMDCTFwdInitAlloc_16s(OkvsMDCTFwdSpec_16s** ppSpec, int len) {
    if (!ppSpec) return okvErrNullPtr;
    int ss, is, ws;
    StatusCode st = get_size(len, &ss, &is, &ws);
    if (st != okvOk) return st;
    Okv8u* mem = okvsMalloc_8u(ss);
    Okv8u* ib = okvsMalloc_8u(is);
    if (!mem || (is > 0 && !ib)) {
        okvsFree(mem);
        okvsFree(ib);
        return okvErrMemAlloc;
    }
    st = OKV_NS::okvsMDCTFwdInit_16s(ppSpec, len, mem, ib);
    okvsFree(ib);
    if (st != okvOk) {
        okvsFree(mem);
        return st;
    }
    OkvMdctSpec* s = reinterpret_cast<OkvMdctSpec*>(*ppSpec);
    s->allocated = 1;
    s->mem = mem;
    return okvOk;
}

StatusCode okvsMDCTFwdFree_16s(OkvsMDCTFwdSpec_16s* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    OkvMdctSpec* s = reinterpret_cast<OkvMdctSpec*>(pSpec);
    if (s->id != kMdctIdFwd16s) return okvErrContextMatch;
    s->id = 0;
    if (s->allocated) okvsFree(s->mem);
    return okvOk;
}

StatusCode okvsMDCTFwdGetBufSize_16s(const OkvsMDCTFwdSpec_16s* pSpec, int* pSize) {
    if (!pSpec || !pSize) return okvErrNullPtr;
    const OkvMdctSpec* s = reinterpret_cast<const OkvMdctSpec*>(pSpec);
    if (s->id != kMdctIdFwd16s) return okvErrContextMatch;
    *pSize = s->workSize;
    return okvOk;
}

StatusCode okvsMDCTFwd_16s_Sfs(const Okv16s* pSrc, Okv16s* pDst, const OkvsMDCTFwdSpec_16s* pSpec,
                               int scaleFactor, Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    const OkvMdctSpec* s = reinterpret_cast<const OkvMdctSpec*>(pSpec);
    if (s->id != kMdctIdFwd16s) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    const int n = s->len, q = n / 4, order = s->fftOrder;
    Okv16s mn, mx;
    okvsMinMax_16s(pSrc, n, &mn, &mx);
    const Okv32s peak = -Okv32s(mn) > mx ? -Okv32s(mn) : mx;
    if (peak == 0) {
        okvsZero_16s(pDst, n / 2);
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, s->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    // Headroom: peak * 2^d in [16385, 32768], one more bit below 32768/sqrt2.
    int d = 0;
    while ((peak << (d + 1)) <= 32768) ++d;
    const int h = d + ((peak << d) < 23169 ? 1 : 0);
    const Okv64s r = h < 16 ? Okv64s(1) << (15 - h) : 0;
    const Okv16s* tw = static_cast<const Okv16s*>(s->twiddle);
    Okv16sc* z = reinterpret_cast<Okv16sc*>(wb.get());
    for (int m = 0; m < q; ++m) {
        OkvMdctFold f = ownsMdctFold(n, m);
        const Okv32s u = (f.uNeg ? -Okv32s(pSrc[f.u0]) : Okv32s(pSrc[f.u0])) - pSrc[f.u1];
        const Okv32s v = (f.vNeg ? -Okv32s(pSrc[f.v0]) : Okv32s(pSrc[f.v0])) - pSrc[f.v1];
        const Okv64s sn = tw[2 * m], cs = tw[2 * m + 1];
        z[m] = {Okv16s((cs * u + r + sn * v) >> (16 - h)), Okv16s((r - sn * u + cs * v) >> (16 - h))};
    }
    Okv8u* rest = wb.get() + n;  // n bytes hold the q complex 16-bit values
    okvsFFTFwd_CToC_16sc_Sfs(z, z, static_cast<const OkvsFFTSpec_16sc*>(s->fft), order + 1, rest);
    Okv32s* y = reinterpret_cast<Okv32s*>(rest);
    for (int m = 0; m < q; ++m) {
        const Okv32s sn = tw[2 * m], cs = tw[2 * m + 1];
        y[2 * m] = cs * z[m].re + sn * z[m].im;
        y[n / 2 - 1 - 2 * m] = sn * z[m].re - cs * z[m].im;
    }
    okvsConvert_32s16s_Sfs(y, pDst, n / 2, scaleFactor - order + h + 10);
    return okvOk;
}

}  // namespace OKV_NS
