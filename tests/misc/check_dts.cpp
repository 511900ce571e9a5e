// Variant harness for the DTS synthesis filterbank: a run of calls on one structure per
// variant (built by Init at any alignment or by InitAlloc), mixed filter types including
// refused ones, and the size query, Init and Free on their own.
#include "harness/checkasm.h"

CHECK_EXPORTS(dts, "okvsSynthesisFilterGetSize_DTS_32f", "okvsSynthesisFilterInit_DTS_32f",
              "okvsSynthesisFilterInitAlloc_DTS_32f", "okvsSynthesisFilterFree_DTS_32f",
              "okvsSynthesisFilter_DTS_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int calls = c.rng().range(1, 40), offset = c.rng().range(0, 15);
        const float scale = float(c.rng().range(0, 5) ? 1.0 : 1e-30);
        auto run = [&](chk::Arena& a, int v, void* spec) -> int {
            int st = okvOk;
            for (int k = 0; k < calls && st >= okvOk; ++k) {
                const int type = a.rng().range(0, 20) ? a.rng().range(0, 1) : a.rng().range(-1, 2);
                const float* x = a.in<float>(32, [&](size_t) { return float(a.rng().unit() * 2 - 1) * scale; });
                st = OKV_BODY(v, okvsSynthesisFilter_DTS_32f)(x, a.out<float>(32), type, spec);
            }
            return st;
        };
        c.call("okvsSynthesisFilter_DTS_32f", [&](chk::Arena& a, int v) -> int {
            int size = 0;
            OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(&size);
            void* spec = static_cast<Okv8u*>(a.scratch(size_t(size) + 16)) + offset;
            const int st = OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(spec);
            return st != okvOk ? st : run(a, v, spec);
        });
        c.call("okvsSynthesisFilterInitAlloc_DTS_32f", [&](chk::Arena& a, int v) -> int {
            void* spec = nullptr;
            int st = OKV_BODY(v, okvsSynthesisFilterInitAlloc_DTS_32f)(it % 9 == 4 ? nullptr : &spec);
            if (st != okvOk) return st;
            st = run(a, v, spec);
            const int fr = OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(spec);
            return st * 100 + fr;
        });
    }
    c.call("okvsSynthesisFilterGetSize_DTS_32f", [](chk::Arena& a, int v) -> int {
        int* size = a.out<int>(1);
        return OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(size) * 10 +
               OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(nullptr);
    });
    for (int offset = 0; offset < 16; offset += 5)
        c.call("okvsSynthesisFilterInit_DTS_32f", [&](chk::Arena& a, int v) -> int {
            int size = 0;
            OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(&size);
            Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(size) + 16)) + offset;
            const int st = OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(mem);
            // Tag, version, flag and the zeroed history (pointers differ between the runs).
            const Okv8u* s = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(mem) + 15) & ~uintptr_t(15));
            Okv8u* res = a.out<Okv8u>(12 + 2304);
            std::memcpy(res, s, 12);
            std::memcpy(res + 12, s + 64, 2304);
            return st * 10 + OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(nullptr);
        });
    c.call("okvsSynthesisFilterFree_DTS_32f", [](chk::Arena& a, int v) -> int {
        int size = 0;
        OKV_BODY(v, okvsSynthesisFilterGetSize_DTS_32f)(&size);
        Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(size) + 16)) + 3;
        OKV_BODY(v, okvsSynthesisFilterInit_DTS_32f)(mem);
        const int first = OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(mem);
        const int second = OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(mem);
        return first * 10000 + second * 100 + OKV_BODY(v, okvsSynthesisFilterFree_DTS_32f)(nullptr);
    });
}
