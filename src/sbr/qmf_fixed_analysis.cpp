// Fixed-point 32-band SBR analysis, one slot per call:
//   X[k] = sum_{n<64} u[n] 2 exp(i pi/64 (k + 1/2)(2n - 1/2))           (complex form)
//   X[k] = sum_{n<64} u[n] 2 cos(pi/64 (k + 1/2)(2n - 96))
//        = Re(exp(-i pi (k + 1/2) 95.5/64) X_complex[k])                   (real form)
// over the windowed delay line u. The modulation folds u into 32 complex values,
//   z[m] = (-u[64 - m] + i u[32 - m]) exp(-i pi (4m + 1)/256),  u[64] = -u[0],
// runs the 32-point fixed FFT, and rotates Z[m] (even bands) and conj(Z[31 - m]) (odd bands)
// by one Q30 factor per band, which for the real form also carries the phase shift above.
// Four values at a time throughout.
//
// Scale: u is a quarter of the exact window sum (Q30 window, products >> 32); the folded
// values are a further quarter, the band rotation doubles: X = X_float / 16.
#include "sbr/qmf_fixed.h"
#include "sbr/qmf_window_data.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

constexpr Window<320> kWin = makeWindow(SBR_TABLE_QMF_WINDOW_320_INT_Q30);

struct Tables {
    Turn4 pre[8];  // exp(-i pi (4m + 1)/256), shift 32, lanes reversed
    // Band 2j + parity, [form][parity][j / 4]: [0] complex form, [1] real form; shift 29.
    // The complex form's odd bands have their lanes reversed.
    Turn4 post[2][2][4];
};

constexpr Tables makeTables() {
    Tables t{};
    for (int m = 0; m < 32; ++m)
        setTurn(t.pre[m / 4], 3 - m % 4, q30cos(-(4 * m + 1) / 256.0), q30sin(-(4 * m + 1) / 256.0), 32);
    for (int k = 0; k < 32; ++k) {
        const double base = -(k / 2 + (k & 1)) / 64.0, shift = -(k + 0.5) * 95.5 / 64.0;
        const int j = k / 2;
        setTurn(t.post[0][k & 1][j / 4], k & 1 ? 3 - j % 4 : j % 4, q30cos(base), q30sin(base), 29);
        setTurn(t.post[1][k & 1][j / 4], j % 4, q30cos(base + shift), q30sin(base + shift), 29);
    }
    return t;
}
constexpr Tables kTab = makeTables();
static_assert(nonNegative(kTab.pre) && nonNegative(kTab.post[0][0]) && nonNegative(kTab.post[0][1]));

// Stores the slot, windows the delay line and leaves the 32 folded-and-transformed values in
// zr, zi.
void transform(const Okv32s* pSrc, Record* r, Okv32s* zr, Okv32s* zi) {
    const int p = r->pos > 0 ? r->pos - 1 : 9;
    r->pos = p;
    Okv32s* d = r->delay;
    for (int m = 0; m < 32; m += 4) store4(d + 32 * p + 28 - m, load4r(pSrc + m));

    // Each half of a 64-value row is one contiguous run of the line (blocks of 32).
    alignas(16) Okv32s u[68];
    [&]<int... G>(std::integer_sequence<int, G...>) __attribute__((always_inline)) {
        const auto half = [&]<int H>() __attribute__((always_inline)) {
            const Okv32s* x[5];
            // Offsets below 640: one conditional subtraction wraps them (a modulo here costs
            // a vector division).
            for (int j = 0, o = 32 * p + H; j < 5; ++j, o += 64) x[j] = d + (o >= 320 ? o - 320 : o);
            (store4a(u + H + 4 * G, windowSum<5, 64, kWin, H + 4 * G, G == 7>(x, 4 * G)), ...);
        };
        half.template operator()<0>();
        half.template operator()<32>();
    }(std::make_integer_sequence<int, 8>{});
    u[64] = wsub(0, u[0]);
    // Lane n of group m holds value m + 3 - n; the rotation puts the lanes back in order.
    for (int m = 0; m < 32; m += 4) {
        const Vec4c a = {biasedNeg(load4(u + 61 - m)), biased(load4(u + 29 - m))};
        const Vec4c z = rotate4B<32, 0, kFromReversed>(a, kTab.pre[m / 4]);
        store4a(zr + m, z.re);
        store4a(zi + m, z.im);
    }
    fft<32>(zr, zi);
}

