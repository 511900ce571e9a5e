// Fixed-point polyphase synthesis: 32 subband samples (Q24 scale of the hybrid filterbank) to
// 32 saturated 16-bit PCM samples.
//
// Arithmetic: the matrixing runs in double and every X value is rounded to the nearest
// integer, ties to even, into the history. Each tap is the 64-bit product of a signed Q30
// window coefficient (sign of the mirrored half and of V folded in before the shift) and a
// history value, shifted right arithmetically by 32; taps are summed in 32-bit wrapping
// arithmetic, then (sum + 64) >> 7 is saturated to 16 bits. Sample 0 pairs the taps of ages
// a and 16 - a, which share one coefficient magnitude: their history values are combined in
// 64 bits and multiplied once.
#include <emmintrin.h>
#include <tmmintrin.h>

#include "mp3/synth_layout.h"
#include "mp3/synth_window_data.h"

namespace OKV_NS {
namespace {

using namespace mp3synth;

constexpr Okv32s kD[257] = OKV_MP3_SYNTH_D_Q30_INIT;
constexpr Rings<Okv32s> kRings{kD};

// Four taps of signed 32 x 32 -> high 32 products. The unsigned high halves come from
// pmuludq (lanes 0 and 2, then 1 and 3 in dwords 1 and 3); the signed result subtracts the
// other operand wherever one operand is negative.
struct Acc {
    __m128i hi = _mm_setzero_si128();
    __m128i fix = _mm_setzero_si128();
};

struct Taps {
    __m128i v, vOdd, vNeg;
    explicit Taps(const Okv32s* h)
        : v(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h))),
          vOdd(_mm_srli_epi64(v, 32)),
          vNeg(_mm_srai_epi32(v, 31)) {}
};

inline void mac(Acc& a, const Taps& t, const Okv32s* c)
{
    const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 1));
    a.hi = _mm_add_epi32(a.hi, _mm_mul_epu32(t.v, c0));
    a.hi = _mm_add_epi32(a.hi, _mm_mul_epu32(t.vOdd, c1));
    a.fix = _mm_add_epi32(a.fix, _mm_and_si128(t.vNeg, c0));
    a.fix = _mm_add_epi32(a.fix, _mm_and_si128(_mm_srai_epi32(c0, 31), t.v));
}

// A vector whose four lanes add up to the accumulated sum.
inline __m128i lanes(const Acc& a)
{
    const __m128i oddDwords = _mm_set_epi32(-1, 0, -1, 0);
    return _mm_sub_epi32(_mm_and_si128(a.hi, oddDwords), a.fix);
}

// The eight even-age values of X[mEven] and the eight odd-age values of X[mOdd].
struct Ring16 {
    Taps e0, e1, o0, o1;
    Ring16(const Okv32s* h, int mEven, int mOdd, int parEven)
        : e0(h + mEven * 16 + parEven * 8), e1(h + mEven * 16 + parEven * 8 + 4),
          o0(h + mOdd * 16 + (parEven ^ 1) * 8), o1(h + mOdd * 16 + (parEven ^ 1) * 8 + 4) {}
};

inline __m128i sample(const Ring16& r, int s, int offE, int offO)
{
    Acc a;
    const Okv32s* ce = kRings.c[s][0] + offE;
    const Okv32s* co = kRings.c[s][1] + offO;
    mac(a, r.e0, ce);
    mac(a, r.e1, ce + 4);
    mac(a, r.o0, co);
    mac(a, r.o1, co + 4);
    return lanes(a);
}

inline Okv32s hiMul(Okv32s c, Okv64s v) { return Okv32s((Okv64s(c) * v) >> 32); }

}  // namespace

