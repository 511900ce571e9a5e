// Fuzzes okvac's MP4 decoding loop: the box reader, the decoder configuration, the access units.
#include "okvac_aac_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeAll(data, size, AacContainer::kMp4);
    return 0;
}
