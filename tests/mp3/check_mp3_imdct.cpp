// Variant harness: granule sequences of random block types through the hybrid filterbank,
// and the single-subband transform with every block type (out-of-range ones included).
#include "harness/checkasm.h"

CHECK_EXPORTS(mp3_imdct, "okvsMDCTInv_MP3_32s", "okvsMDCTInvWindow_MP3_32s") {
    for (int it = 0; it < c.iters(); ++it) {
        const int granules = c.rng().range(1, 6);
        const int shift = c.rng().range(0, 6);  // full 32-bit patterns down to decoder levels
        const int prev0 = c.rng().range(0, 33);
        int nz[6], type[6], mixed[6];
        for (int g = 0; g < granules; ++g) {
            nz[g] = c.rng().range(0, 20) == 0 ? c.rng().range(-2, 600) : c.rng().range(0, 576);
            type[g] = c.rng().range(0, 20) == 0 ? 5 : c.rng().range(0, 3);
            mixed[g] = c.rng().range(0, 20) == 0 ? 2 : c.rng().range(0, 1);
        }
        c.call("okvsMDCTInv_MP3_32s", [&](chk::Arena& a, int v) -> int {
            Okv32s* x = a.inout<Okv32s>(576 * granules, [&](size_t) { return a.rng().i32() >> (shift + 2); });
            Okv32s* out = a.out<Okv32s>(576 * granules);
            Okv32s* ov = a.inout<Okv32s>(576, [&](size_t) { return a.rng().i32() >> (shift + 2); });
            int* prev = a.inout<int>(1, [&](size_t) { return prev0; });
            int st = okvOk;
            for (int g = 0; g < granules && st == okvOk; ++g)
                st = OKV_BODY(v, okvsMDCTInv_MP3_32s)(x + 576 * g, out + 576 * g, ov, nz[g], prev, type[g],
                                                      mixed[g]);
            return st;
        });
        const int bt = c.rng().range(-1, 4);
        c.call("okvsMDCTInvWindow_MP3_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = a.in<Okv32s>(18, [&](size_t) { return a.rng().i32() >> shift; });
            Okv32s* y = a.out<Okv32s>(36);
            return OKV_BODY(v, okvsMDCTInvWindow_MP3_32s)(x, y, bt);
        });
    }
}
