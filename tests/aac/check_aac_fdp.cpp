// Variant harness for the frequency-domain predictor: decoder frames with resets on a state in
// caller memory, encoder frames on an own state, random band layouts (some wild) and flags,
// then every state array compared; lifecycle calls on broken states.
#include <algorithm>

#include "harness/checkasm.h"

CHECKER(aac_fdp) {
    for (int it = 0; it < c.iters(); ++it) {
        const int len = c.rng().range(0, 8) ? c.rng().range(1, 1024) : c.rng().range(-2, 3);
        const int frames = c.rng().range(1, 6), nBands = c.rng().range(0, 60), wild = c.rng().range(0, 5) == 0;
        const chk::Align al = c.rng().coin() ? chk::Aligned16 : chk::AnyAlign;
        auto bands = [&](chk::Arena& a) {
            int pos = 0;
            return a.in<int>(size_t(nBands) + 1, [&](size_t) { return pos += wild ? a.rng().range(-40, 80) : a.rng().range(0, 40); });
        };
        auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(size_t(nBands) + 1, [&](size_t) { return a.rng().range(0, 3) ? 1 : 0; }); };
        auto dump = [&](chk::Arena& a, const FDPState* s) {  // the header holds pointers: the arrays are compared
            Okv32f* o = a.out<Okv32f>(6 * size_t(len));
            for (const Okv32f* arr : {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1}) o = std::copy(arr, arr + len, o);
        };
        // Lifecycle and every reset on a state in caller memory, then decoder frames.
        for (const char* name : {"okvsFDPGetSize_32f", "okvsFDPInit_32f", "okvsFDPReset_32f", "okvsFDPResetSfb_32f",
                                 "okvsFDPResetGroup_32f", "okvsFDPInv_32f_I"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                int* size = a.out<int>(1);
                int st = OKV_BODY(v, okvsFDPGetSize_32f)(len, it % 7 ? size : nullptr);
                FDPState* s = nullptr;
                if (st == okvOk) st = OKV_BODY(v, okvsFDPInit_32f)(&s, len, static_cast<Okv8u*>(a.scratch(size_t(*size) + 64)) + (it & 63));
                for (int f = 0; f < frames && st >= okvOk; ++f) {
                    const int* off = bands(a);
                    st = OKV_BODY(v, okvsFDPInv_32f_I)(a.inout<Okv32f>(size_t(len), [&](size_t) { return a.rng().f32(); }, al), off, nBands, flags(a), s);
                    Okv32s* res = a.out<Okv32s>(3);
                    res[0] = OKV_BODY(v, okvsFDPResetSfb_32f)(off, nBands, flags(a), s);
                    res[1] = OKV_BODY(v, okvsFDPResetGroup_32f)(a.rng().range(-1, len + 1), a.rng().range(-1, 31), s);
                    res[2] = a.rng().range(0, 4) ? okvOk : OKV_BODY(v, okvsFDPReset_32f)(s);
                }
                if (s) dump(a, s);
                return st;
            });
        // Encoder frames on an own state, then Free; null and foreign states are refused.
        for (const char* name : {"okvsFDPInitAlloc_32f", "okvsFDPFwd_32f", "okvsFDPFree_32f"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                FDPState* s = nullptr;
                int st = OKV_BODY(v, okvsFDPInitAlloc_32f)(&s, len);
                if (st != okvOk) return st;
                for (int f = 0; f < frames && st >= okvOk; ++f)
                    st = OKV_BODY(v, okvsFDPFwd_32f)(a.in<Okv32f>(size_t(len), [&](size_t) { return a.rng().f32(); }, al), a.out<Okv32f>(size_t(len), al), s);
                dump(a, s);
                Okv32s* res = a.out<Okv32s>(3);
                res[0] = OKV_BODY(v, okvsFDPFree_32f)(s);
                res[1] = OKV_BODY(v, okvsFDPFree_32f)(nullptr);
                res[2] = OKV_BODY(v, okvsFDPReset_32f)(reinterpret_cast<FDPState*>(a.scratch(512)));
                return st;
            });
    }
}
