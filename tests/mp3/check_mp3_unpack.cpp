// Variant harness: Layer III header, side information and scalefactor unpacking.
#include "harness/checkasm.h"

namespace {

MP3FrameHeader randomHeader(chk::Rng& r) {
    MP3FrameHeader h{};
    h.id = r.range(0, 15) ? r.range(0, 1) : 2;  // now and then out of range
    h.layer = r.range(0, 15) ? 1 : 3;
    h.mode = r.range(0, 3);
    h.mode_extension = r.range(0, 3);
    h.sampling_frequency = r.range(0, 2);
    return h;
}

}  // namespace

CHECK_EXPORTS(mp3_unpack, "okvsUnpackFrameHeader_MP3", "okvsUnpackSideInfo_MP3", "okvsUnpackScaleFactors_MP3_1u8s") {
    for (int it = 0; it < c.iters(); ++it) {
        c.call("okvsUnpackFrameHeader_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(8);
            MP3FrameHeader* h = a.out<MP3FrameHeader>(1);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsUnpackFrameHeader_MP3)(&p, h);
            *moved = int(p - s);
            return st;
        });
        const MP3FrameHeader h = randomHeader(c.rng());
        c.call("okvsUnpackSideInfo_MP3", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(40);
            const MP3FrameHeader* hh = a.in_copy(&h, 1);
            MP3SideInfo* si = a.out<MP3SideInfo>(4);
            int* mdb = a.out<int>(1);
            int* priv = a.out<int>(1);
            int* scfsi = a.out<int>(8);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsUnpackSideInfo_MP3)(&p, si, mdb, priv, scfsi, hh);
            *moved = int(p - s);
            return st;
        });
        MP3SideInfo si{};
        si.scalefac_compress = c.rng().range(0, 15) ? c.rng().range(0, h.id == 1 ? 15 : 511) : 600;
        si.block_type = c.rng().range(0, 3);
        si.mixed_block_flag = c.rng().range(0, 3);
        si.preflag = c.rng().range(0, 1);
        const int offset = c.rng().range(0, 15) ? c.rng().range(0, 7) : 8;
        const int gr = c.rng().range(0, 1), ch = c.rng().range(0, 1);
        c.call("okvsUnpackScaleFactors_MP3_1u8s", [&](chk::Arena& a, int v) -> int {
            Okv8u* s = a.in<Okv8u>(40);
            int* off = a.inout<int>(1, [&](size_t) { return offset; });
            Okv8s* sf = a.out<Okv8s>(40);
            MP3SideInfo* psi = a.inout<MP3SideInfo>(1, [&](size_t) { return si; });
            const int* scfsi = a.in<int>(4, [&](size_t) { return int(a.rng().u32() & 1); });
            const MP3FrameHeader* hh = a.in_copy(&h, 1);
            int* moved = a.out<int>(1);
            Okv8u* p = s;
            const int st = OKV_BODY(v, okvsUnpackScaleFactors_MP3_1u8s)(&p, off, sf, psi, scfsi, hh, gr, ch);
            *moved = int(p - s);
            return st;
        });
    }
}
