// SBR encoder (analysis bank, tonality-to-noise ratio, transient detector) against models; prediction
// coefficients against one model of the algorithm, in float for the float forms (to the bit) and in double
// for the fixed ones; the parametric-stereo hybrid analysis against the direct 13-tap form.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <complex>
#include <map>
#include <random>
#include <sstream>

#include "okvac.h"
#include "okvac_bodies.h"
#include "qmf_test_util.h"
#include "sbr/fixed_math.h"

namespace {

using cf = std::complex<float>;
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

// One band of rows x[0 .. len + 1]: sums in slot order, every product and sum rounded in F, the
// boundary rules of the four-band path or of the one-band one. Gives alpha0, alpha1, the
// reflection coefficient and the conditioning d / (phi11 phi22).
template <class F>
std::array<std::complex<F>, 4> model(const std::vector<std::complex<F>>& x, int len, bool fourBand) {
    using C = std::complex<F>;
    auto mulConj = [](C u, C v) {
        return C(u.real() * v.real() + u.imag() * v.imag(), u.imag() * v.real() - u.real() * v.imag());
    };
    auto nrm = [](C u) { return u.real() * u.real() + u.imag() * u.imag(); };
    F p11 = 0, p22 = 0;
    C p01 = 0, p12 = 0, p02 = 0, a1 = 0, a0 = 0;
    for (int m = 0; m < len; ++m)
        p22 += nrm(x[m]), p11 += nrm(x[m + 1]), p12 += mulConj(x[m + 1], x[m]), p01 += mulConj(x[m + 2], x[m + 1]),
            p02 += mulConj(x[m + 2], x[m]);
    const F d = p22 * p11 - (F(1) - F(0x1p-20)) * nrm(p12);
    if (fourBand ? d != 0 : d * d > 0)
        a1 = C((p01.real() * p12.real() - p01.imag() * p12.imag() - p02.real() * p11) / d,
               (p01.real() * p12.imag() + p01.imag() * p12.real() - p02.imag() * p11) / d);
    const C t = mulConj(a1, p12);
    if (fourBand ? p11 != 0 : p11 > 0) a0 = C(-((p01.real() + t.real()) / p11), -((p01.imag() + t.imag()) / p11));
    if (fourBand ? (nrm(a0) > 16 || nrm(a1) > 16) : (nrm(a0) >= 16 || nrm(a1) >= 16)) a0 = a1 = 0;
    return {a0, a1, p11 > 0 ? std::clamp(-p01.real() / p11, F(-1), F(1)) : 0, p11 > 0 && p22 > 0 ? d / (p11 * p22) : 0};
}

uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }
bool same(cf u, float re, float im) { return bits(u.real()) == bits(re) && bits(u.imag()) == bits(im); }

// Random bands at scales 2^-30..2^30 across the four-band split; |alpha0|^2 = 16 exactly (kept
// by the four-band path only, four bands taking it), a zero band, and samples near 1e-10 (d
// normal, its square underflowing).
TEST(SbrPredict, FloatFormsMatchTheSlotOrderModelBitForBit) {
    std::mt19937 g(7);
    std::normal_distribution<float> n;
    std::vector<std::array<int, 3>> cases = {{6, 1, 1}, {4, 1, 1}, {5, 38, 2}};  // bands, slots, kind: 0 random, 1 boundary, 2 tiny
    for (int k : {1, 3, 4, 5, 7, 8, 13, 32, 37})
        for (int len : {1, 2, 17, 38}) cases.push_back({k, len, 0});
    for (const auto [k, len, kind] : cases) {
        std::vector<std::vector<Okv32fc>> x(len + 2, std::vector<Okv32fc>(k));
        std::vector<std::vector<float>> re(len + 2, std::vector<float>(k)), im = re;
        std::vector<const Okv32fc*> pc;
        std::vector<const float*> pre, pim;
        const float scale = std::ldexp(1.0f, int(g() % 60) - 30), col[3] = {0, 1, 4};
        for (int m = 0; m < len + 2; ++m) {
            for (int b = 0; b < k; ++b) {
                x[m][b] = kind == 1 ? Okv32fc{b == 5 ? 0 : col[m], 0} : kind == 2 ? Okv32fc{b ? x[m][0].re : 1e-10f * n(g), 0}
                                                                     : Okv32fc{n(g) * scale, n(g) * scale};
                re[m][b] = x[m][b].re, im[m][b] = x[m][b].im;
            }
            pc.push_back(x[m].data()), pre.push_back(re[m].data()), pim.push_back(im[m].data());
        }
        std::vector<float> r0(k), r1(k), s0(k), s1(k), s2(k), s3(k);
        std::vector<Okv32fc> i0(k), i1(k);
        ASSERT_EQ(okvsPredictCoef_SBR_R_32f_D2L(pre.data(), r0.data(), r1.data(), k, len), okvOk);
        ASSERT_EQ(okvsPredictCoef_SBR_C_32f_D2L(pre.data(), pim.data(), &s0[0], &s1[0], &s2[0], &s3[0], k, len), okvOk);
        ASSERT_EQ(okvsPredictCoef_SBR_C_32fc_D2L(pc.data(), i0.data(), i1.data(), k, len), okvOk);
        for (int b = 0; b < k; ++b) {
            std::vector<cf> xc, xr;
            for (int m = 0; m < len + 2; ++m) xc.push_back(cf(x[m][b].re, x[m][b].im)), xr.push_back(x[m][b].re);
            const auto r = model(xr, len, k > 3 && b < k / 4 * 4), c = model(xc, len, k > 3 && b < k / 4 * 4);
            ASSERT_TRUE(bits(r[0].real()) == bits(r0[b]) && bits(r[1].real()) == bits(r1[b]) && same(c[0], s0[b], s1[b]) &&
                        same(c[1], s2[b], s3[b]) && same(c[0], i0[b].re, i0[b].im) && same(c[1], i1[b].re, i1[b].im))
                << k << " " << len << " " << b;
        }
        EXPECT_TRUE(kind != 1 || (r0[0] == -4.0f && r0[3] == -4.0f && (k < 5 || r0[4] == 0.0f)));
        EXPECT_TRUE(kind != 2 || (r1[0] != 0.0f && r1[4] == 0.0f));
    }
}

