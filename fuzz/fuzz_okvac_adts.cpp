// Fuzzes okvac's ADTS decoding loop: framing, resynchronisation, every element of each block.
#include "okvac_aac_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeAll(data, size, AacContainer::kAdts);
    return 0;
}
