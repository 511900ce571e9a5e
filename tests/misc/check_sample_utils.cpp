// Variant harness for the sample-format and power-law utilities.
#include <vector>

#include "harness/checkasm.h"

namespace {

// Buffers hold at least one element; calls still pass the (possibly zero) length.
size_t cap(int n) { return n > 0 ? size_t(n) : 1; }

float noNaN(float f) { return f == f ? f : 1.0f; }

// Rows of random samples, each with its own misalignment unless al forces 16 bytes.
template <class T>
std::vector<const T*> rows_in(chk::Arena& a, int ch, int n, chk::Align al) {
    std::vector<const T*> rows;
    for (int k = 0; k < ch; ++k) rows.push_back(a.in<T>(cap(n), al));
    return rows;
}

template <class T>
std::vector<T*> rows_out(chk::Arena& a, int ch, int n, chk::Align al) {
    std::vector<T*> rows;
    for (int k = 0; k < ch; ++k) rows.push_back(a.out<T>(cap(n), al));
    return rows;
}

}  // namespace

CHECK_EXPORTS(interleave, "okvsInterleave_16s", "okvsInterleave_32f", "okvsDeinterleave_16s",
              "okvsDeinterleave_32f", "okvsJoin_32f16s_D2L") {
    for (int it = 0; it < c.iters(); ++it) {
        const int ch = c.rng().range(0, 9), n = c.rng().len(2048);
        // One call in four with every buffer 16-byte aligned (the warning-free path).
        const chk::Align A = c.rng().range(0, 3) == 0 ? chk::Aligned16 : chk::AnyAlign;
        c.call("okvsInterleave_16s", [&](chk::Arena& a, int v) -> int {
            const auto rows = rows_in<Okv16s>(a, ch, n, A);
            return OKV_BODY(v, okvsInterleave_16s)(rows.data(), ch, n, a.out<Okv16s>(cap(n * ch), A));
        });
        c.call("okvsInterleave_32f", [&](chk::Arena& a, int v) -> int {
            const auto rows = rows_in<Okv32f>(a, ch, n, A);
            return OKV_BODY(v, okvsInterleave_32f)(rows.data(), ch, n, a.out<Okv32f>(cap(n * ch), A));
        });
        c.call("okvsDeinterleave_16s", [&](chk::Arena& a, int v) -> int {
            const Okv16s* src = a.in<Okv16s>(cap(n * ch), A);
            return OKV_BODY(v, okvsDeinterleave_16s)(src, ch, n, rows_out<Okv16s>(a, ch, n, A).data());
        });
        c.call("okvsDeinterleave_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* src = a.in<Okv32f>(cap(n * ch), A);
            return OKV_BODY(v, okvsDeinterleave_32f)(src, ch, n, rows_out<Okv32f>(a, ch, n, A).data());
        });
        c.call("okvsJoin_32f16s_D2L", [&](chk::Arena& a, int v) -> int {
            std::vector<const Okv32f*> rows;
            for (int k = 0; k < ch; ++k)
                rows.push_back(a.in<Okv32f>(cap(n), [&](size_t) { return a.rng().f32() * 40000.0f; }));
            return OKV_BODY(v, okvsJoin_32f16s_D2L)(rows.data(), ch, n, a.out<Okv16s>(cap(n * ch)));
        });
    }
}

