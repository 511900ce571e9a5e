// Split-radix decimation in frequency. Each block of length L runs the L-shaped butterfly on
// its four quarters, then the half and the two quarters are transformed as blocks of their
// own; the outputs land in bit-reversed order and a swap list restores natural order.
//
// Twiddles are Q30. A general multiply by e^(-i theta) forms each output component as the
// exact 64-bit sum of the two products of 4 z (wrapped to 32 bits) and the twiddle, and keeps
// its high 32 bits. At n = L/8 the rotation by e^(-i pi/4) (and e^(-3 i pi/4) for the odd
// quarter) is the doubled sum or difference of the components times sqrt(1/2) in Q31, high
// 32 bits; the 3 pi/4 case multiplies the negated doubled sum, so both rotations follow one
// rule. Angles beyond pi/4 of a block use the table of the complementary angle with sine and
// cosine exchanged.
#include "aac/fft_aac.h"

#include <cstddef>

#include "aac/fft_aac_data.h"

namespace OKV_NS {

namespace {

using namespace aacspectral_data;

constexpr int64_t kSqrtHalfQ31 = 1518500250;

inline int32_t hi(int64_t v) { return int32_t(v >> 32); }
inline int32_t add(int32_t a, int32_t b) { return int32_t(Okv32u(a) + Okv32u(b)); }
inline int32_t sub(int32_t a, int32_t b) { return int32_t(Okv32u(a) - Okv32u(b)); }
inline int64_t times4(int32_t v) { return int32_t(Okv32u(v) << 2); }
inline int64_t times2(int32_t v) { return int32_t(Okv32u(v) << 1); }

// z e^(-i theta) with c = cos theta, s = sin theta (Q30).
inline Okv32sc twiddle(Okv32sc z, int64_t c, int64_t s)
{
    const int64_t r = times4(z.re), i = times4(z.im);
    return {hi(r * c + i * s), hi(i * c - r * s)};
}

// Sums into x[n], x[n + q]; returns a - i b and a + i b of the L-shaped butterfly.
inline void butterfly(Okv32sc* x, int n, int q, Okv32sc& u, Okv32sc& v)
{
    const Okv32sc x0 = x[n], x1 = x[n + q], x2 = x[n + 2 * q], x3 = x[n + 3 * q];
    x[n] = {add(x0.re, x2.re), add(x0.im, x2.im)};
    x[n + q] = {add(x1.re, x3.re), add(x1.im, x3.im)};
    const Okv32sc a = {sub(x0.re, x2.re), sub(x0.im, x2.im)};
    const Okv32sc b = {sub(x1.re, x3.re), sub(x1.im, x3.im)};
    u = {add(a.re, b.im), sub(a.im, b.re)};
    v = {sub(a.re, b.im), add(a.im, b.re)};
}

// One block of L points of a K-point transform. The sizes are template arguments so that every
// loop bound and table stride is a constant and the small blocks inline completely. tw holds
// cos n, cos 3n, sin n, sin 3n of 2 pi / K for n = 1 .. K/8 - 1.
template <int K, int L>
inline void block(Okv32sc* x, const int32_t* tw)
{
    if constexpr (L == 2) {
        const Okv32sc a = x[0], b = x[1];
        x[0] = {add(a.re, b.re), add(a.im, b.im)};
        x[1] = {sub(a.re, b.re), sub(a.im, b.im)};
    } else if constexpr (L > 2) {
        constexpr int q = L / 4, e = L / 8, step = K / L, cnt = K / 8 - 1;
        const int32_t *c1 = tw, *c3 = tw + cnt, *s1 = tw + 2 * cnt, *s3 = tw + 3 * cnt;
        Okv32sc u, v;
        butterfly(x, 0, q, u, v);
        x[2 * q] = u;
        x[3 * q] = v;
        for (int n = 1; n < e; ++n) {
            const int m = n * step - 1;
            butterfly(x, n, q, u, v);
            x[n + 2 * q] = twiddle(u, c1[m], s1[m]);
            x[n + 3 * q] = twiddle(v, c3[m], s3[m]);
        }
        if constexpr (e > 0) {
            butterfly(x, e, q, u, v);
            x[e + 2 * q] = {hi(times2(add(u.re, u.im)) * kSqrtHalfQ31), hi(times2(sub(u.im, u.re)) * kSqrtHalfQ31)};
            x[e + 3 * q] = {hi(times2(sub(v.im, v.re)) * kSqrtHalfQ31),
                            hi(times2(int32_t(0u - Okv32u(add(v.re, v.im)))) * kSqrtHalfQ31)};
        }
        for (int n = e + 1; n < q; ++n) {
            const int r = K / 4 - n * step - 1;
            butterfly(x, n, q, u, v);
            x[n + 2 * q] = twiddle(u, s1[r], c1[r]);
            x[n + 3 * q] = twiddle(v, -int64_t(s3[r]), -int64_t(c3[r]));
        }
        block<K, L / 2>(x, tw);
        block<K, L / 4>(x + 2 * q, tw);
        block<K, L / 4>(x + 3 * q, tw);
    }
}

template <int K, size_t R>
void transform(Okv32sc* x, const int32_t* tw, const uint16_t (&rev)[R])
{
    block<K, K>(x, tw);
    for (size_t i = 0; i < R; i += 2) {
        const Okv32sc t = x[rev[i]];
        x[rev[i]] = x[rev[i + 1]];
        x[rev[i + 1]] = t;
    }
}

// Swap pairs of the 7-bit reversal (128 points run as a block of the 512-point transform).
constexpr auto kFftRev7 = [] {
    struct {
        uint16_t v[112];
    } r{};
    int k = 0;
    for (int i = 0; i < 128; ++i) {
        int j = 0;
        for (int b = 0; b < 7; ++b) j |= ((i >> b) & 1) << (6 - b);
        if (i < j) r.v[k++] = uint16_t(i), r.v[k++] = uint16_t(j);
    }
    return r;
}();

}  // namespace

void ownsIMDCT_FFT_32sc_I(Okv32sc* x, int order)
{
    if (order == 5) transform<32>(x, kFftTw5, kFftRev5);
    else if (order == 6) transform<64>(x, kFftTw6, kFftRev6);
    else if (order == 7) {
        block<512, 128>(x, kFftTw9);
        for (int i = 0; i < 112; i += 2) {
            const Okv32sc t = x[kFftRev7.v[i]];
            x[kFftRev7.v[i]] = x[kFftRev7.v[i + 1]];
            x[kFftRev7.v[i + 1]] = t;
        }
    } else transform<512>(x, kFftTw9, kFftRev9);
}

}  // namespace OKV_NS
