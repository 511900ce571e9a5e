// Fixed-point FFT of 16 and 32 points for the SBR banks, four lanes at a time.
//
// With n = 4 r + l and k = k1 + R k2 (R = N/4, r, k1 < R, l, k2 < 4):
//   X[k] = sum_l W4^(l k2) W_N^(l k1) sum_r x[4 r + l] W_R^(r k1).
// Vector r holds x[4r .. 4r + 3], so the R-point transforms run across the vectors, one per
// lane; each lane l of vector k1 is then rotated by W_N^(l k1); after 4 x 4 transposes the
// 4-point transforms run across the vectors again and vector (k2, k1 / 4) holds the four
// consecutive outputs X[k1 + R k2], k1 = 4g .. 4g + 3. Rotations are Q30 products shifted
// right by 30 (unit gain, rounded); sums wrap at 32 bits.
#include <utility>

#include "sbr/qmf_fixed.h"

namespace OKV_NS {
namespace qmffx {
namespace {

template <int N>
struct Twiddles {
    Turn4 w[N / 4];
};

template <int N>
constexpr Twiddles<N> makeTwiddles() {
    Twiddles<N> t{};
    for (int k = 0; k < N / 4; ++k)
        for (int l = 0; l < 4; ++l) setTurn(t.w[k], l, q30cos(-2.0 * k * l / N), q30sin(-2.0 * k * l / N), 30);
    return t;
}
template <int N>
constexpr Twiddles<N> kTwiddles = makeTwiddles<N>();

inline Vec4c add(Vec4c a, Vec4c b) { return {_mm_add_epi32(a.re, b.re), _mm_add_epi32(a.im, b.im)}; }
inline Vec4c sub(Vec4c a, Vec4c b) { return {_mm_sub_epi32(a.re, b.re), _mm_sub_epi32(a.im, b.im)}; }
// a (-i).
inline Vec4c mulNegI(Vec4c a) { return {a.im, _mm_sub_epi32(_mm_setzero_si128(), a.re)}; }
inline __m128i sqrtHalf(__m128i v) { return mulPositive<30, kSqrtHalfQ30>(v); }

// 4-point transform of a, b, c, d (in place, natural order).
inline void dft4(Vec4c& a, Vec4c& b, Vec4c& c, Vec4c& d) {
    const Vec4c s0 = add(a, c), d0 = sub(a, c), s1 = add(b, d), d1 = mulNegI(sub(b, d));
    a = add(s0, s1);
    c = sub(s0, s1);
    b = add(d0, d1);
    d = sub(d0, d1);
}

// R-point transform across the vectors y[0 .. R-1].
template <int R>
inline void dftAcross(Vec4c* y) {
    if constexpr (R == 4) {
        dft4(y[0], y[1], y[2], y[3]);
    } else {
        static_assert(R == 8);
        Vec4c e[4] = {y[0], y[2], y[4], y[6]}, o[4] = {y[1], y[3], y[5], y[7]};
        dft4(e[0], e[1], e[2], e[3]);
        dft4(o[0], o[1], o[2], o[3]);
        // W8 = (1 - i) / sqrt 2, W8^2 = -i, W8^3 = -(1 + i) / sqrt 2.
        o[1] = {sqrtHalf(_mm_add_epi32(o[1].re, o[1].im)), sqrtHalf(_mm_sub_epi32(o[1].im, o[1].re))};
        o[2] = mulNegI(o[2]);
        o[3] = {sqrtHalf(_mm_sub_epi32(o[3].im, o[3].re)),
                sqrtHalf(_mm_sub_epi32(_mm_setzero_si128(), _mm_add_epi32(o[3].re, o[3].im)))};
        for (int k = 0; k < 4; ++k) {
            y[k] = add(e[k], o[k]);
            y[k + 4] = sub(e[k], o[k]);
        }
    }
}

}  // namespace

template <int N>
void fft(Okv32s* re, Okv32s* im) {
    constexpr int R = N / 4;
    Vec4c y[R];
    for (int r = 0; r < R; ++r) y[r] = {load4a(re + 4 * r), load4a(im + 4 * r)};
    dftAcross<R>(y);
    // Vector k turns lane l by lk/N of a circle: up to a quarter no factor is negative, up to
    // a half only cosines.
    [&]<int... K>(std::integer_sequence<int, K...>) {
        ((y[K + 1] = rotate4<30, negatives(kTwiddles<N>.w[K + 1])>(y[K + 1], kTwiddles<N>.w[K + 1])), ...);
    }(std::make_integer_sequence<int, R - 1>{});
    for (int g = 0; g < R / 4; ++g) {
        Vec4c* t = y + 4 * g;
        transpose4(t[0].re, t[1].re, t[2].re, t[3].re);
        transpose4(t[0].im, t[1].im, t[2].im, t[3].im);
        dft4(t[0], t[1], t[2], t[3]);
        for (int k2 = 0; k2 < 4; ++k2) {
            store4a(re + 4 * g + R * k2, t[k2].re);
            store4a(im + 4 * g + R * k2, t[k2].im);
        }
    }
}

template void fft<16>(Okv32s*, Okv32s*);
template void fft<32>(Okv32s*, Okv32s*);

}  // namespace qmffx
}  // namespace OKV_NS
