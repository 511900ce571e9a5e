// Frequency-domain prediction and update, four lines per SSE vector.
// Every product and sum is rounded separately in single precision; each update expression is
// evaluated left to right as written (alpha*COR0 first, then r0*x added; r0*r0 plus x*x, then
// halved), the order the encoder's predictor must share to stay bit-identical.
#include <emmintrin.h>

#include "aac/fdp.h"

namespace OKV_NS {
namespace {

using namespace fdp;

enum class Mode { Residual, Predicted, Plain };

inline __m128i bits(__m128 v) { return _mm_castps_si128(v); }
inline __m128 flt(__m128i v) { return _mm_castsi128_ps(v); }

// Truncation to a 16-bit pattern (sign, exponent, 7 mantissa bits) and rounding to it.
inline __m128 trunc16(__m128 v) { return _mm_and_ps(v, flt(_mm_set1_epi32(int(0xFFFF0000u)))); }
inline __m128 round16(__m128 v) { return trunc16(flt(_mm_add_epi32(bits(v), _mm_set1_epi32(0x8000)))); }

// 0.953125 / v from the top 7 mantissa bits and the exponent e of v: R(0.953125 / (1 + m/128))
// times 2^(127-e) for e = 128..254, else 0.  Computed as R(0.4765625 / (1 + m/128)) (the same
// pattern one exponent lower; the divisor is exact) times 2^(128-e), which is a normal number
// built as a pattern; both products are exact, also where the result is denormal.
inline __m128 reciprocal(__m128 v)
{
    const __m128i b = bits(v);
    const __m128 divisor = flt(_mm_or_si128(_mm_and_si128(b, _mm_set1_epi32(0x007F0000)), _mm_set1_epi32(0x3F800000)));
    const __m128 m = round16(_mm_div_ps(_mm_set1_ps(0.4765625f), divisor));
    // 2^(128-e): 0 for e = 255, at least 2.0 for e <= 127, which the mask clears.
    const __m128i scale = _mm_sub_epi32(_mm_set1_epi32(0x7F800000), _mm_and_si128(b, _mm_set1_epi32(0x7F800000)));
    const __m128i small = _mm_cmpgt_epi32(scale, _mm_set1_epi32(0x3FFFFFFF));
    return _mm_mul_ps(m, flt(_mm_andnot_si128(small, scale)));
}

// Predicts and updates four lines: state arrays at k, input at in, output (if any) at out.
template <Mode M>
inline void step4(const FDPState* s, int k, const Okv32f* in, Okv32f* out)
{
    const __m128 alpha = _mm_set1_ps(0.90625f), a = _mm_set1_ps(0.953125f), half = _mm_set1_ps(0.5f);
    const __m128 cor0 = _mm_loadu_ps(s->pCor0 + k), cor1 = _mm_loadu_ps(s->pCor1 + k);
    const __m128 var0 = _mm_loadu_ps(s->pVar0 + k), var1 = _mm_loadu_ps(s->pVar1 + k);
    const __m128 r0 = _mm_loadu_ps(s->pR0 + k), r1 = _mm_loadu_ps(s->pR1 + k);
    const __m128 k1 = _mm_mul_ps(cor0, reciprocal(var0));
    const __m128 k2 = _mm_mul_ps(cor1, reciprocal(var1));
    const __m128 k1r0 = _mm_mul_ps(k1, r0);
    __m128 x = _mm_loadu_ps(in);
    if constexpr (M != Mode::Plain) {
        const __m128 p = round16(_mm_add_ps(_mm_mul_ps(k2, r1), k1r0));
        if constexpr (M == Mode::Residual) {
            _mm_storeu_ps(out, _mm_sub_ps(x, p));
        } else {
            x = _mm_add_ps(x, p);
            _mm_storeu_ps(out, x);
        }
    }
    const __m128 e1 = _mm_sub_ps(x, k1r0);
    _mm_storeu_ps(s->pCor0 + k, trunc16(_mm_add_ps(_mm_mul_ps(alpha, cor0), _mm_mul_ps(r0, x))));
    _mm_storeu_ps(s->pCor1 + k, trunc16(_mm_add_ps(_mm_mul_ps(alpha, cor1), _mm_mul_ps(r1, e1))));
    _mm_storeu_ps(s->pVar0 + k, trunc16(_mm_add_ps(_mm_mul_ps(alpha, var0),
                                                   _mm_mul_ps(half, _mm_add_ps(_mm_mul_ps(r0, r0), _mm_mul_ps(x, x))))));
    _mm_storeu_ps(s->pVar1 + k, trunc16(_mm_add_ps(_mm_mul_ps(alpha, var1),
                                                   _mm_mul_ps(half, _mm_add_ps(_mm_mul_ps(r1, r1), _mm_mul_ps(e1, e1))))));
    _mm_storeu_ps(s->pR1 + k, trunc16(_mm_mul_ps(a, _mm_sub_ps(r0, _mm_mul_ps(k1, x)))));
    _mm_storeu_ps(s->pR0 + k, trunc16(_mm_mul_ps(a, x)));
}

// Lines [start, end): whole vectors in place, the last one to three lines through a copy so
// that nothing outside the range is read from the caller or written anywhere.
template <Mode M>
void run(FDPState* s, int start, int end, const Okv32f* in, Okv32f* out)
{
    int k = start;
    for (; k + 4 <= end; k += 4) step4<M>(s, k, in + k, out + k);
    const int n = end - k;
    if (n <= 0) return;
    alignas(16) Okv32f line[6][4] = {}, x[4] = {}, y[4];
    Okv32f* arrays[6] = {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1};
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < 6; ++i) line[i][j] = arrays[i][k + j];
        x[j] = in[k + j];
    }
    FDPState tail = *s;
    tail.pCor0 = line[0], tail.pCor1 = line[1], tail.pVar0 = line[2];
    tail.pVar1 = line[3], tail.pR0 = line[4], tail.pR1 = line[5];
    step4<M>(&tail, 0, x, y);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < 6; ++i) arrays[i][k + j] = line[i][j];
        if constexpr (M != Mode::Plain) out[k + j] = y[j];
    }
}

