// Fuzzes the Layer III header, side-information and scalefactor packers. Input: a frame header
// (4 bytes as a stream header), 32 bytes of side information fields, scalefactors, control.
// Every output buffer is exactly as large as the format allows, and the header and side
// information must come back unchanged through the unpackers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 + 32 + 40 + 4) return 0;
    std::vector<uint8_t> in(data, data + size);
    in.resize(size + 8, 0);
    Okv8u* ip = in.data();
    MP3FrameHeader h{};
    okvsUnpackFrameHeader_MP3(&ip, &h);
    h.crc_check = h.protection_bit ? 0 : h.crc_check;

    std::vector<Okv8u> head(6);
    Okv8u* p = head.data();
    if (okvsPackFrameHeader_MP3(&h, &p) != okvOk || p - head.data() != (h.protection_bit ? 4 : 6)) __builtin_trap();
    head.resize(16, 0);
    Okv8u* q = head.data();
    MP3FrameHeader back{};
    okvsUnpackFrameHeader_MP3(&q, &back);
    if (memcmp(&h, &back, sizeof h) != 0) __builtin_trap();

    // Side information from the fuzzed bytes read as a stream, so that it is in range.
    h.layer = 1;
    MP3SideInfo si[4];
    int mdb, priv, scfsi[8];
    std::vector<uint8_t> sideIn(data + 4, data + 36);
    sideIn.resize(32 + 8, 0);
    Okv8u* sp = sideIn.data();
    if (okvsUnpackSideInfo_MP3(&sp, si, &mdb, &priv, scfsi, &h) == okvOk) {
        std::vector<Okv8u> side(32);
        Okv8u* op = side.data();
        if (okvsPackSideInfo_MP3(si, &op, mdb, priv, scfsi, &h) != okvOk) __builtin_trap();
        const long n = op - side.data();
        if (memcmp(side.data(), sideIn.data(), (size_t)n) != 0) __builtin_trap();
    }

    // Scalefactors: any values and side information; the most is 168 bits (LSF intensity
    // channel, 36 values of 4 or 5 bits) after 7.
    Okv8s sf[40];
    memcpy(sf, data + 36, 40);
    const uint8_t* c = data + 76;
    MP3SideInfo s = si[0];
    s.scalefac_compress = c[0] | (c[1] & 3) << 8;
    s.block_type = (c[1] >> 2) & 3;
    s.mixed_block_flag = (c[1] >> 4) & 1;
    h.mode_extension = (c[1] >> 5) & 3;
    std::vector<Okv8u> out(22);
    Okv8u* op = out.data();
    int off = c[2] & 7;
    const StatusCode st = okvsPackScaleFactors_MP3_8s1u(sf, &op, &off, &h, &s, scfsi, c[3] & 1, (c[3] >> 1) & 1);
    if (st == okvOk && (op < out.data() || op > out.data() + 21 || off < 0 || off > 7)) __builtin_trap();
    return 0;
}
