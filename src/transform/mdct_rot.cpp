// Linear passes of the power-of-two float MDCT. The table holds for each
// step 4 sines and 4 cosines of the front slots m..m+3 and of the back slots
// q-4-m..q-1-m, so each step works on 4 + 4 slots.
#include "core/trig.h"
#include "transform/mdct.h"
#include "transform/mdct_rot.h"

namespace OKV_NS {
namespace {

inline Okv32f table_angle_sin(int m, int len) { return float(1.4142135623730951 * okv_sinpi((8.0 * m + 1.0) / (4.0 * len))); }
inline Okv32f table_angle_cos(int m, int len) { return float(1.4142135623730951 * okv_cospi((8.0 * m + 1.0) / (4.0 * len))); }

// Position of the sine of slot m in the grouped table (the cosine follows at +4).
inline int grouped(int m, int q) {
    if (m < q / 2) return 16 * (m >> 2) + (m & 3);
    const int back = q - 1 - m;  // 0.. from the end
    return 16 * (back >> 2) + 8 + (3 - (back & 3));
}

}  // namespace

void ownsMdctTable_32f(Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        const int p = len % 3 == 0 ? 2 * m : grouped(m, q);
        t[p] = table_angle_sin(m, len);
        t[p + (len % 3 == 0 ? 1 : 4)] = table_angle_cos(m, len);
    }
}

void ownsMdctFwdPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        OkvMdctFold f = ownsMdctFold(len, m);
        Okv32f u = (f.uNeg ? -x[f.u0] : x[f.u0]) - x[f.u1];
        Okv32f v = (f.vNeg ? -x[f.v0] : x[f.v0]) - x[f.v1];
        const int p = grouped(m, q);
        Okv32f sn = t[p], cs = t[p + 4];
        z[m] = {cs * u + sn * v, cs * v - sn * u};
    }
}

void ownsMdctFwdPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        const int p = grouped(m, q);
        Okv32f sn = t[p], cs = t[p + 4];
        dst[2 * m] = cs * z[m].re + sn * z[m].im;
        dst[len / 2 - 1 - 2 * m] = sn * z[m].re - cs * z[m].im;
    }
}

void ownsMdctInvPre_32f(const Okv32f* x, Okv32fc* z, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        const int p = grouped(m, q);
        Okv32f sn = t[p], cs = t[p + 4];
        Okv32f a = x[2 * m], b = x[len / 2 - 1 - 2 * m];
        z[m] = {a * cs + b * sn, b * cs - a * sn};
    }
}

void ownsMdctInvPost_32f(const Okv32fc* z, Okv32f* dst, const Okv32f* t, int len) {
    const int q = len / 4;
    for (int m = 0; m < q; ++m) {
        const int p = grouped(m, q);
        Okv32f sn = t[p], cs = t[p + 4];
        Okv32f u = cs * z[m].re + sn * z[m].im, v = sn * z[m].re - cs * z[m].im;
        OkvMdctFold f = ownsMdctFold(len, m);
        dst[f.u0] = f.uNeg ? -u : u;
        dst[f.u1] = -u;
        dst[f.v0] = f.vNeg ? -v : v;
        dst[f.v1] = -v;
    }
}

}  // namespace OKV_NS
