// SBR encoder: tonality-to-noise ratio of one QMF band over two halves of 16 slots, from the
// gain of a second-order complex predictor. Single precision throughout.
#include "core/okv_internal.h"

namespace OKV_NS {
namespace {

struct C {
    float re, im;
};
inline C add(C a, C b) { return {a.re + b.re, a.im + b.im}; }
inline C mul(C a, C b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline C conj(C a) { return {a.re, -a.im}; }
inline float norm(C a) { return a.re * a.re + a.im * a.im; }

struct Half {
    float tnr, energy;
};

// x[0..15]: one half's samples.
Half half(const C* x) {
    float p00 = 0, p11 = 0, p22 = 0;
    C p01{0, 0}, p02{0, 0}, p12{0, 0};
    for (int n = 2; n < 16; ++n) {
        p00 += norm(x[n]);
        p11 += norm(x[n - 1]);
        p22 += norm(x[n - 2]);
        p01 = add(p01, mul(x[n], conj(x[n - 1])));
        p02 = add(p02, mul(x[n], conj(x[n - 2])));
        p12 = add(p12, mul(x[n - 1], conj(x[n - 2])));
    }
    const float det = p11 * p22 - norm(p12) * 0.99999905f;
    C a1{0, 0}, a2{0, 0};
    if (det * det > 0.0f) {
        const C num = add(mul(p12, p01), C{-(p11 * p02.re), -(p11 * p02.im)});
        a2 = {num.re / det, num.im / det};
        if (p11 * p11 > 0.0f) {
            const C t = add(p01, mul(conj(p12), a2));
            a1 = {-(t.re / p11), -(t.im / p11)};
        }
    }
    float tnr = 0.0f;
    if (p00 * p00 > 0.0f) {
        // Re(a * conj(b)) = a.re b.re + a.im b.im
        const float g = -((a1.re * p01.re + a1.im * p01.im) + (a2.re * p02.re + a2.im * p02.im)) / p00;
        const float off = 1.0f - g;
        tnr = (off > 1e-6f || off < -1e-6f) ? g / (1.000001f - g) : 1e6f;
    }
    return {tnr, p00};
}

}  // namespace

StatusCode okvsEstimateTNR_SBR_32f(const Okv32f* pSrc, Okv32f* pTnr0, Okv32f* pTnr1, Okv32f* pMeanNrg) {
    if (!pSrc || !pTnr0 || !pTnr1 || !pMeanNrg) return okvErrNullPtr;
    C x[32];
    for (int n = 0; n < 32; ++n) x[n] = {pSrc[2 * n], pSrc[2 * n + 1]};
    const Half h0 = half(x), h1 = half(x + 16);
    *pTnr0 = h0.tnr;
    *pTnr1 = h1.tnr;
    *pMeanNrg = (h0.energy + h1.energy) * 0.5f;
    return okvOk;
}

}  // namespace OKV_NS
