// Variant harness: Layer III quantisation of whole frames (MPEG-1 and LSF, mono and stereo,
// long and short blocks, intensity bounds, random reservoirs and mean bits).
#include <vector>

#include "harness/checkasm.h"

CHECK_EXPORTS(mp3enc_quantize, "okvsQuantize_MP3_32s_I") {
    for (int it = 0; it < c.iters(); ++it) {
        MP3FrameHeader h{};
        h.id = c.rng().range(0, 15) ? c.rng().range(0, 1) : 2;
        h.layer = 1;
        h.sampling_frequency = c.rng().range(0, 15) ? c.rng().range(0, 2) : 3;
        h.mode = c.rng().range(0, 3);
        h.mode_extension = c.rng().range(0, 3);
        const int rec = (h.mode == 3 ? 1 : 2) * (h.id == 1 ? 2 : 1);
        std::vector<MP3SideInfo> si(4);
        const int type = c.rng().range(0, 3);
        for (auto& s : si) {
            s.block_type = type;
            s.window_switching_flag = type != 0;
            s.mixed_block_flag = c.rng().range(0, 31) == 0;
        }
        const int meanBits = c.rng().range(0, 12000), shift = c.rng().range(0, 20);
        const int resvSize = c.rng().range(0, 511) * 8, resvMax = c.rng().range(resvSize, 4088);
        c.call("okvsQuantize_MP3_32s_I", [&](chk::Arena& a, int v) -> int {
            Okv32s* xr = a.inout<Okv32s>(576 * rec, [&](size_t) { return a.rng().i32() >> shift; });
            Okv8s* sf = a.inout<Okv8s>(40 * rec, [&](size_t) { return a.rng().range(0, 6); });
            int* scfsi = a.out<int>(8);
            int* count1 = a.out<int>(rec);
            int* huf = a.out<int>(rec);
            MP3SideInfo* psi = a.inout<MP3SideInfo>(rec, [&](size_t i) { return si[i]; });
            MP3PsyRatio* ratio = a.inout<MP3PsyRatio>(rec, [&](size_t) {
                MP3PsyRatio r{};
                for (int& x : r.ratio) x = a.rng().range(0, 7) ? a.rng().range(0, 400000000) : a.rng().i32();
                r.pe = a.rng().range(-10, 3000);
                return r;
            });
            const Okv32s* state = a.in<Okv32s>(2, [&](size_t) { return a.rng().range(0, 3); });
            MP3BitReservoir* resv = a.inout<MP3BitReservoir>(1, [&](size_t) { return MP3BitReservoir{resvSize, resvMax}; });
            const int* bound = a.in<int>(6, [&](size_t) { return a.rng().range(0, 22); });
            Okv32s* work = static_cast<Okv32s*>(a.scratch(OKV_MP3_QUANT_WORK_LEN * sizeof(Okv32s)));
            return OKV_BODY(v, okvsQuantize_MP3_32s_I)(xr, sf, scfsi, count1, huf, a.in_copy(&h, 1), psi, ratio,
                                                       reinterpret_cast<const Okv8u*>(state), resv, meanBits, bound, work);
        });
    }
}
