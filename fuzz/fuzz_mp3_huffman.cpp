// Fuzzes Layer III Huffman decoding in its three forms. Input: 12 control bytes (form, side
// information, header, budget, bit offset), then the stream; for the SfbMbp form with bit 2 of
// the first byte set, the band tables come from the input too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3/sfb_tables_data.h"
#include "okvac.h"

namespace {
const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
const Okv16s kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    const uint8_t* c = data;  // control bytes
    const int form = c[0] % 3;
    MP3SideInfo si{};
    si.big_values = c[1] | (c[2] & 1) << 8;
    si.window_switching_flag = (c[2] >> 1) & 1;
    si.block_type = (c[2] >> 2) & 3;
    si.mixed_block_flag = (c[2] >> 4) & 1;
    si.count1table_select = (c[2] >> 5) & 1;
    si.table_select[0] = c[3] & 31;
    si.table_select[1] = c[4] & 31;
    si.table_select[2] = c[5] & 31;
    si.region0_count = c[6] & 15;
    si.region1_count = c[6] >> 5;
    MP3FrameHeader h{};
    h.id = c[7] & 1;
    h.layer = 1;
    h.sampling_frequency = (c[7] >> 1) % 3;
    const int offset0 = (c[7] >> 3) & 7;
    int offset = offset0;
    data += 12;
    size -= 12;

    std::vector<Okv16s> tables(9 * (23 + 14 + 2));
    const Okv16s *lng = &kLong[0][0], *sht = &kShort[0][0], *mbp = &kMixed[0][0];
    if (form == 2 && (c[0] & 4) && size >= tables.size()) {
        for (size_t i = 0; i < tables.size(); ++i) tables[i] = Okv16s(data[i] * 3);
        lng = tables.data();
        sht = lng + 9 * 23;
        mbp = sht + 9 * 14;
        data += tables.size();
        size -= tables.size();
    }
    // The budget never reaches past the stream; the decoder may read 8 bytes beyond it.
    const long bits = long(size) * 8 - offset0;
    const int budget = bits > 0 ? int((c[8] << 8 | c[9]) % (bits + 1) % 4096) : 0;
    si.part2_3_length = budget + (c[10] & 7);
    std::vector<uint8_t> buf(data, data + size);
    buf.resize(size + 8, 0);
    Okv8u* p = buf.data();
    Okv32s out[576];
    int bound;
    StatusCode st;
    if (form == 0)
        st = okvsHuffmanDecode_MP3_1u32s(&p, &offset, out, &bound, &si, &h, budget);
    else if (form == 1)
        st = okvsHuffmanDecodeSfb_MP3_1u32s(&p, &offset, out, &bound, &si, &h, budget, lng);
    else
        st = okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &offset, out, &bound, &si, &h, budget, lng, sht, mbp);
    if (st == okvOk) {
        // Exactly budget bits consumed, bound consistent with the values.
        const long moved = (p - buf.data()) * 8L + offset - offset0;
        if (moved != budget || bound < 0 || bound > 576 || (bound > 0 && out[bound - 1] == 0)) __builtin_trap();
        for (int i = bound; i < 576; ++i)
            if (out[i]) __builtin_trap();
        for (int i = 0; i < bound; ++i)
            if (out[i] > 8206 || out[i] < -8206) __builtin_trap();
    }
    return 0;
}
