// Shared parts of the Layer III analysis filterbanks.
//
// With X[i] the 512 most recent samples (X[0] newest) and C the analysis window:
// Y[k] = sum_j C[k + 64j] X[k + 64j], k = 0..63, and S[m] = sum_k cos((2m+1)(k-16) pi/64) Y[k].
// By the symmetries of the cosine, Y folds into Z[0..31] (Z[0] = Y[16], Z[j] = Y[16+j] + Y[16-j]
// for j = 1..16, Z[j] = Y[16+j] - Y[80-j] for j = 17..31; Y[48] meets cos = 0), and then
// S[m] = sum_j cos((2m+1) j pi/64) Z[j], a 32 x 32 matrix product.
#pragma once
#include "core/trig.h"
#include "mp3/analysis_window_data.h"
#include "mp3/synth_layout.h"
#include "mp3/synth_window_data.h"

namespace OKV_NS {
namespace mp3ana {

// Window in Q30 (fixed) and single precision (float: D / 32 is exact in binary).
struct Windows {
    Okv32s q30[512] = {};
    Okv32f f32[512] = {};
    constexpr Windows() {
        constexpr Okv32s c[257] = OKV_MP3_ANALYSIS_C_Q30_INIT;
        constexpr Okv32f d[257] = OKV_MP3_SYNTH_D_F32_INIT;
        for (int i = 0; i < 512; ++i) {
            q30[i] = mp3synth::windowAt(c, i);
            f32[i] = mp3synth::windowAt(d, i) / 32.0f;
        }
    }
};
inline constexpr Windows kWindows{};

// cos((2m+1) j pi/64), row m; double for the fixed path, float for the float path.
template <class T>
struct Matrix {
    alignas(16) T c[32][32] = {};
    constexpr Matrix() {
        for (int m = 0; m < 32; ++m)
            for (int j = 0; j < 32; ++j) c[m][j] = (T)okv_cospi((double)((2 * m + 1) * j % 128) / 64.0);
    }
};

template <class T>
constexpr void fold(const T* y, T* z) {
    z[0] = y[16];
    for (int j = 1; j <= 16; ++j) z[j] = y[16 + j] + y[16 - j];
    for (int j = 17; j < 32; ++j) z[j] = y[16 + j] - y[80 - j];
}

}  // namespace mp3ana
}  // namespace OKV_NS
