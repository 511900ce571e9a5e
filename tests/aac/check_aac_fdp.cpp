// Variant harness for the frequency-domain predictor: a few frames of both sides on states in
// caller and own memory, random band layouts and flags, resets in between, then every state
// array compared; lifecycle calls with broken arguments now and then.
#include <vector>

#include "harness/checkasm.h"

namespace {

// The six arrays of a state, copied out for comparison (the header holds pointers).
void dump(chk::Arena& a, const FDPState* s, int len)
{
    Okv32f* o = a.out<Okv32f>(6 * size_t(len));
    const Okv32f* arrays[6] = {s->pCor0, s->pCor1, s->pVar0, s->pVar1, s->pR0, s->pR1};
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < len; ++k) o[i * len + k] = arrays[i][k];
}

}  // namespace

CHECK_EXPORTS(aac_fdp, "okvsFDPGetSize_32f", "okvsFDPInit_32f", "okvsFDPInitAlloc_32f", "okvsFDPFree_32f",
              "okvsFDPReset_32f", "okvsFDPResetSfb_32f", "okvsFDPResetGroup_32f", "okvsFDPFwd_32f",
              "okvsFDPInv_32f_I")
{
    for (int it = 0; it < c.iters(); ++it) {
        const int len = c.rng().range(0, 8) ? c.rng().range(1, 1024) : c.rng().range(-2, 3);
        const int frames = c.rng().range(1, 6);
        const int nBands = c.rng().range(0, 60);
        const int wild = c.rng().range(0, 5) == 0;  // offsets beyond len or going back
        const chk::Align al = c.rng().coin() ? chk::Aligned16 : chk::AnyAlign;
        auto bands = [&](chk::Arena& a) {
            int pos = 0;
            return a.in<int>(size_t(nBands) + 1, [&](size_t) {
                pos += wild ? a.rng().range(-40, 80) : a.rng().range(0, 40);
                return pos;
            });
        };
        auto flags = [&](chk::Arena& a) { return a.in<Okv8u>(size_t(nBands) + 1, [&](size_t) { return a.rng().range(0, 3) ? 1 : 0; }); };
        auto signal = [&](chk::Arena& a) { return a.inout<Okv32f>(size_t(len > 0 ? len : 1), [&](size_t) { return a.rng().f32(); }, al); };
        // Decoder frames with resets on a state in caller memory.
        c.call("okvsFDPInv_32f_I", [&](chk::Arena& a, int v) -> int {
            int size = 0;
            int st = OKV_BODY(v, okvsFDPGetSize_32f)(len, &size);
            if (st != okvOk) return st;
            FDPState* s = nullptr;
            st = OKV_BODY(v, okvsFDPInit_32f)(&s, len, static_cast<Okv8u*>(a.scratch(size_t(size) + 64)) + (it & 63));
            for (int f = 0; f < frames && st >= okvOk; ++f) {
                const int* off = bands(a);
                st = OKV_BODY(v, okvsFDPInv_32f_I)(signal(a), off, nBands, flags(a), s);
                if (st < okvOk) break;
                switch (a.rng().range(0, 4)) {
                case 0: st = OKV_BODY(v, okvsFDPResetSfb_32f)(off, nBands, flags(a), s); break;
                case 1: st = OKV_BODY(v, okvsFDPResetGroup_32f)(a.rng().range(-1, 40), a.rng().range(0, 31), s); break;
                case 2: st = OKV_BODY(v, okvsFDPReset_32f)(s); break;
                default: break;
                }
            }
            if (s) dump(a, s, len);
            return st;
        });
        // Encoder frames on an own state, then Free (twice: the second is refused).
        c.call("okvsFDPFwd_32f", [&](chk::Arena& a, int v) -> int {
            FDPState* s = nullptr;
            int st = OKV_BODY(v, okvsFDPInitAlloc_32f)(&s, len);
            if (st != okvOk) return st;
            for (int f = 0; f < frames && st >= okvOk; ++f) {
                const Okv32f* in = signal(a);
                st = OKV_BODY(v, okvsFDPFwd_32f)(in, a.out<Okv32f>(size_t(len), al), s);
            }
            dump(a, s, len);
            const int fr = OKV_BODY(v, okvsFDPFree_32f)(s);
            return st != okvOk ? st : fr;
        });
        c.call("okvsFDPFree_32f", [&](chk::Arena& a, int v) -> int {
            std::vector<Okv8u> mem(6 * 64 + 128 + 64 * 6, 0);  // holds pointers once built: not compared
            FDPState* s = nullptr;
            if (it & 1) OKV_BODY(v, okvsFDPInit_32f)(&s, 7, mem.data());
            Okv32s* res = a.out<Okv32s>(3);
            res[0] = OKV_BODY(v, okvsFDPFree_32f)(reinterpret_cast<FDPState*>(mem.data()));
            res[1] = OKV_BODY(v, okvsFDPReset_32f)(reinterpret_cast<FDPState*>(mem.data()));
            res[2] = OKV_BODY(v, okvsFDPFree_32f)(nullptr);
            return res[0];
        });
        for (const char* name : {"okvsFDPGetSize_32f", "okvsFDPInit_32f", "okvsFDPInitAlloc_32f", "okvsFDPReset_32f",
                                 "okvsFDPResetSfb_32f", "okvsFDPResetGroup_32f"})
            c.call(name, [&](chk::Arena& a, int v) -> int {
                int* size = a.out<int>(1);
                int st = OKV_BODY(v, okvsFDPGetSize_32f)(len, it % 7 ? size : nullptr);
                if (st != okvOk) return st;
                FDPState* s = nullptr;
                st = OKV_BODY(v, okvsFDPInit_32f)(&s, len, a.scratch(size_t(*size)));
                if (st != okvOk) return st;
                Okv32s* res = a.out<Okv32s>(3);
                res[0] = OKV_BODY(v, okvsFDPResetSfb_32f)(bands(a), nBands, flags(a), s);
                res[1] = OKV_BODY(v, okvsFDPResetGroup_32f)(a.rng().range(-1, len + 1), a.rng().range(-1, 3), s);
                res[2] = OKV_BODY(v, okvsFDPReset_32f)(s);
                dump(a, s, len);
                return st;
            });
    }
}
