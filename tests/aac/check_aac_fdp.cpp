// Variant harness for the frequency-domain predictor: decoder frames with every reset on a state in
// caller memory, encoder frames on an allocated state, random band layouts (some wild) and flags, then
// every state array compared; null and foreign states refused.
#include <algorithm>

#include "harness/checkasm.h"

#define FDP(name) OKV_BODY(v, okvsFDP##name##_32f)

CHECKER(aac_fdp) {
    for (int it = 0; it < 6 * c.iters(); ++it) {
        const int len = c.rng().range(0, 8) ? c.rng().range(1, 1024) : c.rng().range(-2, 3);
        const int frames = c.rng().range(1, 6), nBands = c.rng().range(0, 60), wild = c.rng().range(0, 5) == 0;
        const chk::Align al = c.rng().coin() ? chk::Aligned16 : chk::AnyAlign;
        c.call("frequency-domain predictor", [&](chk::Arena& a, int v) -> int {
            int pos = 0, *size = a.out<int>(1), *st = a.out<int>(5);
            const auto band = [&](size_t i) { return pos = (i ? pos : 0) + a.rng().range(wild ? -40 : 0, wild ? 80 : 40); };
            const auto flags = [&] { return a.in<Okv8u>(size_t(nBands) + 1, [&](size_t) { return !!a.rng().range(0, 3); }); };
            const auto dump = [&](const FDPState* s) {  // the header holds pointers: the arrays are compared
                Okv32f* o = a.out<Okv32f>(6 * size_t(len));
                for (const Okv32f* x : {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1}) o = std::copy(x, x + len, o);
            };
            FDPState *s = nullptr, *e = nullptr;
            st[0] = FDP(GetSize)(len, it % 7 ? size : nullptr);
            if (st[0] == okvOk) st[0] = FDP(Init)(&s, len, a.scratch<Okv8u>(size_t(*size), size_t(it & 63)));
            for (int f = 0; f < frames && st[0] >= okvOk; ++f) {
                const int* off = a.in<int>(size_t(nBands) + 1, band);
                st[0] = OKV_BODY(v, okvsFDPInv_32f_I)(a.inout<Okv32f>(size_t(len), a.f32(), al), off, nBands, flags(), s);
                Okv32s* res = a.out<Okv32s>(3);
                res[0] = FDP(ResetSfb)(off, nBands, flags(), s);
                res[1] = FDP(ResetGroup)(a.rng().range(-1, len + 1), a.rng().range(-1, 31), s);
                res[2] = a.rng().range(0, 4) ? okvOk : FDP(Reset)(s);
            }
            if (s) dump(s);
            st[1] = FDP(InitAlloc)(&e, len);
            for (int f = 0; f < frames && st[1] >= okvOk && e; ++f)
                st[1] = FDP(Fwd)(a.in<Okv32f>(size_t(len), a.f32(), al), a.out<Okv32f>(size_t(len), al), e);
            if (e) dump(e), st[2] = FDP(Free)(e);
            st[3] = FDP(Free)(nullptr), st[4] = FDP(Reset)(static_cast<FDPState*>(a.scratch(512)));
            return 0;
        });
    }
}
