// Variant harness: Layer III header, side information and scalefactor unpacking, and Huffman decoding
// in its three forms (scalar code, alike in both variants), on random bytes with random fields.
#include "mp3/mp3_check_util.h"
#include "mp3/sfb_tables_data.h"

CHECKER(mp3_bitstream) {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT, kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    static const char* const kForms[3] = {"okvsHuffmanDecode_MP3_1u32s", "okvsHuffmanDecodeSfb_MP3_1u32s",
                                          "okvsHuffmanDecodeSfbMbp_MP3_1u32s"};
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        MP3FrameHeader h = mp3chk::randomHeader(r);
        const MP3SideInfo si = mp3chk::randomSideInfo(r);
        const int offset = r.range(0, 8), gr = r.range(0, 1), ch = r.range(0, 1), budget = r.range(0, 4000);
        c.call("okvsUnpackFrameHeader_MP3", [&](chk::Arena& a, int v) -> int {
            MP3FrameHeader* out = a.out<MP3FrameHeader>(1);
            return mp3chk::cursorCall(a, a.in<Okv8u>(8), [&](Okv8u** p) { return OKV_BODY(v, okvsUnpackFrameHeader_MP3)(p, out); });
        });
        c.call("okvsUnpackSideInfo_MP3", [&](chk::Arena& a, int v) -> int {
            MP3SideInfo* out = a.out<MP3SideInfo>(4);
            int *mdb = a.out<int>(1), *priv = a.out<int>(1), *scfsi = a.out<int>(8);
            return mp3chk::cursorCall(a, a.in<Okv8u>(40), [&](Okv8u** p) {
                return OKV_BODY(v, okvsUnpackSideInfo_MP3)(p, out, mdb, priv, scfsi, a.in_copy(&h, 1));
            });
        });
        c.call("okvsUnpackScaleFactors_MP3_1u8s", [&](chk::Arena& a, int v) -> int {
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            Okv8s* sf = a.out<Okv8s>(40);
            MP3SideInfo* psi = a.inout<MP3SideInfo>(1, [&](size_t) { return si; });
            const int* scfsi = a.in<int>(4, [&](size_t) { return int(a.rng().u32() & 1); });
            return mp3chk::cursorCall(a, a.in<Okv8u>(40), [&](Okv8u** p) {
                return OKV_BODY(v, okvsUnpackScaleFactors_MP3_1u8s)(p, off, sf, psi, scfsi, a.in_copy(&h, 1), gr, ch);
            });
        });
        h.id = r.range(0, 1), h.layer = 1, h.sampling_frequency = r.range(0, 2);  // mostly decodable
        for (int form = 0; form < 3; ++form)
            c.call(kForms[form], [&](chk::Arena& a, int v) -> int {
                int* off = a.inout<int>(1, [&](size_t) { return offset & 7; });
                Okv32s* dst = a.out<Okv32s>(576);
                int* bound = a.out<int>(1);
                const MP3SideInfo* psi = a.in_copy(&si, 1);
                const MP3FrameHeader* ph = a.in_copy(&h, 1);
                return mp3chk::cursorCall(a, a.in<Okv8u>(4000 / 8 + 24), [&](Okv8u** p) {
                    if (form == 0) return OKV_BODY(v, okvsHuffmanDecode_MP3_1u32s)(p, off, dst, bound, psi, ph, budget);
                    if (form == 1) return OKV_BODY(v, okvsHuffmanDecodeSfb_MP3_1u32s)(p, off, dst, bound, psi, ph, budget, kLong[0]);
                    return OKV_BODY(v, okvsHuffmanDecodeSfbMbp_MP3_1u32s)(p, off, dst, bound, psi, ph, budget, kLong[0], kShort[0], kMixed[0]);
                });
            });
    }
}
