// Variant harness: Layer III packers, bit reservoir set-up, Huffman encoding and joint-stereo encoding
// (scalar code, alike in both variants) on random (sometimes illegal) headers and side information.
#include "mp3/mp3_check_util.h"

CHECKER(mp3enc_pack) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const MP3FrameHeader h = mp3chk::randomHeader(r);
        MP3SideInfo si[4];
        for (auto& s : si) s = mp3chk::randomSideInfo(r);
        const int offset = r.range(0, 8), gr = r.range(0, 1), ch = r.range(0, 1), budget = r.range(0, 6000);
        const int count1 = r.range(-4, 600);
        const int bounds[3] = {r.range(0, 22), r.range(0, 13), r.range(0, 13)};
        const auto ix = [](chk::Arena& a) {  // within the code tables' range, mostly small
            return [&a](size_t) { return (a.rng().coin() ? -1 : 1) * a.rng().pick(7, 0, 3, a.rng().range(0, 8206)); };
        };
        CALL(okvsBitReservoirInit_MP3, a.out<MP3BitReservoir>(1), a.in_copy(&h));
        PARSE(okvsPackFrameHeader_MP3, (a, a.out<Okv8u>(6)), a.in_copy(&h), &s.p);
        PARSE(okvsPackSideInfo_MP3, (a, a.out<Okv8u>(32)), a.in_copy(si, 4), &s.p, offset * 64, offset * 4,
              a.in<int>(8, a.uni(0, 1)), a.in_copy(&h));
        PARSE(okvsPackScaleFactors_MP3_8s1u, (a, a.out<Okv8u>(40), offset), a.in<Okv8s>(40), &s.p, s.off, a.in_copy(&h),
              a.one(si[0]), a.in<int>(4, a.uni(0, 1)), gr, ch);
        PARSE(okvsHuffmanEncode_MP3_32s1u, (a, a.out<Okv8u>(2400), offset), a.in<Okv32s>(576, ix(a)), &s.p, s.off, a.in_copy(&h),
              a.in_copy(si), count1, budget);
        CALL(okvsJointStereoEncode_MP3_32s_I, a.inout<Okv32s>(576, a.uni(-1 << 24, 1 << 24)),
             a.inout<Okv32s>(576, a.uni(-1 << 24, 1 << 24)), a.out<Okv8s>(39), a.in_copy(&h), a.in_copy(si, 2),
             a.inout<int>(3, [&](size_t i) { return bounds[i]; }));
    }
}
