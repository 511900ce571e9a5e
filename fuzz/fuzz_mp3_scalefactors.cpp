// Fuzzes Layer III scalefactor unpacking. Input: 6 control bytes (header id, mode extension,
// scalefac_compress, block type, mixed flag, scfsi, granule, channel, bit offset), then the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    MP3FrameHeader h{};
    h.id = data[0] & 1;
    h.layer = 1;
    h.mode = 1;
    h.mode_extension = (data[0] >> 1) & 7;  // 4..7 are out of range
    MP3SideInfo si{};
    si.scalefac_compress = (data[1] | (data[2] & 3) << 8) - ((data[2] & 4) ? 16 : 0);
    si.block_type = (data[2] >> 3) & 3;
    si.mixed_block_flag = data[2] >> 5;
    const int scfsi[4] = {data[3] & 1, (data[3] >> 1) & 1, (data[3] >> 2) & 1, (data[3] >> 3) & 1};
    const int granule = (data[3] >> 4) & 3, channel = data[3] >> 6;
    int offset = data[4] & 15;
    // At most 4 * 18 values of up to 5 bits are read, plus the 4-byte look-ahead.
    std::vector<uint8_t> buf(data + 6, data + size);
    if (buf.size() < 64) buf.resize(64, data[5]);
    buf.resize(buf.size() + 4, 0);
    Okv8u* p = buf.data();
    Okv8s sf[40];
    const StatusCode st = okvsUnpackScaleFactors_MP3_1u8s(&p, &offset, sf, &si, scfsi, &h, granule, channel);
    if (st == okvOk && (offset > 7 || p - buf.data() > 48)) __builtin_trap();
    return 0;
}
