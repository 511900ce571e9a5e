// Layer III hybrid forward MDCT of one granule and channel, with the encoder's alias reduction.
//
// Each subband's 36 samples (previous granule, then this one) are windowed and folded into the
// 18 inputs of a DCT-IV (long blocks), or each of the three short windows into the 6 inputs of a
// 6-point DCT-IV. The work runs in double precision from the integer inputs and every output is
// rounded once, after the alias-reduction butterflies. Scale: subband samples in Q25 give
// spectra in Q26 whose inverse transform restores the subbands at the synthesis input's Q24,
// hence the factors 2/9 (long) and 2/3 (short).
#include <emmintrin.h>

#include "core/trig.h"
#include "mp3/mp3_ce_math.h"
#include "mp3/sfb_tables_data.h"

namespace OKV_NS {

namespace {

constexpr double kLongGain = 2.0 / 9.0, kShortGain = 2.0 / 3.0;

struct Tables {
    double win[4][36] = {};     // long windows by block type (2 unused), gain folded in
    double shortWin[12] = {};   // short window, gain folded in
    alignas(16) double dct18[18][18] = {};
    alignas(16) double dct6[6][6] = {};
    double cs[8] = {}, ca[8] = {};
    Okv16s shortOrder[6][192] = {};  // line 6m + k of window w -> band-major, window-minor index (w = 0)
    Okv16s shortWidth[6][192] = {};  // width of the band holding that line

    constexpr Tables() {
        for (int i = 0; i < 36; ++i) {
            const double s36 = okv_sinpi((i + 0.5) / 36.0);
            win[0][i] = s36 * kLongGain;
            win[1][i] = (i < 18 ? s36 : i < 24 ? 1.0 : i < 30 ? okv_sinpi((i - 18 + 0.5) / 12.0) : 0.0) * kLongGain;
            win[3][i] = (i < 6 ? 0.0 : i < 12 ? okv_sinpi((i - 6 + 0.5) / 12.0) : i < 18 ? 1.0 : s36) * kLongGain;
        }
        for (int i = 0; i < 12; ++i) shortWin[i] = okv_sinpi((i + 0.5) / 12.0) * kShortGain;
        for (int k = 0; k < 18; ++k)
            for (int n = 0; n < 18; ++n) dct18[k][n] = okv_cospi(((2 * n + 1) * (2 * k + 1) % 144) / 72.0);
        for (int k = 0; k < 6; ++k)
            for (int n = 0; n < 6; ++n) dct6[k][n] = okv_cospi(((2 * n + 1) * (2 * k + 1) % 48) / 24.0);
        constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            const double r = mp3ce::sqrtCe(1.0 + c[i] * c[i]);
            cs[i] = 1.0 / r;
            ca[i] = c[i] / r;
        }
        constexpr Okv16s sfb[9][14] = OKV_MP3_SFB_SHORT_INIT;
        for (int row = 0; row < 6; ++row)
            for (int b = 0; b < 13; ++b)
                for (int f = sfb[row][b]; f < sfb[row][b + 1]; ++f) {
                    const int width = sfb[row][b + 1] - sfb[row][b];
                    shortOrder[row][f] = (Okv16s)(3 * sfb[row][b] + (f - sfb[row][b]));
                    shortWidth[row][f] = (Okv16s)width;
                }
    }
};
constexpr Tables kTab{};

// out[k] = sum_n m[k][n] u[n] for an n x n matrix (n even).
template <int N>
inline void dctIV(const double (&m)[N][N], const double* u, double* out) {
    for (int k = 0; k < N; ++k) {
        __m128d acc = _mm_setzero_pd();
        for (int n = 0; n < N; n += 2) acc = _mm_add_pd(acc, _mm_mul_pd(_mm_load_pd(&m[k][n]), _mm_load_pd(u + n)));
        out[k] = _mm_cvtsd_f64(_mm_add_sd(acc, _mm_unpackhi_pd(acc, acc)));
    }
}

void longBlock(const double* z, const double* w, double* out) {
    alignas(16) double u[18];
    for (int n = 0; n < 9; ++n) {
        u[n] = -z[26 - n] * w[26 - n] - z[27 + n] * w[27 + n];
        u[n + 9] = z[n] * w[n] - z[17 - n] * w[17 - n];
    }
    dctIV(kTab.dct18, u, out);
}

// Three windows into out[6w + k].
void shortBlock(const double* z, double* out) {
    const double* s = kTab.shortWin;
    for (int w = 0; w < 3; ++w) {
        const double* v = z + 6 + 6 * w;
        alignas(16) double u[6];
        for (int n = 0; n < 3; ++n) {
            u[n] = -v[8 - n] * s[8 - n] - v[9 + n] * s[9 + n];
            u[n + 3] = v[n] * s[n] - v[5 - n] * s[5 - n];
        }
        dctIV(kTab.dct6, u, out + 6 * w);
    }
}

inline Okv32s roundSat(double v) {
    v = v > 2147483647.0 ? 2147483647.0 : v < -2147483648.0 ? -2147483648.0 : v;
    return _mm_cvtsd_si32(_mm_set_sd(v));
}

}  // namespace

