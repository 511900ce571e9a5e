// Variant harness for the generic MDCT: each call runs every export of one kind.
#include <tuple>

#include "harness/checkasm.h"

namespace {

Okv8u* scratch(chk::Arena& a, int n) { return static_cast<Okv8u*>(a.scratch(size_t(n) + 1)); }

// Sizes and Init at length len, the buffer size, the transform run(a, v, spec, buffer or null), Free twice
// (the second refused), InitAlloc, its buffer size and Free, and Free of null; every status and size compared.
template <class Api, class Run>
void kind(chk::Ctx& c, const char* label, Api api, int len, bool nullBuf, Run run) {
    c.call(label, [&](chk::Arena& a, int v) -> int {
        const auto [getSize, init, initAlloc, release, bufSize] = api(v);
        int* o = a.out<int>(12);
        auto *s = chk::null_of(release), *t = s;
        if ((o[0] = getSize(len, o + 1, o + 2, o + 3)) == okvOk) {
            o[4] = init(&s, len, scratch(a, o[1]), o[2] ? scratch(a, o[2]) : nullptr);
            o[5] = bufSize(s, o + 6);
            o[7] = o[4] == okvOk ? run(a, v, s, nullBuf ? nullptr : scratch(a, o[3])) : 0;
            o[8] = release(s) * 10 + release(s);
        }
        if ((o[9] = initAlloc(&t, len)) == okvOk) o[10] = bufSize(t, o + 11), release(t);
        return release(nullptr);
    });
}

}  // namespace

#define MDCT_API(D, T)                                                                                            \
    [](int v) {                                                                                                   \
        return std::tuple{OKV_BODY(v, okvsMDCT##D##GetSize_##T), OKV_BODY(v, okvsMDCT##D##Init_##T),               \
                          OKV_BODY(v, okvsMDCT##D##InitAlloc_##T), OKV_BODY(v, okvsMDCT##D##Free_##T),             \
                          OKV_BODY(v, okvsMDCT##D##GetBufSize_##T)};                                               \
    }

// Lengths valid for the float kinds mostly (some refused by the 16-bit one), otherwise any.
CHECKER(mdct) {
    for (int it = 0; it < 7 * c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int k = r.range(0, 10), len = r.range(0, 3) ? k == 0 ? 12 : k == 1 ? 36 : 32 << r.range(0, 8) : r.range(-4, 70000);
        const size_t n = size_t(std::max(len, 1));
        const int sf = r.range(-3, 20), amp = 1 << r.range(0, 15);
        const bool nullBuf = r.coin(), inPlace = r.coin();
        const auto x = [](chk::Arena& a) { return [&a](size_t) { return float(a.rng().unit() * 2.0 - 1.0) * 1000.0f; }; };
        kind(c, "forward MDCT", MDCT_API(Fwd, 32f), len, nullBuf, [&](chk::Arena& a, int v, auto* s, Okv8u* buf) {
            if (inPlace) return OKV_BODY(v, okvsMDCTFwd_32f_I)(a.inout<Okv32f>(n, x(a)), s, buf);
            return OKV_BODY(v, okvsMDCTFwd_32f)(a.in<Okv32f>(n, x(a)), a.out<Okv32f>(n / 2), s, buf);
        });
        kind(c, "inverse MDCT", MDCT_API(Inv, 32f), len, nullBuf, [&](chk::Arena& a, int v, auto* s, Okv8u* buf) {
            if (inPlace) return OKV_BODY(v, okvsMDCTInv_32f_I)(a.inout<Okv32f>(n, x(a)), s, buf);
            return OKV_BODY(v, okvsMDCTInv_32f)(a.in<Okv32f>(n / 2, x(a)), a.out<Okv32f>(n), s, buf);
        });
        kind(c, "16-bit forward MDCT", MDCT_API(Fwd, 16s), len, nullBuf, [&](chk::Arena& a, int v, auto* s, Okv8u* buf) {
            return OKV_BODY(v, okvsMDCTFwd_16s_Sfs)(a.in<Okv16s>(n, a.uni(-amp, amp - 1)), a.out<Okv16s>(n / 2), s, sf, buf);
        });
    }
}
