// Requantisation of one granule with fuzzed header, side information, scalefactors, bounds
// and quantised values; a granule that requantises is carried on through the hybrid
// filterbank and the fixed-point synthesis.
//
// Input: [0] header bits (id, sampling index, mode, mode extension, band-table form),
// [1..12] side information of two channels (6 bytes each), [13..16] two bounds, [17..96]
// scalefactors, then 16-bit little-endian quantised values, channel 0 first.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3/sfb_tables.h"
#include "okvac.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t u8() { return n ? (--n, *p++) : 0; }
    int u16() { return u8() | (u8() << 8); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader r{data, size};
    MP3FrameHeader hdr = {};
    const int h = r.u8();
    hdr.id = h & 1;
    hdr.layer = 1;
    hdr.sampling_frequency = (h >> 1) & 3;
    hdr.mode = (h >> 3) & 3;
    hdr.mode_extension = (h >> 5) & 3;
    const bool sfbForm = h & 0x80;

    MP3SideInfo si[2] = {};
    for (auto& s : si) {
        s.global_gain = r.u8() + ((r.n & 7) == 0 ? 1 : 0);  // 256 now and then
        const int f = r.u8();
        s.scalefac_scale = f & 1;
        s.preflag = (f >> 1) & 1;
        s.block_type = (f >> 2) & 3;
        s.mixed_block_flag = (f >> 4) & 1;
        s.window_switching_flag = s.block_type != 0;
        if (f & 0x20) s.block_type += 4 * ((f >> 6) & 1);  // out of range
        const int g = r.u16();
        for (int w = 0; w < 3; ++w) s.subblock_gain[w] = (g >> (5 * w)) & 15;
        s.scalefac_compress = r.u16() & 511;
    }
    int nz[2];
    for (int& v : nz) v = r.u16() % 600;
    int8_t sf[80];
    for (auto& v : sf) v = static_cast<int8_t>(r.u8());
    std::vector<int32_t> x(1152, 0), work(576);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < nz[c] && i < 576 && r.n >= 2; ++i) x[576 * c + i] = static_cast<int16_t>(r.u16()) % 8300;

    const int row = hdr.id == 0 && (h & 0x40) ? 6 : 0;
    const StatusCode st = sfbForm ? okvsReQuantizeSfb_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data(),
                                                                okv_u8::mp3SfbLong[row], okv_u8::mp3SfbShort[row])
                                  : okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data());
    if (st != okvOk) return 0;
    const int nch = hdr.mode == 3 ? 1 : 2;
    std::vector<int32_t> sub(576), ov(576, 0), hist(512, 0);
    int16_t pcm[64];
    for (int c = 0; c < nch; ++c) {
        if (nz[c] < 0 || nz[c] > 576) __builtin_trap();  // a bound always stays in range
        for (int i = nz[c]; i < 576; ++i)
            if (x[576 * c + i] != 0) __builtin_trap();  // and nothing non-zero lies above it
        int prev = 0, pos = 0;
        if (okvsMDCTInv_MP3_32s(&x[576 * c], sub.data(), ov.data(), nz[c], &prev, si[c].block_type & 3,
                                si[c].mixed_block_flag) != okvOk)
            __builtin_trap();
        for (int t = 0; t < 18; ++t)
            if (okvsSynthPQMF_MP3_32s16s(&sub[32 * t], pcm + c, hist.data(), &pos, 2) != okvOk) __builtin_trap();
    }
    return 0;
}
