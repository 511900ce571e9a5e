// Variant harness: Layer III header, side information and scalefactor unpacking, and Huffman decoding
// in its three forms (scalar code, alike in both variants), on random bytes with random fields.
#include "mp3/mp3_check_util.h"
#include "mp3/sfb_tables_data.h"

CHECKER(mp3_bitstream) {
    static const Okv16s kLong[9][23] = OKV_MP3_SFB_LONG_INIT, kShort[9][14] = OKV_MP3_SFB_SHORT_INIT;
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        MP3FrameHeader h = mp3chk::randomHeader(r);
        const MP3SideInfo si = mp3chk::randomSideInfo(r);
        const int offset = r.range(0, 8), gr = r.range(0, 1), ch = r.range(0, 1), budget = r.range(0, 4000);
        PARSE(okvsUnpackFrameHeader_MP3, (a, a.in<Okv8u>(8)), &s.p, a.out<MP3FrameHeader>(1));
        PARSE(okvsUnpackSideInfo_MP3, (a, a.in<Okv8u>(40)), &s.p, a.out<MP3SideInfo>(4), a.out<int>(1), a.out<int>(1),
              a.out<int>(8), a.in_copy(&h));
        PARSE(okvsUnpackScaleFactors_MP3_1u8s, (a, a.in<Okv8u>(40), offset), &s.p, s.off, a.out<Okv8s>(40), a.one(si),
              a.in<int>(4, a.uni(0, 1)), a.in_copy(&h), gr, ch);
        h.id = r.range(0, 1), h.layer = 1, h.sampling_frequency = r.range(0, 2);  // mostly decodable
#define HUFFMAN(name, ...)                                                                                           \
    PARSE(name, (a, a.in<Okv8u>(524), offset & 7), &s.p, s.off, a.out<Okv32s>(576), a.out<int>(1), a.in_copy(&si), \
          a.in_copy(&h), budget __VA_OPT__(, ) __VA_ARGS__)
        HUFFMAN(okvsHuffmanDecode_MP3_1u32s);
        HUFFMAN(okvsHuffmanDecodeSfb_MP3_1u32s, kLong[0]);
        HUFFMAN(okvsHuffmanDecodeSfbMbp_MP3_1u32s, kLong[0], kShort[0], kMixed[0]);
    }
}
