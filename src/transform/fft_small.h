// Straight-line complex DFTs of 1..32 points (unrolled at compile time).
#pragma once

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {

struct OkvCx {
    float re, im;
};

inline OkvCx operator+(OkvCx a, OkvCx b) { return {a.re + b.re, a.im + b.im}; }
inline OkvCx operator-(OkvCx a, OkvCx b) { return {a.re - b.re, a.im - b.im}; }
inline OkvCx operator*(OkvCx a, OkvCx b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline OkvCx cx_conj(OkvCx a) { return {a.re, -a.im}; }

// exp(-2 pi i k / 32), k = 0..31.
struct OkvTw32 {
    float re[32], im[32];
};
constexpr OkvTw32 ownsMakeTw32() {
    OkvTw32 t{};
    for (int k = 0; k < 32; ++k) {
        t.re[k] = float(okv_cospi(k / 16.0));
        t.im[k] = float(-okv_sinpi(k / 16.0));
    }
    return t;
}
inline constexpr OkvTw32 kOkvTw32 = ownsMakeTw32();

// Fills the stage table of quarter (eighth) length l for a radix-4 (radix-8)
// stage: for each four j the twiddles w^(k j), k = 1 .. radix - 1,
// w = exp(-2 pi i / (radix l)), 4 real parts then 4 imaginary parts each.
constexpr void ownsFFTStageTable(Okv32f* t, int l, int radix) {
    for (int j = 0; j < l; j += 4, t += 8 * (radix - 1))
        for (int k = 1; k < radix; ++k)
            for (int h = 0; h < 4; ++h) {
                const double a = 2.0 * double(k * (j + h)) / double(radix * l);
                t[8 * (k - 1) + h] = float(okv_cospi(a));
                t[8 * (k - 1) + 4 + h] = float(-okv_sinpi(a));
            }
}

// Tables of the 16- and 32-point transforms, which have no room in their spec:
// one first-pass group offset and the single radix-4 stage.
struct OkvFftSmallTabs {
    Okv32s rev[4];
    alignas(16) Okv32f tw16[24];
    alignas(16) Okv32f tw32[48];
};
constexpr OkvFftSmallTabs ownsMakeSmallTabs() {
    OkvFftSmallTabs t{};
    ownsFFTStageTable(t.tw16, 4, 4);
    ownsFFTStageTable(t.tw32, 8, 4);
    return t;
}
inline constexpr OkvFftSmallTabs kOkvFftSmallTabs = ownsMakeSmallTabs();

// Radix-2 decimation in time; out[k] = sum in[n * stride] w^(+-nk).
template <int N, bool INV>
__attribute__((always_inline)) inline void ownsSmallDft(const OkvCx* in, int stride, OkvCx* out) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        ownsSmallDft<N / 2, INV>(in, 2 * stride, out);
        ownsSmallDft<N / 2, INV>(in + stride, 2 * stride, out + N / 2);
        for (int k = 0; k < N / 2; ++k) {
            OkvCx w{kOkvTw32.re[k * (32 / N)], INV ? -kOkvTw32.im[k * (32 / N)]
                                                   : kOkvTw32.im[k * (32 / N)]};
            OkvCx t = k == 0 ? out[N / 2] : out[k + N / 2] * w;
            out[k + N / 2] = out[k] - t;
            out[k] = out[k] + t;
        }
    }
}

}  // namespace OKV_NS
