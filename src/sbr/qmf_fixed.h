// Fixed-point SBR QMF banks: structure layout and the four-lane arithmetic shared by the
// analysis, synthesis and FFT files.
//
// The structure lies at the caller's block rounded up to 16 bytes: identifier, pointer to the
// delay-line record, allocated flag; then the record (delay-line pointer, slot position 0..9)
// at byte 32 and the delay line of signed 32-bit values at byte 48.
#pragma once

#include <cstddef>
#include <emmintrin.h>
#include <utility>

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {
namespace qmffx {

struct Record {
    Okv32s* delay;
    Okv32s pos;
};
struct Header {
    Okv32u id;
    Record* rec;
    Okv32u allocated;
};
static_assert(offsetof(Header, rec) == 8 && offsetof(Header, allocated) == 16 && sizeof(Header) <= 32);
constexpr int kRecordOffset = 32, kDelayOffset = 48;

enum : Okv32u {
    kAnalysisHQ = 0x434D4161u,
    kAnalysisLP = 0x434D4162u,
    kSynthesisHQ = 0x434D4163u,
    kSynthesisLP = 0x434D4164u,
    kDownHQ = 0x434D4165u,
    kDownLP = 0x434D4166u,
};

inline Header* headerAt(const void* p) {
    return reinterpret_cast<Header*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}

// 32-bit wrap-around subtraction.
inline Okv32s wsub(Okv32s a, Okv32s b) { return Okv32s(Okv32u(a) - Okv32u(b)); }

// Q30 of v (|v| <= 1), rounded to nearest; Q30 cosine and sine of pi x.
constexpr Okv32s q30(double v) { return Okv32s(v * 1073741824.0 + (v < 0 ? -0.5 : 0.5)); }
constexpr Okv32s q30cos(double x) { return q30(okv_cospi(x)); }
constexpr Okv32s kSqrtHalfQ30 = 759250125;
constexpr Okv32s q30sin(double x) { return q30cos(x - 0.5); }

// A Q30 window with what the windowing needs besides: the odd values moved to the even
// positions (the unsigned multiply reads even lanes) and the mask w < 0 per value.
template <int N>
struct Window {
    alignas(16) Okv32s w[N];
    alignas(16) Okv32s odd[N];
    alignas(16) Okv32s neg[N];
};

template <int N>
constexpr Window<N> makeWindow(const int (&w)[N]) {
    Window<N> t{};
    for (int n = 0; n < N; ++n) {
        t.w[n] = w[n];
        if (n & 1) t.odd[n - 1] = w[n];
        t.neg[n] = w[n] < 0 ? -1 : 0;
    }
    return t;
}

// The odd lanes of v moved to the even ones, for the unsigned multiply (which reads only
// those). A shuffle leaves v in place where a shift would need a copy first.
inline __m128i odd(__m128i v) { return _mm_shuffle_epi32(v, 0xF5); }

// How many of the window values w[at .. at + 3] are negative: none, all or some.
enum : int { kWinPos, kWinNeg, kWinMixed };
template <int N>
constexpr int windowSigns(const Window<N>& win, int at) {
    int n = 0;
    for (int l = 0; l < 4; ++l) n += win.w[at + l] < 0;
    return n == 0 ? kWinPos : n == 4 ? kWinNeg : kWinMixed;
}

// The windowing step for lanes n = 0 .. 3:
//   sum_{j<T} (x_j[k + n] * w[I + n + S j]) >> 32
// with 64-bit products and 32-bit wrap-around sums. SSE2 multiplies unsigned; the signed high
// word is the unsigned one less w where x < 0 and less x where w < 0 (mod 2^32). The high
// words of the even and odd lanes and the corrections are summed apart and joined once. The
// window's signs are known per tap when compiling: the w < 0 correction costs nothing where
// none of the four is negative and one add where all are. The odd lanes come from a second
// load one value further on, which spares the shuffle, unless Tail says x_j[k + 4] may lie
// past the line.
template <int T, int S, const auto& W, int I, bool Tail>
[[gnu::always_inline]] inline __m128i windowSum(const Okv32s* const (&x)[T], int k) {
    __m128i ev = _mm_setzero_si128(), od = _mm_setzero_si128(), fix = _mm_setzero_si128();
    const auto tap = [&]<int At>(const Okv32s* p) __attribute__((always_inline)) {
        const __m128i xv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i wv = _mm_load_si128(reinterpret_cast<const __m128i*>(W.w + At));
        ev = _mm_add_epi32(ev, _mm_mul_epu32(xv, wv));
        const __m128i xo = Tail ? odd(xv) : _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        od = _mm_add_epi32(od, _mm_mul_epu32(xo,
                                             _mm_load_si128(reinterpret_cast<const __m128i*>(W.odd + At))));
        fix = _mm_add_epi32(fix, _mm_and_si128(_mm_srai_epi32(xv, 31), wv));
        if constexpr (windowSigns(W, At) == kWinNeg) {
            fix = _mm_add_epi32(fix, xv);
        } else if constexpr (windowSigns(W, At) == kWinMixed) {
            fix = _mm_add_epi32(fix, _mm_and_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(W.neg + At)), xv));
        }
        // Keeps the sums tap by tap: regrouped, they need more registers than there are.
        asm("" : "+x"(ev), "+x"(od), "+x"(fix));
    };
    [&]<int... J>(std::integer_sequence<int, J...>) __attribute__((always_inline)) {
        (tap.template operator()<S * J + I>(x[J] + k), ...);
    }(std::make_integer_sequence<int, T>{});
    // High words: ev lanes 1, 3 and od lanes 1, 3 hold the results of lanes 0, 2 and 1, 3.
    const __m128i hi = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(ev), _mm_castsi128_ps(od), 0xDD));
    return _mm_sub_epi32(_mm_shuffle_epi32(hi, 0xD8), fix);
}

