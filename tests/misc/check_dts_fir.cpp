// Variant harness for the DTS synthesis filterbank and the block FIR filter: runs of calls on one state.
#include "harness/checkasm.h"

#define DTS(name) OKV_BODY(v, okvsSynthesisFilter##name##_DTS_32f)

// A structure in caller memory or allocated (a null argument now and then), slots of any filter type
// (now and then a refused one), the structure freed; then null arguments.
CHECKER(dts) {
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int calls = c.rng().range(1, 40), offset = c.rng().range(0, 15), alloc = it & 1;
        const float scale = c.rng().range(0, 5) ? 1.0f : 1e-30f;
        c.call("DTS synthesis filterbank", [&](chk::Arena& a, int v) -> int {
            int size = 0, *st = a.out<int>(3);
            st[0] = DTS(GetSize)(&size), st[2] = okvOk;
            void* spec = a.scratch<Okv8u>(size_t(size), size_t(offset));
            st[1] = alloc ? DTS(InitAlloc)(it % 9 == 5 ? nullptr : &spec) : DTS(Init)(it % 7 ? spec : nullptr);
            for (int k = 0; k < calls && st[1] == okvOk && st[2] >= okvOk; ++k)
                st[2] = DTS()(a.in<float>(32, [&](size_t) { return a.rng().uniform(-1, 1) * scale; }), a.out<float>(32),
                              a.rng().pick(20, 0, 1, a.rng().range(-1, 2)), spec);
            if (st[1] == okvOk) st[1] = DTS(Free)(spec);
            float* y = a.out<float>(32);
            return DTS(GetSize)(nullptr) * 100 + DTS(Free)(nullptr) * 10 + DTS()(y, y, 0, nullptr);
        });
    }
}

CHECKER(fir_block) {
    for (int it = 0; it < c.iters(); ++it) {
        const int taps = c.rng().range(0, 9), len = c.rng().len(300), calls = c.rng().range(1, 5);
        c.call("FIR block filter", [&](chk::Arena& a, int v) -> int {
            FIRBlockState* st = nullptr;
            StatusCode s = OKV_BODY(v, okvsFIRBlockInitAlloc_32f)(it % 11 ? &st : nullptr, taps, len);
            if (s != okvOk) return s;
            const Okv32f* h = a.in<Okv32f>(chk::cap(taps), a.f32(1, false));
            for (int k = 0; k < calls && s >= 0; ++k)
                s = OKV_BODY(v, okvsFIRBlockOne_32f)(a.in<Okv32f>(len, a.f32(1, false)), a.out<Okv32f>(len), st, h);
            return s * 100 + OKV_BODY(v, okvsFIRBlockFree_32f)(st) * 10 + OKV_BODY(v, okvsFIRBlockFree_32f)(nullptr);
        });
    }
}
