// MDCT cores: pre-twiddle by e^(-2 pi i (j + 1/8) / 2M) (conjugate products, 64-bit), an
// optional block-floating-point scale, the K-point FFT, and the post-twiddle with the
// rounding that undoes the scale.
#include "aac/aac_window_data.h"
#include "aac/fft_aac.h"
#include "aac/mdct_aac_core.h"

namespace OKV_NS::aacmdct {

namespace {

using namespace aacspectral_data;

inline int32_t hi(int64_t v) { return int32_t(v >> 32); }
inline int32_t neg(int32_t v) { return int32_t(0u - Okv32u(v)); }
inline int32_t sub(int32_t a, int32_t b) { return int32_t(Okv32u(a) - Okv32u(b)); }

// P = (re + i im) conj(t): the exact 64-bit sums.
struct P64 {
    int64_t re, im;
};
inline P64 conjMul(int32_t re, int32_t im, const int32_t* t)
{
    return {int64_t(re) * t[0] + int64_t(im) * t[1], int64_t(im) * t[0] - int64_t(re) * t[1]};
}

const int32_t* twiddles(int order) { return order == 9 ? kTwiddleLong : kTwiddleShort; }

// Block floating point: when the sum S of all component magnitudes (64-bit) reaches 2^29,
// halve it s times until it is below 2^29 and round every component by 2^-s. Returns s.
int blockScale(Okv32sc* z, int k)
{
    int64_t sum = 0;
    for (int j = 0; j < k; ++j) {
        sum += z[j].re < 0 ? -int64_t(z[j].re) : int64_t(z[j].re);
        sum += z[j].im < 0 ? -int64_t(z[j].im) : int64_t(z[j].im);
    }
    if (sum < (int64_t(1) << 29)) return 0;
    int s = 0;
    while (sum > (int64_t(1) << 29) - 1) sum >>= 1, ++s;
    const int64_t half = int64_t(1) << (s - 1);
    for (int j = 0; j < k; ++j) {
        z[j].re = int32_t((z[j].re + half) >> s);
        z[j].im = int32_t((z[j].im + half) >> s);
    }
    return s;
}

}  // namespace

void inverse(const Okv32s* x, Okv32s* y, int order, bool bfp)
{
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = twiddles(order);
    Okv32sc z[512];
    for (int j = 0; j < k; ++j) {
        const P64 p = conjMul(x[2 * j], x[m - 1 - 2 * j], t + 2 * j);
        z[j] = {hi(p.re), hi(p.im)};
    }
    const int q = bfp ? order - blockScale(z, k) : 0;
    ownsIMDCT_FFT_32sc_I(z, order);
    auto round = [&](int64_t v) -> int32_t {
        if (!bfp) return hi(v);
        if (q <= 3) return int32_t(v >> (q + 28));
        return int32_t((int64_t(hi(v)) + (int64_t(1) << (q - 4))) >> (q - 3));
    };
    for (int j = 0; j < k / 2; ++j) {
        const P64 p = conjMul(z[j].re, z[j].im, t + 2 * j);
        y[m - 1 - 2 * j] = neg(round(p.re));
        y[k - 1 - 2 * j] = neg(round(p.im));
    }
    for (int j = k / 2; j < k; ++j) {
        const P64 p = conjMul(z[j].re, z[j].im, t + 2 * j);
        y[2 * j - k] = round(p.re);
        y[2 * j] = round(p.im);
    }
}

void forwardBfp(const Okv32s* u, Okv32s* X, int order)
{
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = twiddles(order);
    Okv32sc z[512];
    for (int j = 0; j < k / 2; ++j) {
        const int32_t re = sub(neg(u[3 * m / 2 - 1 - 2 * j]), u[3 * m / 2 + 2 * j]);
        const int32_t im = sub(u[m / 2 - 1 - 2 * j], u[m / 2 + 2 * j]);
        const P64 p = conjMul(re, im, t + 2 * j);
        z[j] = {hi(p.re), hi(p.im)};
    }
    for (int j = k / 2; j < k; ++j) {
        const int32_t re = sub(u[2 * j - m / 2], u[3 * m / 2 - 1 - 2 * j]);
        const int32_t im = sub(neg(u[m / 2 + 2 * j]), u[5 * m / 2 - 1 - 2 * j]);
        const P64 p = conjMul(re, im, t + 2 * j);
        z[j] = {hi(p.re), hi(p.im)};
    }
    const int q = order - blockScale(z, k);
    ownsIMDCT_FFT_32sc_I(z, order);
    auto round = [&](int64_t v) -> int32_t {
        if (q <= 2) return int32_t(v >> (q + 29));
        const int64_t r = q >= 4 ? int64_t(1) << (q - 4) : 0;
        return int32_t((int64_t(hi(v)) + r) >> (q - 3));
    };
    for (int j = 0; j < k; ++j) {
        const P64 p = conjMul(z[j].re, z[j].im, t + 2 * j);
        X[2 * j] = round(p.re);
        X[m - 1 - 2 * j] = round(-p.im);
    }
}

void forwardPlain(const Okv32s* u, Okv32s* X, int order)
{
    const int k = 1 << order, m = 2 * k;
    const int32_t* t = twiddles(order);
    // r[n]: the input rotated by M/2 with the wrapped part negated.
    auto r = [&](int n) { return n < m / 2 ? neg(u[n + 3 * m / 2]) : u[n - m / 2]; };
    Okv32sc z[512];
    for (int j = 0; j < k; ++j) {
        const P64 p = conjMul(sub(r(2 * j), r(2 * m - 1 - 2 * j)), sub(r(m - 1 - 2 * j), r(m + 2 * j)), t + 2 * j);
        z[j] = {int32_t((p.re + (1 << 29)) >> 30), int32_t((p.im + (1 << 29)) >> 30)};
    }
    ownsIMDCT_FFT_32sc_I(z, order);
    for (int j = 0; j < k; ++j) {
        const P64 p = conjMul(z[j].re, z[j].im, t + 2 * j);
        X[2 * j] = int32_t(p.re >> 29);
        X[m - 1 - 2 * j] = int32_t((-p.im) >> 29);
    }
}

}  // namespace OKV_NS::aacmdct
