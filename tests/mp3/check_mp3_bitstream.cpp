// Variant harness: Layer III header, side information and scalefactor unpacking, and Huffman
// decoding in its three forms, on random streams with random (sometimes illegal) fields.
#include "mp3/mp3_check_util.h"
#include "mp3/sfb_tables_data.h"

CHECK_EXPORTS(mp3_bitstream, "okvsUnpackFrameHeader_MP3", "okvsUnpackSideInfo_MP3", "okvsUnpackScaleFactors_MP3_1u8s",
              "okvsHuffmanDecode_MP3_1u32s", "okvsHuffmanDecodeSfb_MP3_1u32s", "okvsHuffmanDecodeSfbMbp_MP3_1u32s") {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT;
    static const Okv16s kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    static const char* const kHuffman[3] = {"okvsHuffmanDecode_MP3_1u32s", "okvsHuffmanDecodeSfb_MP3_1u32s",
                                            "okvsHuffmanDecodeSfbMbp_MP3_1u32s"};
    for (int it = 0; it < c.iters(); ++it) {
        c.call("okvsUnpackFrameHeader_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(8);
            MP3FrameHeader* h = a.out<MP3FrameHeader>(1);
            return mp3chk::cursorCall(a, s, [&](Okv8u** p) { return OKV_BODY(v, okvsUnpackFrameHeader_MP3)(p, h); });
        });
        const MP3FrameHeader h = mp3chk::randomHeader(c.rng());
        c.call("okvsUnpackSideInfo_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(40);
            MP3SideInfo* si = a.out<MP3SideInfo>(4);
            int *mdb = a.out<int>(1), *priv = a.out<int>(1), *scfsi = a.out<int>(8);
            return mp3chk::cursorCall(a, s, [&](Okv8u** p) {
                return OKV_BODY(v, okvsUnpackSideInfo_MP3)(p, si, mdb, priv, scfsi, a.in_copy(&h, 1));
            });
        });
        MP3SideInfo si = mp3chk::randomSideInfo(c.rng());
        si.scalefac_compress = c.rng().range(0, 15) ? c.rng().range(0, h.id == 1 ? 15 : 511) : 600;
        si.mixed_block_flag = c.rng().range(0, 3);
        const int offset = c.rng().range(0, 15) ? c.rng().range(0, 7) : 8;
        const int gr = c.rng().range(0, 1), ch = c.rng().range(0, 1);
        c.call("okvsUnpackScaleFactors_MP3_1u8s", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(40);
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            Okv8s* sf = a.out<Okv8s>(40);
            MP3SideInfo* psi = a.inout<MP3SideInfo>(1, [&](size_t) { return si; });
            const int* scfsi = a.in<int>(4, [&](size_t) { return int(a.rng().u32() & 1); });
            return mp3chk::cursorCall(a, s, [&](Okv8u** p) {
                return OKV_BODY(v, okvsUnpackScaleFactors_MP3_1u8s)(p, off, sf, psi, scfsi, a.in_copy(&h, 1), gr, ch);
            });
        });
        // Huffman data: mostly legal regions and tables, budgets from none to the whole stream.
        si.block_type = si.window_switching_flag ? c.rng().range(c.rng().range(0, 20) ? 1 : 0, 3) : 0;
        si.mixed_block_flag = si.block_type == 2 ? c.rng().range(0, 1) : 0;
        const int budget = c.rng().range(0, 15) ? c.rng().range(0, 4000) : 0;
        si.part2_3_length = budget + c.rng().range(0, 40);
        MP3FrameHeader hh = h;
        hh.id = c.rng().range(0, 1), hh.layer = 1, hh.sampling_frequency = c.rng().range(0, 2);
        for (int form = 0; form < 3; ++form)
            c.call(kHuffman[form], [&](chk::Arena& a, int v) -> int {
                Okv8u* s = a.in<Okv8u>(4000 / 8 + 24);
                int* off = a.inout<int>(1, [&](size_t) { return offset & 7; });
                Okv32s* dst = a.out<Okv32s>(576);
                int* bound = a.out<int>(1);
                const MP3SideInfo* psi = a.in_copy(&si, 1);
                const MP3FrameHeader* ph = a.in_copy(&hh, 1);
                const Okv16s *lng = a.in_copy(&kLong[0][0], 9 * 23), *sht = a.in_copy(&kShort[0][0], 9 * 14);
                const Okv16s* mbp = a.in_copy(&kMixed[0][0], 9 * 2);
                return mp3chk::cursorCall(a, s, [&](Okv8u** p) {
                    if (form == 0) return OKV_BODY(v, okvsHuffmanDecode_MP3_1u32s)(p, off, dst, bound, psi, ph, budget);
                    if (form == 1) return OKV_BODY(v, okvsHuffmanDecodeSfb_MP3_1u32s)(p, off, dst, bound, psi, ph, budget, lng);
                    return OKV_BODY(v, okvsHuffmanDecodeSfbMbp_MP3_1u32s)(p, off, dst, bound, psi, ph, budget, lng, sht, mbp);
                });
            });
    }
}
