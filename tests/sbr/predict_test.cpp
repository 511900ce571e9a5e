// SBR prediction coefficients: the float forms against a slot-order model, the fixed forms
// against the float algorithm in double.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <complex>
#include <random>
#include <vector>

#include "okvac.h"
#include "okvac_bodies.h"
#include "sbr/fixed_math.h"

namespace {

using cf = std::complex<float>;
using cd = std::complex<double>;

// Rows of complex samples, slot-major, with the views each form takes.
struct Matrix {
    int rows, bands;
    std::vector<std::vector<Okv32fc>> c;
    std::vector<std::vector<float>> re, im;
    std::vector<const Okv32fc*> pc;
    std::vector<const float*> pre, pim;
    Matrix(int rows_, int bands_) : rows(rows_), bands(bands_), c(rows_, std::vector<Okv32fc>(bands_)) {}
    cf at(int m, int b) const { return {c[m][b].re, c[m][b].im}; }
    void views() {
        re.assign(rows, std::vector<float>(bands));
        im = re;
        for (int m = 0; m < rows; ++m)
            for (int b = 0; b < bands; ++b) re[m][b] = c[m][b].re, im[m][b] = c[m][b].im;
        pc.clear(), pre.clear(), pim.clear();
        for (int m = 0; m < rows; ++m) pc.push_back(c[m].data()), pre.push_back(re[m].data()), pim.push_back(im[m].data());
    }
};

// The float algorithm for one band: single-precision sums in slot order, the boundary rules
// of the four-band path (fourBand) or of the one-band tail.
void floatModel(const Matrix& x, int b, int len, bool real, bool fourBand, cf* a0, cf* a1) {
    float p11 = 0, p22 = 0;
    cf p01 = 0, p12 = 0, p02 = 0;
    auto mulConj = [](cf u, cf v) { return cf(u.real() * v.real() + u.imag() * v.imag(), u.imag() * v.real() - u.real() * v.imag()); };
    auto add = [](cf u, cf v) { return cf(u.real() + v.real(), u.imag() + v.imag()); };
    for (int m = 0; m < len; ++m) {
        const cf s = x.at(m, b), t = x.at(m + 1, b);
        p22 += s.real() * s.real() + s.imag() * s.imag();
        p11 += t.real() * t.real() + t.imag() * t.imag();
        p12 = add(p12, mulConj(t, s));
        p01 = add(p01, mulConj(x.at(m + 2, b), t));
        p02 = add(p02, mulConj(x.at(m + 2, b), s));
    }
    const float c = 1.0f - 0x1p-20f;
    const float d = real ? p22 * p11 - c * (p12.real() * p12.real())
                         : p22 * p11 - c * (p12.real() * p12.real() + p12.imag() * p12.imag());
    cf al1 = 0, al0 = 0;
    if (fourBand ? d != 0 : d * d > 0)
        al1 = real ? cf((p01.real() * p12.real() - p02.real() * p11) / d)
                   : cf((p01.real() * p12.real() - p01.imag() * p12.imag() - p02.real() * p11) / d,
                        (p01.real() * p12.imag() + p01.imag() * p12.real() - p02.imag() * p11) / d);
    if (fourBand ? p11 != 0 : p11 > 0) {
        const cf t = mulConj(al1, p12);
        al0 = real ? cf(-((p01.real() + al1.real() * p12.real()) / p11))
                   : cf(-((p01.real() + t.real()) / p11), -((p01.imag() + t.imag()) / p11));
    }
    const float m0 = al0.real() * al0.real() + al0.imag() * al0.imag();
    const float m1 = al1.real() * al1.real() + al1.imag() * al1.imag();
    if (fourBand ? (m0 > 16 || m1 > 16) : (m0 >= 16 || m1 >= 16)) al0 = al1 = 0;
    *a0 = al0, *a1 = al1;
}

// Runs the three float forms on x; alpha per band for the real form and both complex forms.
struct FloatOut {
    std::vector<float> r0, r1;
    std::vector<cf> s0, s1, i0, i1;
};
FloatOut runFloat(Matrix& x, int k, int len) {
    x.views();
    FloatOut o;
    std::vector<float> a(k), b(k), c(k), d(k);
    std::vector<Okv32fc> e(k), f(k);
    EXPECT_EQ(okvsPredictCoef_SBR_R_32f_D2L(x.pre.data(), a.data(), b.data(), k, len), okvOk);
    o.r0 = a, o.r1 = b;
    EXPECT_EQ(okvsPredictCoef_SBR_C_32f_D2L(x.pre.data(), x.pim.data(), a.data(), b.data(), c.data(), d.data(), k, len), okvOk);
    EXPECT_EQ(okvsPredictCoef_SBR_C_32fc_D2L(x.pc.data(), e.data(), f.data(), k, len), okvOk);
    for (int i = 0; i < k; ++i) {
        o.s0.emplace_back(a[i], b[i]), o.s1.emplace_back(c[i], d[i]);
        o.i0.emplace_back(e[i].re, e[i].im), o.i1.emplace_back(f[i].re, f[i].im);
    }
    return o;
}

bool same(float u, float v) { return std::memcmp(&u, &v, 4) == 0; }
bool same(cf u, cf v) { return same(u.real(), v.real()) && same(u.imag(), v.imag()); }

TEST(SbrPredict, FloatFormsMatchTheSlotOrderModelBitForBit) {
    std::mt19937 g(7);
    std::normal_distribution<float> n;
    for (int k : {1, 3, 4, 5, 7, 8, 13, 32, 37})
        for (int len : {1, 2, 17, 38}) {
            Matrix x(len + 2, k);
            const float scale = std::ldexp(1.0f, static_cast<int>(g() % 60) - 30);
            for (auto& row : x.c)
                for (auto& v : row) v = {n(g) * scale, n(g) * scale};
            const FloatOut o = runFloat(x, k, len);
            for (int b = 0; b < k; ++b) {
                const bool four = k > 3 && b < k / 4 * 4;
                Matrix xr = x;
                for (auto& row : xr.c)
                    for (auto& v : row) v.im = 0;
                cf r0, r1, c0, c1;
                floatModel(xr, b, len, true, four, &r0, &r1);
                floatModel(x, b, len, false, four, &c0, &c1);
                ASSERT_TRUE(same(cf(o.r0[b]), r0) && same(cf(o.r1[b]), r1)) << "real k=" << k << " len=" << len << " b=" << b;
                ASSERT_TRUE(same(o.s0[b], c0) && same(o.s1[b], c1)) << "split k=" << k << " len=" << len << " b=" << b;
                ASSERT_TRUE(same(o.i0[b], c0) && same(o.i1[b], c1)) << "interleaved k=" << k << " b=" << b;
            }
        }
}

TEST(SbrPredict, FourBandAndTailPathsKeepTheirOwnBoundaryRules) {
    // Band 0 goes through the four-band path, band 4 through the tail, with equal samples.
    auto both = [](const std::vector<float>& col, int len) {
        Matrix x(len + 2, 5);
        for (int m = 0; m < len + 2; ++m)
            for (int b = 0; b < 5; ++b) x.c[m][b] = {col[m], 0};
        return runFloat(x, 5, len);
    };
    // phi12 = 0 makes d = 0 and alpha0 = -x2/x1 = -4: kept at |alpha|^2 = 16 by the four-band path only.
    FloatOut o = both({0, 1, 4}, 1);
    EXPECT_EQ(o.r0[0], -4.0f);
    EXPECT_EQ(o.r0[4], 0.0f);
    // Samples around 1e-10: d is a normal float whose square underflows.
    std::mt19937 g(3);
    std::normal_distribution<float> n;
    std::vector<float> tiny(40);
    for (auto& v : tiny) v = 1e-10f * n(g);
    o = both(tiny, 38);
    EXPECT_NE(o.r1[0], 0.0f);
    EXPECT_EQ(o.r1[4], 0.0f);
}

TEST(SbrPredict, FloatArgumentChecks) {
    float r[40] = {}, a[2] = {5, 5}, b[2] = {5, 5};
    const float* rows[42];
    for (auto& p : rows) p = r;
    EXPECT_EQ(okvsPredictCoef_SBR_R_32f_D2L(nullptr, a, b, 2, 4), okvErrNullPtr);
    EXPECT_EQ(okvsPredictCoef_SBR_C_32f_D2L(rows, rows, a, b, a, nullptr, 2, 4), okvErrNullPtr);
    EXPECT_EQ(okvsPredictCoef_SBR_C_32fc_D2L(nullptr, nullptr, nullptr, 2, 0), okvErrNullPtr);
    EXPECT_EQ(okvsPredictCoef_SBR_R_32f_D2L(rows, a, b, 2, 0), okvOk);
    EXPECT_EQ(okvsPredictCoef_SBR_R_32f_D2L(rows, a, b, -1, 4), okvOk);
    EXPECT_EQ(a[0] + a[1] + b[0] + b[1], 20.0f);  // nothing written
}

// ---- Fixed point.

TEST(SbrPredictFixed, ReciprocalIsTheNewtonIterationAndAccurate) {
    auto model = [](int32_t v, int* s) {
        *s = __builtin_clz(uint32_t(v)) - 1;
        const int64_t y = int32_t(uint32_t(v) << *s);
        int64_t r = (((0x20000000 - ((y * 0x15555555) >> 32)) * 0x15555555) >> 28) & ~int64_t{15};
        for (int i = 0; i < 4; ++i) r = int32_t(((r * (0x20000000 - ((y * r) >> 32))) >> 32) * 16);
        return int32_t(r);
    };
    std::mt19937 g(11);
    for (int i = 0; i < 200000; ++i) {
        const int32_t v = i < 31 * 3 ? std::max(1, (1 << (i / 3)) + i % 3 - 1) : int32_t(g() >> (g() % 31 + 1)) | 1;
        int s, ms;
        const int32_t r = okv_u8::sbrfx::invWrap(v, &s);
        ASSERT_EQ(r, model(v, &ms)) << v;
        ASSERT_EQ(s, ms);
        const double y = double(v) * std::ldexp(1.0, s);
        // Four steps from the first estimate leave at most 2.4e-6 (near y = 2^30).
        ASSERT_NEAR(double(r) * y / 0x1p60, 1.0, 2.4e-6) << v;
    }
}

// The float algorithm in double on the samples as given.
struct DoubleCoefs {
    cd a0, a1;
    double refl, cond;
};
DoubleCoefs doubleModel(const std::vector<cd>& x, int len) {
    double p11 = 0, p22 = 0;
    cd p01 = 0, p12 = 0, p02 = 0;
    for (int m = 0; m < len; ++m) {
        p22 += std::norm(x[m]), p11 += std::norm(x[m + 1]);
        p12 += x[m + 1] * std::conj(x[m]), p01 += x[m + 2] * std::conj(x[m + 1]), p02 += x[m + 2] * std::conj(x[m]);
    }
    const double d = p22 * p11 - (1 - 0x1p-20) * std::norm(p12);
    DoubleCoefs r{};
    r.cond = p11 > 0 && p22 > 0 ? d / (p11 * p22) : 0;
    r.a1 = d > 0 ? (p01 * p12 - p02 * p11) / d : 0;
    r.a0 = p11 > 0 ? -(p01 + r.a1 * std::conj(p12)) / p11 : 0;
    if (std::norm(r.a0) >= 16 || std::norm(r.a1) >= 16) r.a0 = r.a1 = 0;
    r.refl = p11 > 0 ? std::clamp(-p01.real() / p11, -1.0, 1.0) : 0;
    return r;
}

TEST(SbrPredictFixed, BothFormsFollowTheFloatAlgorithm) {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> u(-1, 1);
    const double tol = 0x1p-16;
    int compared = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int len = 1 + trial % 38;
        const double amp = std::ldexp(1.0, 8 + trial % 23);  // up to about full scale
        // Noise plus a random two-pole component: conditioning from poor to good.
        const cd p = std::polar(0.5 + 0.5 * std::abs(u(g)), 3.0 * u(g));
        std::vector<cd> x(40);
        for (int m = 0; m < len + 2; ++m) x[m] = amp * (0.3 * cd(u(g), u(g)) + 0.7 * std::pow(p, m));
        std::vector<Okv32sc> c(40);
        std::vector<Okv32s> r(40);
        std::vector<const Okv32sc*> pc;
        std::vector<const Okv32s*> pr;
        for (int m = 0; m < 40; ++m) {
            c[m] = {Okv32s(x[m].real()), Okv32s(x[m].imag())}, r[m] = c[m].re;
            x[m] = cd(c[m].re, c[m].im);
            pc.push_back(&c[m]), pr.push_back(&r[m]);
        }
        std::vector<cd> xr(40);
        for (int m = 0; m < 40; ++m) xr[m] = x[m].real();
        const DoubleCoefs dc = doubleModel(x, len), dr = doubleModel(xr, len);
        Okv32sc a0, a1;
        Okv32s l0, l1, refl, refl0, z0 = 7, z1 = 7;
        ASSERT_EQ(okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), &a0, &a1, 0, len), okvOk);
        ASSERT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &l0, &l1, &refl, 0, len, 1), okvOk);
        ASSERT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &z0, &z1, &refl0, 0, len, 0), okvOk);
        EXPECT_EQ(z0 | z1, 0);  // zero mode: only the reflection coefficient
        EXPECT_NEAR(refl / 0x1p29, dr.refl, tol);
        EXPECT_NEAR(refl0 / 0x1p29, dr.refl, tol);
        // Well-conditioned and off the reset limit: the same coefficients.
        auto check = [&](const DoubleCoefs& want, cd g0, cd g1, const char* form) {
            const bool nearLimit = std::abs(std::sqrt(std::max(std::norm(want.a0), std::norm(want.a1))) - 4) < 1e-3;
            if (want.cond < 1e-3 || nearLimit) return;
            ++compared;
            EXPECT_LT(std::abs(g0 - want.a0), tol) << form << " trial " << trial;
            EXPECT_LT(std::abs(g1 - want.a1), tol) << form << " trial " << trial;
        };
        check(dc, cd(a0.re, a0.im) / 0x1p29, cd(a1.re, a1.im) / 0x1p29, "hq");
        check(dr, cd(l0 / 0x1p29), cd(l1 / 0x1p29), "lp");
    }
    EXPECT_GT(compared, 2000);
}

