// Layer III scalefactor-band boundaries (signed 16-bit).
// Rows: id * 3 + sampling_frequency (0..2 LSF 22.05/24/16 kHz, 3..5 MPEG-1 44.1/48/32 kHz),
// then rows 6..8 for MPEG-2.5 11.025/12/8 kHz: pass &table[6][0] as the table of an MPEG-2.5
// stream (id 0), so that row sampling_frequency of it lands on the MPEG-2.5 row.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

extern const Okv16s mp3SfbLong[9][23];   // start of long bands 0..21, then 576
extern const Okv16s mp3SfbShort[9][14];  // start of short bands 0..12, then 192 (per window)
extern const Okv16s mp3SfbMixed[9][2];   // long bands of a mixed block; extra short windows of region 0

}  // namespace OKV_NS
