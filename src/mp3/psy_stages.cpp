#include "mp3/psy_model.h"

#include "mp3/psy_math.h"
#include "mp3/psy_tables_data.h"

namespace OKV_NS {
namespace mp3psy {

namespace {

using namespace mp3psy_data;

#define OKV_PSY_TABLES(kind, rate, smr)                                                                         \
    BlockTables {                                                                                               \
        (int)sizeof(kPart##kind##rate) / 2 - 1, kPart##kind##rate, kSpreadBound##kind##rate, kSpread##kind##rate, \
            kBmld##kind##rate, kQuiet##kind##rate, smr, kSfbPart##kind##rate, kSfbWeight##kind##rate             \
    }

constexpr BlockTables kLong[3] = {OKV_PSY_TABLES(Long, 44100, nullptr), OKV_PSY_TABLES(Long, 48000, nullptr),
                                  OKV_PSY_TABLES(Long, 32000, nullptr)};
constexpr BlockTables kShort[3] = {OKV_PSY_TABLES(Short, 44100, kSmrShort44100),
                                   OKV_PSY_TABLES(Short, 48000, kSmrShort48000),
                                   OKV_PSY_TABLES(Short, 32000, kSmrShort32000)};
#undef OKV_PSY_TABLES

// v >> n for n >= 0, v << -n otherwise (the caller keeps the result in range).
constexpr Okv64u shiftRight(Okv64u v, int n) { return n >= 0 ? (n > 63 ? 0 : v >> n) : v << -n; }

}  // namespace

const BlockTables& longTables(int sf) { return kLong[sf]; }
const BlockTables& shortTables(int sf) { return kShort[sf]; }

Okv32s pow118813(Okv32u x) {
    const int s = mp3fx::norm(x);
    const Okv64s m = (Okv32u)(x << s);
    const Okv64s p = ((22631LL << 31) + -8791 * ((m * m) >> 32) + 14513 * m) >> 14;
    return (Okv32s)((((Okv64s)x * p) >> 32) * kPow2Frac[s] >> 16);
}

Okv32s thresholdFactor(Okv32s r) {
    if (r > 1071379500) return 1078847007;
    if (r < 104798000) return 68070644;
    return (Okv32s)(((Okv64s)pow118813((Okv32u)r) * 1232338071) >> 30);
}

Okv32s q31Ratio(Okv64u num, Okv64u den) {
    if (den == 0) return kQ31One;
    if (num == 0) return 0;
    Okv32u md, mn;
    int sd, sn, s0;
    Okv32s rm;
    mp3fx::norm64(den, md, sd);
    mp3fx::norm64(num, mn, sn);
    mp3fx::reciprocal(md, rm, s0);
    // num / den = mn rm 2^(sd - sn - 61), wanted times 2^31.
    const int n = 30 + sn - sd - s0;
    if (n < 0) return kQ31One;
    const Okv64u q = shiftRight((Okv64u)mn * (Okv64u)(Okv32u)rm, n);
    return q > (Okv64u)kQ31One ? kQ31One : (Okv32s)q;
}

Okv32s perceptualEntropy(const Okv64u* e, const Okv64u* thr, const BlockTables& t) {
    Okv64s acc = 0;
    for (int b = 0; b < t.parts; ++b) {
        if (e[b] == 0) continue;
        Okv32u mt, me;
        int st, se, s0;
        Okv32s rm;
        mp3fx::norm64(thr[b] + 1, mt, st);
        mp3fx::reciprocal(mt, rm, s0);
        mp3fx::norm64(e[b], me, se);
        // e / (thr + 1) in Q11 = me rm 2^(s0 + st - se - 50).
        const int n = 50 + se - st - s0;
        const Okv64u prod = (Okv64u)me * (Okv64u)(Okv32u)rm;
        // The quotient stays within the logarithm's positive 32-bit range: ratios up to 2^20.
        Okv64u q = n < 0 ? 0x7FFFFFFFu : shiftRight(prod, n);
        if (q > 0x7FFFFFFFu) q = 0x7FFFFFFFu;
        if (q < 2048) q = 2048;
        int ip;
        Okv16s frac;
        mp3fx::log2((Okv32u)q, ip, frac);
        const Okv64s log10q31 = ((Okv64s)(((ip - 11) << 14) + frac) * 646456993) >> 14;
        acc += ((Okv64s)(t.part[b + 1] - t.part[b]) * log10q31) >> 26;
    }
    return (Okv32s)(acc >> 5);
}

void convertToSfb(const Okv64u* e, const Okv64u* thr, const BlockTables& t, int bands, Okv32s* ratio, int stride) {
    for (int sb = 0; sb < bands; ++sb) {
        const int bu = t.sfbPart[sb], bo = t.sfbPart[sb + 1];
        const Okv32u w0 = (Okv32u)t.sfbWeight[sb], w1 = (Okv32u)(kQ31One - t.sfbWeight[sb + 1]);
        Okv64u en = mulQ31(e[bu], w0) + mulQ31(e[bo], w1), th = mulQ31(thr[bu], w0) + mulQ31(thr[bo], w1);
        for (int b = bu + 1; b < bo; ++b) en += e[b], th += thr[b];
        ratio[stride * sb] = q31Ratio(th, en);
    }
}

int heldBlockType(int prevType, bool heldShort, bool nextShort) {
    // A long granule between two short ones is coded short: no window joins a short block
    // on both sides.
    if (heldShort || (nextShort && prevType == 2)) return 2;
    if (nextShort) return 1;
    return prevType == 2 ? 3 : 0;
}

}  // namespace mp3psy
}  // namespace OKV_NS
