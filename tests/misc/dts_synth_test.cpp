// DTS synthesis filterbank: the closed-form filterbank for both prototypes, the prototype
// tables, and the lifecycle and argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "misc/dts_tables_data.h"
#include "sbr/qmf_test_util.h"

namespace {

const float kR[2][512] = {OKV_DTS_R_NONPERFECT_INIT, OKV_DTS_R_PERFECT_INIT};  // by filterType

// g_k[t] = 1/4 (-1)^floor((k+1)/2) h[t] cos(pi (2k + 1)(t + 16.5) / 64), h[t] = R[t] (-1)^floor(t/64).
std::vector<double> synthesisTaps(int type) {
    std::vector<double> g(32 * 512);
    for (int k = 0; k < 32; ++k)
        for (int t = 0; t < 512; ++t) {
            const double h = kR[type][t] * ((t / 64) & 1 ? -1.0 : 1.0);
            g[size_t(512) * k + t] = 0.25 * (((k + 1) / 2) & 1 ? -1.0 : 1.0) * h *
                                     std::cos(M_PI * (2 * k + 1) * (t + 16.5) / 64);
        }
    return g;
}

struct Dts {
    std::vector<uint8_t> mem;
    void* spec;
    explicit Dts(int offset = 0) {
        int size = 0;
        okvsSynthesisFilterGetSize_DTS_32f(&size);
        mem.resize(size_t(size) + offset);
        spec = mem.data() + offset;
        okvsSynthesisFilterInit_DTS_32f(spec);
    }
    // Runs the slots of x (32 per call) with one table.
    std::vector<float> run(const std::vector<float>& x, int type) {
        std::vector<float> y(x.size());
        for (size_t m = 0; m < x.size() / 32; ++m)
            EXPECT_EQ(okvsSynthesisFilter_DTS_32f(&x[32 * m], &y[32 * m], type, spec), okvOk);
        return y;
    }
};

TEST(DtsSynth, MatchesClosedForm) {
    const int calls = 220;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> x(32 * calls);
    for (float& v : x) v = u(rng);
    for (int type : {0, 1}) {
        const std::vector<double> g = synthesisTaps(type);
        Dts d(3);
        const std::vector<float> y = d.run(x, type);
        double e2 = 0, r2 = 0, emax = 0, rmax = 0;
        for (int n = 0; n < 32 * calls; ++n) {
            double ref = 0;
            for (int m = std::max(0, (n - 511 + 31) / 32); m <= n / 32; ++m)
                for (int k = 0; k < 32; ++k) ref += x[size_t(32) * m + k] * g[size_t(512) * k + n - 32 * m];
            e2 += (y[n] - ref) * (y[n] - ref);
            r2 += ref * ref;
            emax = std::max(emax, std::fabs(y[n] - ref));
            rmax = std::max(rmax, std::fabs(ref));
        }
        EXPECT_LE(std::sqrt(e2), 3e-6 * std::sqrt(r2)) << type;
        EXPECT_LE(emax, 1e-5 * rmax) << type;
    }
}

TEST(DtsSynth, TablesMatchSharedText) {
    const char* files[2] = {"dts/fir_32bands_nonperfect.txt", "dts/fir_32bands_perfect.txt"};
    for (int t : {0, 1}) {
        double sum = 0;
        for (int n = 0; n < 512; ++n) {
            ASSERT_EQ(kR[t][511 - n], -kR[t][n]) << n;
            sum += kR[t][n];
        }
        EXPECT_NEAR(sum, 0.0, 1e-15);
        const std::vector<double> r = qmftest::readTable(files[t]);
        if (r.empty()) continue;
        ASSERT_EQ(r.size(), 512u);
        for (int n = 0; n < 512; ++n) ASSERT_EQ(kR[t][n], float(r[n])) << n;
    }
}

// Every status in its order; a refused call writes nothing and leaves the state as it was.
TEST(DtsSynth, LifecycleAndChecks) {
    int size = 0;
    EXPECT_EQ(okvsSynthesisFilterGetSize_DTS_32f(nullptr), okvErrNullPtr);
    ASSERT_EQ(okvsSynthesisFilterGetSize_DTS_32f(&size), okvOk);
    EXPECT_GE(size, 2395 + 208);
    for (int off = 0; off < 64; ++off) {
        std::vector<uint8_t> mem(size_t(size) + 128, 0x5A);
        ASSERT_EQ(okvsSynthesisFilterInit_DTS_32f(mem.data() + 64 + off), okvOk);
        float x[32] = {1.0f}, y[32];
        ASSERT_EQ(okvsSynthesisFilter_DTS_32f(x, y, 1, mem.data() + 64 + off), okvOk);
        for (int g = 0; g < 64 + off; ++g) ASSERT_EQ(mem[g], 0x5A) << off;
        for (size_t g = size_t(64 + off + size); g < mem.size(); ++g) ASSERT_EQ(mem[g], 0x5A) << off;
    }
    EXPECT_EQ(okvsSynthesisFilterInit_DTS_32f(nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsSynthesisFilterInitAlloc_DTS_32f(nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(nullptr), okvErrNullPtr);

    // An allocated and a caller-built structure run the same filter.
    void* own = nullptr;
    ASSERT_EQ(okvsSynthesisFilterInitAlloc_DTS_32f(&own), okvOk);
    Dts d(9);
    std::vector<float> x(32 * 4);
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(std::sin(0.37 * i));
    const std::vector<float> ref = d.run(x, 1);
    std::vector<float> y(x.size());
    for (int m = 0; m < 4; ++m) ASSERT_EQ(okvsSynthesisFilter_DTS_32f(&x[32 * m], &y[32 * m], 1, own), okvOk);
    EXPECT_EQ(y, ref);
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(own), okvOk);

    // Refusals, in order: pointers, filter type, tag.
    const std::vector<uint8_t> before = d.mem;
    std::vector<float> out(32, 7.0f);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(nullptr, out.data(), 7, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), nullptr, 1, d.spec), okvErrNullPtr);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 2, d.spec), okvErrBadArg);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), out.data(), -1, d.spec), okvErrBadArg);
    qmftest::Bank sbr(qmftest::AnaR);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 1, sbr.spec), okvErrContextMatch);
    EXPECT_EQ(d.mem, before);
    EXPECT_EQ(out, std::vector<float>(32, 7.0f));

    // Free zeroes the tag: the structure is refused afterwards.
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(d.spec), okvOk);
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(d.spec), okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 0, d.spec), okvErrContextMatch);
}

}  // namespace
