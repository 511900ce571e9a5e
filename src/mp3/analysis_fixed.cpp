// Fixed-point Layer III analysis filterbank (stateless: the caller keeps the 512-sample window).
//
// Y is summed exactly in 64 bits and rounded to sample units times 2^10; the matrixing runs in
// double precision (exact integer inputs, fixed evaluation order) and rounds once, giving the
// subband samples in Q25 (full-scale input 1.0 = 2^25).
#include <emmintrin.h>

#include "mp3/analysis_core.h"

namespace OKV_NS {

namespace {

constexpr mp3ana::Matrix<double> kMatrix{};

}  // namespace

StatusCode okvsAnalysisPQMF_MP3_16s32s(const Okv16s* pSrc, Okv32s* pDst, int mode) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (mode != 1 && mode != 2) return okvErrBadArg;
    const Okv32s* c = mp3ana::kWindows.q30;
    alignas(16) double y[64], z[32];
    for (int k = 0; k < 64; ++k) {
        Okv64s acc = 0;
        for (int j = 0; j < 8; ++j) {
            const int i = k + 64 * j;
            acc += (Okv64s)c[i] * pSrc[(511 - i) * mode];
        }
        y[k] = (double)((acc + (1 << 19)) >> 20);
    }
    mp3ana::fold(y, z);
    for (int m = 0; m < 32; ++m) {
        const double* row = kMatrix.c[m];
        __m128d a0 = _mm_setzero_pd(), a1 = _mm_setzero_pd();
        for (int j = 0; j < 32; j += 4) {
            a0 = _mm_add_pd(a0, _mm_mul_pd(_mm_load_pd(row + j), _mm_load_pd(z + j)));
            a1 = _mm_add_pd(a1, _mm_mul_pd(_mm_load_pd(row + j + 2), _mm_load_pd(z + j + 2)));
        }
        a0 = _mm_add_pd(a0, a1);
        pDst[m] = _mm_cvtsd_si32(_mm_add_sd(a0, _mm_unpackhi_pd(a0, a0)));
    }
    return okvOk;
}

}  // namespace OKV_NS
