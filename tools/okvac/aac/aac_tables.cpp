#include "aac_tables.h"

// The library's band and TNS tables, in a namespace of the tool's own.
#pragma push_macro("OKV_NS")
#undef OKV_NS
#define OKV_NS okvac_tool_tables
#include "aac/aac_spectral_data.h"
#include "aac/band_tables_data.h"
#pragma pop_macro("OKV_NS")

const Okv16s* longBandOffsets(int rateIndex) { return okvac_tool_tables::kSwbOffsetLong[rateIndex]; }
const Okv16s* shortBandOffsets(int rateIndex) { return okvac_tool_tables::kSwbOffsetShort[rateIndex]; }
int longBandCount(int rateIndex) { return okvac_tool_tables::kNumSwbLong[rateIndex]; }
int tnsMaxBandsLong(int rateIndex) { return okvac_tool_tables::kTnsMaxBandsLong[rateIndex]; }
double tnsReflection(int res, int c) {
    return okvac_tool_tables::aacspectral_data::kIqTns[16 * res - 40 + c] / 2147483648.0;
}
