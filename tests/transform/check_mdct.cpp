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

// The lifecycle exports of one spec kind, u8 and n8 bodies side by side.
template <class Spec>
struct Kind {
    const char *getSize, *init, *initAlloc, *free, *bufSize;
    StatusCode (*getSizeFn[2])(int, int*, int*, int*);
    StatusCode (*initFn[2])(Spec**, int, Okv8u*, Okv8u*);
    StatusCode (*initAllocFn[2])(Spec**, int);
    StatusCode (*freeFn[2])(Spec*);
    StatusCode (*bufSizeFn[2])(const Spec*, int*);
};

#define BODIES(name) {&okv_u8::name, &okv_n8::name}
#define MDCT_KIND(Dir, T)                                                                               \
    Kind<OkvsMDCT##Dir##Spec_##T> {                                                                     \
        "okvsMDCT" #Dir "GetSize_" #T, "okvsMDCT" #Dir "Init_" #T, "okvsMDCT" #Dir "InitAlloc_" #T,      \
            "okvsMDCT" #Dir "Free_" #T, "okvsMDCT" #Dir "GetBufSize_" #T, BODIES(okvsMDCT##Dir##GetSize_##T), \
            BODIES(okvsMDCT##Dir##Init_##T), BODIES(okvsMDCT##Dir##InitAlloc_##T),                      \
            BODIES(okvsMDCT##Dir##Free_##T), BODIES(okvsMDCT##Dir##GetBufSize_##T)                      \
    }

// Sizes at random lengths; Init, InitAlloc, GetBufSize and Free (twice, then
// on null) at valid and invalid lengths.
template <class Spec>
void check_kind(chk::Ctx& c, const Kind<Spec>& k) {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = c.rng().coin() ? float_len(c.rng()) : c.rng().range(-4, 70000);
        c.call(k.getSize, [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            return k.getSizeFn[v](len, o, o + 1, o + 2);
        });
    }
    for (int len : {12, 36, 40, 32, 1024, 16384}) {
        int ss, is, ws;
        if (k.getSizeFn[0](len, &ss, &is, &ws) != okvOk) ss = 4096, is = 0;
        c.call(k.init, [&](chk::Arena& a, int v) -> int {
            Spec* s = nullptr;
            return k.initFn[v](&s, len, scratch(a, ss), is ? scratch(a, is + 1) : nullptr);
        });
        c.call(k.initAlloc, [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            Spec* s = nullptr;
            const StatusCode st = k.initAllocFn[v](&s, len);
            if (st != okvOk) return st;
            o[0] = k.bufSizeFn[v](s, o + 1);
            o[2] = k.freeFn[v](s);
            return st;
        });
    }
    c.call(k.bufSize, [&](chk::Arena& a, int v) -> int {
        Spec* s = nullptr;
        k.initAllocFn[v](&s, 64);
        const int st = k.bufSizeFn[v](s, a.out<int>(1));
        k.freeFn[v](s);
        return st;
    });
    c.call(k.free, [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(2);
        Spec* s = nullptr;
        k.initFn[v](&s, 64, scratch(a, 8192), scratch(a, 8192));
        o[0] = k.freeFn[v](s);
        o[1] = k.freeFn[v](s);
        return k.freeFn[v](nullptr);
    });
}

}  // namespace

CHECK_EXPORTS(mdct_specs, "okvsMDCTFwdGetSize_32f", "okvsMDCTInvGetSize_32f", "okvsMDCTFwdGetSize_16s",
              "okvsMDCTFwdGetBufSize_32f", "okvsMDCTInvGetBufSize_32f", "okvsMDCTFwdGetBufSize_16s",
              "okvsMDCTFwdInit_32f", "okvsMDCTInvInit_32f", "okvsMDCTFwdInit_16s", "okvsMDCTFwdInitAlloc_32f",
              "okvsMDCTInvInitAlloc_32f", "okvsMDCTFwdInitAlloc_16s", "okvsMDCTFwdFree_32f",
              "okvsMDCTInvFree_32f", "okvsMDCTFwdFree_16s") {
    check_kind(c, MDCT_KIND(Fwd, 32f));
    check_kind(c, MDCT_KIND(Inv, 32f));
    check_kind(c, MDCT_KIND(Fwd, 16s));
    // A spec of the other direction is refused.
    c.call("okvsMDCTFwdFree_32f", [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(1);
        OkvsMDCTInvSpec_32f* s = nullptr;
        OKV_BODY(v, okvsMDCTInvInitAlloc_32f)(&s, 64);
        const int st = OKV_BODY(v, okvsMDCTFwdFree_32f)(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(s));
        o[0] = OKV_BODY(v, okvsMDCTInvFree_32f)(s);
        return st;
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
            OKV_BODY(v, okvsMDCTFwdInit_32f)(&s, len, scratch(a, ss), scratch(a, is + 1));
            return s;
        };
        auto inv = [&](chk::Arena& a, int v) {
            OkvsMDCTInvSpec_32f* s = nullptr;
            OKV_BODY(v, okvsMDCTInvInit_32f)(&s, len, scratch(a, ss), scratch(a, is + 1));
            return s;
        };
        auto buf = [&](chk::Arena& a) { return nullBuf ? nullptr : scratch(a, ws); };
        auto samples = [&](chk::Arena& a) { return [&a](size_t) { return sample(a.rng()); }; };
        c.call("okvsMDCTFwd_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(len, samples(a));
            return OKV_BODY(v, okvsMDCTFwd_32f)(x, a.out<Okv32f>(len / 2), fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(len / 2, samples(a));
            return OKV_BODY(v, okvsMDCTInv_32f)(x, a.out<Okv32f>(len), inv(a, v), buf(a));
        });
        c.call("okvsMDCTFwd_32f_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsMDCTFwd_32f_I)(a.inout<Okv32f>(len, samples(a)), fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsMDCTInv_32f_I)(a.inout<Okv32f>(len, samples(a)), inv(a, v), buf(a));
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
            OkvsMDCTFwdSpec_16s* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_16s)(&s, len, scratch(a, ss), scratch(a, is + 1));
            return OKV_BODY(v, okvsMDCTFwd_16s_Sfs)(x, a.out<Okv16s>(len / 2), s, sf, scratch(a, ws));
        });
    }
}
