// SBR encoder measures: tonality-to-noise ratio against double precision, the transient
// detector against a model of its measures.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

using cd = std::complex<double>;

// TNR and energy of one half in double.
std::pair<double, double> tnrModel(const float* s) {
    cd x[16];
    for (int n = 0; n < 16; ++n) x[n] = cd(s[2 * n], s[2 * n + 1]);
    double p00 = 0, p11 = 0, p22 = 0;
    cd p01 = 0, p02 = 0, p12 = 0;
    for (int n = 2; n < 16; ++n) {
        p00 += std::norm(x[n]), p11 += std::norm(x[n - 1]), p22 += std::norm(x[n - 2]);
        p01 += x[n] * std::conj(x[n - 1]), p02 += x[n] * std::conj(x[n - 2]), p12 += x[n - 1] * std::conj(x[n - 2]);
    }
    const double det = p11 * p22 - std::norm(p12) * 0.99999905;
    cd a1 = 0, a2 = 0;
    if (det != 0) {
        a2 = (p12 * p01 - p11 * p02) / det;
        if (p11 != 0) a1 = -(p01 + std::conj(p12) * a2) / p11;
    }
    if (p00 == 0) return {0, 0};
    const double g = -((a1 * std::conj(p01)).real() + (a2 * std::conj(p02)).real()) / p00;
    return {std::abs(1 - g) > 1e-6 ? g / (1.000001 - g) : 1e6, p00};
}

TEST(SbrEncMeasures, TonalityToNoiseFollowsThePredictionGain) {
    std::mt19937 gen(9);
    std::normal_distribution<float> n;
    int compared = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        // Noise mixed with a decaying tone: from noise-like (TNR ~ 0) to tonal halves.
        float s[64];
        const double tone = (trial % 10) / 9.0, w = 0.05 + 3 * (trial % 37) / 37.0;
        for (int k = 0; k < 32; ++k) {
            const cd t = std::polar(tone * 100, w * k);
            s[2 * k] = float(t.real() + (1 - tone) * 100 * n(gen));
            s[2 * k + 1] = float(t.imag() + (1 - tone) * 100 * n(gen));
        }
        float t0, t1, e;
        ASSERT_EQ(okvsEstimateTNR_SBR_32f(s, &t0, &t1, &e), okvOk);
        const auto h0 = tnrModel(s), h1 = tnrModel(s + 32);
        EXPECT_NEAR(e, (h0.second + h1.second) / 2, 1e-4 * e);
        for (auto [got, want] : {std::pair{t0, h0.first}, std::pair{t1, h1.first}}) {
            if (std::abs(want) > 1e3) continue;  // g near 1: single precision cannot follow
            ++compared;
            EXPECT_NEAR(got, want, 1e-4 * std::max(1.0, std::abs(want))) << "trial " << trial;
        }
    }
    EXPECT_GT(compared, 3000);
    // A zero half gives 0; a single complex exponential is fully predictable.
    float s[64] = {};
    for (int k = 16; k < 32; ++k) s[2 * k] = float(std::cos(0.3 * k)), s[2 * k + 1] = float(std::sin(0.3 * k));
    float t0 = 1, t1 = 0, e;
    ASSERT_EQ(okvsEstimateTNR_SBR_32f(s, &t0, &t1, &e), okvOk);
    EXPECT_EQ(t0, 0.0f);
    EXPECT_GE(std::abs(t1), 1e5f);
    EXPECT_EQ(okvsEstimateTNR_SBR_32f(s, &t0, nullptr, &e), okvErrNullPtr);
}

// The detector's measures in the listed order, in single precision.
void transientModel(const float* src, float* thr, float* T) {
    double m = 0, q = 0;
    for (int i = 16; i < 64; ++i) m += src[i], q += double(src[i]) * src[i];
    const float s = float(std::sqrt(std::max(0.0, 48 * q - m * m) / (47.0 * 48)));
    const float t = std::max(128000.0f, 0.34f * s + 0.66f * *thr);
    *thr = t;
    const float inv = 1.0f / t;
    auto e = [&](int p) { return (src[2 * p] + src[2 * p + 1]) * 0.5f; };
    auto add = [&](float v, std::initializer_list<int> to) {
        if (v > t)
            for (int i : to) T[i] += v * inv - 1.0f;
    };
    add(e(8) - e(7), {16});
    add(e(8) + e(9) - 2 * e(7), {16});
    add(2 * e(9) + e(8) - 2 * e(7) - e(6), {16});
    for (int p = 9; p <= 30; ++p) {
        const int a = 2 * p - 1, b = a + 1;
        add(e(p) - e(p - 1), {a, b});
        add(2 * e(p) - e(p - 1) - e(p - 2), {a});
        add(2 * e(p) + e(p + 1) - e(p - 1) - 2 * e(p - 2), {a});
        add(e(p) + e(p + 1) - 2 * e(p - 1), {b});
        add(2 * e(p + 1) + e(p) - 2 * e(p - 1) - e(p - 2), {b});
    }
}

TEST(SbrEncMeasures, TransientDetectorAddsEveryRiseAboveTheThreshold) {
    std::mt19937 gen(4);
    for (int trial = 0; trial < 500; ++trial) {
        // Energies with steps of random size at a random slot, some flat frames.
        float src[64];
        const int step = gen() % 64;
        const float base = float(gen() % 1000) * 100, jump = trial % 5 ? float(gen() % 4000000) : 0;
        for (int i = 0; i < 64; ++i) src[i] = base + (i >= step ? jump : 0) + float(gen() % 3000);
        float thr = float(gen() % 400000), thrModel = thr;
        std::vector<float> T(64), TModel(64);
        for (int i = 0; i < 64; ++i) T[i] = TModel[i] = float(i);
        ASSERT_EQ(okvsDetectTransient_SBR_32f(src, &thr, T.data()), okvOk);
        transientModel(src, &thrModel, TModel.data());
        ASSERT_EQ(thr, thrModel) << trial;
        for (int i = 0; i < 64; ++i) ASSERT_EQ(T[i], TModel[i]) << "trial " << trial << " entry " << i;
    }
    // Equal energies add nothing; the threshold never drops below 128000.
    std::vector<float> flat(64, 5e6f), T(64, 0.0f);
    float thr = 0;
    ASSERT_EQ(okvsDetectTransient_SBR_32f(flat.data(), &thr, T.data()), okvOk);
    EXPECT_EQ(thr, 128000.0f);
    for (float v : T) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(okvsDetectTransient_SBR_32f(flat.data(), nullptr, T.data()), okvErrNullPtr);
}

}  // namespace
