// Power-law and spreading tables (generated: tools/gen/gen_pow_tables.py).
#pragma once

#include "core/okv_internal.h"

namespace OKV_NS {

// i^(4/3) rounded to the nearest float, i = 0..8206.
extern const float kPow43_32f[8207];
// floor(2^12 * i^(4/3)), i = 0..8191.
extern const Okv32u kPow43_Q12[8192];
// 2^((i - 512)/4) rounded to float, i = 0..1024 (the last is +infinity).
extern const float kQuarterPow_32f[1025];
// For j = 128..255 at index j - 128: round(2^16 * (j/256)^(3/4)) << 16 | round(2^22 / j).
extern const Okv32u kPow34Frac[128];
// ceil(2^14 * (1 + (k + 0.5)/2^15)^(3/4)), six entries one higher.
extern const Okv16s kPow34Fine[256];
// Q31 10^(-(64 - j)/5); Q30 10^(j/1280); Q30 10^(j/327680).
extern const Okv32s kSpreadExp0[64];
extern const Okv32s kSpreadExp1[256];
extern const Okv32s kSpreadExp2[256];

}  // namespace OKV_NS
