// Variant harness for the generic MDCT: sizes, lifecycle and transforms.
#include <cstddef>

#include "harness/checkasm.h"

namespace {

// Spec and work memory (not compared: it holds pointers).
Okv8u* scratch(chk::Arena& a, size_t n) { return static_cast<Okv8u*>(a.scratch(n)); }

int float_len(chk::Rng& r) {
    const int k = r.range(0, 10);
    return k == 0 ? 12 : k == 1 ? 36 : 32 << r.range(0, 8);
}

float sample(chk::Rng& r) { return static_cast<float>(r.unit() * 2.0 - 1.0) * 1000.0f; }

}  // namespace

CHECK_EXPORTS(mdct_sizes, "okvsMDCTFwdGetSize_32f", "okvsMDCTInvGetSize_32f", "okvsMDCTFwdGetSize_16s",
              "okvsMDCTFwdGetBufSize_32f", "okvsMDCTInvGetBufSize_32f", "okvsMDCTFwdGetBufSize_16s") {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = c.rng().coin() ? float_len(c.rng()) : c.rng().range(-4, 70000);
        c.call("okvsMDCTFwdGetSize_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            return OKV_BODY(v, okvsMDCTFwdGetSize_32f)(len, o, o + 1, o + 2);
        });
        c.call("okvsMDCTInvGetSize_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            return OKV_BODY(v, okvsMDCTInvGetSize_32f)(len, o, o + 1, o + 2);
        });
        c.call("okvsMDCTFwdGetSize_16s", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            return OKV_BODY(v, okvsMDCTFwdGetSize_16s)(len, o, o + 1, o + 2);
        });
    }
    for (int len : {12, 64, 4096}) {
        c.call("okvsMDCTFwdGetBufSize_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(1);
            OkvsMDCTFwdSpec_32f* s = nullptr;
            if (OKV_BODY(v, okvsMDCTFwdInitAlloc_32f)(&s, len) != okvOk) return -1;
            int st = OKV_BODY(v, okvsMDCTFwdGetBufSize_32f)(s, o);
            OKV_BODY(v, okvsMDCTFwdFree_32f)(s);
            return st;
        });
        c.call("okvsMDCTInvGetBufSize_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(1);
            OkvsMDCTInvSpec_32f* s = nullptr;
            if (OKV_BODY(v, okvsMDCTInvInitAlloc_32f)(&s, len) != okvOk) return -1;
            int st = OKV_BODY(v, okvsMDCTInvGetBufSize_32f)(s, o);
            OKV_BODY(v, okvsMDCTInvFree_32f)(s);
            return st;
        });
        if (len == 12) continue;
        c.call("okvsMDCTFwdGetBufSize_16s", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(1);
            OkvsMDCTFwdSpec_16s* s = nullptr;
            if (OKV_BODY(v, okvsMDCTFwdInitAlloc_16s)(&s, len) != okvOk) return -1;
            int st = OKV_BODY(v, okvsMDCTFwdGetBufSize_16s)(s, o);
            OKV_BODY(v, okvsMDCTFwdFree_16s)(s);
            return st;
        });
    }
}

