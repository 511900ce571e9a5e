// Fuzzes Layer III Huffman encoding with fuzzed side information. Input: 12 control bytes
// (side information, header, count1 length, budget, offset), then the values, two bytes each.
// The output buffer holds exactly the most a granule can write; when every value is -1..1 and
// no non-empty region uses table 0, the decoder must give the values back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    const uint8_t* c = data;
    MP3SideInfo si{};
    si.big_values = c[0] | (c[1] & 1) << 8;
    si.window_switching_flag = (c[1] >> 1) & 1;
    si.block_type = (c[1] >> 2) & 3;
    si.count1table_select = (c[1] >> 4) & 1;
    si.table_select[0] = c[2] & 31;
    si.table_select[1] = c[3] & 31;
    si.table_select[2] = c[4] & 31;
    si.region0_count = c[5] & 15;
    si.region1_count = (c[5] >> 4) & 7;
    MP3FrameHeader h{};
    h.id = 1;
    h.layer = 1;
    h.sampling_frequency = c[6] % 3;
    const int offset0 = (c[6] >> 2) & 7;
    const int count1 = c[7] | (c[8] & 3) << 8;
    const int budget = (c[9] | c[10] << 8) & 8191;
    const bool small = c[11] & 1;
    data += 12;
    size -= 12;
    Okv32s ix[576] = {};
    bool allSmall = true;
    for (size_t i = 0; i < 576 && 2 * i + 1 < size; ++i) {
        int v = (int16_t)(data[2 * i] | data[2 * i + 1] << 8);
        if (small) v %= 2;
        ix[i] = v;
        allSmall &= v >= -1 && v <= 1;
    }
    // 288 pairs of at most 19 + 2 * (13 + 1) bits, 144 quadruples of 10 bits, the budget, the offset.
    const size_t most = (288 * 47 + 144 * 10 + (size_t)budget + 7 + 7) / 8;
    std::vector<Okv8u> out(most);
    Okv8u* p = out.data();
    int offset = offset0;
    const StatusCode st = okvsHuffmanEncode_MP3_32s1u(ix, &p, &offset, &h, &si, count1, budget);
    if (st != okvOk) return 0;
    const long bits = (p - out.data()) * 8L + offset - offset0;
    if (bits < budget) __builtin_trap();  // stuffing fills the budget
    // Decoders refuse window switching with block type 0, which the encoder codes as long.
    bool decodable = allSmall && count1 % 4 == 0 && 2 * si.big_values + count1 <= 576 &&
                     !(si.window_switching_flag && si.block_type == 0);
    for (int r = 0; r < 3; ++r) decodable &= si.table_select[r] != 0 && si.table_select[r] != 4 && si.table_select[r] != 14;
    if (!decodable || bits > 4095) return 0;
    for (int i = 2 * si.big_values + count1; i < 576; ++i) ix[i] = 0;
    out.resize(out.size() + 8, 0);
    Okv8u* q = out.data();
    int qo = offset0;
    si.part2_3_length = (int)bits;
    Okv32s back[576];
    int bound;
    if (okvsHuffmanDecode_MP3_1u32s(&q, &qo, back, &bound, &si, &h, (int)bits) != okvOk) __builtin_trap();
    for (int i = 0; i < 576; ++i)
        if (back[i] != ix[i]) __builtin_trap();
    return 0;
}