CHECK_EXPORTS(pow_law, "okvsMakeFloat_16s32f", "okvsPow34_32f", "okvsPow34_32f16s", "okvsPow34_16s_Sfs",
              "okvsPow43_16s32f", "okvsPow43Scale_16s32s_Sf", "okvsCalcSF_16s32f", "okvsScale_32f_I") {
    for (int it = 0; it < c.iters(); ++it) {
        const int n = c.rng().len(2048);
        const int s1 = c.rng().range(-20, 20), s2 = c.rng().range(-20, 20);
        const int bands = c.rng().range(0, 16), group = c.rng().range(0, 8) == 0 ? 1 : 8;
        c.call("okvsMakeFloat_16s32f", [&](chk::Arena& a, int v) -> int {
            const Okv16s* m = a.in<Okv16s>(cap(n));
            const Okv16s* e = a.in<Okv16s>(cap(n), [&](size_t) { return a.rng().range(-160, 130); });
            return OKV_BODY(v, okvsMakeFloat_16s32f)(m, e, n, a.out<Okv32f>(cap(n)));
        });
        c.call("okvsPow34_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(cap(n), [&](size_t) { return a.rng().f32(); });
            return OKV_BODY(v, okvsPow34_32f)(x, a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsPow34_32f16s", [&](chk::Arena& a, int v) -> int {
            const Okv32f* x = a.in<Okv32f>(cap(n), [&](size_t) { return a.rng().f32() * 1.0e5f; });
            return OKV_BODY(v, okvsPow34_32f16s)(x, a.out<Okv16s>(cap(n)), n);
        });
        c.call("okvsPow34_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsPow34_16s_Sfs)(a.in<Okv16s>(cap(n)), s1, a.out<Okv16s>(cap(n)), s2, n);
        });
        c.call("okvsPow43_16s32f", [&](chk::Arena& a, int v) -> int {
            const Okv16s* x = a.in<Okv16s>(cap(n), [&](size_t) {
                return a.rng().range(0, 2) ? 0 : a.rng().range(-8206, 8206);  // runs of zeros
            });
            return OKV_BODY(v, okvsPow43_16s32f)(x, a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsPow43Scale_16s32s_Sf", [&](chk::Arena& a, int v) -> int {
            Okv32s* off = a.in<Okv32s>(bands + 1, [&](size_t i) { return int(i) * 16; });
            const Okv16s* x = a.in<Okv16s>(size_t(bands) * 16 * group + 1, [&](size_t) {
                return a.rng().range(-16384, 16384);
            });
            const Okv16s* sf = a.in<Okv16s>(bands + 1, [&](size_t) { return a.rng().range(-100, 300); });
            return OKV_BODY(v, okvsPow43Scale_16s32s_Sf)(x, a.out<Okv32s>(size_t(bands) * 16 * group + 1), sf,
                                                         off, s1, bands, group, s2 / 4);
        });
        c.call("okvsCalcSF_16s32f", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsCalcSF_16s32f)(a.in<Okv16s>(cap(n)), int(a.rng().i32()), a.out<Okv32f>(cap(n)), n);
        });
        c.call("okvsScale_32f_I", [&](chk::Arena& a, int v) -> int {
            const Okv32s* off = a.in<Okv32s>(bands + 1, [&](size_t i) { return int(i) * 7 + a.rng().range(-3, 3); });
            // Two different NaNs in one product may come out in either operand order: none here.
            const Okv32f* g = a.in<Okv32f>(bands + 1, [&](size_t) { return a.rng().f32(); });
            Okv32f* d = a.inout<Okv32f>(size_t(bands) * 7 + 8, [&](size_t) { return noNaN(a.rng().f32()); });
            return OKV_BODY(v, okvsScale_32f_I)(d + 3, g, off, bands);
        });
    }
    // Null pointers are refused by every utility.
    c.call("okvsPow43_16s32f", [](chk::Arena&, int v) -> int {
        return OKV_BODY(v, okvsPow43_16s32f)(nullptr, nullptr, 4);
    });
}

CHECK_EXPORTS(spread, "okvsSpread_16s_Sfs") {
    for (int it = 0; it < c.iters() * 20; ++it) {
        // Nearby band values mostly; full 32-bit patterns exercise the 16-bit reading.
        const Okv32s b1 = c.rng().range(0, 3) ? c.rng().i16() : c.rng().i32();
        const Okv32s b2 = c.rng().range(0, 1) ? Okv16s(b1) + c.rng().range(-40, 40) : c.rng().i32();
        const int sf = c.rng().range(-30, 8);
        c.call("okvsSpread_16s_Sfs", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsSpread_16s_Sfs)(b1, b2, sf, a.out<Okv16s>(1));
        });
    }
}
