// Double-precision references and caller memory shared by the transform and SBR tests.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace xref {

using cd = std::complex<double>;

// Unnormalised DFT (sign -1 forward): radix 2 for powers of two from 64 points, else direct.
inline std::vector<cd> dft(const std::vector<cd>& x, int sign) {
    const size_t n = x.size();
    std::vector<cd> y(n);
    if (n < 64 || (n & (n - 1))) {
        for (size_t k = 0; k < n; ++k)
            for (size_t j = 0; j < n; ++j) y[k] += x[j] * std::polar(1.0, sign * 2 * M_PI * double(j * k % n) / double(n));
        return y;
    }
    for (size_t i = 0, r = 0; i < n; ++i) {  // bit-reversed order
        y[r] = x[i];
        for (size_t b = n >> 1; (r ^= b) < b; b >>= 1) {}
    }
    for (size_t len = 2; len <= n; len <<= 1)
        for (size_t k = 0; k < len / 2; ++k) {
            const cd w = std::polar(1.0, sign * 2 * M_PI * double(k) / double(len));
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

// Caller memory for `specs` specs from the sizes get(&spec, &init, &work) reports, with slack for offsets.
struct Mem {
    int s = 0, i = 0, w = 0;
    std::vector<uint8_t> mem, init, work;
    template <class Get>
    explicit Mem(Get get, int specs = 1) {
        get(&s, &i, &w);
        mem.assign(size_t(specs) * size_t(s) + 8, 0xA5), init.assign(size_t(i) + 1, 0xA5), work.assign(size_t(w) + 8, 0xA5);
    }
};

// n floats ending where an unreadable page starts: a read past the end faults. One region, reused.
inline float* page_end(size_t n) {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE)), bytes = 16 * page;
    static auto* m =
        static_cast<unsigned char*>(mmap(nullptr, bytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    static const int sealed = mprotect(m + bytes, page, PROT_NONE);
    return sealed == 0 && n * sizeof(float) <= bytes ? reinterpret_cast<float*>(m + bytes) - n : nullptr;
}

}  // namespace xref