TEST(SbrPredictFixed, ArgumentChecksComeFirstThenZeroOutputs) {
    std::vector<Okv32s> r(40, 1 << 20);
    std::vector<const Okv32s*> pr;
    for (auto& v : r) pr.push_back(&v);
    std::vector<Okv32sc> c(40, {1 << 20, -(1 << 20)});
    std::vector<const Okv32sc*> pc;
    for (auto& v : c) pc.push_back(&v);
    Okv32s a = 9, b = 9, k = 9;
    Okv32sc ca{9, 9}, cb{9, 9};
    struct Case {
        StatusCode want, got;
    };
    const Case cases[] = {
        {okvErrNullPtr, okvsPredictOneCoef_SBRLP_32s_D2L(nullptr, &a, &b, &k, -1, 4, 1)},
        {okvErrNullPtr, okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &a, &b, nullptr, 0, 4, 1)},
        {okvErrSize, okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &a, &b, &k, -1, 4, 1)},
        {okvErrSize, okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &a, &b, &k, 0, 39, 1)},
        {okvErrNullPtr, okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), nullptr, &cb, -1, 4)},
        {okvErrSize, okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), &ca, &cb, 0, -1)},
        {okvErrSize, okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), &ca, &cb, 0, 39)},
    };
    for (const Case& t : cases) EXPECT_EQ(t.got, t.want);
    EXPECT_EQ(a + b + k + ca.re + ca.im + cb.re + cb.im, 63);  // refused calls wrote nothing
    // No slots or an all-zero band: zero outputs, written.
    EXPECT_EQ(okvsPredictOneCoef_SBRLP_32s_D2L(pr.data(), &a, &b, &k, 0, 0, 1), okvOk);
    EXPECT_EQ(okvsPredictOneCoef_SBRHQ_32sc_D2L(pc.data(), &ca, &cb, 0, 0), okvOk);
    EXPECT_EQ(a | b | k | ca.re | ca.im | cb.re | cb.im, 0);
}

}  // namespace