CHECK_EXPORTS(mdct_lifecycle, "okvsMDCTFwdInit_32f", "okvsMDCTInvInit_32f", "okvsMDCTFwdInit_16s",
              "okvsMDCTFwdInitAlloc_32f", "okvsMDCTInvInitAlloc_32f", "okvsMDCTFwdInitAlloc_16s",
              "okvsMDCTFwdFree_32f", "okvsMDCTInvFree_32f", "okvsMDCTFwdFree_16s") {
    for (int len : {12, 36, 40, 32, 1024, 16384}) {
        int ss, is, ws;
        const bool ok16 = OKV_BODY(0, okvsMDCTFwdGetSize_16s)(len, &ss, &is, &ws) == okvOk;
        if (OKV_BODY(0, okvsMDCTFwdGetSize_32f)(len, &ss, &is, &ws) != okvOk) ss = 4096, is = 0;
        c.call("okvsMDCTFwdInit_32f", [&](chk::Arena& a, int v) -> int {
            OkvsMDCTFwdSpec_32f* s = nullptr;
            return OKV_BODY(v, okvsMDCTFwdInit_32f)(&s, len, scratch(a, ss),
                                                   scratch(a, is + 1));
        });
        c.call("okvsMDCTInvInit_32f", [&](chk::Arena& a, int v) -> int {
            OkvsMDCTInvSpec_32f* s = nullptr;
            return OKV_BODY(v, okvsMDCTInvInit_32f)(&s, len, scratch(a, ss), nullptr);
        });
        if (ok16) OKV_BODY(0, okvsMDCTFwdGetSize_16s)(len, &ss, &is, &ws);
        c.call("okvsMDCTFwdInit_16s", [&](chk::Arena& a, int v) -> int {
            OkvsMDCTFwdSpec_16s* s = nullptr;
            return OKV_BODY(v, okvsMDCTFwdInit_16s)(&s, len, scratch(a, ss),
                                                   scratch(a, is + 1));
        });
        c.call("okvsMDCTFwdInitAlloc_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(2);
            OkvsMDCTFwdSpec_32f* s = nullptr;
            o[0] = OKV_BODY(v, okvsMDCTFwdInitAlloc_32f)(&s, len);
            o[1] = o[0] == okvOk ? OKV_BODY(v, okvsMDCTFwdFree_32f)(s) : 0;
            return o[0];
        });
        c.call("okvsMDCTInvInitAlloc_32f", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(2);
            OkvsMDCTInvSpec_32f* s = nullptr;
            o[0] = OKV_BODY(v, okvsMDCTInvInitAlloc_32f)(&s, len);
            o[1] = o[0] == okvOk ? OKV_BODY(v, okvsMDCTInvFree_32f)(s) : 0;
            return o[0];
        });
        c.call("okvsMDCTFwdInitAlloc_16s", [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(2);
            OkvsMDCTFwdSpec_16s* s = nullptr;
            o[0] = OKV_BODY(v, okvsMDCTFwdInitAlloc_16s)(&s, len);
            o[1] = o[0] == okvOk ? OKV_BODY(v, okvsMDCTFwdFree_16s)(s) : 0;
            return o[0];
        });
    }
    // Free on wrong identifiers and twice.
    c.call("okvsMDCTFwdFree_32f", [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(3);
        OkvsMDCTInvSpec_32f* s = nullptr;
        OKV_BODY(v, okvsMDCTInvInitAlloc_32f)(&s, 64);
        o[0] = OKV_BODY(v, okvsMDCTFwdFree_32f)(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(s));
        o[1] = OKV_BODY(v, okvsMDCTInvFree_32f)(s);
        o[2] = OKV_BODY(v, okvsMDCTFwdFree_32f)(nullptr);
        return o[0];
    });
    c.call("okvsMDCTInvFree_32f", [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(2);
        OkvsMDCTInvSpec_32f* s = nullptr;
        OKV_BODY(v, okvsMDCTInvInit_32f)(&s, 36, scratch(a, 4096), nullptr);
        o[0] = OKV_BODY(v, okvsMDCTInvFree_32f)(s);
        o[1] = OKV_BODY(v, okvsMDCTInvFree_32f)(s);
        return o[0];
    });
    c.call("okvsMDCTFwdFree_16s", [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(2);
        OkvsMDCTFwdSpec_16s* s = nullptr;
        OKV_BODY(v, okvsMDCTFwdInitAlloc_16s)(&s, 128);
        o[0] = OKV_BODY(v, okvsMDCTFwdFree_16s)(s);
        o[1] = OKV_BODY(v, okvsMDCTFwdFree_16s)(nullptr);
        return o[0];
    });
}

CHECK_EXPORTS(mdct_float, "okvsMDCTFwd_32f", "okvsMDCTInv_32f", "okvsMDCTFwd_32f_I", "okvsMDCTInv_32f_I") {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = float_len(c.rng());
        const bool nullBuf = c.rng().coin();
        int ss, is, ws;
        OKV_BODY(0, okvsMDCTFwdGetSize_32f)(len, &ss, &is, &ws);
        auto fwd = [&](chk::Arena& a, int v) {
            OkvsMDCTFwdSpec_32f* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_32f)(&s, len, scratch(a, ss),
                                             scratch(a, is + 1));
            return s;
        };
        auto inv = [&](chk::Arena& a, int v) {
            OkvsMDCTInvSpec_32f* s = nullptr;
            OKV_BODY(v, okvsMDCTInvInit_32f)(&s, len, scratch(a, ss),
                                             scratch(a, is + 1));
            return s;
        };
        auto buf = [&](chk::Arena& a) { return nullBuf ? nullptr : scratch(a, ws); };
        c.call("okvsMDCTFwd_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(len, [&](size_t) { return sample(a.rng()); });
            Okv32f* y = a.out<Okv32f>(len / 2);
            return OKV_BODY(v, okvsMDCTFwd_32f)(x, y, fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(len / 2, [&](size_t) { return sample(a.rng()); });
            Okv32f* y = a.out<Okv32f>(len);
            return OKV_BODY(v, okvsMDCTInv_32f)(x, y, inv(a, v), buf(a));
        });
        c.call("okvsMDCTFwd_32f_I", [&](chk::Arena& a, int v) -> int {
            Okv32f* x = a.inout<Okv32f>(len, [&](size_t) { return sample(a.rng()); });
            return OKV_BODY(v, okvsMDCTFwd_32f_I)(x, fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f_I", [&](chk::Arena& a, int v) -> int {
            Okv32f* x = a.inout<Okv32f>(len, [&](size_t) { return sample(a.rng()); });
            return OKV_BODY(v, okvsMDCTInv_32f_I)(x, inv(a, v), buf(a));
        });
    }
}

CHECK_EXPORTS(mdct_16s, "okvsMDCTFwd_16s_Sfs") {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = 32 << c.rng().range(0, 7);
        const int sf = c.rng().range(-3, 20);
        const int amp = 1 << c.rng().range(0, 15);
        int ss, is, ws;
        OKV_BODY(0, okvsMDCTFwdGetSize_16s)(len, &ss, &is, &ws);
        c.call("okvsMDCTFwd_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            const Okv16s* x = a.in<Okv16s>(len, [&](size_t) { return a.rng().range(-amp, amp - 1); });
            Okv16s* y = a.out<Okv16s>(len / 2);
            OkvsMDCTFwdSpec_16s* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_16s)(&s, len, scratch(a, ss),
                                             scratch(a, is + 1));
            return OKV_BODY(v, okvsMDCTFwd_16s_Sfs)(x, y, s, sf, scratch(a, ws));
        });
    }
}