// Block types other than 1, 2 and 3 use the normal window; a header whose id is not 0 selects
// the MPEG-1 band rows, and a sampling_frequency above 2 the first row of its kind.
StatusCode okvsMDCTFwd_MP3_32s(const Okv32s* pSrc, Okv32s* pDst, int blockType, int mixedBlock,
                               const MP3FrameHeader* pFrameHeader, Okv32s* pOverlap) {
    if (!pSrc || !pDst || !pFrameHeader || !pOverlap) return okvErrNullPtr;
    const int type = (unsigned)blockType <= 3 ? blockType : 0;
    const bool mixed = type == 2 && mixedBlock != 0;
    alignas(16) double x[576];
    for (int m = 0; m < 32; ++m) {
        alignas(16) double z[36];
        const double flip = (m & 1) ? -1.0 : 1.0;
        for (int t = 0; t < 18; ++t) {
            const double sign = (t & 1) ? flip : 1.0;
            z[t] = sign * pOverlap[32 * t + m];
            z[18 + t] = sign * pSrc[32 * t + m];
        }
        if (type == 2 && !(mixed && m < 2))
            shortBlock(z, x + 18 * m);
        else
            longBlock(z, kTab.win[type == 2 ? 0 : type], x + 18 * m);
    }
    const int bounds = type != 2 ? 31 : mixed ? 1 : 0;
    for (int b = 1; b <= bounds; ++b)
        for (int i = 0; i < 8; ++i) {
            const double a = x[18 * b - 1 - i], c = x[18 * b + i];
            x[18 * b - 1 - i] = a * kTab.cs[i] + c * kTab.ca[i];
            x[18 * b + i] = c * kTab.cs[i] - a * kTab.ca[i];
        }
    if (type == 2) {
        const int row = (pFrameHeader->id ? 3 : 0) + ((unsigned)pFrameHeader->sampling_frequency <= 2 ? pFrameHeader->sampling_frequency : 0);
        const Okv16s* order = kTab.shortOrder[row];
        const Okv16s* width = kTab.shortWidth[row];
        for (int m = 0; m < 36; ++m) pDst[m] = roundSat(x[m]);
        for (int m = mixed ? 2 : 0; m < 32; ++m)
            for (int w = 0; w < 3; ++w)
                for (int k = 0; k < 6; ++k) {
                    const int f = 6 * m + k;
                    pDst[order[f] + w * width[f]] = roundSat(x[18 * m + 6 * w + k]);
                }
    } else {
        for (int i = 0; i < 576; ++i) pDst[i] = roundSat(x[i]);
    }
    for (int i = 0; i < 576; ++i) pOverlap[i] = pSrc[i];
    return okvOk;
}

}  // namespace OKV_NS
