// Individual channel stream information, shared by the channel pair parsers and the decoders.
#pragma once
#include "aac/aac_bits.h"

namespace OKV_NS {

// Reads ICS information into ics.  lc selects the MPEG-2 form; otherwise the MPEG-4 form, which
// clears both LTP flags of hdr and reads LTP data there for object types other than 1.
StatusCode aacReadIcsInfo(AacBits& bs, AACIcsInfo* ics, int predLimit, bool lc, int objType, AACMainHeader* hdr,
                          int commonWin);

}  // namespace OKV_NS
