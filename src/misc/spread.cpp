// Psychoacoustic spreading function in Q23 fixed point, result in Q15.
#include "core/okv_internal.h"
#include "misc/spread_tables.h"

namespace OKV_NS {
namespace {

// Left shift that brings q (index q >> 24) into [2^30, 2^31).
constexpr int normShift(int j) { return j == 0 ? 7 : 6 - (31 - __builtin_clz(unsigned(j))); }

// 17.5 * sqrt(q) in Q23 for q in Q23: normalise, Newton steps for 1/sqrt in Q30.
Okv64s sqrtTerm(Okv64s q) {
    const int c = normShift(int(q >> 24));
    const Okv64s g = q << c;
    const Okv64s y0 = (((g * g >> 31) * 1794115214) >> 33) - (g * 1109287981 >> 31) + 1199343594;
    const Okv64s y1 = y0 + (((Okv64s(1) << 29) - (((y0 * y0) >> 30) * g >> 30)) * y0 >> 30);
    const Okv64s y2 = y1 + (((Okv64s(1) << 29) - (g * ((y1 * y1) >> 30) >> 30)) * y1 >> 30);
    Okv64s s = (g * y2) >> 31;
    if (c & 1) s = s * 1518500250 >> 30;
    s >>= 6 - ((8 - c) >> 1);
    return (s * 146800640 + 4194304) >> 23;
}

}  // namespace

StatusCode okvsSpread_16s_Sfs(Okv32s src1, Okv32s src2, int inScaleFactor, Okv16s* pDst) {
    if (!pDst) return okvErrNullPtr;
    const int b1 = Okv16s(src1), b2 = Okv16s(src2);
    const Okv64s d3 = 3 * Okv64s(b2 - b1);
    const Okv64s t = Okv64s(inScaleFactor) + 23 - (b2 < b1 ? 1 : 0);
    Okv64s x;  // tmpx in Q23
    if (t >= 0) {
        x = d3 * (Okv64s(1) << (t < 31 ? t : 31));
        if (x > 100663296 || x < -50331648) {  // beyond 12.0 or -6.0: no spreading
            *pDst = 0;
            return okvOk;
        }
    } else {
        const int r = t < -40 ? 40 : int(-t);  // |3 * d| < 2^19: larger shifts give 0 too
        x = (d3 + (Okv64s(1) << (r - 1))) >> r;
    }
    const Okv64s u = x + 3979066;  // tmpx + 0.474341649
    const Okv64s w = x - 4194304;  // tmpx - 0.5
    const Okv64s q = ((u * u + 4194304) >> 23) + 8388608;
    const Okv32s x8 = Okv32s(((w * w + 4194304) >> 23) - 2 * w);
    const Okv64s z = x8 < 0 ? 8 * Okv64s(x8) : 0;
    const Okv64s v64 = ((15 * u * 4194304 + 4194304) >> 23) + z - sqrtTerm(q) + 132635538;
    if (v64 >= 0) {
        *pDst = 32767;
        return okvOk;
    }
    // 10^(V / (10 * 2^23)) in Q15 from the three upper bytes of V.
    const Okv32u v = Okv32u(Okv32s(v64));
    const Okv64s hi = (Okv64s(kSpreadExp0[(v >> 24) & 63]) * kSpreadExp1[(v >> 16) & 255]) >> 30;
    *pDst = Okv16s((Okv64s(kSpreadExp2[(v >> 8) & 255]) * hi) >> 46);
    return okvOk;
}

}  // namespace OKV_NS
