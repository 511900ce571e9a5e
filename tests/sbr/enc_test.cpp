// SBR encoder (analysis bank, tonality-to-noise ratio, transient detector) against models; the
// parametric-stereo hybrid analysis against the direct 13-tap form.
#include <gtest/gtest.h>

#include <complex>
#include <map>
#include <random>
#include <sstream>

#include "qmf_test_util.h"

namespace {

using cd = std::complex<double>;

// Noise, tones and a constant block through the 64-band complex analysis: 110 dB. Sizes; Free clears
// the tag; refusals. (The variant harness builds the structure at every misalignment.)
TEST(SbrEnc, AnalysisMatchesTheDefiningSumsAndItsStructure) {
    int size, buf;
    ASSERT_EQ(okvsAnalysisFilterEncGetSize_SBR_32f(&size, &buf), okvOk);
    EXPECT_TRUE(buf == 4 && size == 976 + 592 + 95);
    void* spec = nullptr;
    ASSERT_EQ(okvsAnalysisFilterEncInitAlloc_SBR_32f(&spec), okvOk);
    std::mt19937 g(8);
    std::normal_distribution<float> n;
    std::vector<float> x(640), y(128);
    double err = 0, ref = 0;
    for (int trial = 0; trial < 40; ++trial) {
        for (int t = 0; t < 640; ++t)
            x[t] = trial == 0 ? 1.0f : trial % 2 ? 3e4f * n(g) : float(2e4 * std::sin(0.01 * trial * trial * t));
        ASSERT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), spec), okvOk);
        for (int k = 0; k < 64; ++k) {
            cd want = 0;
            for (int m = 0; m < 128; ++m) {
                double u = 0;
                for (int j = 0; j < 5; ++j) u += double(x[639 - m - 128 * j]) * kOkvSbrQmfWindow640[m + 128 * j];
                want += u * std::polar(1.0, M_PI * (k + 0.5) * (2 * m + 1) / 128);
            }
            err += std::norm(cd(y[2 * k], y[2 * k + 1]) - want), ref += std::norm(want);
        }
    }
    EXPECT_GT(10 * std::log10(ref / err), 110.0);
    std::vector<unsigned char> other(size + 16, 0), block(size + 16), init(4);
    ASSERT_EQ(okvsAnalysisFilterEncInit_SBR_32f(block.data() + 3, init.data()), okvOk);
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(block.data() + 3), okvOk);
    EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), block.data() + 3), okvErrContextMatch);
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(block.data() + 3), okvErrContextMatch);
    EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), other.data()), okvErrContextMatch);
    float t[3];
    using qmftest::firstNullNotRefused;
    const int firstNotRefused[] = {
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEnc_SBR_32f32fc(p...); }, x.data(), y.data(), spec),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncInit_SBR_32f(p...); }, (void*)&other[0], (void*)&init[0]),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncGetSize_SBR_32f(p...); }, &size, &buf),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncInitAlloc_SBR_32f(p...); }, &spec),
        firstNullNotRefused([](auto... p) { return okvsEstimateTNR_SBR_32f(p...); }, x.data(), t, t + 1, t + 2),
        firstNullNotRefused([](auto... p) { return okvsDetectTransient_SBR_32f(p...); }, x.data(), t, y.data()),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncFree_SBR_32f(p...); }, spec),
    };
    EXPECT_EQ(std::vector<int>(std::begin(firstNotRefused), std::end(firstNotRefused)), std::vector<int>(7, -1));
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(spec), okvOk);
}

