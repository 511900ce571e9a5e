// Fixed-point polyphase synthesis: 32 subband samples (Q24 scale of the hybrid filterbank) to
// 32 saturated 16-bit PCM samples.
//
// Arithmetic: the matrixing runs in double and every X value is rounded to the nearest
// integer, ties to even, into the history. Each tap is the 64-bit product of a signed Q30
// window coefficient (sign of the mirrored half and of V folded in before the shift) and a
// history value, shifted right arithmetically by 32; taps are summed in 32-bit wrapping
// arithmetic, then (sum + 64) >> 7 is saturated to 16 bits. Sample 0 pairs the taps of ages
// a and 16 - a, which share one coefficient magnitude: their history values are added or
// subtracted in 64 bits and multiplied once.
#include <emmintrin.h>
#include <tmmintrin.h>

#include "mp3/synth_layout.h"
#include "mp3/synth_window_data.h"

namespace OKV_NS {
namespace {

using namespace mp3synth;

constexpr Okv32s kD[257] = OKV_MP3_SYNTH_D_Q30_INIT;
constexpr Rings<Okv32s> kRings{kD};

// Sign masks of the tap coefficients, laid out like kRings.c.
struct SignMasks {
    Okv32s m[32][2][kRow] = {};
    constexpr explicit SignMasks(const Rings<Okv32s>& r) {
        for (int s = 0; s < 32; ++s)
            for (int g = 0; g < 2; ++g)
                for (int t = 0; t < kRow; ++t) m[s][g][t] = r.c[s][g][t] < 0 ? -1 : 0;
    }
};
constexpr SignMasks kSigns{kRings};

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
          vOdd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 1, 1))),
          vNeg(_mm_srai_epi32(v, 31)) {}
};

