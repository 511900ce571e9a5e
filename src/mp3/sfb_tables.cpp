#include "mp3/sfb_tables.h"
#include "mp3/sfb_tables_data.h"

namespace OKV_NS {

const Okv16s mp3SfbLong[9][23] = OKV_MP3_SFB_LONG_INIT;
const Okv16s mp3SfbShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
const Okv16s mp3SfbMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;

}  // namespace OKV_NS
