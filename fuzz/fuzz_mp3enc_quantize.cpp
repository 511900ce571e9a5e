// Fuzzes Layer III quantisation of one frame. Input: 16 control bytes (header fields, block
// type, mean bits, reservoir, look-ahead block types, intensity bounds), then spectra, ratios
// and perceptual entropies as 32-bit words. Every granule must fit 4095 bits with its Huffman
// budget, values within the code tables, and the reservoir must stay within 0..max.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    const uint8_t* c = data;
    MP3FrameHeader h{};
    h.id = c[0] & 1;
    h.layer = 1;
    h.sampling_frequency = (c[0] >> 1) % 3;
    h.mode = (c[0] >> 3) & 3;
    h.mode_extension = (c[0] >> 5) & 3;
    const int type = c[1] & 3;
    const int meanBits = (c[2] | c[3] << 8) % 12000;
    MP3BitReservoir resv{(c[4] | (c[5] & 1) << 8) * 8, 0};
    resv.resvMaxSize = resv.resvSize + (c[6] | c[7] << 8) % (4089 - resv.resvSize);
    const int before = resv.resvSize;
    const int32_t state[2] = {c[8] & 3, (c[8] >> 2) & 3};
    int bound[6];
    for (int i = 0; i < 6; ++i) bound[i] = c[9 + i] % 23;
    const int shift = c[15] & 31;
    data += 16;
    size -= 16;
    const int nch = h.mode == 3 ? 1 : 2, rec = nch * (h.id ? 2 : 1);
    std::vector<Okv32s> words(576 * rec + 37 * rec, 0);
    for (size_t i = 0; i < words.size() && 4 * i + 3 < size; ++i) memcpy(&words[i], data + 4 * i, 4);
    std::vector<Okv32s> xr(words.begin(), words.begin() + 576 * rec);
    for (auto& x : xr) x >>= shift;
    std::vector<MP3PsyRatio> ratio(rec);
    for (int r = 0; r < rec; ++r) memcpy(&ratio[r], &words[576 * rec + 37 * r], sizeof(MP3PsyRatio));
    std::vector<MP3SideInfo> si(rec);
    for (auto& s : si) s.block_type = type, s.window_switching_flag = type != 0;
    std::vector<Okv8s> sf(40 * rec, 0);
    std::vector<int> scfsi(8), count1(rec), huf(rec);
    std::vector<Okv32s> work(OKV_MP3_QUANT_WORK_LEN);
    if (okvsQuantize_MP3_32s_I(xr.data(), sf.data(), scfsi.data(), count1.data(), huf.data(), &h, si.data(), ratio.data(),
                               reinterpret_cast<const Okv8u*>(state), &resv, meanBits, bound, work.data()) != okvOk)
        __builtin_trap();
    int used = 0;
    for (int r = 0; r < rec; ++r) {
        if (si[r].part2_3_length > 4095 || huf[r] < 0 || huf[r] > si[r].part2_3_length) __builtin_trap();
        if (si[r].big_values > 288 || count1[r] < 0 || 2 * si[r].big_values + count1[r] > 576) __builtin_trap();
        used += si[r].part2_3_length;
        for (int i = 0; i < 576; ++i)
            if (xr[576 * r + i] > 8191 || xr[576 * r + i] < -8191) __builtin_trap();
    }
    if (resv.resvSize < 0 || resv.resvSize > resv.resvMaxSize || (resv.resvSize & 7)) __builtin_trap();
    if (meanBits + before - used < 0) __builtin_trap();
    return 0;
}