inline __m128i ld(const Okv32s* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// c: coefficients of the four taps, m: their sign masks.
inline void mac(Acc& a, const Taps& t, const Okv32s* c, const Okv32s* m)
{
    const __m128i c0 = ld(c);
    a.hi = _mm_add_epi32(a.hi, _mm_mul_epu32(t.v, c0));
    a.hi = _mm_add_epi32(a.hi, _mm_mul_epu32(t.vOdd, ld(c + 1)));
    a.fix = _mm_add_epi32(a.fix, _mm_and_si128(t.vNeg, c0));
    a.fix = _mm_add_epi32(a.fix, _mm_and_si128(t.v, ld(m)));
    // Keeps the compiler from hoisting every load of the loop body and spilling.
    asm("" : "+x"(a.hi), "+x"(a.fix));
}

// A vector whose four lanes add up to the accumulated sum.
inline __m128i lanes(const Acc& a)
{
    const __m128i oddDwords = _mm_set_epi32(-1, 0, -1, 0);
    return _mm_sub_epi32(_mm_and_si128(a.hi, oddDwords), a.fix);
}

// Samples s and 32 - s share their history values: each group of four is loaded once and
// multiplied into both accumulators.
inline void pairTaps(Acc& a, Acc& b, const Okv32s* h, int s, int ring, int off)
{
    for (int q = 0; q < 8; q += 4) {
        const Taps t(h + q);
        mac(a, t, kRings.c[s][ring] + off + q, kSigns.m[s][ring] + off + q);
        mac(b, t, kRings.c[32 - s][ring] + off + q, kSigns.m[32 - s][ring] + off + q);
    }
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

    // The 32-point DCT's first split runs both halves side by side: lane 0 carries
    // in[k] + in[31 - k], lane 1 (in[k] - in[31 - k]) * c[k]; x * 1 and x + -y are exact.
    v2d w[16], e[16];
    const v2d negHi = {0.0, -0.0};
    for (int k = 0; k < 16; k += 4) {
        const __m128i a = ld(pSrc + k), b = ld(pSrc + 28 - k);  // in[k..k+3], in[28-k..31-k]
        const __m128i lo[4] = {_mm_shuffle_epi32(a, 0x00), _mm_shuffle_epi32(a, 0x55), _mm_shuffle_epi32(a, 0xAA),
                               _mm_shuffle_epi32(a, 0xFF)};
        const __m128i hi[4] = {_mm_shuffle_epi32(b, 0xFF), _mm_shuffle_epi32(b, 0xAA), _mm_shuffle_epi32(b, 0x55),
                               _mm_shuffle_epi32(b, 0x00)};
        for (int i = 0; i < 4; ++i) {
            const v2d l = reinterpret_cast<v2d>(_mm_cvtepi32_pd(lo[i]));
            const v2d h = reinterpret_cast<v2d>(_mm_xor_pd(_mm_cvtepi32_pd(hi[i]), reinterpret_cast<__m128d>(negHi)));
            w[k + i] = (l + h) * v2d{1.0, kLee<32>.c[k + i]};
        }
    }
    dctLeeLanes<16>(w, e);
    // X[2m] = e[m].lo, X[2m + 1] = e[m].hi + e[m + 1].hi (X[31] = e[15].hi + 0), rounded to
    // nearest, ties to even, into slot X * 16 of the history.
    Okv32s* slot = pHistory + (p & 1) * 8 + (p >> 1);
    for (int m = 0; m < 16; m += 2) {
        const v2d next = m < 14 ? e[m + 2] : v2d{0.0, 0.0};
        const v2d ev = __builtin_shufflevector(e[m], e[m + 1], 0, 2);
        const v2d od = __builtin_shufflevector(e[m], e[m + 1], 1, 3) + __builtin_shufflevector(e[m + 1], next, 1, 3);
        const Okv64u re = Okv64u(_mm_cvtsi128_si64(_mm_cvtpd_epi32(reinterpret_cast<__m128d>(ev))));
        const Okv64u ro = Okv64u(_mm_cvtsi128_si64(_mm_cvtpd_epi32(reinterpret_cast<__m128d>(od))));
        slot[(2 * m) * 16] = Okv32s(Okv32u(re));
        slot[(2 * m + 1) * 16] = Okv32s(Okv32u(ro));
        slot[(2 * m + 2) * 16] = Okv32s(Okv32u(re >> 32));
        slot[(2 * m + 3) * 16] = Okv32s(Okv32u(ro >> 32));
    }

    const int parEven = p & 1;
    const int offE = 8 - (p >> 1);
    const int offO = 8 - (((p + 1) >> 1) & 7);
    alignas(16) Okv32s sum[32];

    // Sample 0: taps of ages a and 16 - a share |D[32a]|; D[512 - 64k] = D[64k], while
    // D[480 - 64k] = -D[32 + 64k].
    // Ages 2k and 2k + 1 sit at ring places k of the even and odd rings of X[16], each ring
    // unrolled twice so that places run on without wrapping.
    {
        alignas(16) Okv32s e[16], o[16];
        const Okv32s* h = pHistory + 16 * 16;
        for (int q = 0; q < 8; q += 4) {
            const __m128i ve = ld(h + parEven * 8 + q), vo = ld(h + (parEven ^ 1) * 8 + q);
            _mm_store_si128(reinterpret_cast<__m128i*>(e + q), ve);
            _mm_store_si128(reinterpret_cast<__m128i*>(e + 8 + q), ve);
            _mm_store_si128(reinterpret_cast<__m128i*>(o + q), vo);
            _mm_store_si128(reinterpret_cast<__m128i*>(o + 8 + q), vo);
        }
        const Okv32s* xe = e + (p >> 1);               // age 2k at xe[k]
        const Okv32s* xo = o + (((p + 1) >> 1) & 7);   // age 2k + 1 at xo[k]
        Okv32u s0 = Okv32u(hiMul(kD[256], xe[4]));
        for (int k = 1; k <= 3; ++k) s0 += Okv32u(hiMul(kD[64 * k], Okv64s(xe[k]) + xe[8 - k]));
        for (int k = 0; k <= 3; ++k) s0 += Okv32u(hiMul(kD[32 + 64 * k], Okv64s(xo[7 - k]) - xo[k]));
        sum[0] = Okv32s(s0);
    }
    // Samples j and 32 - j read X[16 + j] at even ages and X[16 - j] at odd ages; sample 16
    // reads X[0] at odd ages only.
    const Okv32s* hE = pHistory + parEven * 8;
    const Okv32s* hO = pHistory + (parEven ^ 1) * 8;
    // Samples j, j + 1, 32 - j and 31 - j reduce together; sample 16 joins pair 15.
    auto pairLanes = [&](int j, __m128i& la, __m128i& lb) {
        Acc a, b;  // samples j and 32 - j
        pairTaps(a, b, hE + (16 + j) * 16, j, 0, offE);
        pairTaps(a, b, hO + (16 - j) * 16, j, 1, offO);
        la = lanes(a);
        lb = lanes(b);
    };
    for (int j = 1; j < 15; j += 2) {
        __m128i a0, b0, a1, b1;
        pairLanes(j, a0, b0);
        pairLanes(j + 1, a1, b1);
        const __m128i t = _mm_hadd_epi32(_mm_hadd_epi32(a0, a1), _mm_hadd_epi32(b0, b1));  // j, j+1, 32-j, 31-j
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sum + j), t);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sum + 31 - j), _mm_shuffle_epi32(t, _MM_SHUFFLE(2, 3, 2, 3)));
    }
    {
        __m128i a15, b15;
        pairLanes(15, a15, b15);
        Acc a;
        for (int q = 0; q < 8; q += 4) mac(a, Taps(hO + q), kRings.c[16][1] + offO + q, kSigns.m[16][1] + offO + q);
        const __m128i t = _mm_hadd_epi32(_mm_hadd_epi32(a15, lanes(a)), _mm_hadd_epi32(b15, b15));  // 15, 16, 17
        _mm_storel_epi64(reinterpret_cast<__m128i*>(sum + 15), t);
        sum[17] = _mm_cvtsi128_si32(_mm_srli_si128(t, 8));
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
