// Fixed-point SBR synthesis, one slot per call.
//
// Full rate, 64 bands, 128 new values:
//   v[n] = 1/64 Re(sum_k X[k] exp(i pi/128 (k + 1/2)(2n - 255)))   (complex form)
//   v[n] = 1/32 sum_k X[k] cos(pi/128 (k + 1/2)(2n - 64))          (real form)
// The real form is the complex one of Y[k] = 2 X[k] exp(i pi (k + 1/2) 191/128). With
// C = DCT-IV(Re Y) and S[n] = (-1)^n DCT-IV(reversed Im Y)[n] (length 64, each through one
// 32-point fixed FFT), 64 v[n] = S[n] - C[n] and 64 v[127 - n] = C[n] + S[n], n < 64.
//
// Downsampled, 32 bands, 64 new values:
//   v[n] = 1/64 Re(sum_k X[k] exp(i pi/64 (k + 1/2)(2n - 127.5)))  (complex form)
//   v[n] = 1/32 sum_k X[k] cos(pi/64 (k + 1/2)(2n - 32))           (real form: Y[k] as above
//          with the phase (k + 1/2) 95.5/64)
// through z[k] = Y[k] exp(i pi k/128) (k < 32, zero above), Z = inverse 64-point DFT (the
// forward FFT read at -n), 64 v[n] = -Re(Z[n] exp(i pi (4n + 1)/256)).
//
// The delay line stores 64 v, so the window sum (a quarter of the exact one) gives 16 times
// the float output of the same bands; after the analysis (bands at 1/16) the chain has unit
// gain. Intermediate shifts keep every FFT within range while the sum over the bands of
// |Re X| + |Im X| stays below 2^31 (real forms: of 2 |X|).
#include <cstring>

#include "aac/fft_aac.h"
#include "sbr/qmf_fixed.h"
#include "sbr/qmf_window_data.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

struct Tables {
    alignas(16) Okv32s w640[640];
    alignas(16) Okv32s w320[320];
    Okv32s lpC[64], lpS[64];      // exp(i pi (k + 1/2) 191/128)
    Okv32s preC[32], preS[32];    // exp(-i pi (4m + 1)/256): DCT-IV of 64
    Okv32s postC[32], postS[32];  // exp(-i pi k/64)
    Okv32s dnC[2][32], dnS[2][32];  // exp(i pi k/128), [1] times exp(i pi (k + 1/2) 95.5/64)
    Okv32s outC[64], outS[64];      // exp(i pi (4n + 1)/256)
};

constexpr Tables makeTables() {
    Tables t{};
    for (int n = 0; n < 640; ++n) t.w640[n] = SBR_TABLE_QMF_WINDOW_640_INT_Q30[n];
    for (int n = 0; n < 320; ++n) t.w320[n] = SBR_TABLE_QMF_WINDOW_320_INT_Q30[n];
    for (int k = 0; k < 64; ++k) {
        t.lpC[k] = q30cos((k + 0.5) * 191 / 128.0);
        t.lpS[k] = q30sin((k + 0.5) * 191 / 128.0);
        t.outC[k] = q30cos((4 * k + 1) / 256.0);
        t.outS[k] = q30sin((4 * k + 1) / 256.0);
    }
    for (int m = 0; m < 32; ++m) {
        t.preC[m] = q30cos(-(4 * m + 1) / 256.0);
        t.preS[m] = q30sin(-(4 * m + 1) / 256.0);
        t.postC[m] = q30cos(-m / 64.0);
        t.postS[m] = q30sin(-m / 64.0);
        t.dnC[0][m] = q30cos(m / 128.0);
        t.dnS[0][m] = q30sin(m / 128.0);
        t.dnC[1][m] = q30cos(m / 128.0 + (m + 0.5) * 95.5 / 64.0);
        t.dnS[1][m] = q30sin(m / 128.0 + (m + 0.5) * 95.5 / 64.0);
    }
    return t;
}
constexpr Tables kTab = makeTables();

// DCT-IV of 64 values a[k * step] (step -1 reads backwards), scaled by 2^-2 in the fold
// (shift `sh` = 32) or 2^-1 (31) and by 4 back after the FFT.
void dct4(const Okv32s* a, int step, int sh, Okv32s* out) {
    alignas(16) Okv32sc z[32];
    for (int m = 0; m < 32; ++m)
        z[m] = rotate(a[2 * m * step], a[(63 - 2 * m) * step], kTab.preC[m], kTab.preS[m], sh);
    ownsIMDCT_FFT_32sc_I(z, 5);
    for (int k = 0; k < 32; ++k) {
        const Okv32sc y = rotate(z[k].re, z[k].im, kTab.postC[k], kTab.postS[k], 28);
        out[2 * k] = y.re;
        out[63 - 2 * k] = wsub(0, y.im);
    }
}

