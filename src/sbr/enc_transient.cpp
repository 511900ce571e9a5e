// SBR encoder transient detector: rises of pair-averaged band energies above a running
// threshold add to the transient accumulators 16..60.
#include "core/kernels.h"
#include "core/okv_internal.h"

namespace OKV_NS {

StatusCode okvsDetectTransient_SBR_32f(const Okv32f* pSrc, Okv32f* pThr, Okv32f* pTransient) {
    if (!pSrc || !pThr || !pTransient) return okvErrNullPtr;
    // The threshold follows the spread of energies 16..63 (double-precision deviation).
    Okv32f s;
    okvsStdDev_32f(pSrc + 16, 48, &s, 0);
    float thr = 0.34f * s + 0.66f * *pThr;
    if (!(thr >= 128000.0f)) thr = 128000.0f;
    *pThr = thr;
    const float inv = 1.0f / thr;
    float e[32];
    for (int p = 6; p < 32; ++p) e[p] = (pSrc[2 * p] + pSrc[2 * p + 1]) * 0.5f;
    float* T = pTransient;
    auto rise = [&](float m, float* a, float* b) {
        if (m > thr) {
            const float v = m * inv - 1.0f;
            *a += v;
            if (b) *b += v;
        }
    };
    rise(e[8] - e[7], &T[16], nullptr);
    rise(e[8] + e[9] - 2 * e[7], &T[16], nullptr);
    rise(2 * e[9] + e[8] - 2 * e[7] - e[6], &T[16], nullptr);
    for (int t = 0; t <= 21; ++t) {
        const int p = 9 + t, a = 17 + 2 * t, b = a + 1;
        rise(e[p] - e[p - 1], &T[a], &T[b]);
        rise(2 * e[p] - e[p - 1] - e[p - 2], &T[a], nullptr);
        rise(2 * e[p] + e[p + 1] - e[p - 1] - 2 * e[p - 2], &T[a], nullptr);
        rise(e[p] + e[p + 1] - 2 * e[p - 1], &T[b], nullptr);
        rise(2 * e[p + 1] + e[p] - 2 * e[p - 1] - e[p - 2], &T[b], nullptr);
    }
    return okvOk;
}

}  // namespace OKV_NS
