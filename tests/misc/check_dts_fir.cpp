// Variant harness for the DTS synthesis filterbank and the block FIR filter: runs of calls on one state.
#include "harness/checkasm.h"

#define DTS(name) OKV_BODY(v, okvsSynthesisFilter##name##_DTS_32f)
#define FIR(name) OKV_BODY(v, okvsFIRBlock##name##_32f)

// A DTS structure in caller memory or allocated, slots of any filter type (now and then a refused one) and
// tiny values; an FIR state of any shape (some refused) over a few blocks; both freed, and null arguments.
CHECKER(dts_fir) {
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int calls = c.rng().range(1, 40), offset = c.rng().range(0, 15), taps = c.rng().range(0, 9);
        const int len = c.rng().len(300);
        const float scale = c.rng().range(0, 5) ? 1.0f : 1e-30f;
        c.call("DTS synthesis and FIR block filters", [&](chk::Arena& a, int v) -> int {
            int size = 0, *st = a.out<int>(4);
            st[0] = DTS(GetSize)(&size);
            void* spec = a.scratch<Okv8u>(size_t(size), size_t(offset));
            st[1] = it & 1 ? DTS(InitAlloc)(&spec) : DTS(Init)(spec);
            st[2] = chk::chain(calls, [&](int) {
                return DTS()(a.in<float>(32, [&](size_t) { return a.rng().uniform(-1, 1) * scale; }), a.out<float>(32),
                             a.rng().pick(20, 0, 1, a.rng().range(-1, 2)), spec);
            });
            st[1] = DTS(Free)(spec);
            FIRBlockState* s = nullptr;
            st[3] = FIR(InitAlloc)(&s, taps, len);
            if (st[3] == okvOk) {
                const Okv32f* h = a.in<Okv32f>(chk::cap(taps), a.f32(1, false));
                const auto block = [&](int) {
                    return FIR(One)(a.in<Okv32f>(size_t(len), a.f32(1, false)), a.out<Okv32f>(size_t(len)), s, h);
                };
                st[3] = chk::chain(calls % 5, block) + 100 * FIR(Free)(s);
            }
            float* y = a.out<float>(32);
            return DTS(GetSize)(nullptr) * 100 + DTS(Free)(nullptr) * 10 + DTS()(y, y, 0, nullptr) + FIR(Free)(nullptr);
        });
    }
}
