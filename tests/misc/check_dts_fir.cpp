// Variant harness for the DTS synthesis filterbank and the block FIR filter: runs of calls.
#include "harness/checkasm.h"

CHECK_EXPORTS(dts, "okvsSynthesisFilterGetSize_DTS_32f", "okvsSynthesisFilterInit_DTS_32f",
              "okvsSynthesisFilterInitAlloc_DTS_32f", "okvsSynthesisFilterFree_DTS_32f",
              "okvsSynthesisFilter_DTS_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int calls = c.rng().range(1, 40), offset = c.rng().range(0, 15);
        const float scale = c.rng().range(0, 5) ? 1.0f : 1e-30f;
        // Slots of any filter type (now and then a refused one), the structure freed after.
        auto run = [&](chk::Arena& a, int v, void* spec) -> int {
            int st = okvOk;
            for (int k = 0; k < calls && st >= okvOk; ++k) {
                const int type = a.rng().range(0, 20) ? a.rng().range(0, 1) : a.rng().range(-1, 2);
                const float* x = a.in<float>(32, [&](size_t) { return a.rng().uniform(-1, 1) * scale; });
                st = OKV_BODY(v, okvsSynthesisFilter_DTS_32f)(x, a.out<float>(32), type, spec);
            }
            return st * 10 + OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(spec);
        };
        c.call("okvsSynthesisFilterInit_DTS_32f", [&](chk::Arena& a, int v) -> int {
            int size = 0;
            const int gs = OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(&size);
            void* spec = static_cast<Okv8u*>(a.scratch(size_t(size) + 16)) + offset;
            const int st = OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(it % 7 ? spec : nullptr);
            return gs + (st != okvOk ? st : run(a, v, spec));
        });
        c.call("okvsSynthesisFilterInitAlloc_DTS_32f", [&](chk::Arena& a, int v) -> int {
            void* spec = nullptr;
            const int st = OKV_BODY(v, okvsSynthesisFilterInitAlloc_DTS_32f)(it % 9 == 4 ? nullptr : &spec);
            return st != okvOk ? st : run(a, v, spec);
        });
    }
    for (const char* name :
         {"okvsSynthesisFilterGetSize_DTS_32f", "okvsSynthesisFilterFree_DTS_32f", "okvsSynthesisFilter_DTS_32f"})
        c.call(name, [](chk::Arena& a, int v) -> int {
            float* y = a.out<float>(32);
            return OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(nullptr) * 100 +
                   OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(nullptr) * 10 +
                   OKV_BODY(v, okvsSynthesisFilter_DTS_32f)(y, y, 0, nullptr);
        });
}

CHECK_EXPORTS(fir_block, "okvsFIRBlockInitAlloc_32f", "okvsFIRBlockFree_32f", "okvsFIRBlockOne_32f") {
    const char* names[] = {"okvsFIRBlockOne_32f", "okvsFIRBlockInitAlloc_32f", "okvsFIRBlockFree_32f"};
    for (int it = 0; it < c.iters(); ++it) {
        const int taps = c.rng().range(0, 9), len = c.rng().len(300), calls = c.rng().range(1, 5);
        c.call(names[it % 3], [&](chk::Arena& a, int v) -> int {
            // NaN-free data: a NaN meeting a generated one (inf * 0) keeps either sign by operand order.
            const auto noNaN = [&a](size_t) {
                const float f = a.rng().f32();
                return f == f ? f : -2.0f;
            };
            FIRBlockState* st = nullptr;
            StatusCode s = OKV_BODY(v, okvsFIRBlockInitAlloc_32f)(it % 11 ? &st : nullptr, taps, len);
            if (s != okvOk) return s;
            const Okv32f* h = a.in<Okv32f>(chk::cap(taps), noNaN);
            for (int k = 0; k < calls && s >= 0; ++k)
                s = OKV_BODY(v, okvsFIRBlockOne_32f)(a.in<Okv32f>(len, noNaN), a.out<Okv32f>(len), st, h);
            return s * 100 + OKV_BODY(v, okvsFIRBlockFree_32f)(st) * 10 + OKV_BODY(v, okvsFIRBlockFree_32f)(nullptr);
        });
    }
}
