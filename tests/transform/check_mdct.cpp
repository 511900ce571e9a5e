// Variant harness for the generic MDCT: sizes at random lengths, the lifecycle at valid and
// invalid lengths (Free twice, then on null, and on the other direction's spec), and the
// transforms with and without a work buffer.
#include "harness/checkasm.h"

#define BODIES(name) {&okv_u8::name, &okv_n8::name}

namespace {

// Spec and work memory (not compared: it holds pointers).
Okv8u* scratch(chk::Arena& a, size_t n) { return static_cast<Okv8u*>(a.scratch(n)); }

int floatLen(chk::Rng& r) {
    const int k = r.range(0, 10);
    return k == 0 ? 12 : k == 1 ? 36 : 32 << r.range(0, 8);
}

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
#define MDCT_KIND(Dir, T)                                                                                         \
    Kind<OkvsMDCT##Dir##Spec_##T> {                                                                               \
        "okvsMDCT" #Dir "GetSize_" #T, "okvsMDCT" #Dir "Init_" #T, "okvsMDCT" #Dir "InitAlloc_" #T,               \
            "okvsMDCT" #Dir "Free_" #T, "okvsMDCT" #Dir "GetBufSize_" #T, BODIES(okvsMDCT##Dir##GetSize_##T),     \
            BODIES(okvsMDCT##Dir##Init_##T), BODIES(okvsMDCT##Dir##InitAlloc_##T), BODIES(okvsMDCT##Dir##Free_##T), \
            BODIES(okvsMDCT##Dir##GetBufSize_##T)                                                                 \
    }

template <class Spec>
void checkKind(chk::Ctx& c, const Kind<Spec>& k) {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = c.rng().coin() ? floatLen(c.rng()) : c.rng().range(-4, 70000);
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
            return k.initFn[v](&s, len, scratch(a, size_t(ss)), is ? scratch(a, size_t(is) + 1) : nullptr);
        });
        c.call(k.initAlloc, [&](chk::Arena& a, int v) -> int {
            int* o = a.out<int>(3);
            Spec* s = nullptr;
            const StatusCode st = k.initAllocFn[v](&s, len);
            if (st == okvOk) o[0] = k.bufSizeFn[v](s, o + 1), o[2] = k.freeFn[v](s);
            return st;
        });
    }
    c.call(k.bufSize, [&](chk::Arena& a, int v) -> int {
        Spec* s = nullptr;
        k.initAllocFn[v](&s, 64);
        const int st = k.bufSizeFn[v](s, a.out<int>(1));
        return st * 10 + k.freeFn[v](s);
    });
    c.call(k.free, [&](chk::Arena& a, int v) -> int {
        int* o = a.out<int>(2);
        Spec* s = nullptr;
        k.initFn[v](&s, 64, scratch(a, 8192), scratch(a, 8192));
        o[0] = k.freeFn[v](s), o[1] = k.freeFn[v](s);
        return k.freeFn[v](nullptr);
    });
}

}  // namespace

CHECK_EXPORTS(mdct, "okvsMDCTFwdGetSize_32f", "okvsMDCTInvGetSize_32f", "okvsMDCTFwdGetSize_16s",
              "okvsMDCTFwdGetBufSize_32f", "okvsMDCTInvGetBufSize_32f", "okvsMDCTFwdGetBufSize_16s", "okvsMDCTFwdInit_32f",
              "okvsMDCTInvInit_32f", "okvsMDCTFwdInit_16s", "okvsMDCTFwdInitAlloc_32f", "okvsMDCTInvInitAlloc_32f",
              "okvsMDCTFwdInitAlloc_16s", "okvsMDCTFwdFree_32f", "okvsMDCTInvFree_32f", "okvsMDCTFwdFree_16s",
              "okvsMDCTFwd_32f", "okvsMDCTInv_32f", "okvsMDCTFwd_32f_I", "okvsMDCTInv_32f_I", "okvsMDCTFwd_16s_Sfs") {
    checkKind(c, MDCT_KIND(Fwd, 32f));
    checkKind(c, MDCT_KIND(Inv, 32f));
    checkKind(c, MDCT_KIND(Fwd, 16s));
    c.call("okvsMDCTFwdFree_32f", [&](chk::Arena&, int v) -> int {
        OkvsMDCTInvSpec_32f* s = nullptr;
        OKV_BODY(v, okvsMDCTInvInitAlloc_32f)(&s, 64);
        const int st = OKV_BODY(v, okvsMDCTFwdFree_32f)(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(s));
        return st * 10 + OKV_BODY(v, okvsMDCTInvFree_32f)(s);
    });
    for (int it = 0; it < c.iters(); ++it) {
        const int len = floatLen(c.rng()), len16 = 32 << c.rng().range(0, 7), sf = c.rng().range(-3, 20);
        const int amp = 1 << c.rng().range(0, 15);
        const bool nullBuf = c.rng().coin();
        int ss, is, ws, ss16, is16, ws16;
        OKV_BODY(0, okvsMDCTFwdGetSize_32f)(len, &ss, &is, &ws);
        OKV_BODY(0, okvsMDCTFwdGetSize_16s)(len16, &ss16, &is16, &ws16);
        auto fwd = [&](chk::Arena& a, int v) {
            OkvsMDCTFwdSpec_32f* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_32f)(&s, len, scratch(a, size_t(ss)), scratch(a, size_t(is) + 1));
            return s;
        };
        auto inv = [&](chk::Arena& a, int v) {
            OkvsMDCTInvSpec_32f* s = nullptr;
            OKV_BODY(v, okvsMDCTInvInit_32f)(&s, len, scratch(a, size_t(ss)), scratch(a, size_t(is) + 1));
            return s;
        };
        auto buf = [&](chk::Arena& a) { return nullBuf ? nullptr : scratch(a, size_t(ws)); };
        auto samples = [](chk::Arena& a) { return [&a](size_t) { return float(a.rng().unit() * 2.0 - 1.0) * 1000.0f; }; };
        c.call("okvsMDCTFwd_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(size_t(len), samples(a));
            return OKV_BODY(v, okvsMDCTFwd_32f)(x, a.out<Okv32f>(size_t(len) / 2), fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(size_t(len) / 2, samples(a));
            return OKV_BODY(v, okvsMDCTInv_32f)(x, a.out<Okv32f>(size_t(len)), inv(a, v), buf(a));
        });
        c.call("okvsMDCTFwd_32f_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsMDCTFwd_32f_I)(a.inout<Okv32f>(size_t(len), samples(a)), fwd(a, v), buf(a));
        });
        c.call("okvsMDCTInv_32f_I", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsMDCTInv_32f_I)(a.inout<Okv32f>(size_t(len), samples(a)), inv(a, v), buf(a));
        });
        c.call("okvsMDCTFwd_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            const Okv16s* x = a.in<Okv16s>(size_t(len16), [&](size_t) { return a.rng().range(-amp, amp - 1); });
            OkvsMDCTFwdSpec_16s* s = nullptr;
            OKV_BODY(v, okvsMDCTFwdInit_16s)(&s, len16, scratch(a, size_t(ss16)), scratch(a, size_t(is16) + 1));
            return OKV_BODY(v, okvsMDCTFwd_16s_Sfs)(x, a.out<Okv16s>(size_t(len16) / 2), s, sf, scratch(a, size_t(ws16)));
        });
    }
}