// Bits SH .. SH + 31 (1 <= SH <= 32) of the 64-bit values in even (ev) and odd (od) lanes,
// less the correction fix placed at bit 32. The values come out as lanes 0, 2, 1, 3, which the
// final shuffle Order puts back in place (kInOrder) or reverses (kFromReversed: for lanes that
// went in reversed, back to order); kAsIs leaves them, for callers that reorder anyway.
enum : int { kInOrder = 0xD8, kFromReversed = 0x27, kAsIs = -1 };
template <int SH, int Order = kInOrder>
inline __m128i narrow(__m128i ev, __m128i od) {
    const __m128 e = _mm_castsi128_ps(SH == 32 ? ev : _mm_srli_epi64(ev, SH));
    const __m128 o = _mm_castsi128_ps(SH == 32 ? od : _mm_srli_epi64(od, SH));
    const __m128i r = _mm_castps_si128(_mm_shuffle_ps(e, o, SH == 32 ? 0xDD : 0x88));
    if constexpr (Order == kAsIs) return r;
    else return _mm_shuffle_epi32(r, Order);
}
template <int SH>
inline __m128i narrow(__m128i ev, __m128i od, __m128i fix) {
    return _mm_sub_epi32(narrow<SH>(ev, od), _mm_slli_epi32(fix, 32 - SH));
}


// Per lane, x C rounded and shifted right by SH, for a constant 0 < C < 2^31: with
// x' = x + 2^31 (unsigned), x C = x' C - 2^31 C.
template <int SH, Okv32s C>
inline __m128i mulPositive(__m128i x) {
    const __m128i xb = _mm_xor_si128(x, _mm_set1_epi32(INT32_MIN)), c = _mm_set1_epi32(C);
    const __m128i k = _mm_set1_epi64x((int64_t{1} << (SH - 1)) - int64_t{C} * (int64_t{1} << 31));
    return narrow<SH>(_mm_add_epi64(_mm_mul_epu32(xb, c), k), _mm_add_epi64(_mm_mul_epu32(odd(xb), c), k));
}

// Four complex values, one per lane.
struct Vec4c {
    __m128i re, im;
};

// Four complex factors c - i t (Q30) prepared for rotate4. The unsigned multiply reads even
// lanes, so co, to hold the odd lanes' factors there; cn, tn are the masks c < 0, t < 0. The
// products take x' = x + 2^31 (unsigned): x c = x' c_u - 2^31 c - 2^32 (x' & cn), so per output
// one 64-bit constant carries the 2^31 terms and the rounding, [even lanes, odd lanes]:
// kre = 2^(SH-1) - 2^31 (c + t), kim = 2^(SH-1) - 2^31 (c - t).
struct Turn4 {
    alignas(16) Okv32s c[4];
    alignas(16) Okv32s t[4];
    alignas(16) Okv32s co[4];
    alignas(16) Okv32s to[4];
    alignas(16) Okv32s cn[4];
    alignas(16) Okv32s tn[4];
    alignas(16) int64_t kre[2][2];
    alignas(16) int64_t kim[2][2];
};