// Bit for bit against the Newton iteration it runs, over powers of two and their neighbours
// and random values; four steps from the first estimate leave at most 2.4e-6.
TEST(SbrPredictFixed, ReciprocalIsTheNewtonIterationAndAccurate) {
    std::mt19937 g(11);
    for (int i = 0; i < 200000; ++i) {
        const int32_t v = i < 31 * 3 ? std::max(1, (1 << (i / 3)) + i % 3 - 1) : int32_t(g() >> (g() % 31 + 1)) | 1;
        const int ms = __builtin_clz(uint32_t(v)) - 1;
        const int64_t y = int32_t(uint32_t(v) << ms);
        int64_t want = (((0x20000000 - ((y * 0x15555555) >> 32)) * 0x15555555) >> 28) & ~int64_t{15};
        for (int j = 0; j < 4; ++j) want = int32_t(((want * (0x20000000 - ((y * want) >> 32))) >> 32) * 16);
        int s;
        const int32_t r = okv_u8::sbrfx::invWrap(v, &s);
        ASSERT_TRUE(r == want && s == ms) << v;
        ASSERT_NEAR(double(r) * double(v) * std::ldexp(1.0, s) / 0x1p60, 1.0, 2.4e-6) << v;
    }
}

// Noise plus a random two-pole component, up to full scale: conditioning from poor to good.
// Well-conditioned bands off the reset limit give the double coefficients within 2^-18 (2^-12
// with the last slot at the limit, where the headroom shift costs the others three bits).
TEST(SbrPredictFixed, BothFormsFollowTheModel) {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> u(-1, 1);
    int compared = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int len = 1 + trial % 38;
        const bool loud = trial % 4 == 3;  // the last slot at the negative limit, above all others
        const double amp = std::ldexp(1.0, loud ? 22 + trial % 7 : 8 + trial % 23), tol = loud ? 0x1p-12 : 0x1p-18;
        const cd p = std::polar(0.5 + 0.5 * std::abs(u(g)), 3.0 * u(g));
        std::vector<cd> x(40), xr(40);
        std::vector<Okv32sc> c(40);
        std::vector<Okv32s> r(40);
        std::vector<const Okv32sc*> pc;
        std::vector<const Okv32s*> pr;
        for (int m = 0; m < 40; ++m) {
            const cd v = m < len + 2 ? amp * (0.3 * cd(u(g), u(g)) + 0.7 * std::pow(p, m)) : 0;
            c[m] = loud && m == len ? Okv32sc{INT32_MIN, INT32_MIN} : Okv32sc{Okv32s(v.real()), Okv32s(v.imag())};
            r[m] = c[m].re, x[m] = cd(c[m].re, c[m].im), xr[m] = c[m].re;
            pc.push_back(&c[m]), pr.push_back(&r[m]);
        }
        const auto dc = model(x, len, false), dr = model(xr, len, false);
        Okv32sc a0, a1;
        Okv32s l0, l1, refl, refl0, z0 = 7, z1 = 7;
        ASSERT_EQ(okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), &a0, &a1, 0, len), okvOk);
        ASSERT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &l0, &l1, &refl, 0, len, 1), okvOk);
        ASSERT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &z0, &z1, &refl0, 0, len, 0), okvOk);
        EXPECT_EQ(z0 | z1, 0);  // zero mode: only the reflection coefficient
        EXPECT_TRUE(std::abs(refl / 0x1p29 - dr[2].real()) <= tol && std::abs(refl0 / 0x1p29 - dr[2].real()) <= tol) << trial;
        for (const auto& [want, g0, g1] : {std::tuple{dc, cd(a0.re, a0.im), cd(a1.re, a1.im)}, {dr, cd(l0), cd(l1)}}) {
            const double peak = std::sqrt(std::max(std::norm(want[0]), std::norm(want[1])));
            if (want[3].real() < 1e-3 || std::abs(peak - 4) < 1e-3) continue;
            ++compared;
            EXPECT_TRUE(std::abs(g0 / 0x1p29 - want[0]) < tol && std::abs(g1 / 0x1p29 - want[1]) < tol) << "trial " << trial;
        }
    }
    EXPECT_GT(compared, 2000);
}

