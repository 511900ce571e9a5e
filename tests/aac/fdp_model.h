// Plain one-line-at-a-time transcription of the frequency-domain predictor, with its own
// reciprocal tables, for the tests and as the scalar baseline of the benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fdpmodel {

inline uint32_t bitsOf(float v) { uint32_t b; std::memcpy(&b, &v, 4); return b; }
inline float fromBits(uint32_t b) { float v; std::memcpy(&v, &b, 4); return v; }
inline float roundTo16(float v) { return fromBits((bitsOf(v) + 0x8000u) & 0xFFFF0000u); }
inline float truncTo16(float v) { return fromBits(bitsOf(v) & 0xFFFF0000u); }

struct Tables {
    float m[128], e[256];
    Tables()
    {
        for (int i = 0; i < 128; ++i) m[i] = roundTo16(float(0.953125 / (1.0 + i / 128.0)));
        for (int i = 0; i < 256; ++i) e[i] = i >= 128 && i <= 254 ? std::ldexp(1.0f, 127 - i) : 0.0f;
    }
    float q(float v) const { const uint32_t b = bitsOf(v); return m[(b >> 16) & 127] * e[(b >> 23) & 255]; }
};

struct Predictor {
    std::vector<float> cor0, cor1, var0, var1, r0, r1;
    explicit Predictor(int len) : cor0(len), cor1(len), var0(len, 1.0f), var1(len, 1.0f), r0(len), r1(len) {}
    int len() const { return int(cor0.size()); }
    void reset(int k) { cor0[k] = cor1[k] = r0[k] = r1[k] = 0.0f, var0[k] = var1[k] = 1.0f; }

    float predict(const Tables& t, int k) const
    {
        const float k1 = cor0[k] * t.q(var0[k]), k2 = cor1[k] * t.q(var1[k]);
        const float a = k2 * r1[k], b = k1 * r0[k];
        return roundTo16(a + b);
    }
    void update(const Tables& t, int k, float x)
    {
        const float alpha = 0.90625f, a = 0.953125f;
        const float k1 = cor0[k] * t.q(var0[k]);
        const float e1 = x - k1 * r0[k];
        const float c0 = alpha * cor0[k] + r0[k] * x, c1 = alpha * cor1[k] + r1[k] * e1;
        const float v0 = alpha * var0[k] + 0.5f * (r0[k] * r0[k] + x * x);
        const float v1 = alpha * var1[k] + 0.5f * (r1[k] * r1[k] + e1 * e1);
        const float n1 = a * (r0[k] - k1 * x), n0 = a * x;
        cor0[k] = truncTo16(c0), cor1[k] = truncTo16(c1), var0[k] = truncTo16(v0);
        var1[k] = truncTo16(v1), r0[k] = truncTo16(n0), r1[k] = truncTo16(n1);
    }
    // Decoder side over lines [start, end).
    void inverse(const Tables& t, float* x, int start, int end, bool predicted)
    {
        for (int k = start; k < end; ++k) {
            if (predicted) x[k] = x[k] + predict(t, k);
            update(t, k, x[k]);
        }
    }
};

}  // namespace fdpmodel
