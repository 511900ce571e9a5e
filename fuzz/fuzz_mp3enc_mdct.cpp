// Fuzzes the Layer III forward MDCT with fuzzed headers and block types. Input: 4 control bytes
// (id, sampling_frequency, block type, mixed flag), then the subband samples and the overlap,
// four bytes each. Buffers are exactly 576 values: no read or write may leave them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    MP3FrameHeader h{};
    h.id = (int8_t)data[0];
    h.sampling_frequency = (int8_t)data[1];
    const int type = (int8_t)data[2], mixed = (int8_t)data[3];
    data += 4;
    size -= 4;
    std::vector<Okv32s> src(576, 0), ov(576, 0), dst(576);
    const size_t n = size / 4 < 1152 ? size / 4 : 1152;
    for (size_t i = 0; i < n; ++i) {
        Okv32s v;
        memcpy(&v, data + 4 * i, 4);
        (i < 576 ? src[i] : ov[i - 576]) = v;
    }
    const std::vector<Okv32s> in = src;
    if (okvsMDCTFwd_MP3_32s(src.data(), dst.data(), type, mixed, &h, ov.data()) != okvOk) __builtin_trap();
    if (ov != in) __builtin_trap();  // the overlap becomes this granule's input
    return 0;
}
