// Variant harness: Layer III Huffman decoding in its three forms.
#include "harness/checkasm.h"
#include "mp3/sfb_tables_data.h"

namespace {

const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
const Okv16s kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;

MP3SideInfo randomSideInfo(chk::Rng& r, int* budget) {
    MP3SideInfo si{};
    si.big_values = r.range(0, 3) ? r.range(0, 288) : r.range(0, 40);
    si.window_switching_flag = r.range(0, 1);
    si.block_type = si.window_switching_flag ? r.range(r.range(0, 20) ? 1 : 0, 3) : 0;
    si.mixed_block_flag = si.block_type == 2 ? r.range(0, 1) : 0;
    for (int k = 0; k < 3; ++k) si.table_select[k] = r.range(0, 40) ? r.range(0, 31) : 32;
    si.region0_count = r.range(0, 15);
    si.region1_count = r.range(0, 7);
    si.count1table_select = r.range(0, 1);
    *budget = r.range(0, 15) ? r.range(0, 4000) : 0;
    si.part2_3_length = *budget + r.range(0, 40);
    return si;
}

// Runs one form (0 plain, 1 Sfb, 2 SfbMbp) on a random stream of enough bytes for the budget.
int runForm(chk::Arena& a, int v, int form, const MP3SideInfo& si, const MP3FrameHeader& h, int budget, int offset) {
    Okv8u* s = a.in<Okv8u>(size_t(4000 / 8 + 24));
    int* off = a.inout<int>(1, [&](size_t) { return offset; });
    Okv32s* dst = a.out<Okv32s>(576);
    int* bound = a.out<int>(1);
    const MP3SideInfo* psi = a.in_copy(&si, 1);
    const MP3FrameHeader* ph = a.in_copy(&h, 1);
    const Okv16s* lng = a.in_copy(&kLong[0][0], 9 * 23);
    const Okv16s* sht = a.in_copy(&kShort[0][0], 9 * 14);
    const Okv16s* mbp = a.in_copy(&kMixed[0][0], 9 * 2);
    int* moved = a.out<int>(1);
    Okv8u* p = s;
    int st;
    if (form == 0)
        st = OKV_BODY(v, okvsHuffmanDecode_MP3_1u32s)(&p, off, dst, bound, psi, ph, budget);
    else if (form == 1)
        st = OKV_BODY(v, okvsHuffmanDecodeSfb_MP3_1u32s)(&p, off, dst, bound, psi, ph, budget, lng);
    else
        st = OKV_BODY(v, okvsHuffmanDecodeSfbMbp_MP3_1u32s)(&p, off, dst, bound, psi, ph, budget, lng, sht, mbp);
    *moved = int(p - s);
    return st;
}

}  // namespace

CHECK_EXPORTS(mp3_huffman, "okvsHuffmanDecode_MP3_1u32s", "okvsHuffmanDecodeSfb_MP3_1u32s",
              "okvsHuffmanDecodeSfbMbp_MP3_1u32s") {
    static const char* const kNames[3] = {"okvsHuffmanDecode_MP3_1u32s", "okvsHuffmanDecodeSfb_MP3_1u32s",
                                          "okvsHuffmanDecodeSfbMbp_MP3_1u32s"};
    for (int it = 0; it < c.iters(); ++it) {
        int budget;
        const MP3SideInfo si = randomSideInfo(c.rng(), &budget);
        MP3FrameHeader h{};
        h.id = c.rng().range(0, 1);
        h.layer = 1;
        h.sampling_frequency = c.rng().range(0, 2);
        const int offset = c.rng().range(0, 7);
        for (int form = 0; form < 3; ++form)
            c.call(kNames[form], [&](chk::Arena& a, int v) { return runForm(a, v, form, si, h, budget, offset); });
    }
}
