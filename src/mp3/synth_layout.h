// Shared layout of the polyphase synthesis filters (fixed and float forms).
//
// Matrixing gives X[m] = sum_k S[k] cos(pi m (2k + 1) / 64), m = 0..31, through a 32-point Lee
// DCT; by the symmetries of the cosine matrix the 64 values V of one time slot are +-X[..]
// (V[32] = 0), so a slot keeps just X[0..31]. The history holds 16 slots as
// hist[m * 16 + parity * 8 + r] for slot 2r + parity. Output sample s sums 8 taps of the slots
// of even age (sharing the parity of the newest slot) on value idxEven(s) and 8 taps of the
// slots of odd age on idxOdd(s). Tap k of a ring is served from a coefficient row doubled to
// 17 entries, so the rotation of the ring is a load offset and no history value ever moves.
#pragma once

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {
namespace mp3synth {

constexpr int kRow = 20;  // 17 used entries per coefficient row, padded

constexpr int idxEven(int s) { return s < 16 ? 16 + s : 48 - s; }  // not used for s = 16
constexpr int idxOdd(int s) { return s <= 16 ? 16 - s : s - 16; }

// Window D[0..511] from the stored half D[0..256]: D[512 - i] = -D[i], except at the multiples
// of 64 (320, 384, 448), where the window is symmetric.
template <class T>
constexpr T windowAt(const T (&d)[257], int i) {
    return i <= 256 ? d[i] : (i % 64 == 0 ? d[512 - i] : -d[512 - i]);
}

// Signed tap coefficients, V signs folded in: even ring of sample s, tap k (age 2k):
// +-D[s + 64k] (minus above s = 16, where V[s] = -X[48 - s]); odd ring, tap k (age 2k + 1):
// -D[s + 32 + 64k]. Sample 16 has no even taps (V[16] = 0).
template <class T>
struct Rings {
    T c[32][2][kRow] = {};
    constexpr explicit Rings(const T (&d)[257]) {
        for (int s = 0; s < 32; ++s)
            for (int t = 0; t <= 16; ++t) {
                const int k = t & 7;
                const T even = windowAt(d, s + 64 * k);
                c[s][0][t] = s == 16 ? T(0) : (s < 16 ? even : -even);
                c[s][1][t] = -windowAt(d, s + 32 + 64 * k);
            }
    }
};

template <int N>
struct LeeCoef {
    double c[N / 2] = {};
    constexpr LeeCoef() {
        for (int k = 0; k < N / 2; ++k) c[k] = 0.5 / okv_cospi((2 * k + 1) / (2.0 * N));
    }
};
template <int N>
inline constexpr LeeCoef<N> kLee{};

// out[m] = sum_k in[k] cos(pi m (2k + 1) / (2N)) by Lee's recursive split, in T arithmetic.
template <class T, int N>
[[gnu::always_inline]] static inline void dctLee(const T* in, T* out)
{
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        T a[N / 2], b[N / 2], ea[N / 2], eb[N / 2];
        for (int k = 0; k < N / 2; ++k) {
            a[k] = in[k] + in[N - 1 - k];
            b[k] = (in[k] - in[N - 1 - k]) * T(kLee<N>.c[k]);
        }
        dctLee<T, N / 2>(a, ea);
        dctLee<T, N / 2>(b, eb);
        for (int m = 0; m < N / 2 - 1; ++m) {
            out[2 * m] = ea[m];
            out[2 * m + 1] = eb[m] + eb[m + 1];
        }
        out[N - 2] = ea[N / 2 - 1];
        out[N - 1] = eb[N / 2 - 1];
    }
}

typedef double v2d __attribute__((vector_size(16)));

// dctLee<double, N> on two independent inputs at once, one per lane: the same operations per
// lane, with no shuffles.
template <int N>
[[gnu::always_inline]] static inline void dctLeeLanes(const v2d* in, v2d* out)
{
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        v2d a[N / 2], b[N / 2], ea[N / 2], eb[N / 2];
        for (int k = 0; k < N / 2; ++k) {
            a[k] = in[k] + in[N - 1 - k];
            b[k] = (in[k] - in[N - 1 - k]) * kLee<N>.c[k];
        }
        dctLeeLanes<N / 2>(a, ea);
        dctLeeLanes<N / 2>(b, eb);
        for (int m = 0; m < N / 2 - 1; ++m) {
            out[2 * m] = ea[m];
            out[2 * m + 1] = eb[m] + eb[m + 1];
        }
        out[N - 2] = ea[N / 2 - 1];
        out[N - 1] = eb[N / 2 - 1];
    }
}

}  // namespace mp3synth
}  // namespace OKV_NS
