// Recognises the AAC containers by content: MP4/3GP boxes, an "ADIF" header, ADTS frames
// (sync and layer 00, confirmed by a second header) and LOAS/LATM frames (refused later).
#pragma once
#include <cstddef>
#include <cstdint>

enum class AacContainer { kNone, kAdts, kAdif, kMp4, kLatm };

// *start: for ADTS and LATM, the offset of the first frame (to weigh against other formats).
AacContainer detectAacContainer(const uint8_t* data, size_t len, size_t* start);
