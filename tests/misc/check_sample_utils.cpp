// Variant harness for the sample-format and power-law utilities.
#include <vector>

#include "harness/checkasm.h"

using chk::cap;

// ch rows of n samples, inputs filled by gen or outputs, each at its own misalignment unless al asks for 16.
template <class T, class G = std::nullptr_t>
static std::vector<T*> rows(chk::Arena& a, int ch, int n, chk::Align al, G gen = nullptr) {
    std::vector<T*> r;
    for (int k = 0; k < ch; ++k)
        if constexpr (std::is_null_pointer_v<G>) r.push_back(a.out<T>(cap(n), al));
        else r.push_back(a.in<T>(cap(n), gen, al));
    return r;
}

CHECK_EXPORTS(interleave, "okvsInterleave_16s", "okvsInterleave_32f", "okvsDeinterleave_16s",
              "okvsDeinterleave_32f", "okvsJoin_32f16s_D2L") {
    for (int it = 0; it < c.iters(); ++it) {
        const int ch = c.rng().range(0, 9), n = c.rng().len(2048);
        // One call in four with every buffer 16-byte aligned (the warning-free path).
        const chk::Align A = c.rng().range(0, 3) == 0 ? chk::Aligned16 : chk::AnyAlign;
        const auto bits = [](chk::Arena& a) { return [&a](size_t) { return a.rng().u32(); }; };
        c.call("okvsInterleave_16s", [&](chk::Arena& a, int v) -> int {
            const auto r = rows<Okv16s>(a, ch, n, A, bits(a));
            return OKV_BODY(v, okvsInterleave_16s)(r.data(), ch, n, a.out<Okv16s>(cap(n * ch), A));
        });
        c.call("okvsInterleave_32f", [&](chk::Arena& a, int v) -> int {
            const auto r = rows<Okv32f>(a, ch, n, A, bits(a));
            return OKV_BODY(v, okvsInterleave_32f)(r.data(), ch, n, a.out<Okv32f>(cap(n * ch), A));
        });
        c.call("okvsDeinterleave_16s", [&](chk::Arena& a, int v) -> int {
            const Okv16s* src = a.in<Okv16s>(cap(n * ch), A);
            return OKV_BODY(v, okvsDeinterleave_16s)(src, ch, n, rows<Okv16s>(a, ch, n, A).data());
        });
        c.call("okvsDeinterleave_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* src = a.in<Okv32f>(cap(n * ch), A);
            return OKV_BODY(v, okvsDeinterleave_32f)(src, ch, n, rows<Okv32f>(a, ch, n, A).data());
        });
        c.call("okvsJoin_32f16s_D2L", [&](chk::Arena& a, int v) -> int {
            const auto r = rows<Okv32f>(a, ch, n, chk::AnyAlign, [&](size_t) { return a.rng().f32() * 40000.0f; });
            return OKV_BODY(v, okvsJoin_32f16s_D2L)(r.data(), ch, n, a.out<Okv16s>(cap(n * ch)));
        });
    }
}

CHECK_EXPORTS(pow_law, "okvsMakeFloat_16s32f", "okvsPow34_32f", "okvsPow34_32f16s", "okvsPow34_16s_Sfs",
              "okvsPow43_16s32f", "okvsPow43Scale_16s32s_Sf", "okvsCalcSF_16s32f", "okvsScale_32f_I") {
    for (int it = 0; it < c.iters(); ++it) {
        const int n = c.rng().len(2048), s1 = c.rng().range(-20, 20), s2 = c.rng().range(-20, 20);
        const int bands = c.rng().range(0, 16), group = c.rng().range(0, 8) == 0 ? 1 : 8;
        const size_t lines = size_t(bands) * 16 * size_t(group) + 1, nb = size_t(bands) + 1;
        const auto f32 = [](chk::Arena& a, float scale) { return [&a, scale](size_t) { return a.rng().f32() * scale; }; };
        c.call("okvsMakeFloat_16s32f", [&](chk::Arena& a, int v) -> int {
            const Okv16s* m = a.in<Okv16s>(cap(n));
            const Okv16s* e = a.in<Okv16s>(cap(n), [&](size_t) { return a.rng().range(-160, 130); });
            return OKV_BODY(v, okvsMakeFloat_16s32f)(m, e, n, a.out<Okv32f>(cap(n)));
        });
        c.call("okvsPow34_32f", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsPow34_32f)(a.in<Okv32f>(cap(n), f32(a, 1.0f)), a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsPow34_32f16s", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsPow34_32f16s)(a.in<Okv32f>(cap(n), f32(a, 1.0e5f)), a.out<Okv16s>(cap(n)), n);
        });
        c.call("okvsPow34_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsPow34_16s_Sfs)(a.in<Okv16s>(cap(n)), s1, a.out<Okv16s>(cap(n)), s2, n);
        });
        c.call("okvsPow43_16s32f", [&](chk::Arena& a, int v) -> int {
            const Okv16s* x = a.in<Okv16s>(cap(n), [&](size_t) { return a.rng().coin() ? 0 : a.rng().range(-8206, 8206); });
            return OKV_BODY(v, okvsPow43_16s32f)(it % 9 ? x : nullptr, a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsPow43Scale_16s32s_Sf", [&](chk::Arena& a, int v) -> int {
            const Okv32s* off = a.in<Okv32s>(nb, [&](size_t i) { return int(i) * 16; });
            const Okv16s* x = a.in<Okv16s>(lines, [&](size_t) { return a.rng().range(-16384, 16384); });
            const Okv16s* sf = a.in<Okv16s>(nb, [&](size_t) { return a.rng().range(-100, 300); });
            return OKV_BODY(v, okvsPow43Scale_16s32s_Sf)(x, a.out<Okv32s>(lines), sf, off, s1, bands, group, s2 / 4);
        });
        c.call("okvsCalcSF_16s32f", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsCalcSF_16s32f)(a.in<Okv16s>(cap(n)), int(a.rng().i32()), a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsScale_32f_I", [&](chk::Arena& a, int v) -> int {
            const Okv32s* off = a.in<Okv32s>(nb, [&](size_t i) { return int(i) * 7 + a.rng().range(-3, 3); });
            const Okv32f* g = a.in<Okv32f>(nb, f32(a, 1.0f));
            // Two different NaNs in one product may come out in either operand order: none here.
            Okv32f* d = a.inout<Okv32f>(size_t(bands) * 7 + 8, [&](size_t) {
                const float f = a.rng().f32();
                return f == f ? f : 1.0f;
            });
            return OKV_BODY(v, okvsScale_32f_I)(d + 3, g, off, bands);
        });
    }
}

CHECK_EXPORTS(spread, "okvsSpread_16s_Sfs") {
    for (int it = 0; it < c.iters() * 20; ++it) {
        // Nearby band values mostly; full 32-bit patterns exercise the 16-bit reading.
        const Okv32s b1 = c.rng().range(0, 3) ? c.rng().i16() : c.rng().i32();
        const Okv32s b2 = c.rng().coin() ? Okv16s(b1) + c.rng().range(-40, 40) : c.rng().i32();
        const int sf = c.rng().range(-30, 8);
        c.call("okvsSpread_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsSpread_16s_Sfs)(b1, b2, sf, it % 50 ? a.out<Okv16s>(1) : nullptr);
        });
    }
}
