// Fixed-point 32-band SBR analysis, one slot per call:
//   X[k] = sum_{n<64} u[n] 2 exp(i pi/64 (k + 1/2)(2n - 1/2))           (complex form)
//   X[k] = sum_{n<64} u[n] 2 cos(pi/64 (k + 1/2)(2n - 96))
//        = Re(exp(-i pi (k + 1/2) 95.5/64) X_complex[k])                   (real form)
// over the windowed delay line u. The modulation folds u into 32 complex values,
//   z[m] = (-u[64 - m] + i u[32 - m]) exp(-i pi (4m + 1)/256),  u[64] = -u[0],
// runs the 32-point fixed FFT, and rotates Z[m] (even bands) and conj(Z[31 - m]) (odd bands)
// by one Q30 factor per band, which for the real form also carries the phase shift above.
//
// Scale: u is a quarter of the exact window sum (Q30 window, products >> 32); the folded
// values are a further quarter, the band rotation doubles: X = X_float / 16.
#include "aac/fft_aac.h"
#include "sbr/qmf_fixed.h"
#include "sbr/qmf_window_data.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

struct Tables {
    alignas(16) Okv32s w[320];
    Okv32s preC[32], preS[32];         // exp(-i pi (4m + 1)/256)
    Okv32s postC[2][32], postS[2][32];  // per band: [0] complex form, [1] real form
};

constexpr Tables makeTables() {
    Tables t{};
    for (int n = 0; n < 320; ++n) t.w[n] = SBR_TABLE_QMF_WINDOW_320_INT_Q30[n];
    for (int m = 0; m < 32; ++m) {
        t.preC[m] = q30cos(-(4 * m + 1) / 256.0);
        t.preS[m] = q30sin(-(4 * m + 1) / 256.0);
    }
    for (int k = 0; k < 32; ++k) {
        const double base = -(k / 2 + (k & 1)) / 64.0, shift = -(k + 0.5) * 95.5 / 64.0;
        t.postC[0][k] = q30cos(base);
        t.postS[0][k] = q30sin(base);
        t.postC[1][k] = q30cos(base + shift);
        t.postS[1][k] = q30sin(base + shift);
    }
    return t;
}
constexpr Tables kTab = makeTables();

// Stores the slot, windows the delay line and leaves the 32 folded-and-transformed values in z.
void transform(const Okv32s* pSrc, Record* r, Okv32sc* z) {
    const int p = r->pos > 0 ? r->pos - 1 : 9;
    r->pos = p;
    Okv32s* d = r->delay;
    for (int m = 0; m < 32; ++m) d[32 * p + 31 - m] = pSrc[m];

    // Each half of a 64-value row is one contiguous run of the line (blocks of 32).
    alignas(16) Okv32s u[68];
    for (int h = 0; h < 64; h += 32) windowRow<true>(u + h, d + (32 * p + h) % 320, kTab.w + h, 32);
    for (int j = 1; j < 5; ++j)
        for (int h = 0; h < 64; h += 32) windowRow(u + h, d + (32 * p + 64 * j + h) % 320, kTab.w + 64 * j + h, 32);
    u[64] = wsub(0, u[0]);
    for (int m = 0; m < 32; ++m)
        z[m] = rotate(wsub(0, u[64 - m]), u[32 - m], kTab.preC[m], kTab.preS[m], 32);
    ownsIMDCT_FFT_32sc_I(z, 5);
}

// The rotated source of band k: Z[k/2] for even k, conj(Z[31 - k/2]) for odd k.
inline Okv32sc bandSource(const Okv32sc* z, int k) {
    if (!(k & 1)) return z[k >> 1];
    const Okv32sc o = z[31 - (k >> 1)];
    return {o.re, wsub(0, o.im)};
}

StatusCode check(const void* a, const void* b, const void* pSpec, Okv32u id, int kx) {
    if (!a || !b || !pSpec) return okvErrNullPtr;
    if (headerAt(pSpec)->id != id) return okvErrContextMatch;
    if (Okv32u(kx) > 32u) return okvErrSize;
    return okvOk;
}

}  // namespace

StatusCode okvsAnalysisFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, int kx, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kAnalysisLP, kx)) return s;
    alignas(16) Okv32sc z[32];
    transform(pSrc, headerAt(pSpec)->rec, z);
    for (int k = 0; k < kx; ++k)
        pDst[k] = rotate(bandSource(z, k).re, bandSource(z, k).im, kTab.postC[1][k], kTab.postS[1][k], 29).re;
    for (int k = kx; k < 32; ++k) pDst[k] = 0;
    return okvOk;
}

StatusCode okvsAnalysisFilter_SBRHQ_32s32sc(const Okv32s* pSrc, Okv32sc* pDst, int kx, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kAnalysisHQ, kx)) return s;
    alignas(16) Okv32sc z[32];
    transform(pSrc, headerAt(pSpec)->rec, z);
    for (int k = 0; k < kx; ++k) {
        const Okv32sc a = bandSource(z, k);
        pDst[k] = rotate(a.re, a.im, kTab.postC[0][k], kTab.postS[0][k], 29);
    }
    for (int k = kx; k < 32; ++k) pDst[k] = {0, 0};
    return okvOk;
}

}  // namespace OKV_NS