// Lane n of w: the factor c + i s, outputs rounded at bit sh.
constexpr void setTurn(Turn4& w, int n, Okv32s c, Okv32s s, int sh) {
    const Okv32s t = -s;
    w.c[n] = c;
    w.t[n] = t;
    if (n & 1) {
        w.co[n - 1] = c;
        w.to[n - 1] = t;
    }
    w.cn[n] = c < 0 ? -1 : 0;
    w.tn[n] = t < 0 ? -1 : 0;
    w.kre[n & 1][n >> 1] = (int64_t{1} << (sh - 1)) - (int64_t{c} + t) * (int64_t{1} << 31);
    w.kim[n & 1][n >> 1] = (int64_t{1} << (sh - 1)) - (int64_t{c} - t) * (int64_t{1} << 31);
}
// Which factors of w are negative: kNegC if some c, kNegT if some t.
enum : int { kNegC = 1, kNegT = 2 };
constexpr int negatives(const Turn4& w) {
    int r = 0;
    for (int n = 0; n < 4; ++n) r |= (w.cn[n] ? kNegC : 0) | (w.tn[n] ? kNegT : 0);
    return r;
}
template <size_t L>
constexpr bool nonNegative(const Turn4 (&w)[L]) {
    for (const Turn4& v : w)
        if (negatives(v)) return false;
    return true;
}

// x + 2^31 and -x + 2^31 per lane, as unsigned values: the form rotate4B takes its input in.
inline __m128i biased(__m128i x) { return _mm_xor_si128(x, _mm_set1_epi32(INT32_MIN)); }
inline __m128i biasedNeg(__m128i x) { return _mm_sub_epi32(_mm_set1_epi32(INT32_MIN), x); }

// a (c - i t) per lane, each component rounded and shifted right by SH (the SH of the table),
// from b = biased(a). Neg (kNegC, kNegT) must cover negatives(w): the corrections for the
// others are left out. Order as for narrow (only kInOrder with corrections).
template <int SH, int Neg, int Order = kInOrder>
inline Vec4c rotate4B(Vec4c b, const Turn4& w) {
    static_assert(Order == kInOrder || Neg == 0);
    const __m128i x = b.re, y = b.im, xo = odd(x), yo = odd(y);
    const auto ld = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
    const __m128i c = ld(w.c), t = ld(w.t), co = ld(w.co), to = ld(w.to);
    const __m128i reE = _mm_add_epi64(_mm_add_epi64(_mm_mul_epu32(x, c), _mm_mul_epu32(y, t)), ld(w.kre[0]));
    const __m128i reO = _mm_add_epi64(_mm_add_epi64(_mm_mul_epu32(xo, co), _mm_mul_epu32(yo, to)), ld(w.kre[1]));
    const __m128i imE = _mm_add_epi64(_mm_sub_epi64(_mm_mul_epu32(y, c), _mm_mul_epu32(x, t)), ld(w.kim[0]));
    const __m128i imO = _mm_add_epi64(_mm_sub_epi64(_mm_mul_epu32(yo, co), _mm_mul_epu32(xo, to)), ld(w.kim[1]));
    if constexpr (Neg == 0) {
        return {narrow<SH, Order>(reE, reO), narrow<SH, Order>(imE, imO)};
    } else if constexpr (Neg == kNegC) {
        const __m128i cn = ld(w.cn);
        return {narrow<SH>(reE, reO, _mm_and_si128(x, cn)), narrow<SH>(imE, imO, _mm_and_si128(y, cn))};
    } else {
        const __m128i cn = ld(w.cn), tn = ld(w.tn);
        return {narrow<SH>(reE, reO, _mm_add_epi32(_mm_and_si128(x, cn), _mm_and_si128(y, tn))),
                narrow<SH>(imE, imO, _mm_sub_epi32(_mm_and_si128(y, cn), _mm_and_si128(x, tn)))};
    }
}
template <int SH, int Neg, int Order = kInOrder>
inline Vec4c rotate4(Vec4c a, const Turn4& w) {
    return rotate4B<SH, Neg, Order>({biased(a.re), biased(a.im)}, w);
}

inline __m128i load4(const Okv32s* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4(Okv32s* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i load4a(const Okv32s* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4a(Okv32s* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }
// p[3], p[2], p[1], p[0].
inline __m128i load4r(const Okv32s* p) { return _mm_shuffle_epi32(load4(p), 0x1B); }

inline void transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab1, cd1);
    d = _mm_unpackhi_epi64(ab1, cd1);
}

// Forward complex FFT of N = 16 or 32 points held as separate real and imaginary parts (16-byte
// aligned), natural order in and out, no scaling: X[k] = sum_n x[n] exp(-2 pi i n k / N).
template <int N>
void fft(Okv32s* re, Okv32s* im);

}  // namespace qmffx
}  // namespace OKV_NS
