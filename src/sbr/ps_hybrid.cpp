// Parametric-stereo hybrid analysis. The 13-tap prototypes are symmetric, so each slot first
// forms S_d = x[6 - d] + x[6 + d] and D_d = x[6 - d] - x[6 + d], d = 1..6. With
// phi_q = 2 pi (q + 1/2) / Q, sub-subband q is
//   y_q = g[6] x[6] + sum_d g[6 - d] cos(phi_q d) S_d + j sum_d g[6 - d] sin(phi_q d) D_d,
// and y_{Q-1-q} takes the same two sums with the second one negated (phi_{Q-1-q} = 2 pi - phi_q).
// Two slots share one SSE register (two interleaved complex values).
#include <emmintrin.h>

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {
namespace {

constexpr int kRowPitch = 24;  // floats per output row (12 complex values)

constexpr double kProto[5][7] = {
    {0, 0.018994875, 0, -0.072931394, 0, 0.30596632, 0.5},
    {-0.059082113, -0.048714984, 0, 0.07778724, 0.16486304, 0.23279856, 0.25},
    {0.007460829, 0.02270421, 0.045468658, 0.072661139, 0.098851085, 0.117937103, 0.125},
    {0.015656756, 0.037527163, 0.054178912, 0.084170438, 0.10307344, 0.122224525, 0.125},
    {0.0408118, 0.03812811, 0.051449083, 0.06399831, 0.07428314, 0.08100348, 0.083333336},
};
constexpr int kBands[5] = {2, 4, 8, 8, 12};

// Per mode: the centre tap and, for each pair q < Q/2 and lag d, g[6 - d] cos(phi_q d) and
// g[6 - d] sin(phi_q d); mode 0 keeps g[6 - d] alone in gc[0].
struct HybridCoefs {
    float centre;
    float gc[6][6], gs[6][6];
};
struct HybridTables {
    HybridCoefs m[5];
};
constexpr HybridTables makeTables() {
    HybridTables t{};
    for (int mode = 0; mode < 5; ++mode) {
        const double* g = kProto[mode];
        const int q = kBands[mode];
        t.m[mode].centre = float(g[6]);
        for (int p = 0; p < q / 2; ++p)
            for (int d = 1; d <= 6; ++d) {
                const double a = 2.0 * (p + 0.5) * d / q;  // phi_p d / pi
                t.m[mode].gc[p][d - 1] = float(mode == 0 ? g[6 - d] : g[6 - d] * okv_cospi(a));
                t.m[mode].gs[p][d - 1] = float(mode == 0 ? 0.0 : g[6 - d] * okv_sinpi(a));
            }
    }
    return t;
}
constexpr HybridTables kTables = makeTables();

inline void storePair(float* row, int q, __m128 v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(row + 2 * q), v);
    _mm_storeh_pi(reinterpret_cast<__m64*>(row + kRowPitch + 2 * q), v);
}

}  // namespace

StatusCode okvsAnalysisFilter_PS_32fc_D2(const Okv32f* pSrc, Okv32f* pDst, int mode) {
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (unsigned(mode) > 4) return okvErrBadArg;
    const HybridCoefs& c = kTables.m[mode];
    const int q = kBands[mode];
    // j * (a + ib) for both lanes: swap re/im, negate the new real parts.
    const __m128 negRe = _mm_castsi128_ps(_mm_set_epi32(0, int(0x80000000u), 0, int(0x80000000u)));
    for (int n = 0; n < 32; n += 2) {
        const float* x = pSrc + 2 * n;
        __m128 s[6], d[6];
        for (int k = 1; k <= 6; ++k) {
            const __m128 lo = _mm_loadu_ps(x + 2 * (6 - k)), hi = _mm_loadu_ps(x + 2 * (6 + k));
            s[k - 1] = _mm_add_ps(lo, hi);
            d[k - 1] = _mm_sub_ps(lo, hi);
        }
        const __m128 x6 = _mm_loadu_ps(x + 12);
        const __m128 centre = _mm_mul_ps(_mm_set1_ps(c.centre), x6);
        float* row = pDst + kRowPitch * n;
        for (int p = 0; p < q / 2; ++p) {
            __m128 cs = centre, sn = _mm_setzero_ps();
            for (int k = 0; k < 6; ++k) {
                cs = _mm_add_ps(cs, _mm_mul_ps(_mm_set1_ps(c.gc[p][k]), s[k]));
                sn = _mm_add_ps(sn, _mm_mul_ps(_mm_set1_ps(c.gs[p][k]), d[k]));
            }
            if (mode == 0) {  // real split: y0 = low band, y1 = x[6] - y0
                storePair(row, 0, cs);
                storePair(row, 1, _mm_sub_ps(x6, cs));
            } else {
                const __m128 js = _mm_xor_ps(_mm_shuffle_ps(sn, sn, _MM_SHUFFLE(2, 3, 0, 1)), negRe);
                storePair(row, p, _mm_add_ps(cs, js));
                storePair(row, q - 1 - p, _mm_sub_ps(cs, js));
            }
        }
    }
    return okvOk;
}

}  // namespace OKV_NS
