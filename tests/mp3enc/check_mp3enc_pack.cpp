// Variant harness: Layer III packers, bit reservoir set-up and joint-stereo encoding.
#include "harness/checkasm.h"

namespace {

MP3FrameHeader randomHeader(chk::Rng& r) {
    MP3FrameHeader h{};
    h.id = r.range(0, 15) ? r.range(0, 1) : 2;  // now and then out of range
    h.layer = r.range(0, 15) ? 1 : 2;
    h.protection_bit = r.range(0, 1);
    h.bitrate_index = r.range(0, 15);
    h.sampling_frequency = r.range(0, 15) ? r.range(0, 2) : 3;
    h.mode = r.range(0, 3);
    h.mode_extension = r.range(0, 3);
    h.crc_check = r.range(0, 0xFFFF);
    return h;
}

MP3SideInfo randomSideInfo(chk::Rng& r) {
    MP3SideInfo si{};
    si.part2_3_length = r.range(0, 4095);
    si.big_values = r.range(0, 15) ? r.range(0, 288) : 300;
    si.global_gain = r.range(0, 255);
    si.scalefac_compress = r.range(0, 15) ? r.range(0, 511) : 600;
    si.window_switching_flag = r.range(0, 1);
    si.block_type = r.range(0, 3);
    si.mixed_block_flag = r.range(0, 1);
    for (int k = 0; k < 3; ++k) {
        si.table_select[k] = r.range(0, 31) ? r.range(0, 31) : -1;
        si.subblock_gain[k] = r.range(0, 7);
    }
    si.region0_count = r.range(0, 15);
    si.region1_count = r.range(0, 7);
    si.scalefac_scale = r.range(0, 1);
    si.count1table_select = r.range(0, 15) ? r.range(0, 1) : 2;
    return si;
}

}  // namespace

CHECK_EXPORTS(mp3enc_pack, "okvsBitReservoirInit_MP3", "okvsPackFrameHeader_MP3", "okvsPackSideInfo_MP3",
              "okvsPackScaleFactors_MP3_8s1u", "okvsHuffmanEncode_MP3_32s1u", "okvsJointStereoEncode_MP3_32s_I") {
    for (int it = 0; it < c.iters(); ++it) {
        const MP3FrameHeader h = randomHeader(c.rng());
        MP3SideInfo si[4];
        for (auto& s : si) s = randomSideInfo(c.rng());
        c.call("okvsBitReservoirInit_MP3", [&](chk::Arena& a, int v) -> int {
            MP3BitReservoir* r = a.out<MP3BitReservoir>(1);
            return OKV_BODY(v, okvsBitReservoirInit_MP3)(r, a.in_copy(&h, 1));
        });
        c.call("okvsPackFrameHeader_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.out<Okv8u>(6);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsPackFrameHeader_MP3)(a.in_copy(&h, 1), &p);
            *moved = int(p - s);
            return st;
        });
        const int mdb = c.rng().range(0, 511), priv = c.rng().range(0, 31);
        c.call("okvsPackSideInfo_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.out<Okv8u>(32);
            const int* scfsi = a.in<int>(8, [&](size_t) { return int(a.rng().u32() & 1); });
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsPackSideInfo_MP3)(a.in_copy(si, 4), &p, mdb, priv, scfsi, a.in_copy(&h, 1));
            *moved = int(p - s);
            return st;
        });
        const int offset = c.rng().range(0, 7), gr = c.rng().range(0, 1), ch = c.rng().range(0, 1);
        c.call("okvsPackScaleFactors_MP3_8s1u", [&](chk::Arena& a, int v) -> int {
            const Okv8s* sf = a.in<Okv8s>(40);
            Okv8u* s = a.out<Okv8u>(40);
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            MP3SideInfo* psi = a.inout<MP3SideInfo>(1, [&](size_t) { return si[0]; });
            const int* scfsi = a.in<int>(4, [&](size_t) { return int(a.rng().u32() & 1); });
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsPackScaleFactors_MP3_8s1u)(sf, &p, off, a.in_copy(&h, 1), psi, scfsi, gr, ch);
            *moved = int(p - s);
            return st;
        });
        // Spectra within the code tables' range, mostly small.
        const int count1 = c.rng().range(-4, 600), budget = c.rng().range(0, 6000);
        const int hoff = c.rng().range(0, 15) ? offset : 8;
        c.call("okvsHuffmanEncode_MP3_32s1u", [&](chk::Arena& a, int v) -> int {
            const Okv32s* ix = a.in<Okv32s>(576, [&](size_t) {
                const int m = a.rng().range(0, 7) ? a.rng().range(0, 3) : a.rng().range(0, 8206);
                return a.rng().coin() ? -m : m;
            });
            Okv8u* s = a.out<Okv8u>(2400);
            int* off = a.inout<int>(1, [&](size_t) { return hoff; });
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsHuffmanEncode_MP3_32s1u)(ix, &p, off, a.in_copy(&h, 1), a.in_copy(si, 1),
                                                                   count1, budget);
            *moved = int(p - s);
            return st;
        });
        MP3SideInfo pair[2] = {si[0], si[0]};
        if (c.rng().range(0, 7) == 0) pair[1].block_type ^= 2;
        const int b0 = c.rng().range(0, 22), b1 = c.rng().range(0, 13), b2 = c.rng().range(0, 13);
        c.call("okvsJointStereoEncode_MP3_32s_I", [&](chk::Arena& a, int v) -> int {
            auto gen = [&](size_t) { return a.rng().range(-1 << 24, 1 << 24); };
            Okv32s* l = a.inout<Okv32s>(576, gen);
            Okv32s* r = a.inout<Okv32s>(576, gen);
            Okv8s* pos = a.out<Okv8s>(39);
            int* bound = a.inout<int>(3, [&](size_t i) { return i == 0 ? b0 : i == 1 ? b1 : b2; });
            return OKV_BODY(v, okvsJointStereoEncode_MP3_32s_I)(l, r, pos, a.in_copy(&h, 1), a.in_copy(pair, 2), bound);
        });
    }
}