// Bands 8q .. 8q + 7 of form f: the even bands 2j take Z[j], the odd bands 2j + 1 take
// conj(Z[31 - j]), j = 4q .. 4q + 3; e and o receive them rotated, in order for the real form.
// The complex form's factors lie in the fourth quadrant: no sign corrections; the caller
// reorders its lanes anyway, so e leaves them as j + 0, 2, 1, 3 and o, which reads them
// reversed, as j + 3, 1, 2, 0.
template <int f>
inline void bands8(const Okv32s* zr, const Okv32s* zi, int q, Vec4c& e, Vec4c& o) {
    const int j = 4 * q;
    if constexpr (f == 1) {
        e = rotate4<29, kNegC | kNegT>({load4a(zr + j), load4a(zi + j)}, kTab.post[1][0][q]);
        o = rotate4B<29, kNegC | kNegT>({biased(load4r(zr + 28 - j)), biasedNeg(load4r(zi + 28 - j))},
                                        kTab.post[1][1][q]);
    } else {
        e = rotate4<29, 0, kAsIs>({load4a(zr + j), load4a(zi + j)}, kTab.post[0][0][q]);
        o = rotate4B<29, 0, kAsIs>({biased(load4a(zr + 28 - j)), biasedNeg(load4a(zi + 28 - j))},
                                   kTab.post[0][1][q]);
    }
}

StatusCode check(const void* a, const void* b, const void* pSpec, Okv32u id, int kx) {
    if (!a || !b || !pSpec) return okvErrNullPtr;
    if (headerAt(pSpec)->id != id) return okvErrContextMatch;
    if (Okv32u(kx) > 32u) return okvErrSize;
    return okvOk;
}

}  // namespace

StatusCode okvsAnalysisFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, int kx, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kAnalysisLP, kx)) return s;
    alignas(16) Okv32s zr[32], zi[32];
    transform(pSrc, headerAt(pSpec)->rec, zr, zi);
    for (int q = 0; q < 4; ++q) {
        Vec4c e, o;
        bands8<1>(zr, zi, q, e, o);
        store4(pDst + 8 * q, _mm_unpacklo_epi32(e.re, o.re));
        store4(pDst + 8 * q + 4, _mm_unpackhi_epi32(e.re, o.re));
    }
    for (int k = kx; k < 32; ++k) pDst[k] = 0;
    return okvOk;
}

StatusCode okvsAnalysisFilter_SBRHQ_32s32sc(const Okv32s* pSrc, Okv32sc* pDst, int kx, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kAnalysisHQ, kx)) return s;
    alignas(16) Okv32s zr[32], zi[32];
    transform(pSrc, headerAt(pSpec)->rec, zr, zi);
    Okv32s* out = &pDst[0].re;
    for (int q = 0; q < 4; ++q) {
        Vec4c e, o;
        bands8<0>(zr, zi, q, e, o);
        // Pairs (re, im): e holds j + 0, 2 in ea and j + 1, 3 in eb; o j + 3, 1 in oa and j + 2, 0 in ob.
        const __m128d ea = _mm_castsi128_pd(_mm_unpacklo_epi32(e.re, e.im));
        const __m128d eb = _mm_castsi128_pd(_mm_unpackhi_epi32(e.re, e.im));
        const __m128d oa = _mm_castsi128_pd(_mm_unpacklo_epi32(o.re, o.im));
        const __m128d ob = _mm_castsi128_pd(_mm_unpackhi_epi32(o.re, o.im));
        store4(out + 16 * q, _mm_castpd_si128(_mm_shuffle_pd(ea, ob, 2)));
        store4(out + 16 * q + 4, _mm_castpd_si128(_mm_shuffle_pd(eb, oa, 2)));
        store4(out + 16 * q + 8, _mm_castpd_si128(_mm_shuffle_pd(ea, ob, 1)));
        store4(out + 16 * q + 12, _mm_castpd_si128(_mm_shuffle_pd(eb, oa, 1)));
    }
    for (int k = kx; k < 32; ++k) pDst[k] = {0, 0};
    return okvOk;
}

}  // namespace OKV_NS
