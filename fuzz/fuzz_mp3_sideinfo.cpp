// Fuzzes Layer III header and side-information unpacking: input = frame header + side information.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Header (6 bytes with CRC) + at most 32 bytes of side information, plus the readers' 4-byte look-ahead.
    std::vector<uint8_t> buf(data, data + size);
    buf.resize(size < 38 ? 38 + 4 : size + 4, 0);
    Okv8u* p = buf.data();
    MP3FrameHeader h;
    if (okvsUnpackFrameHeader_MP3(&p, &h) != okvOk) __builtin_trap();
    MP3SideInfo si[4];
    int mdb, priv, scfsi[8];
    const StatusCode st = okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &h);
    if (st == okvOk && (p - buf.data() > 38 || mdb < 0 || mdb > 511)) __builtin_trap();
    return 0;
}
