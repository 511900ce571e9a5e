// Scalefactor length tables of Layer III.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

extern const Okv8u mp3Slen[32];                // slen1[scalefac_compress 0..15], then slen2
extern const Okv8u mp3NrOfSfbBlock[6][3][4];   // LSF: [row][long, short, mixed][partition]
inline constexpr int mp3ScfsiGroup[5] = {0, 6, 11, 16, 21};  // long-band groups that scfsi refers to

}  // namespace OKV_NS
