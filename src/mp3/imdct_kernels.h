// Layer III inverse MDCT kernels in double precision, written once for one subband (double) or
// two subbands side by side (v2d lanes): the same operations in the same order per lane.
//
// 36 points: y[i] = 1/4 w[i] sum_k X[k] cos(pi/72 (2i + 19)(2k + 1)) is a DCT-IV of 18 points.
// Folding X'[k] = X[k] + X[k-1] and then the odd X' once more splits it into two 9-point
// cosine sums E (even X') and O (odd X''), each evaluated as half values with the cosines
// halved in single precision; with t_m = 0.5 / cos((2m + 1) pi/36) the output pairs are
// P_m = E_m/2 + t_m O_m/2 and Q_m = E_m/2 - t_m O_m/2, and y[i] = T[i] * (P or Q), T carrying
// 1/4, the window, 1/cos or 1/sin((2m + 1) pi/72) and the sign. One rounding at the end.
//
// 12 points: z_w[i] = 1/4 s[i] sum_k X_w[k] cos(pi/24 (2i + 7)(2k + 1)) with s the short window,
// as a product with a 12 x 6 table, summed over k in order; overlapping windows are added
// before the rounding.
#pragma once

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {
namespace mp3imdct {

typedef double v2d __attribute__((vector_size(16)));

// Single-precision constants of the 9-point sums (cosines of multiples of 10 degrees, halved).
constexpr double kC10 = double(0.49240386486053467f), kC20 = double(0.46984630823135376f),
                 kC30 = double(0.4330126941204071f), kC40 = double(0.3830222189426422f),
                 kC50 = double(0.32139381766319275f), kC60 = double(0.25f),
                 kC70 = double(0.1710100769996643f), kC80 = double(0.08682408928871155f);
// t_m = 0.5 / cos((2m + 1) pi/36), m = 0..8; t_4 = 4 * (sqrt(2)/8).
constexpr double kTw[9] = {
    double(0.5019099116325378f), double(0.517638087272644f), double(0.5516889691352844f),
    double(0.6103872656822205f), 4.0 * double(0.1767766922712326f), double(0.8717234134674072f),
    double(1.1831008195877075f), double(1.9318516254425049f), double(5.736856460571289f)};

// Long windows of block types 0 (normal), 1 (start), 3 (stop).
constexpr double longWindow(int type, int i)
{
    const double normal = okv_sinpi((i + 0.5) / 36.0);
    if (type == 1) return i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? okv_sinpi((i - 18 + 0.5) / 12.0) : 0.0;
    if (type == 3) return i < 6 ? 0.0 : i < 12 ? okv_sinpi((i - 6 + 0.5) / 12.0) : i < 18 ? 1.0 : normal;
    return normal;
}

struct LongTables {
    double t[3][36] = {};  // rows: normal, start, stop
    constexpr LongTables() {
        const int types[3] = {0, 1, 3};
        for (int r = 0; r < 3; ++r)
            for (int i = 0; i < 36; ++i) {
                double g;
                if (i < 9) g = 1.0 / okv_sinpi((2 * (8 - i) + 1) / 72.0);
                else if (i < 18) g = -1.0 / okv_sinpi((2 * (i - 9) + 1) / 72.0);
                else if (i < 27) g = -1.0 / okv_cospi((2 * (26 - i) + 1) / 72.0);
                else g = -1.0 / okv_cospi((2 * (i - 27) + 1) / 72.0);
                t[r][i] = 0.25 * longWindow(types[r], i) * g;
            }
    }
};
inline constexpr LongTables kLong{};

struct ShortTable {
    double m[12][6] = {};
    constexpr ShortTable() {
        for (int i = 0; i < 12; ++i)
            for (int k = 0; k < 6; ++k)
                m[i][k] = 0.25 * okv_sinpi((i + 0.5) / 12.0) * okv_cospi((2 * i + 7) * (2 * k + 1) / 24.0);
    }
};
inline constexpr ShortTable kShort{};

// Half values of the 9-point sum  sum_j a[j] cos(j (2m + 1) pi/18), m = 0..8.
template <class V>
[[gnu::always_inline]] static inline void nine(const V* a, V* h)
{
    const V a0 = a[0] * 0.5;
    for (int m = 0; m < 4; ++m) {
        V ev, od;
        switch (m) {
        case 0:
            ev = a0 + a[2] * kC20 + a[4] * kC40 + a[6] * kC60 + a[8] * kC80;
            od = a[1] * kC10 + a[3] * kC30 + a[5] * kC50 + a[7] * kC70;
            break;
        case 1:
            ev = a0 - a[6] * 0.5 + (a[2] - a[4] - a[8]) * kC60;
            od = (a[1] - a[5] - a[7]) * kC30;
            break;
        case 2:
            ev = a0 - a[2] * kC80 - a[4] * kC20 + a[6] * kC60 + a[8] * kC40;
            od = a[1] * kC50 - a[3] * kC30 - a[5] * kC70 + a[7] * kC10;
            break;
        default:
            ev = a0 - a[2] * kC40 + a[4] * kC80 + a[6] * kC60 - a[8] * kC20;
            od = a[1] * kC70 - a[3] * kC30 + a[5] * kC10 - a[7] * kC50;
            break;
        }
        h[m] = ev + od;
        h[8 - m] = ev - od;
    }
    h[4] = (a[0] - a[2] + a[4] - a[6] + a[8]) * 0.5;
}

// 36 windowed outputs of one long block (row: 0 normal, 1 start, 2 stop), not yet rounded.
template <class V>
[[gnu::always_inline]] static inline void long36(const V* x, int row, V* y)
{
    V f[18];
    f[0] = x[0];
    for (int k = 1; k < 18; ++k) f[k] = x[k] + x[k - 1];
    V ev[9], od[9], he[9], ho[9];
    for (int j = 0; j < 9; ++j) ev[j] = f[2 * j];
    od[0] = f[1];
    for (int j = 1; j < 9; ++j) od[j] = f[2 * j + 1] + f[2 * j - 1];
    nine(ev, he);
    nine(od, ho);
    V p[9], q[9];
    for (int m = 0; m < 9; ++m) {
        const V t = ho[m] * kTw[m];
        p[m] = he[m] + t;
        q[m] = he[m] - t;
    }
    const double* w = kLong.t[row];
    for (int i = 0; i < 9; ++i) {
        y[i] = q[8 - i] * w[i];
        y[9 + i] = q[i] * w[9 + i];
        y[18 + i] = p[8 - i] * w[18 + i];
        y[27 + i] = p[i] * w[27 + i];
    }
}

// 36 outputs of three overlapped short blocks, not yet rounded.
template <class V>
[[gnu::always_inline]] static inline void short36(const V* x, V* y)
{
    V z[3][12];
    for (int w = 0; w < 3; ++w)
        for (int i = 0; i < 12; ++i) {
            V acc = x[6 * w] * kShort.m[i][0];
            for (int k = 1; k < 6; ++k) acc = acc + x[6 * w + k] * kShort.m[i][k];
            z[w][i] = acc;
        }
    for (int i = 0; i < 6; ++i) {
        y[i] = V{};
        y[6 + i] = z[0][i];
        y[12 + i] = z[0][6 + i] + z[1][i];
        y[18 + i] = z[1][6 + i] + z[2][i];
        y[24 + i] = z[2][6 + i];
        y[30 + i] = y[i];
    }
}

}  // namespace mp3imdct
}  // namespace OKV_NS
