// Double-precision references of the transform tests.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace xref {

using cd = std::complex<double>;

// Unnormalised DFT, sign -1 forward and +1 inverse: direct sum below 64 points, radix 2 for
// powers of two, otherwise a chirp convolution through power-of-two transforms.
inline std::vector<cd> dft(const std::vector<cd>& x, int sign) {
    const size_t n = x.size();
    std::vector<cd> y(n);
    if (n < 64) {
        for (size_t k = 0; k < n; ++k)
            for (size_t j = 0; j < n; ++j) y[k] += x[j] * std::polar(1.0, sign * 2.0 * M_PI * double(j * k % n) / double(n));
        return y;
    }
    if (n & (n - 1)) {
        size_t l = 1;
        while (l < 2 * n - 1) l <<= 1;
        std::vector<cd> w(n), a(l), b(l);
        for (size_t k = 0; k < n; ++k) {
            w[k] = std::polar(1.0, sign * M_PI * double(k * k % (2 * n)) / double(n));
            a[k] = x[k] * w[k];
            b[k] = b[(l - k) % l] = std::conj(w[k]);
        }
        std::vector<cd> fa = dft(a, -1), fb = dft(b, -1);
        for (size_t k = 0; k < l; ++k) fa[k] *= fb[k] / double(l);
        const std::vector<cd> c = dft(fa, 1);
        for (size_t k = 0; k < n; ++k) y[k] = c[k] * w[k];
        return y;
    }
    y = x;
    for (size_t i = 1, j = 0; i < n; ++i) {  // bit reversal
        size_t b = n >> 1;
        for (; j & b; b >>= 1) j ^= b;
        j ^= b;
        if (i < j) std::swap(y[i], y[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
        for (size_t k = 0; k < len / 2; ++k) {
            const cd w = std::polar(1.0, sign * 2.0 * M_PI * double(k) / double(len));
            for (size_t i = k; i < n; i += len) {
                const cd u = y[i], v = y[i + len / 2] * w;
                y[i] = u + v, y[i + len / 2] = u - v;
            }
        }
    return y;
}

// Relative RMS error of got against ref.
template <class T>
double rel_rms(const T* got, const std::vector<double>& ref) {
    double e = 0, s = 0;
    for (size_t i = 0; i < ref.size(); ++i) e += (double(got[i]) - ref[i]) * (double(got[i]) - ref[i]), s += ref[i] * ref[i];
    return s > 0 ? std::sqrt(e / s) : std::sqrt(e);
}

inline std::vector<float> noise(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v) x = d(g);
    return v;
}

}  // namespace xref
