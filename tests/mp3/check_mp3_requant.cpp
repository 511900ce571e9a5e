// Variant harness: requantisation of random granules (all modes, block kinds, LSF and MPEG-1,
// illegal intensity positions, out-of-range fields now and then) with both band-table forms.
#include "harness/checkasm.h"
#include "mp3/sfb_tables.h"

namespace {

struct Setup {
    MP3FrameHeader hdr = {};
    MP3SideInfo si[2] = {};
    int nz[2] = {};
    int amp = 15;
};

Setup randomSetup(chk::Rng& r)
{
    Setup s;
    const bool odd = r.range(0, 15) == 0;  // an out-of-range field now and then
    s.hdr.id = odd ? r.range(0, 2) : r.range(0, 1);
    s.hdr.layer = 1;
    s.hdr.sampling_frequency = odd ? r.range(0, 3) : r.range(0, 2);
    s.hdr.mode = r.range(0, 3);
    s.hdr.mode_extension = odd ? r.range(0, 4) : r.range(0, 3);
    const int type = r.range(0, 3), mixed = type == 2 ? r.range(0, 1) : 0;
    for (auto& g : s.si) {
        g.block_type = type;
        g.mixed_block_flag = mixed;
        if (r.range(0, 9) == 0) g.block_type = r.range(0, 4);
        g.global_gain = odd ? r.range(-2, 257) : r.range(120, 230);
        g.scalefac_scale = r.range(0, 1);
        g.preflag = r.range(0, 1);
        g.scalefac_compress = r.range(0, 511);
        for (int& sb : g.subblock_gain) sb = odd ? r.range(0, 8) : r.range(0, 7);
    }
    for (int& n : s.nz) n = odd ? r.range(-1, 577) : r.range(0, 576);
    const int amps[4] = {1, 15, 128, 8206};
    s.amp = amps[r.range(0, 3)];
    return s;
}

}  // namespace

CHECK_EXPORTS(mp3_requant, "okvsReQuantize_MP3_32s_I", "okvsReQuantizeSfb_MP3_32s_I") {
    for (int it = 0; it < c.iters() * 4; ++it) {
        const Setup s = randomSetup(c.rng());
        const bool over = c.rng().range(0, 30) == 0;
        const bool sfbForm = it & 1;
        const int bandRow = s.hdr.id == 0 && (it & 2) ? 6 : 0;  // MPEG-2.5 rows through the Sfb form
        c.call(sfbForm ? "okvsReQuantizeSfb_MP3_32s_I" : "okvsReQuantize_MP3_32s_I",
               [&](chk::Arena& a, int v) -> int {
                   Okv32s* x = a.inout<Okv32s>(1152, [&](size_t i) {
                       const int bound = s.nz[i / 576];
                       if (int(i % 576) >= bound) return 0;
                       const int n = int(a.rng().u32() % Okv32u(s.amp + 1)) + (over && i == 300 ? 8206 : 0);
                       return (a.rng().u32() & 1) ? -n : n;
                   });
                   int* nz = a.inout<int>(2, [&](size_t i) { return s.nz[i]; });
                   const Okv8s* sf = a.in<Okv8s>(80, [&](size_t) {
                       const int r = int(a.rng().u32() % 20);
                       return r == 0 ? -int(a.rng().u32() % 8) : r < 3 ? 7 : int(a.rng().u32() % 16);
                   });
                   const MP3SideInfo* si = a.in_copy(s.si, 2);
                   const MP3FrameHeader* hdr = a.in_copy(&s.hdr, 1);
                   Okv32s* work = a.out<Okv32s>(576);
                   if (!sfbForm) return OKV_BODY(v, okvsReQuantize_MP3_32s_I)(x, nz, sf, si, hdr, work);
                   return OKV_BODY(v, okvsReQuantizeSfb_MP3_32s_I)(x, nz, sf, si, hdr, work,
                                                                   OKV_NS::mp3SfbLong[bandRow],
                                                                   OKV_NS::mp3SfbShort[bandRow]);
               });
    }
}
