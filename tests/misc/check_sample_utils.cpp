// Variant harness for the sample-format and power-law utilities.
#include <vector>

#include "harness/checkasm.h"

using chk::cap;

// ch rows of n samples (random bytes, or f32() times scale, or outputs), each at its own misalignment
// unless al asks for 16; the row pointers in guarded arena memory too (none without channels).
template <class T>
static T** rows(chk::Arena& a, int ch, int n, chk::Align al, bool in, float scale = 0) {
    std::vector<T*> r;
    for (int k = 0; k < ch; ++k)
        r.push_back(!in ? a.out<T>(cap(n), al) : scale ? a.in<T>(cap(n), a.f32(scale), al) : a.in<T>(cap(n), al));
    return ch ? a.in_copy(r.data(), r.size()) : nullptr;
}

CHECKER(interleave) {
    for (int it = 0; it < c.iters(); ++it) {
        const int ch = c.rng().range(0, 9), n = c.rng().len(2048), all = ch * n;
        // One call in four with every buffer 16-byte aligned (the warning-free path).
        const chk::Align A = c.rng().range(0, 3) == 0 ? chk::Aligned16 : chk::AnyAlign;
        CALL(okvsInterleave_16s, rows<Okv16s>(a, ch, n, A, true), ch, n, a.out<Okv16s>(cap(all), A));
        CALL(okvsInterleave_32f, rows<Okv32f>(a, ch, n, A, true), ch, n, a.out<Okv32f>(cap(all), A));
        CALL(okvsDeinterleave_16s, a.in<Okv16s>(cap(all), A), ch, n, rows<Okv16s>(a, ch, n, A, false));
        CALL(okvsDeinterleave_32f, a.in<Okv32f>(cap(all), A), ch, n, rows<Okv32f>(a, ch, n, A, false));
        CALL(okvsJoin_32f16s_D2L, rows<Okv32f>(a, ch, n, chk::AnyAlign, true, 40000), ch, n, a.out<Okv16s>(cap(all)));
    }
}

CHECKER(pow_law) {
    for (int it = 0; it < c.iters(); ++it) {
        const int n = c.rng().len(2048), s1 = c.rng().range(-20, 20), s2 = c.rng().range(-20, 20);
        const int bands = c.rng().range(0, 16), group = c.rng().range(0, 8) == 0 ? 1 : 8;
        const size_t lines = size_t(bands) * 16 * size_t(group) + 1, nb = size_t(bands) + 1;
        const auto jitter = [](chk::Arena& a) { return [&a](size_t i) { return int(i) * 7 + a.rng().range(-3, 3); }; };
        const auto pow43 = [](chk::Arena& a) { return [&a](size_t) { return a.rng().coin() ? 0 : a.rng().range(-8206, 8206); }; };
        CALL(okvsMakeFloat_16s32f, a.in<Okv16s>(cap(n)), a.in<Okv16s>(cap(n), a.uni(-160, 130)), n, a.out<Okv32f>(cap(n)));
        CALL(okvsPow34_32f, a.in<Okv32f>(cap(n), a.f32()), a.out<Okv32f>(cap(n)), n);
        CALL(okvsPow34_32f16s, a.in<Okv32f>(cap(n), a.f32(1.0e5f)), a.out<Okv16s>(cap(n)), n);
        CALL(okvsPow34_16s_Sfs, a.in<Okv16s>(cap(n)), s1, a.out<Okv16s>(cap(n)), s2, n);
        CALL(okvsPow43_16s32f, it % 9 ? a.in<Okv16s>(cap(n), pow43(a)) : nullptr, a.out<Okv32f>(cap(n)), n);
        CALL(okvsPow43Scale_16s32s_Sf, a.in<Okv16s>(lines, a.uni(-16384, 16384)), a.out<Okv32s>(lines),
             a.in<Okv16s>(nb, a.uni(-100, 300)), a.in<Okv32s>(nb, [](size_t i) { return int(i) * 16; }), s1, bands, group,
             s2 / 4);
        CALL(okvsCalcSF_16s32f, a.in<Okv16s>(cap(n)), int(a.rng().i32()), a.out<Okv32f>(cap(n)), n);
        CALL(okvsScale_32f_I, a.inout<Okv32f>(size_t(bands) * 7 + 8, a.f32(1, false)) + 3, a.in<Okv32f>(nb, a.f32()),
             a.in<Okv32s>(nb, jitter(a)), bands);
        // Nearby band values mostly; full 32-bit patterns exercise the 16-bit reading.
        for (int k = 0; k < 20; ++k) {
            const Okv32s b1 = c.rng().range(0, 3) ? c.rng().i16() : c.rng().i32();
            const Okv32s b2 = c.rng().coin() ? Okv16s(b1) + c.rng().range(-40, 40) : c.rng().i32();
            const int sf = c.rng().range(-30, 8);
            CALL(okvsSpread_16s_Sfs, b1, b2, sf, (it * 20 + k) % 50 ? a.out<Okv16s>(1) : nullptr);
        }
    }
}
