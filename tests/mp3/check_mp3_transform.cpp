// Variant harness: requantisation of random granules (every mode, block kind and version, band tables of
// both forms, out-of-range fields now and then), granule sequences through the hybrid inverse MDCT, and both
// synthesis forms over consecutive slots with the float filter state's lifecycle.
#include "mp3/mp3_check_util.h"
#include "mp3/sfb_tables.h"

CHECKER(mp3_transform) {
    for (int it = 0; it < c.iters() * 4; ++it) {
        chk::Rng& r = c.rng();
        const bool odd = r.range(0, 15) == 0, sfbForm = it & 1;
        MP3FrameHeader h = mp3chk::randomHeader(r);
        if (!odd) h.id = r.range(0, 1), h.layer = 1, h.sampling_frequency = r.range(0, 2), h.mode_extension &= 3;
        MP3SideInfo si[2];
        const int type = r.range(0, 3), mixed = type == 2 ? r.range(0, 1) : 0;
        for (auto& g : si) {
            g = mp3chk::randomSideInfo(r);
            g.block_type = r.range(0, 9) ? type : r.range(0, 4), g.mixed_block_flag = mixed;
            g.global_gain = odd ? r.range(-2, 257) : r.range(120, 230), g.subblock_gain[1] = odd ? 8 : g.subblock_gain[1];
        }
        const int nz[2] = {odd ? r.range(-1, 577) : r.range(0, 576), r.range(0, 576)};
        const int amp = (r.range(1, 1 << 13) >> r.range(0, 13)) + 1, over = r.range(0, 30) == 0;  // magnitudes up to 8206
        const int row = h.id == 0 && (it & 2) ? 6 : 0;  // MPEG-2.5 rows through the Sfb form
        const auto line = [&](chk::Arena& a) {
            return [&](size_t i) {
                const int m = int(a.rng().u32() % Okv32u(amp + 1)) + (over && i == 300 ? 8206 : 0);
                return int(i % 576) >= nz[i / 576] ? 0 : a.rng().coin() ? -m : m;
            };
        };
        const auto sf = [](chk::Arena& a) {  // mostly 0..15, some 7 (the intensity position), some negative
            return [&a](size_t) {
                const int k = int(a.rng().u32() % 20);
                return k == 0 ? -int(a.rng().u32() % 8) : k < 3 ? 7 : int(a.rng().u32() % 16);
            };
        };
        c.call(sfbForm ? "okvsReQuantizeSfb_MP3_32s_I" : "okvsReQuantize_MP3_32s_I", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(1152, line(a));
            int* pnz = a.inout<int>(2, [&](size_t i) { return nz[i]; });
            const Okv8s* f = a.in<Okv8s>(80, sf(a));
            const MP3SideInfo* psi = a.in_copy(si, 2);
            if (!sfbForm) return OKV_BODY(v, okvsReQuantize_MP3_32s_I)(x, pnz, f, psi, a.in_copy(&h), a.out<Okv32s>(576));
            return OKV_BODY(v, okvsReQuantizeSfb_MP3_32s_I)(x, pnz, f, psi, a.in_copy(&h), a.out<Okv32s>(576),
                                                            OKV_NS::mp3SfbLong[row], OKV_NS::mp3SfbShort[row]);
        });
        if (it % 4) continue;
        const int granules = r.range(1, 6), shift = r.range(0, 6), prev0 = r.range(0, 33);
        int gnz[6], gtype[6], gmixed[6];
        for (int g = 0; g < granules; ++g)
            gnz[g] = r.pick(20, 0, 576, r.range(-2, 600)), gtype[g] = r.pick(20, 0, 3, 5), gmixed[g] = r.pick(20, 0, 1, 2);
        c.call("okvsMDCTInv_MP3_32s", [&](chk::Arena& a, int v) -> int {
            Okv32s *x = a.inout<Okv32s>(576 * granules, a.i32(shift + 2)), *out = a.out<Okv32s>(576 * granules);
            Okv32s *ov = a.inout<Okv32s>(576, a.i32(shift + 2)), *prev = a.one(prev0);
            return chk::chain(granules, [&](int g) {
                return OKV_BODY(v, okvsMDCTInv_MP3_32s)(x + 576 * g, out + 576 * g, ov, gnz[g], prev, gtype[g], gmixed[g]);
            });
        });
        const int bt = r.range(-1, 4), mode = r.range(0, 3), slots = r.range(1, 20), pshift = r.range(0, 8);
        const int pos0 = r.range(0, 17);
        CALL(okvsMDCTInvWindow_MP3_32s, a.in<Okv32s>(18, a.i32(shift)), a.out<Okv32s>(36), bt);
        c.call("okvsSynthPQMF_MP3_32s16s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* in = a.in<Okv32s>(32 * slots, a.i32(pshift));
            Okv16s* out = a.out<Okv16s>(64 * slots);
            Okv32s *hist = a.inout<Okv32s>(512, a.i32(pshift + 4)), *pos = a.one(pos0);
            return chk::chain(slots, [&](int s) {
                return OKV_BODY(v, okvsSynthPQMF_MP3_32s16s)(in + 32 * s, out + 64 * s, hist, pos, mode);
            });
        });
        CHECK_PQMF(SynthesisFilter, it / 4, mode, slots, 32, 64);
    }
}
