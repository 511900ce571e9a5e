// Layer III hybrid synthesis of one granule and channel: alias reduction, inverse MDCT per
// subband, overlap-add and frequency inversion; and the windowed transform of one subband.
// Subbands run in pairs, one per double lane. Every double result is converted to integer
// with cvtpd2dq: nearest, ties to even (the default MXCSR mode); out of range gives INT_MIN.
#include <emmintrin.h>

#include "mp3/imdct_kernels.h"
#include "mp3/mp3_ce_math.h"

namespace OKV_NS {
namespace {

using namespace mp3imdct;

// cs[i] = 1/sqrt(1 + c^2), ca[i] = c/sqrt(1 + c^2) of the alias coefficients c[i].
struct Alias {
    double cs[8] = {}, ca[8] = {};
    constexpr Alias() {
        const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            const double r = mp3ce::sqrtCe(1.0 + c[i] * c[i]);
            cs[i] = 1.0 / r;
            ca[i] = c[i] / r;
        }
    }
};
constexpr Alias kAlias{};

inline __m128d asM(v2d v) { return reinterpret_cast<__m128d>(v); }
void aliasReduce(Okv32s* x, int boundaries)
{
    for (int k = 1; k <= boundaries; ++k) {
        Okv32s* lo = x + 18 * k - 1;
        Okv32s* hi = x + 18 * k;
        for (int i = 0; i < 8; i += 2) {
            const v2d a = {double(lo[-i]), double(lo[-i - 1])};
            const v2d b = {double(hi[i]), double(hi[i + 1])};
            const v2d cs = {kAlias.cs[i], kAlias.cs[i + 1]};
            const v2d ca = {kAlias.ca[i], kAlias.ca[i + 1]};
            const __m128i na = _mm_cvtpd_epi32(asM(a * cs - b * ca));
            const __m128i nb = _mm_cvtpd_epi32(asM(b * cs + a * ca));
            lo[-i] = _mm_cvtsi128_si32(na);
            lo[-i - 1] = _mm_cvtsi128_si32(_mm_srli_si128(na, 4));
            hi[i] = _mm_cvtsi128_si32(nb);
            hi[i + 1] = _mm_cvtsi128_si32(_mm_srli_si128(nb, 4));
        }
    }
}

constexpr Okv32s kZeroRow[18] = {};

// Lines k of two subbands as lanes: x[k] = {a[k], b[k]}.
void gatherPair(const Okv32s* a, const Okv32s* b, v2d* x)
{
    for (int k = 0; k < 18; k += 2) {
        const __m128i i = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + k)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + k)));
        x[k] = reinterpret_cast<v2d>(_mm_cvtepi32_pd(i));
        x[k + 1] = reinterpret_cast<v2d>(_mm_cvtepi32_pd(_mm_srli_si128(i, 8)));
    }
}

// Two rounded lanes of y[t] and y[t + 1] as {lane 0 at t, lane 1 at t, lane 0 at t + 1, lane 1 at t + 1}.
inline __m128i round2(v2d a, v2d b)
{
    return _mm_unpacklo_epi64(_mm_cvtpd_epi32(reinterpret_cast<__m128d>(a)),
                              _mm_cvtpd_epi32(reinterpret_cast<__m128d>(b)));
}

// Overlap-add and frequency inversion of subbands sb (even) and sb + 1, two time slots at a
// time; lane 1 is written only when `both`.
void emitPair(const v2d* y, Okv32s* out, Okv32s* ov, int sb, bool both)
{
    Okv32s* ov0 = ov + 18 * sb;
    Okv32s* ov1 = both ? ov0 + 18 : nullptr;
    const __m128i invert = _mm_set_epi32(-1, 0, 0, 0);  // odd subband at the odd slot
    for (int t = 0; t < 18; t += 2) {
        const __m128i o0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ov0 + t));
        const __m128i o1 = both ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ov1 + t)) : _mm_setzero_si128();
        __m128i v = _mm_add_epi32(round2(y[t], y[t + 1]), _mm_unpacklo_epi32(o0, o1));
        v = _mm_sub_epi32(_mm_xor_si128(v, invert), invert);
        const __m128i n = round2(y[18 + t], y[19 + t]);
        const __m128i nOv = _mm_shuffle_epi32(n, _MM_SHUFFLE(3, 1, 2, 0));  // lane 0 at t, t + 1; lane 1 ...
        Okv32s* row0 = out + 32 * t + sb;
        Okv32s* row1 = row0 + 32;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ov0 + t), nOv);
        if (both) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row0), v);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row1), _mm_srli_si128(v, 8));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(ov1 + t), _mm_srli_si128(nOv, 8));
        } else {
            row0[0] = _mm_cvtsi128_si32(v);
            row1[0] = _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
        }
    }
}

int windowRow(int blockType) { return blockType == 1 ? 1 : blockType == 3 ? 2 : 0; }

}  // namespace

StatusCode okvsMDCTInv_MP3_32s(Okv32s* pSrcDst, Okv32s* pDst, Okv32s* pOverlap, int nonZeroBound,
                               int* pPrevCount, int blockType, int mixedBlock)
{
    if (!pSrcDst || !pDst || !pOverlap || !pPrevCount) return okvErrNullPtr;
    if (Okv32u(nonZeroBound) > 576 || Okv32u(blockType) > 3 || Okv32u(mixedBlock) > 1 ||
        Okv32u(*pPrevCount) > 32)
        return okvErrBadArg;

    const bool isShort = blockType == 2;
    int n = isShort ? (3641 * nonZeroBound + 61897) >> 16 : ((3641 * nonZeroBound + 29128) >> 16) + 1;
    if (isShort && mixedBlock && n < 2) n = 2;
    const int nsb = n < 32 ? n : 32;
    const int prev = *pPrevCount;
    const int m = nsb > prev ? nsb : prev;

    if (!isShort) aliasReduce(pSrcDst, nsb - 1);
    else if (mixedBlock) aliasReduce(pSrcDst, 1);

    const int row = windowRow(blockType);
    for (int sb = 0; sb < m; sb += 2) {
        v2d x[18], y[36];
        gatherPair(sb < nsb ? pSrcDst + 18 * sb : kZeroRow, sb + 1 < nsb ? pSrcDst + 18 * sb + 18 : kZeroRow, x);
        if (mixedBlock && sb == 0) long36(x, 0, y);  // subbands 0 and 1: normal window for any type
        else if (!isShort) long36(x, row, y);
        else short36(x, y);
        emitPair(y, pDst, pOverlap, sb, sb + 1 < m);
    }
    for (int t = 0; t < 18; ++t)
        for (int sb = m; sb < 32; ++sb) pDst[32 * t + sb] = 0;
    *pPrevCount = nsb;
    return okvOk;
}

StatusCode okvsMDCTInvWindow_MP3_32s(const Okv32s* pSrc, Okv32s* pDst, int blockType)
{
    if (!pSrc || !pDst) return okvErrNullPtr;
    if (Okv32u(blockType) > 3) return okvErrBadArg;
    double x[18], y[36];
    for (int k = 0; k < 18; ++k) x[k] = pSrc[k];
    if (blockType == 2) short36(x, y);
    else long36(x, windowRow(blockType), y);
    for (int i = 0; i < 36; i += 2) {
        const __m128i r = _mm_cvtpd_epi32(_mm_loadu_pd(y + i));
        pDst[i] = _mm_cvtsi128_si32(r);
        pDst[i + 1] = _mm_cvtsi128_si32(_mm_srli_si128(r, 4));
    }
    return okvOk;
}

}  // namespace OKV_NS
