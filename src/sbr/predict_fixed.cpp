// Fixed-point SBR prediction coefficients of one band: the covariance method in 32-bit values
// with 64-bit products, Q29 outputs.
//
// Choices of this implementation:
// - Both forms give the samples headroom first: with G the guard bits of the band's largest
//   magnitude (real or imaginary part), they are shifted right by 3 - G when G is below 3, so
//   every part is below 2^29. The low-power form does so in both modes.
// - Squares of 40 samples at 2^28 or more could still overflow a signed 64-bit sum: for such
//   bands every product is halved (real rows) or quartered (complex rows, two products a
//   term) before it is added. The common scale drops out of the coefficients, and smaller
//   bands keep exact sums.
// - Rows 0..39 hold the samples; a slot count above 38 would need rows past 39 and is refused.
// - Quotients come from the reciprocal helper on 32-bit normalised operands and are formed in
//   64 bits; a coefficient whose 64-bit value fails ((a*a) >> 32) < 0x40000000 (for complex
//   ones, the sum over both parts) resets both coefficients, before anything is narrowed.
// - The reflection coefficient -phi01/phi11 is clamped to +-0x20000000 in 64 bits.
#include "core/okv_internal.h"
#include "sbr/fixed_math.h"

namespace OKV_NS {
namespace {

using namespace sbrfx;

constexpr int kRows = 40;
constexpr int64_t kRegularQ31 = 0x7FFFF800;  // 1 - 2^-20
constexpr int64_t kOneQ29 = 0x20000000;

// Shifts right for s > 0, left for s < 0, in 128 bits.
inline __int128 shiftBy(__int128 v, int s) { return s >= 0 ? v >> s : v * (static_cast<__int128>(1) << -s); }

// Bits needed for |v| (0 for 0).
inline int bitLength(uint64_t v) { return v ? 64 - __builtin_clzll(v) : 0; }

// A positive denominator prepared once: d ~ den32 * 2^e with den32 below 2^31, and its
// reciprocal inv ~ 2^(60 - s) / den32.
struct Divisor {
    int32_t inv;
    int s, e;
};
inline Divisor divisor(int64_t d) {
    Divisor r;
    r.e = bitLength(static_cast<uint64_t>(d)) > 31 ? bitLength(static_cast<uint64_t>(d)) - 31 : 0;
    r.inv = invWrap(static_cast<int32_t>(d >> r.e), &r.s);
    return r;
}

// n / d in Q29, in 64 bits; values too large for any output come back as +-2^40. The
// reciprocal's own estimate is good to about 2^-18.7; one correction from the exact remainder
// (in 128 bits) brings the quotient to the precision of its operands.
inline int64_t divQ29(int64_t n, int64_t dFull, const Divisor& d) {
    const int f = bitLength(magnitude(n)) > 31 ? bitLength(magnitude(n)) - 31 : 0;
    const int scale = 60 - d.s + d.e;  // 1/d ~ inv * 2^-scale
    __int128 q = shiftBy(static_cast<__int128>((n >> f) * static_cast<int64_t>(d.inv)), scale - 29 - f);
    constexpr int64_t kHuge = int64_t{1} << 40;
    if (q > kHuge) return kHuge;
    if (q < -kHuge) return -kHuge;
    const __int128 rem = static_cast<__int128>(n) * (int64_t{1} << 29) - q * dFull;
    q += shiftBy(rem * d.inv, scale);
    return q > kHuge ? kHuge : q < -kHuge ? -kHuge : static_cast<int64_t>(q);
}

inline bool atLimit(int64_t re, int64_t im) {
    constexpr int64_t kBig = int64_t{1} << 32;
    if (re <= -kBig || re >= kBig || im <= -kBig || im >= kBig) return true;
    const uint64_t r2 = magnitude(re) * magnitude(re), i2 = magnitude(im) * magnitude(im);
    return (r2 >> 32) + (i2 >> 32) >= 0x40000000;
}

// -phi01 / phi11 in Q29, clamped to +-1; phi11 and phi01 below 2^31 in magnitude, phi11 > 0.
int32_t reflection(int64_t p11, int64_t p01) {
    int t;
    const int64_t inv = invWrap(static_cast<int32_t>(p11), &t);
    const int64_t k = -(((inv * p01) >> 32) * (int64_t{1} << (t + 1)));
    return static_cast<int32_t>(k > kOneQ29 ? kOneQ29 : k < -kOneQ29 ? -kOneQ29 : k);
}

// d = phi22 * phi11 - c * phi12^2 (phi12sq already squared), all normalised.
inline int64_t determinant(int64_t p22, int64_t p11, int64_t p12sq) {
    return p22 * p11 - static_cast<int64_t>((static_cast<__int128>(p12sq) * kRegularQ31) >> 31);
}

// Right shift that gives every sample of the band headroom, from its largest part magnitude.
inline int headroomShift(uint32_t maxMag) { return guardBits(maxMag) < 3 ? 3 - guardBits(maxMag) : 0; }

// Products of samples below 2^28 sum exactly; larger ones are scaled so 40 terms fit.
inline int productShift(uint32_t maxMag, int sh, int complexTerms) {
    return (maxMag >> sh) >= (1u << 28) ? complexTerms : 0;
}

inline uint32_t mag32(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

// Covariance elements in normalised order: phi01, phi02, phi11, phi12, phi22.
enum { P01, P02, P11, P12, P22 };

}  // namespace

StatusCode okvsPredictOneCoef_SBRLP_32s_D2L(const Okv32s* const* pSrc, Okv32s* pAlpha0, Okv32s* pAlpha1,
                                            Okv32s* pRefCoef, int k, int len, int flag) {
    if (!pSrc || !pAlpha0 || !pAlpha1 || !pRefCoef) return okvErrNullPtr;
    if (k < 0 || len < 0 || len > kRows - 2) return okvErrSize;
    *pAlpha0 = *pAlpha1 = *pRefCoef = 0;
    uint32_t maxMag = 0;
    for (int m = 0; m <= len + 1; ++m) maxMag |= mag32(pSrc[m][k]);
    if (!maxMag) return okvOk;
    const int sh = headroomShift(maxMag);
    const int ps = productShift(maxMag, sh, 1);
    int64_t x[kRows];
    for (int m = 0; m < kRows; ++m) x[m] = pSrc[m][k] >> sh;

    if (!flag) {
        int64_t s[2] = {0, 0};  // phi11, phi01
        for (int n = 1; n <= len; ++n) {
            s[0] += (x[n] * x[n]) >> ps;
            s[1] += (x[n] * x[n + 1]) >> ps;
        }
        normalise(s, 2);
        if (s[0] > 0) *pRefCoef = reflection(s[0], s[1]);
        return okvOk;
    }

    int64_t c[5] = {0, 0, 0, 0, 0};
    for (int m = 0; m <= len; ++m) {
        const int64_t sq = (x[m] * x[m]) >> ps, p1 = (x[m + 1] * x[m]) >> ps;
        if (m >= 1) {
            c[P11] += sq;
            c[P01] += p1;
        }
        if (m < len) {
            c[P22] += sq;
            c[P12] += p1;
            c[P02] += (x[m + 2] * x[m]) >> ps;
        }
    }
    normalise(c, 5);
    if (c[P11] > 0) *pRefCoef = reflection(c[P11], c[P01]);
    const int64_t d = determinant(c[P22], c[P11], c[P12] * c[P12]);
    const int64_t a1 = d > 0 ? divQ29(c[P01] * c[P12] - c[P02] * c[P11], d, divisor(d)) : 0;
    if (atLimit(a1, 0)) return okvOk;
    const int64_t a0 = c[P11] > 0 ? -divQ29(c[P01] + ((a1 * c[P12]) >> 29), c[P11], divisor(c[P11])) : 0;
    if (atLimit(a0, 0)) return okvOk;
    *pAlpha0 = static_cast<Okv32s>(a0);
    *pAlpha1 = static_cast<Okv32s>(a1);
    return okvOk;
}

StatusCode okvsPredictOneCoef_SBRHQ_32sc_D2L(const Okv32sc* const* pSrc, Okv32sc* pAlpha0, Okv32sc* pAlpha1, int k,
                                             int len) {
    if (!pSrc || !pAlpha0 || !pAlpha1) return okvErrNullPtr;
    if (k < 0 || len < 0 || len > kRows - 2) return okvErrSize;
    *pAlpha0 = *pAlpha1 = {0, 0};
    uint32_t maxMag = 0;
    for (int m = 0; m <= len + 1; ++m) maxMag |= mag32(pSrc[m][k].re) | mag32(pSrc[m][k].im);
    if (!maxMag) return okvOk;
    const int sh = headroomShift(maxMag);
    const int ps = productShift(maxMag, sh, 2);
    int64_t xr[kRows], xi[kRows];
    for (int m = 0; m < kRows; ++m) {
        xr[m] = pSrc[m][k].re >> sh;
        xi[m] = pSrc[m][k].im >> sh;
    }

    // Real and imaginary parts of phi01, phi02, phi11, phi12, phi22 (phi11, phi22 real).
    int64_t c[10] = {};
    auto mulConj = [&](int a, int b, int64_t* re, int64_t* im) {  // x[a] * conj(x[b])
        *re += ((xr[a] * xr[b]) >> ps) + ((xi[a] * xi[b]) >> ps);
        *im += ((xi[a] * xr[b]) >> ps) - ((xr[a] * xi[b]) >> ps);
    };
    for (int m = 0; m <= len; ++m) {
        const int64_t sq = ((xr[m] * xr[m]) >> ps) + ((xi[m] * xi[m]) >> ps);
        if (m >= 1) {
            c[2 * P11] += sq;
            mulConj(m + 1, m, &c[2 * P01], &c[2 * P01 + 1]);
        }
        if (m < len) {
            c[2 * P22] += sq;
            mulConj(m + 1, m, &c[2 * P12], &c[2 * P12 + 1]);
            mulConj(m + 2, m, &c[2 * P02], &c[2 * P02 + 1]);
        }
    }
    normalise(c, 10);
    const int64_t p01r = c[2 * P01], p01i = c[2 * P01 + 1], p02r = c[2 * P02], p02i = c[2 * P02 + 1];
    const int64_t p12r = c[2 * P12], p12i = c[2 * P12 + 1], p11 = c[2 * P11], p22 = c[2 * P22];

    int64_t a1r = 0, a1i = 0, a0r = 0, a0i = 0;
    const int64_t d = determinant(p22, p11, p12r * p12r + p12i * p12i);
    if (d > 0) {
        const Divisor inv = divisor(d);
        a1r = divQ29(p01r * p12r - p01i * p12i - p02r * p11, d, inv);
        a1i = divQ29(p01r * p12i + p01i * p12r - p02i * p11, d, inv);
    }
    if (atLimit(a1r, a1i)) return okvOk;
    if (p11 > 0) {
        const Divisor inv = divisor(p11);
        a0r = -divQ29(p01r + ((a1r * p12r + a1i * p12i) >> 29), p11, inv);
        a0i = -divQ29(p01i + ((a1i * p12r - a1r * p12i) >> 29), p11, inv);
    }
    if (atLimit(a0r, a0i)) return okvOk;
    *pAlpha0 = {static_cast<Okv32s>(a0r), static_cast<Okv32s>(a0i)};
    *pAlpha1 = {static_cast<Okv32s>(a1r), static_cast<Okv32s>(a1i)};
    return okvOk;
}

}  // namespace OKV_NS