// TNR and energy of one half in double.
std::pair<double, double> tnrModel(const float* s) {
    cd x[16], p01 = 0, p02 = 0, p12 = 0, a1 = 0, a2 = 0;
    double p00 = 0, p11 = 0, p22 = 0;
    for (int n = 0; n < 16; ++n) x[n] = cd(s[2 * n], s[2 * n + 1]);
    for (int n = 2; n < 16; ++n) {
        p00 += std::norm(x[n]), p11 += std::norm(x[n - 1]), p22 += std::norm(x[n - 2]);
        p01 += x[n] * std::conj(x[n - 1]), p02 += x[n] * std::conj(x[n - 2]), p12 += x[n - 1] * std::conj(x[n - 2]);
    }
    const double det = p11 * p22 - std::norm(p12) * 0.99999905;
    if (det != 0) a2 = (p12 * p01 - p11 * p02) / det;
    if (det != 0 && p11 != 0) a1 = -(p01 + std::conj(p12) * a2) / p11;
    if (p00 == 0) return {0, 0};
    const double g = -((a1 * std::conj(p01)).real() + (a2 * std::conj(p02)).real()) / p00;
    return {std::abs(1 - g) > 1e-6 ? g / (1.000001 - g) : 1e6, p00};
}

// Noise mixed with a decaying tone, from noise-like to tonal halves; a zero half, or one of tiny
// noise (d normal, its square underflowing), gives 0 and a single complex exponential is fully predictable.
TEST(SbrEnc, TonalityToNoiseFollowsThePredictionGain) {
    std::mt19937 gen(9);
    std::normal_distribution<float> n;
    int compared = 0;
    for (int trial = 0; trial < 2002; ++trial) {
        float s[64] = {}, t0, t1, e;
        const bool last = trial >= 2000, tiny = trial == 2001;
        const double tone = (trial % 10) / 9.0, w = 0.05 + 3 * (trial % 37) / 37.0;
        for (int k = 0; k < 32; ++k) {
            const cd t = std::polar(last ? (k < 16 ? 0.0 : 1.0) : tone * 100, (last ? 0.3 : w) * k);
            const float noise = last ? (tiny && k < 16 ? 1e-9f : 0) : float(1 - tone) * 100;
            s[2 * k] = float(t.real()) + noise * n(gen), s[2 * k + 1] = float(t.imag()) + noise * n(gen);
        }
        ASSERT_EQ(okvsEstimateTNR_SBR_32f(s, &t0, &t1, &e), okvOk);
        const auto h0 = tnrModel(s), h1 = tnrModel(s + 32);
        EXPECT_NEAR(e, (h0.second + h1.second) / 2, 1e-4 * e);
        EXPECT_TRUE(!last || (t0 == 0.0f && std::abs(t1) >= 1e5f));
        for (auto [got, want] : {std::pair{t0, h0.first}, std::pair{t1, h1.first}}) {
            if (std::abs(want) > 1e3 || tiny) continue;  // g near 1: single precision cannot follow
            ++compared;
            EXPECT_NEAR(got, want, 1e-4 * std::max(1.0, std::abs(want))) << "trial " << trial;
        }
    }
    EXPECT_GT(compared, 3000);
}

// The detector's measures in the listed order, in single precision.
void transientModel(const float* src, float* thr, float* T) {
    double m = 0, q = 0;
    for (int i = 16; i < 64; ++i) m += src[i], q += double(src[i]) * src[i];
    const float t = std::max(128000.0f, 0.34f * float(std::sqrt(std::max(0.0, 48 * q - m * m) / (47.0 * 48))) + 0.66f * *thr);
    *thr = t;
    auto e = [&](int p) { return (src[2 * p] + src[2 * p + 1]) * 0.5f; };
    auto add = [&](float v, std::initializer_list<int> to) {
        for (int i : to) T[i] += v > t ? v * (1.0f / t) - 1.0f : 0.0f;
    };
    add(e(8) - e(7), {16});
    add(e(8) + e(9) - 2 * e(7), {16});
    add(2 * e(9) + e(8) - 2 * e(7) - e(6), {16});
    for (int p = 9, a = 17; p <= 30; ++p, a += 2) {
        add(e(p) - e(p - 1), {a, a + 1});
        add(2 * e(p) - e(p - 1) - e(p - 2), {a});
        add(2 * e(p) + e(p + 1) - e(p - 1) - 2 * e(p - 2), {a});
        add(e(p) + e(p + 1) - 2 * e(p - 1), {a + 1});
        add(2 * e(p + 1) + e(p) - 2 * e(p - 1) - e(p - 2), {a + 1});
    }
}

