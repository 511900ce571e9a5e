// Variant harness: Layer III packers, bit reservoir set-up, Huffman encoding and joint-stereo encoding
// (scalar code, alike in both variants) on random (sometimes illegal) headers and side information.
#include "mp3/mp3_check_util.h"

CHECKER(mp3enc_pack) {
    for (int it = 0; it < c.iters(); ++it) {
        const MP3FrameHeader h = mp3chk::randomHeader(c.rng());
        MP3SideInfo si[4];
        for (auto& s : si) s = mp3chk::randomSideInfo(c.rng());
        const int offset = c.rng().range(0, 8), gr = c.rng().range(0, 1), ch = c.rng().range(0, 1), budget = c.rng().range(0, 6000);
        const int count1 = c.rng().range(-4, 600), bounds[3] = {c.rng().range(0, 22), c.rng().range(0, 13), c.rng().range(0, 13)};
        c.call("okvsBitReservoirInit_MP3", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsBitReservoirInit_MP3)(a.out<MP3BitReservoir>(1), a.in_copy(&h, 1));
        });
        c.call("okvsPackFrameHeader_MP3", [&](chk::Arena& a, int v) -> int {
            return mp3chk::cursorCall(a, a.out<Okv8u>(6), [&](Okv8u** p) { return OKV_BODY(v, okvsPackFrameHeader_MP3)(a.in_copy(&h, 1), p); });
        });
        c.call("okvsPackSideInfo_MP3", [&](chk::Arena& a, int v) -> int {
            const int* scfsi = a.in<int>(8, [&](size_t) { return int(a.rng().u32() & 1); });
            return mp3chk::cursorCall(a, a.out<Okv8u>(32), [&](Okv8u** p) {
                return OKV_BODY(v, okvsPackSideInfo_MP3)(a.in_copy(si, 4), p, offset * 64, offset * 4, scfsi, a.in_copy(&h, 1));
            });
        });
        c.call("okvsPackScaleFactors_MP3_8s1u", [&](chk::Arena& a, int v) -> int {
            const Okv8s* sf = a.in<Okv8s>(40);
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            MP3SideInfo* psi = a.inout<MP3SideInfo>(1, [&](size_t) { return si[0]; });
            const int* scfsi = a.in<int>(4, [&](size_t) { return int(a.rng().u32() & 1); });
            return mp3chk::cursorCall(a, a.out<Okv8u>(40), [&](Okv8u** p) {
                return OKV_BODY(v, okvsPackScaleFactors_MP3_8s1u)(sf, p, off, a.in_copy(&h, 1), psi, scfsi, gr, ch);
            });
        });
        c.call("okvsHuffmanEncode_MP3_32s1u", [&](chk::Arena& a, int v) -> int {
            const Okv32s* ix = a.in<Okv32s>(576, [&](size_t) {  // within the code tables' range, mostly small
                const int m = a.rng().range(0, 7) ? a.rng().range(0, 3) : a.rng().range(0, 8206);
                return a.rng().coin() ? -m : m;
            });
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            return mp3chk::cursorCall(a, a.out<Okv8u>(2400), [&](Okv8u** p) {
                return OKV_BODY(v, okvsHuffmanEncode_MP3_32s1u)(ix, p, off, a.in_copy(&h, 1), a.in_copy(si, 1), count1, budget);
            });
        });
        c.call("okvsJointStereoEncode_MP3_32s_I", [&](chk::Arena& a, int v) -> int {
            auto gen = [&](size_t) { return a.rng().range(-1 << 24, 1 << 24); };
            Okv32s *l = a.inout<Okv32s>(576, gen), *r = a.inout<Okv32s>(576, gen);
            int* bound = a.inout<int>(3, [&](size_t i) { return bounds[i]; });
            return OKV_BODY(v, okvsJointStereoEncode_MP3_32s_I)(l, r, a.out<Okv8s>(39), a.in_copy(&h, 1), a.in_copy(si, 2), bound);
        });
    }
}
