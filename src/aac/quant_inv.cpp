// Inverse quantisation of AAC spectra: sign(q) |q|^(4/3) 2^((sf - 100)/4) in Q3, by table
// for |q| <= 128 and by a mantissa polynomial above.
#include <climits>

#include "aac/aac_spectral_data.h"
#include "aac/band_layout.h"

namespace OKV_NS::aacspectral {

using namespace aacspectral_data;

namespace {

// Mantissa (Q(E)) of x^(4/3) for 129 <= x <= 8191: the argument normalised to [2^30, 2^31),
// an eighth-degree polynomial in Horner form, a correction per normalisation shift.
inline void polyMantissa(int x, int32_t& m, int& exp)
{
    int32_t t = x << 17;
    int n = 0;
    if (t < (1 << 27)) t <<= 4, n = 4;
    if (t < (1 << 29)) t <<= 2, n += 2;
    if (t < (1 << 30)) t <<= 1, n += 1;
    int32_t p = kPolyCoeff43[0];
    for (int i = 1; i < 8; ++i)
        p = int32_t(Okv32u(int32_t((int64_t(p) * t) >> 32)) + Okv32u(kPolyCoeff43[i]));
    const int32_t y = int32_t(Okv32u(p) << 4);
    m = int32_t((int64_t(y) * kXt43[6 - n]) >> 31) & ~1;
    exp = kXtExp[6 - n] - 4;
}

// Mantissa m in Q(E) scaled by 2^(e - E - f/4). A left shift that leaves 32 bits saturates
// to 2^31 - 1, so an out-of-range scalefactor never flips the sign.
int32_t scaleMantissa(int32_t m, int exp, int e, int f)
{
    const int64_t w = (int64_t(m) * kSqrt14[f]) >> 32;
    if (exp - e < 1) {
        const int sh = e - exp;
        if (sh > 31) return w ? INT_MAX : 0;
        const int64_t r = w << sh;
        return r > INT_MAX ? INT_MAX : int32_t(r);
    }
    const int sh = exp - e;
    return sh > 31 ? 0 : int32_t(w >> sh);
}

int32_t requant(int x, int s)
{
    const int e = (s + 3) >> 2;
    const int f = 4 * e - s;
    if (x < 4) {
        const int sh = 25 - e;
        if (sh > 31) return 0;
        return kReq16x4[16 * f + x] >> (sh > 0 ? sh : 0);
    }
    if (x < 16) {
        int sh = 22 - e;
        sh = sh < 0 ? 0 : sh > 31 ? 31 : sh;
        return kReq16x4[16 * f + x] >> sh;
    }
    int32_t m;
    int exp;
    if (x <= 128) {
        m = kSqrt43[x - 16];
        exp = x < 64 ? 19 : 17;
    } else {
        polyMantissa(x, m, exp);
    }
    return scaleMantissa(m, exp, e, f);
}

// One band: magnitudes up to 15 through a per-band table, larger ones computed.
bool quantBand(Okv32s* p, int n, int s)
{
    int32_t small[16];
    small[0] = 0;
    for (int x = 1; x < 16; ++x) small[x] = requant(x, s);
    for (int i = 0; i < n; ++i) {
        const int32_t q = p[i];
        const Okv32u a = q < 0 ? 0u - Okv32u(q) : Okv32u(q);
        int32_t r;
        if (a < 16) r = small[a];
        else if (a <= 8191) r = requant(int(a), s);
        else return false;
        p[i] = q < 0 ? -r : r;
    }
    return true;
}

}  // namespace

}  // namespace OKV_NS::aacspectral

namespace OKV_NS {

StatusCode okvsQuantInv_AAC_32s_I(Okv32s* pSrcDst, const Okv16s* pScaleFactor, int numWinGrp, const int* pLenWinGrp,
                                  int maxSfb, const Okv8u* pSfbCb, int samplingRateIndex, int winLen)
{
    using namespace aacspectral;
    if (!pSrcDst || !pScaleFactor || !pLenWinGrp || !pSfbCb) return okvErrNullPtr;
    if (StatusCode st = checkGrouped(winLen, numWinGrp, pLenWinGrp, maxSfb, samplingRateIndex); st != okvOk)
        return st;
    const bool ok = forEachBand(samplingRateIndex, winLen, numWinGrp, pLenWinGrp, maxSfb, [&](int i, int at, int n) {
        const int cb = pSfbCb[i];
        return cb == 0 || (cb >= 13 && cb <= 15) || quantBand(pSrcDst + at, n, pScaleFactor[i] - 100);
    });
    return ok ? okvOk : okvErrAacCoefValue;
}

}  // namespace OKV_NS