// 64 v of the full-rate bank from the split real and imaginary parts of the bands.
void modulate128(const Okv32s* re, const Okv32s* im, int sh, Okv32s* v) {
    Okv32s c[64], s[64];
    dct4(re, 1, sh, c);
    dct4(im + 63, -1, sh, s);
    for (int n = 0; n < 64; ++n) {
        const Okv32s sn = (n & 1) ? wsub(0, s[n]) : s[n];
        v[n] = wsub(sn, c[n]);
        v[127 - n] = wadd(c[n], sn);
    }
}

// 64 v of the downsampled bank from 32 bands and their pre-rotation (shift `sh`).
void modulate64(const Okv32sc* x, const Okv32s* rc, const Okv32s* rs, int sh, Okv32s* v) {
    alignas(16) Okv32sc z[64] = {};
    for (int k = 0; k < 32; ++k) z[k] = rotate(x[k].re, x[k].im, rc[k], rs[k], sh);
    ownsIMDCT_FFT_32sc_I(z, 6);
    for (int n = 0; n < 64; ++n) {
        const Okv32sc zn = z[(64 - n) & 63];
        v[n] = wsub(0, rotate(zn.re, zn.im, kTab.outC[n], kTab.outS[n], 28).re);
    }
}

// Window sums over the delay line of a bank of B bands with the new block at slot p, then the
// position moves down one block. Tap j reads B contiguous values at 2Bp + d_j (mod 20B), with
// d = 0, 3B, 4B, 7B, 8B, ...: blocks never straddle the end of the line.
template <int B>
void windowSlot(Record* r, const Okv32s* w, Okv32s* pDst) {
    const int p = r->pos;
    alignas(16) Okv32s acc[B];
    windowRow<true>(acc, r->delay + 2 * B * p, w, B);
    for (int j = 1; j < 10; ++j)
        windowRow(acc, r->delay + (2 * B * p + (j / 2) * 4 * B + (j & 1) * 3 * B) % (20 * B), w + B * j, B);
    std::memcpy(pDst, acc, sizeof acc);
    r->pos = p > 0 ? p - 1 : 9;
}

StatusCode check(const void* a, const void* b, const void* pSpec, Okv32u id, Okv32u alt) {
    if (!a || !b || !pSpec) return okvErrNullPtr;
    const Okv32u got = headerAt(pSpec)->id;
    if (got != id && got != alt) return okvErrContextMatch;
    return okvOk;
}

}  // namespace

StatusCode okvsSynthesisFilter_SBRHQ_32sc32s(const Okv32sc* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kSynthesisHQ, kSynthesisHQ)) return s;
    Record* r = headerAt(pSpec)->rec;
    Okv32s re[64], im[64];
    for (int k = 0; k < 64; ++k) {
        re[k] = pSrc[k].re;
        im[k] = pSrc[k].im;
    }
    modulate128(re, im, 32, r->delay + 128 * r->pos);
    windowSlot<64>(r, kTab.w640, pDst);
    return okvOk;
}

StatusCode okvsSynthesisFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kSynthesisLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    Okv32s re[64], im[64];
    for (int k = 0; k < 64; ++k) {
        const Okv32sc y = rotate(pSrc[k], 0, kTab.lpC[k], kTab.lpS[k], 30);
        re[k] = y.re;
        im[k] = y.im;
    }
    modulate128(re, im, 31, r->delay + 128 * r->pos);
    windowSlot<64>(r, kTab.w640, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRHQ_32sc32s(const Okv32sc* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownHQ, kSynthesisHQ)) return s;
    Record* r = headerAt(pSpec)->rec;
    modulate64(pSrc, kTab.dnC[0], kTab.dnS[0], 32, r->delay + 64 * r->pos);
    windowSlot<32>(r, kTab.w320, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    Okv32sc x[32];
    for (int k = 0; k < 32; ++k) x[k] = {pSrc[k], 0};
    modulate64(x, kTab.dnC[1], kTab.dnS[1], 31, r->delay + 64 * r->pos);
    windowSlot<32>(r, kTab.w320, pDst);
    return okvOk;
}

}  // namespace OKV_NS
