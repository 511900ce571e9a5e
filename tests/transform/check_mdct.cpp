// Variant harness for the generic MDCT: lifecycles at any length, transforms with or without buffer.
#include "harness/checkasm.h"

namespace {

Okv8u* scratch(chk::Arena& a, int n) { return static_cast<Okv8u*>(a.scratch(size_t(n) + 1)); }

int floatLen(chk::Rng& r) {
    const int k = r.range(0, 10);
    return k == 0 ? 12 : k == 1 ? 36 : 32 << r.range(0, 8);
}

// The whole lifecycle of one kind, every status and size compared, named after each export in turn.
#define LIFECYCLE(D, T)                                                                                             \
    for (int it = 0; it < c.iters(); ++it) {                                                                        \
        const char* names[] = {"okvsMDCT" #D "GetSize_" #T, "okvsMDCT" #D "Init_" #T, "okvsMDCT" #D "InitAlloc_" #T, \
                               "okvsMDCT" #D "Free_" #T, "okvsMDCT" #D "GetBufSize_" #T};                           \
        const int len = c.rng().coin() ? floatLen(c.rng()) : c.rng().range(-4, 70000);                             \
        c.call(names[it % 5], [&](chk::Arena& a, int v) -> int {                                                    \
            int* o = a.out<int>(11);                                                                                \
            OkvsMDCT##D##Spec_##T *s = nullptr, *t = nullptr;                                                       \
            o[0] = OKV_BODY(v, okvsMDCT##D##GetSize_##T)(len, o + 1, o + 2, o + 3);                                 \
            if (o[0] == okvOk) {                                                                                    \
                o[4] = OKV_BODY(v, okvsMDCT##D##Init_##T)(&s, len, scratch(a, o[1]), o[2] ? scratch(a, o[2]) : nullptr); \
                o[5] = OKV_BODY(v, okvsMDCT##D##GetBufSize_##T)(s, o + 6);                                          \
                o[7] = OKV_BODY(v, okvsMDCT##D##Free_##T)(s) * 10 + OKV_BODY(v, okvsMDCT##D##Free_##T)(s);          \
            }                                                                                                       \
            o[8] = OKV_BODY(v, okvsMDCT##D##InitAlloc_##T)(&t, len);                                                \
            if (o[8] == okvOk) o[9] = OKV_BODY(v, okvsMDCT##D##GetBufSize_##T)(t, o + 10), OKV_BODY(v, okvsMDCT##D##Free_##T)(t); \
            return OKV_BODY(v, okvsMDCT##D##Free_##T)(nullptr);                                                     \
        });                                                                                                         \
    }

}  // namespace

CHECKER(mdct) {
    LIFECYCLE(Fwd, 32f)
    LIFECYCLE(Inv, 32f)
    LIFECYCLE(Fwd, 16s)
    for (int it = 0; it < c.iters(); ++it) {
        const int len = floatLen(c.rng()), len16 = 32 << c.rng().range(0, 7), sf = c.rng().range(-3, 20);
        const int amp = 1 << c.rng().range(0, 15);
        const bool nullBuf = c.rng().coin();
        int ss, is, ws, ss16, is16, ws16;
        OKV_BODY(0, okvsMDCTFwdGetSize_32f)(len, &ss, &is, &ws);
        OKV_BODY(0, okvsMDCTFwdGetSize_16s)(len16, &ss16, &is16, &ws16);
        auto buf = [&](chk::Arena& a) { return nullBuf ? nullptr : scratch(a, ws); };
        auto samples = [](chk::Arena& a) { return [&a](size_t) { return float(a.rng().unit() * 2.0 - 1.0) * 1000.0f; }; };
        // A transform from n samples to m, out of place or in place.
        auto run = [&]<class S>(chk::Arena& a, S* s, auto fn, auto fnI, size_t n, size_t m, bool inPlace) {
            if (inPlace) return int(fnI(a.inout<Okv32f>(std::max(n, m), samples(a)), s, buf(a)));
            const Okv32f* x = a.in<Okv32f>(n, samples(a));
            return int(fn(x, a.out<Okv32f>(m), s, buf(a)));
        };
        for (bool inPlace : {false, true}) {
            c.call(inPlace ? "okvsMDCTFwd_32f_I" : "okvsMDCTFwd_32f", [&](chk::Arena& a, int v) -> int {
                OkvsMDCTFwdSpec_32f* s = nullptr;
                OKV_BODY(v, okvsMDCTFwdInit_32f)(&s, len, scratch(a, ss), scratch(a, is));
                return run(a, s, OKV_BODY(v, okvsMDCTFwd_32f), OKV_BODY(v, okvsMDCTFwd_32f_I), size_t(len), size_t(len) / 2, inPlace);
            });
            c.call(inPlace ? "okvsMDCTInv_32f_I" : "okvsMDCTInv_32f", [&](chk::Arena& a, int v) -> int {
                OkvsMDCTInvSpec_32f* s = nullptr;
                OKV_BODY(v, okvsMDCTInvInit_32f)(&s, len, scratch(a, ss), scratch(a, is));
                return run(a, s, OKV_BODY(v, okvsMDCTInv_32f), OKV_BODY(v, okvsMDCTInv_32f_I), size_t(len) / 2, size_t(len), inPlace);
            });
        }
        c.call("okvsMDCTFwd_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            const Okv16s* x = a.in<Okv16s>(size_t(len16), [&](size_t) { return a.rng().range(-amp, amp - 1); });
            OkvsMDCTFwdSpec_16s* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_16s)(&s, len16, scratch(a, ss16), scratch(a, is16));
            return OKV_BODY(v, okvsMDCTFwd_16s_Sfs)(x, a.out<Okv16s>(size_t(len16) / 2), s, sf, scratch(a, ws16));
        });
    }
}
