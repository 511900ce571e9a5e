// SBR encoder analysis: one time slot of the 64-band complex QMF bank,
// X[k] = sum_{n<128} u[n] exp(i pi (k + 1/2)(2n + 1) / 128) over the windowed input u.
//
// The modulation runs as one 64-point FFT: with u extended by u[n + 128] = -u[n],
//   z[m] = (-u[128 - m] + i u[64 - m]) exp(-i pi (4m + 1) / 512),   Z = FFT64(z),
//   X[2j] = Z[j] exp(i pi (8j + 3) / 512),  X[2j + 1] = conj(Z[63 - j]) exp(i pi (8j + 5) / 512).
#include <cstddef>
#include <xmmintrin.h>

#include "core/bits.h"
#include "core/kernels.h"
#include "core/trig.h"
#include "sbr/qmf_window_data.h"
#include "transform/fft.h"

namespace OKV_NS {
namespace {

constexpr Okv32u kTag = 0x434D416Au;  // "jAMC"
constexpr int kOrder = 6;

// At the caller's block rounded up to 16 bytes; the FFT work memory follows at byte 80,
// the FFT spec after it.
struct EncSpec {
    Okv32u tag;
    OkvsFFTSpec_32f* fft;
    Okv8u* fftMem;
    Okv8u* work;
    Okv32s selfOwned;
};
static_assert(offsetof(EncSpec, fft) == 8 && offsetof(EncSpec, work) == 24 && sizeof(EncSpec) <= 80);
constexpr int kWorkOffset = 80;

inline EncSpec* specAt(const void* p) {
    return reinterpret_cast<EncSpec*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}
constexpr int round16(int n) { return (n + 15) & ~15; }

struct Tables {
    alignas(16) Okv32f w[640];             // prototype window, natural order
    alignas(16) Okv32f preRe[64], preIm[64];  // exp(-i pi (4m + 1) / 512)
    alignas(16) Okv32f evRe[32], evIm[32];    // exp(i pi (8j + 3) / 512)
    alignas(16) Okv32f odRe[32], odIm[32];    // exp(i pi (8j + 5) / 512)
};
constexpr Tables makeTables() {
    Tables t{};
    for (int n = 0; n < 640; ++n) t.w[n] = kOkvSbrQmfWindow640[n];
    for (int m = 0; m < 64; ++m) {
        t.preRe[m] = float(okv_cospi((4 * m + 1) / 512.0));
        t.preIm[m] = float(-okv_sinpi((4 * m + 1) / 512.0));
    }
    for (int j = 0; j < 32; ++j) {
        t.evRe[j] = float(okv_cospi((8 * j + 3) / 512.0));
        t.evIm[j] = float(okv_sinpi((8 * j + 3) / 512.0));
        t.odRe[j] = float(okv_cospi((8 * j + 5) / 512.0));
        t.odIm[j] = float(okv_sinpi((8 * j + 5) / 512.0));
    }
    return t;
}
constexpr Tables kTab = makeTables();

inline __m128 reversed(const Okv32f* p) { return _mm_shuffle_ps(_mm_loadu_ps(p), _mm_loadu_ps(p), 0x1B); }

}  // namespace

StatusCode okvsAnalysisFilterEncGetSize_SBR_32f(int* pSize, int* pBufSize) {
    if (!pSize || !pBufSize) return okvErrNullPtr;
    int s, b, k;
    okvsFFTGetSize_C_32fc(kOrder, kFftNoDiv, 0, &s, &b, &k);
    *pBufSize = b + 4;
    *pSize = round16(s + 4) + round16(k + 4) + 95;
    return okvOk;
}

StatusCode okvsAnalysisFilterEncInit_SBR_32f(void* pSpec, void* pInitBuf) {
    if (!pSpec || !pInitBuf) return okvErrNullPtr;
    int s, b, k;
    okvsFFTGetSize_C_32fc(kOrder, kFftNoDiv, 0, &s, &b, &k);
    EncSpec* h = specAt(pSpec);
    h->work = reinterpret_cast<Okv8u*>(h) + kWorkOffset;
    h->fftMem = h->work + round16(k + 4);
    const StatusCode st =
        okvsFFTInit_C_32fc(&h->fft, kOrder, kFftNoDiv, 0, h->fftMem, static_cast<Okv8u*>(pInitBuf));
    if (st != okvOk) return st;
    h->selfOwned = 0;
    h->tag = kTag;
    return okvOk;
}

StatusCode okvsAnalysisFilterEncInitAlloc_SBR_32f(void** ppSpec) {
    if (!ppSpec) return okvErrNullPtr;
    *ppSpec = nullptr;
    int size, bufSize;
    okvsAnalysisFilterEncGetSize_SBR_32f(&size, &bufSize);
    Okv8u* mem = okvsMalloc_8u(size);
    Okv8u* buf = mem ? okvsMalloc_8u(bufSize) : nullptr;
    if (!buf) {
        okvsFree(mem);
        return okvErrMemAlloc;
    }
    const StatusCode st = okvsAnalysisFilterEncInit_SBR_32f(mem, buf);
    okvsFree(buf);
    if (st != okvOk) {
        okvsFree(mem);
        return st;
    }
    specAt(mem)->selfOwned = 1;
    *ppSpec = mem;
    return okvOk;
}

// Clears the tag (a freed structure is refused afterwards) and releases a self-owned block.
StatusCode okvsAnalysisFilterEncFree_SBR_32f(void* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    EncSpec* h = specAt(pSpec);
    if (h->tag != kTag) return okvErrContextMatch;
    h->tag = 0;
    if (h->selfOwned) okvsFree(pSpec);
    return okvOk;
}

StatusCode okvsAnalysisFilterEnc_SBR_32f32fc(const Okv32f* pSrc, Okv32f* pDst, const void* pSpec) {
    if (!pSrc || !pDst || !pSpec) return okvErrNullPtr;
    const EncSpec* h = specAt(pSpec);
    if (h->tag != kTag) return okvErrContextMatch;

    // u[n] = sum_j pSrc[639 - n - 128 j] w[n + 128 j], four n at a time, j ascending.
    alignas(16) Okv32f u[128];
    for (int n = 0; n < 128; n += 4) {
        __m128 acc = _mm_mul_ps(reversed(pSrc + 636 - n), _mm_load_ps(kTab.w + n));
        for (int j = 1; j < 5; ++j)
            acc = _mm_add_ps(acc, _mm_mul_ps(reversed(pSrc + 636 - n - 128 * j), _mm_load_ps(kTab.w + n + 128 * j)));
        _mm_store_ps(u + n, acc);
    }

    alignas(64) Okv32fc z[64];
    for (int m = 0; m < 64; ++m) {
        const Okv32f a = m ? -u[128 - m] : u[0], b = u[64 - m];
        z[m] = {a * kTab.preRe[m] - b * kTab.preIm[m], a * kTab.preIm[m] + b * kTab.preRe[m]};
    }
    ownsFFT_32fc(z, z, h->fft, false, ownsAlign64(h->work));
    for (int j = 0; j < 32; ++j) {
        const Okv32fc e = z[j], o = z[63 - j];  // X[2j + 1] uses conj(o)
        pDst[4 * j] = e.re * kTab.evRe[j] - e.im * kTab.evIm[j];
        pDst[4 * j + 1] = e.re * kTab.evIm[j] + e.im * kTab.evRe[j];
        pDst[4 * j + 2] = o.re * kTab.odRe[j] + o.im * kTab.odIm[j];
        pDst[4 * j + 3] = o.re * kTab.odIm[j] - o.im * kTab.odRe[j];
    }
    return okvOk;
}

}  // namespace OKV_NS
