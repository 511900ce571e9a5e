// Layer III scalefactor band starts, row id * 3 + sampling_frequency (rows 6..8: MPEG-2.5).
#pragma once
#include "mp3/sfb_tables_data.h"
#include "okvac.h"

inline constexpr Okv16s kSfbLong[9][23] = OKV_MP3_SFB_LONG_INIT;
inline constexpr Okv16s kSfbShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