StatusCode okvsSynthPQMF_MP3_32s16s(const Okv32s* pSrc, Okv16s* pDst, Okv32s* pHistory, int* pPos,
                                    int mode)
{
    if (!pSrc || !pDst || !pHistory || !pPos) return okvErrNullPtr;
    if ((mode != 1 && mode != 2) || Okv32u(*pPos) > 15) return okvErrBadArg;
    const int p = (*pPos + 15) & 15;
    *pPos = p;

    double in[32], x[32];
    for (int k = 0; k < 32; ++k) in[k] = pSrc[k];
    dctLee<double, 32>(in, x);
    Okv32s* slot = pHistory + (p & 1) * 8 + (p >> 1);
    for (int m = 0; m < 32; m += 2) {
        const __m128i r = _mm_cvtpd_epi32(_mm_loadu_pd(x + m));  // nearest, ties to even
        slot[m * 16] = _mm_cvtsi128_si32(r);
        slot[m * 16 + 16] = _mm_cvtsi128_si32(_mm_srli_si128(r, 4));
    }

    const int parEven = p & 1;
    const int offE = 8 - (p >> 1);
    const int offO = 8 - (((p + 1) >> 1) & 7);
    alignas(16) Okv32s sum[32];

    // Sample 0: taps of ages a and 16 - a share |D[32a]|.
    {
        const Okv32s* h = pHistory + 16 * 16;
        Okv64s xa[16];
        for (int a = 0; a < 16; ++a) xa[a] = h[((p + a) & 1) * 8 + (((p + a) & 15) >> 1)];
        Okv32u s0 = Okv32u(hiMul(kD[256], xa[8]));
        for (int k = 1; k <= 3; ++k) s0 += Okv32u(hiMul(kD[64 * k], xa[2 * k] + xa[16 - 2 * k]));  // D[512 - 64k] = D[64k]
        for (int k = 0; k <= 3; ++k)
            s0 += Okv32u(hiMul(kD[32 + 64 * k], xa[15 - 2 * k] - xa[2 * k + 1]));
        sum[0] = Okv32s(s0);
    }
    // Samples j and 32 - j read the same history values X[16 + j] and X[16 - j].
    for (int j = 1; j < 15; j += 2) {
        const Ring16 a(pHistory, 16 + j, 16 - j, parEven), b(pHistory, 17 + j, 15 - j, parEven);
        const __m128i lo = _mm_hadd_epi32(sample(a, j, offE, offO), sample(b, j + 1, offE, offO));
        const __m128i hi = _mm_hadd_epi32(sample(a, 32 - j, offE, offO),
                                          sample(b, 31 - j, offE, offO));
        alignas(16) Okv32s t[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(t), _mm_hadd_epi32(lo, hi));
        sum[j] = t[0];
        sum[j + 1] = t[1];
        sum[32 - j] = t[2];
        sum[31 - j] = t[3];
    }
    {
        const Ring16 a(pHistory, 31, 1, parEven);
        const Taps o0(pHistory + (parEven ^ 1) * 8), o1(pHistory + (parEven ^ 1) * 8 + 4);
        Acc b;  // sample 16: odd ages of X[0] only
        mac(b, o0, kRings.c[16][1] + offO);
        mac(b, o1, kRings.c[16][1] + offO + 4);
        const __m128i lo = _mm_hadd_epi32(sample(a, 15, offE, offO), lanes(b));
        const __m128i hi = _mm_hadd_epi32(sample(a, 17, offE, offO), _mm_setzero_si128());
        alignas(16) Okv32s t[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(t), _mm_hadd_epi32(lo, hi));
        sum[15] = t[0];
        sum[16] = t[1];
        sum[17] = t[2];
    }

    const __m128i bias = _mm_set1_epi32(64);
    for (int j = 0; j < 32; j += 8) {
        const __m128i a = _mm_srai_epi32(
            _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(sum + j)), bias), 7);
        const __m128i b = _mm_srai_epi32(
            _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(sum + j + 4)), bias), 7);
        alignas(16) Okv16s pcm[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(pcm), _mm_packs_epi32(a, b));
        for (int i = 0; i < 8; ++i) pDst[(j + i) * mode] = pcm[i];
    }
    return okvOk;
}

}  // namespace OKV_NS
