// Shared structure of the nine float QMF banks: the modulation transform's spec at the
// 16-byte aligned start of the caller's block, then a 64-byte header, then the delay line.
#pragma once

#include <xmmintrin.h>

#include "core/okv_internal.h"
#include "core/trig.h"
#include "transform/dct.h"
#include "transform/fft.h"

// The opaque type of the public header (a type only, no symbol).
struct SBRQMFSpec_32f {
    Okv32u id;
    Okv32f* delay;
    Okv32s pos;   // start of the newest block in the delay line
    void* xform;  // FFT or DCT spec of the modulation
};

namespace OKV_NS {
namespace sbrqmf {

enum class Xform { FftSplit, FftCplx, DctInv, DctFwd };

struct Bank {
    Okv32u id;
    int delayClear;  // floats cleared by Init
    Xform xform;
    int len;         // transform length (FFT: points)
    int hint;
    int k;           // header + delay line + alignment slack, in bytes
};

// Identifiers are the tags "VAMC" .. "^AMC" read as little-endian words.
inline constexpr Bank kAnaCplx32fc{0x434D4156u, 320, Xform::FftSplit, 32, 2, 1359};
inline constexpr Bank kAnaCplx32f{0x434D4157u, 320, Xform::FftSplit, 32, 2, 1359};
inline constexpr Bank kAnaReal{0x434D4158u, 320, Xform::DctInv, 32, 2, 1359};
inline constexpr Bank kSynCplx32fc{0x434D4159u, 1280, Xform::FftCplx, 32, 2, 5199};
inline constexpr Bank kSynCplx32f{0x434D415Au, 1280, Xform::FftCplx, 32, 2, 5199};
// The real synthesis clears one float beyond its 1280 and reserves 12 bytes more than the
// header-plus-delay rule gives; the structure keeps those reported sizes.
inline constexpr Bank kSynReal{0x434D415Bu, 1281, Xform::DctFwd, 64, 1, 5215};
inline constexpr Bank kDownCplx32fc{0x434D415Cu, 640, Xform::FftCplx, 64, 2, 2639};
inline constexpr Bank kDownCplx32f{0x434D415Du, 640, Xform::FftCplx, 64, 2, 2639};
inline constexpr Bank kDownReal{0x434D415Eu, 640, Xform::DctFwd, 32, 1, 2639};

StatusCode getSize(const Bank& b, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize);
StatusCode init(const Bank& b, SBRQMFSpec_32f** ppSpec, Okv8u* pMem, Okv8u* pInitBuf);

inline const OkvsFFTSpec_32f* fftOf(const SBRQMFSpec_32f* s) {
    return static_cast<const OkvsFFTSpec_32f*>(s->xform);
}
inline const OkvsDCTSpec_32f* dctOf(const SBRQMFSpec_32f* s) {
    return static_cast<const OkvsDCTSpec_32f*>(s->xform);
}

// acc[i] = sum_j w[j * wStride + i] * d_j[i], i < N, with the delay-line runs d_j given by
// their start offsets; j ascends, so every form and path adds in the same order. Runs of 32
// are summed in eight registers.
template <int N, int TAPS>
[[gnu::always_inline]] inline void windowTaps(const Okv32f* w, int wStride, const Okv32f* delay,
                                               const int* start, Okv32f* acc) {
    static_assert(N % 32 == 0, "runs of 32");
    for (int c = 0; c < N; c += 32) {
        __m128 a[8];
        const Okv32f* d = delay + start[0] + c;
        for (int r = 0; r < 8; ++r) a[r] = _mm_mul_ps(_mm_loadu_ps(w + c + 4 * r), _mm_loadu_ps(d + 4 * r));
        for (int j = 1; j < TAPS; ++j) {
            const Okv32f* wj = w + j * wStride + c;
            const Okv32f* dj = delay + start[j] + c;
            for (int r = 0; r < 8; ++r)
                a[r] = _mm_add_ps(a[r], _mm_mul_ps(_mm_loadu_ps(wj + 4 * r), _mm_loadu_ps(dj + 4 * r)));
        }
        for (int r = 0; r < 8; ++r) _mm_storeu_ps(acc + c + 4 * r, a[r]);
    }
}

// exp(-i pi num / den) as a float pair.
constexpr Okv32fc expmi(double num, double den) {
    return {float(okv_cospi(num / den)), float(-okv_sinpi(num / den))};
}

}  // namespace sbrqmf
}  // namespace OKV_NS