// Energies with steps of random size at a random slot, some flat frames, and equal energies
// with a zero threshold (which rises to its floor of 128000).
TEST(SbrEnc, TransientDetectorAddsEveryRiseAboveTheThreshold) {
    std::mt19937 gen(4);
    for (int trial = 0; trial < 501; ++trial) {
        float src[64];
        const int step = gen() % 64;
        const float base = float(gen() % 1000) * 100, jump = trial % 5 ? float(gen() % 4000000) : 0;
        for (int i = 0; i < 64; ++i) src[i] = trial == 500 ? 5e6f : base + (i >= step ? jump : 0) + float(gen() % 3000);
        float thr = trial == 500 ? 0 : float(gen() % 400000), thrModel = thr;
        std::vector<float> T(64), TModel(64);
        for (int i = 0; i < 64; ++i) T[i] = TModel[i] = float(i);
        ASSERT_EQ(okvsDetectTransient_SBR_32f(src, &thr, T.data()), okvOk);
        transientModel(src, &thrModel, TModel.data());
        ASSERT_TRUE(thr == thrModel && T == TModel && (trial != 500 || thr == 128000.0f)) << "trial " << trial;
    }
}

}  // namespace

// Hybrid analysis against the direct 13-tap form with the shared prototypes:
// y_q[n] = sum_k g[k] x[n + k] exp(-j 2 pi / Q (q + 1/2)(k - 6)) for the complex banks, the
// low band and its complement for the real one. The Q outputs of a slot sum to x[n + 6];
// positions Q..11 of every row keep their contents; refusals write nothing.
TEST(PsHybrid, MatchesDirectFormAndSumsToTheCentre) {
    const int kQ[5] = {2, 4, 8, 8, 12};
    const char* section[5] = {"p2_13_20", "p4_13_34", "p8_13_20", "p8_13_34", "p12_13_34"};
    std::ifstream f(std::string(OKV_SHARED_DIR) + "/tables/ps/hybrid_filters.txt");
    std::map<std::string, std::vector<double>> protos;
    std::string cur;
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("## section: ", 0) == 0) cur = line.substr(12);
        std::istringstream is(line);
        double n, g;
        if (!line.empty() && line[0] != '#' && !cur.empty() && is >> n >> g) protos[cur].push_back(g);
    }
    const std::vector<float> x = qmftest::noise(88, 1);
    for (int mode = 0; mode < 5; ++mode) {
        std::vector<float> y(32 * 24, -3.0f);
        ASSERT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), mode), okvOk);
        for (int n = 0; n < 32; ++n) {
            std::complex<double> sum = 0;
            for (int q = 0; q < kQ[mode]; ++q) {
                const std::complex<double> got(y[24 * n + 2 * q], y[24 * n + 2 * q + 1]);
                std::complex<double> ref = 0;
                for (int k = 0; k < 13 && protos.size() == 5; ++k) {
                    const double a = mode == 0 ? M_PI * q * (k - 6) : -2 * M_PI / kQ[mode] * (q + 0.5) * (k - 6);
                    ref += protos.at(section[mode])[k] * std::complex<double>(x[2 * (n + k)], x[2 * (n + k) + 1]) *
                           (mode == 0 ? std::cos(a) : std::polar(1.0, a));
                }
                sum += got;
                EXPECT_TRUE(protos.size() < 5 || std::abs(got - ref) <= 2e-6) << mode << " " << n << " " << q;
            }
            EXPECT_LE(std::abs(sum - std::complex<double>(x[2 * (n + 6)], x[2 * (n + 6) + 1])), 3e-6) << mode << " " << n;
            for (int i = 2 * kQ[mode]; i < 24; ++i) ASSERT_EQ(y[24 * n + i], -3.0f);
        }
    }
    std::vector<float> y(32 * 24, 9.0f);
    EXPECT_EQ(qmftest::firstNullNotRefused([](auto... p) { return okvsAnalysisFilter_PS_32fc_D2(p..., 9); }, x.data(), y.data()), -1);
    EXPECT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), 5), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), -1), okvErrBadArg);
    EXPECT_EQ(y, std::vector<float>(32 * 24, 9.0f));
    if (protos.size() < 5) GTEST_SKIP() << "shared hybrid prototypes absent: direct form not compared";
}
