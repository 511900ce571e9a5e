// SBR prediction coefficients: one model of the algorithm, in float for the float forms (to the
// bit) and in double for the fixed ones; refusals.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <complex>

#include "okvac.h"
#include "okvac_bodies.h"
#include "qmf_test_util.h"
#include "sbr/fixed_math.h"

namespace {

using cf = std::complex<float>;
using cd = std::complex<double>;

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
