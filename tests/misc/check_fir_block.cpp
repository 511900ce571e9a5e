// Variant harness for the block FIR filter: a few calls in sequence on one state per variant.
#include "harness/checkasm.h"

// Input NaNs meeting generated ones (inf * 0) may keep either sign, depending on the
// operand order the compiler picks: inputs are kept NaN-free, infinities included.
static float noNaN(float f) { return f == f ? f : -2.0f; }

CHECK_EXPORTS(fir_block, "okvsFIRBlockInitAlloc_32f", "okvsFIRBlockFree_32f", "okvsFIRBlockOne_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int taps = c.rng().range(0, 9), len = c.rng().len(300), calls = c.rng().range(1, 5);
        c.call("okvsFIRBlockOne_32f", [&](chk::Arena& a, int v) -> int {
            FIRBlockState* st = nullptr;
            StatusCode s = OKV_BODY(v, okvsFIRBlockInitAlloc_32f)(&st, taps, len);
            if (s != okvOk) return s;
            const Okv32f* h = a.in<Okv32f>(taps, [&](size_t) { return noNaN(a.rng().f32()); });
            for (int k = 0; k < calls && s >= 0; ++k)
                s = OKV_BODY(v, okvsFIRBlockOne_32f)(a.in<Okv32f>(len, [&](size_t) { return noNaN(a.rng().f32()); }),
                                                     a.out<Okv32f>(len), st, h);
            const StatusCode f = OKV_BODY(v, okvsFIRBlockFree_32f)(st);
            return s * 100 + f;
        });
    }
    c.call("okvsFIRBlockInitAlloc_32f", [](chk::Arena&, int v) -> int {
        FIRBlockState* st = nullptr;
        return OKV_BODY(v, okvsFIRBlockInitAlloc_32f)(&st, 0, 4) * 10 + OKV_BODY(v, okvsFIRBlockInitAlloc_32f)(nullptr, 1, 1);
    });
    c.call("okvsFIRBlockFree_32f", [](chk::Arena&, int v) -> int {
        alignas(16) unsigned char zeros[64] = {};  // identifier 0
        auto* fake = reinterpret_cast<FIRBlockState*>(zeros);
        return OKV_BODY(v, okvsFIRBlockFree_32f)(fake) * 10 + OKV_BODY(v, okvsFIRBlockFree_32f)(nullptr);
    });
}
