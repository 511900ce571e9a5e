#include "band_offsets.h"

// The library's band tables, in a namespace of the tool's own.
#pragma push_macro("OKV_NS")
#undef OKV_NS
#define OKV_NS okvac_tool_tables
#include "aac/band_tables_data.h"
#pragma pop_macro("OKV_NS")

const Okv16s* longBandOffsets(int rateIndex) { return okvac_tool_tables::kSwbOffsetLong[rateIndex]; }
const Okv16s* shortBandOffsets(int rateIndex) { return okvac_tool_tables::kSwbOffsetShort[rateIndex]; }
int longBandCount(int rateIndex) { return okvac_tool_tables::kNumSwbLong[rateIndex]; }
int tnsMaxBandsLong(int rateIndex) { return okvac_tool_tables::kTnsMaxBandsLong[rateIndex]; }