// Null pointers and out-of-range counts refused, writing nothing; no slots, or a band past the
// reset limit, give zero outputs.
TEST(SbrPredict, RefusalsThenZeroOutputs) {
    Okv32s r[40], a = 9, b = 9, k = 9;
    Okv32sc c[40], ca{9, 9}, cb{9, 9};
    const Okv32s* pr[40];
    const Okv32sc* pc[40];
    for (int m = 0; m < 40; ++m) r[m] = 1 << 20, c[m] = {1 << 20, -(1 << 20)}, pr[m] = &r[m], pc[m] = &c[m];
    float fr[40] = {}, fa[2] = {5, 5}, fb[2] = {5, 5};
    const Okv32fc zero[40] = {};
    const float* rows[42];
    const Okv32fc* crows[42];
    std::fill_n(rows, 42, fr), std::fill_n(crows, 42, zero);
    Okv32fc* cfa = reinterpret_cast<Okv32fc*>(fa);
    using qmftest::firstNullNotRefused;
    EXPECT_EQ(firstNullNotRefused([](auto... p) { return okvsPredictCoef_SBR_R_32f_D2L(p..., 2, 4); }, rows, fa, fb), -1);
    auto complexSplit = [](auto... p) { return okvsPredictCoef_SBR_C_32f_D2L(p..., 2, 4); };
    EXPECT_EQ(firstNullNotRefused(complexSplit, rows, rows, fa, fb, fa, fb), -1);
    EXPECT_EQ(firstNullNotRefused([](auto... p) { return okvsPredictCoef_SBR_C_32fc_D2L(p..., 1, 4); }, crows, cfa, cfa), -1);
    EXPECT_EQ(firstNullNotRefused([](auto... p) { return okvsPredictOneCoef_SBRLP_32s_D2L(p..., 0, 4, 1); }, pr, &a, &b, &k), -1);
    EXPECT_EQ(firstNullNotRefused([](auto... p) { return okvsPredictOneCoef_SBRHQ_32sc_D2L(p..., 0, 4); }, pc, &ca, &cb), -1);
    const std::pair<StatusCode, StatusCode> cases[] = {
        {okvsPredictCoef_SBR_R_32f_D2L(nullptr, fa, fb, 2, 0), okvErrNullPtr},
        {okvsPredictCoef_SBR_R_32f_D2L(rows, fa, fb, 2, 0), okvOk},
        {okvsPredictCoef_SBR_R_32f_D2L(rows, fa, fb, -1, 4), okvOk},
        {okvsPredictOneCoef_SBRLP_32s_D2L(nullptr, &a, &b, &k, -1, 4, 1), okvErrNullPtr},
        {okvsPredictOneCoef_SBRLP_32s_D2L(pr, &a, &b, &k, -1, 4, 1), okvErrSize},
        {okvsPredictOneCoef_SBRLP_32s_D2L(pr, &a, &b, &k, 0, 39, 1), okvErrSize},
        {okvsPredictOneCoef_SBRHQ_32sc_D2L(pc, nullptr, &cb, -1, 4), okvErrNullPtr},
        {okvsPredictOneCoef_SBRHQ_32sc_D2L(pc, &ca, &cb, 0, -1), okvErrSize},
        {okvsPredictOneCoef_SBRHQ_32sc_D2L(pc, &ca, &cb, 0, 39), okvErrSize},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    EXPECT_EQ(fa[0] + fa[1] + fb[0] + fb[1] + a + b + k + ca.re + ca.im + cb.re + cb.im, 83);
    EXPECT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr, &a, &b, &k, 0, 0, 1), okvOk);
    EXPECT_EQ(okvsPredictOneCoef_SBRHQ_32sc_D2L(pc, &ca, &cb, 0, 0), okvOk);
    EXPECT_EQ(a | b | k | ca.re | ca.im | cb.re | cb.im, 0);
    for (int m = 0; m < 3; ++m) r[m] = (1 << 20) * (m == 2 ? 25 : 4 * m + 1), c[m] = {r[m], 0};  // 1, 5, 25
    EXPECT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr, &a, &b, &k, 0, 1, 1), okvOk);
    EXPECT_EQ(okvsPredictOneCoef_SBRHQ_32sc_D2L(pc, &ca, &cb, 0, 1), okvOk);
    EXPECT_EQ(a | b | ca.re | ca.im | cb.re | cb.im, 0);  // alpha0 = -5, past the reset limit
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