bool misaligned(const void* p) { return reinterpret_cast<Okv64u>(p) & 15; }

}  // namespace

StatusCode okvsFDPFwd_32f(const Okv32f* pSrc, Okv32f* pDst, FDPState* pState)
{
    if (!pSrc || !pDst || !pState) return okvErrNullPtr;
    if (!usable(pState)) return okvErrContextMatch;
    run<Mode::Residual>(pState, 0, pState->len, pSrc, pDst);
    return misaligned(pSrc) || misaligned(pDst) ? okvWrnMisaligned : okvOk;
}

StatusCode okvsFDPInv_32f_I(Okv32f* pSrcDst, const int* pBandOffset, int nBands, const unsigned char* pPredFlag,
                            FDPState* pState)
{
    if (!pSrcDst || !pBandOffset || !pPredFlag || !pState) return okvErrNullPtr;
    if (nBands < 1) return okvErrSize;
    if (!usable(pState)) return okvErrContextMatch;
    // Adjacent bands with the same flag run as one stretch of lines.
    int prevEnd = 0, runStart = 0, runEnd = 0;
    bool runFlag = false;
    auto flush = [&] {
        if (runFlag)
            run<Mode::Predicted>(pState, runStart, runEnd, pSrcDst, pSrcDst);
        else
            run<Mode::Plain>(pState, runStart, runEnd, pSrcDst, pSrcDst);  // never written
    };
    for (int b = 0; b < nBands; ++b) {
        int start, end;
        bandLines(pBandOffset, b, pState->len, &prevEnd, &start, &end);
        if (end <= start) continue;
        const bool flag = pPredFlag[b] != 0;
        if (start != runEnd || flag != runFlag) {
            flush();
            runStart = start, runFlag = flag;
        }
        runEnd = end;
    }
    flush();
    return misaligned(pSrcDst) ? okvWrnMisaligned : okvOk;
}

}  // namespace OKV_NS
