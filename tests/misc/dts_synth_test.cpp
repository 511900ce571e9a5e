// DTS synthesis filterbank: closed form for both prototypes, tables, lifecycle, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/heap_growth.h"
#include "misc/dts_tables_data.h"
#include "sbr/qmf_test_util.h"

namespace {

const float kR[2][512] = {OKV_DTS_R_NONPERFECT_INIT, OKV_DTS_R_PERFECT_INIT};  // by filterType

struct Dts {  // a structure in caller memory, offset bytes past a 64-byte boundary, the rest marked
    std::vector<uint8_t> mem;
    void* spec;
    size_t lo, hi;
    explicit Dts(int offset) {
        int size = 0;
        EXPECT_EQ(okvsSynthesisFilterGetSize_DTS_32f(&size), okvOk);
        mem.assign(size_t(size) + 128, 0x5A);
        lo = size_t(64 + offset), hi = lo + size_t(size);
        spec = mem.data() + lo;
        EXPECT_EQ(okvsSynthesisFilterInit_DTS_32f(spec), okvOk);
    }
};

std::vector<float> run(void* spec, const std::vector<float>& x, int type) {
    std::vector<float> y(x.size());
    for (size_t m = 0; m < x.size() / 32; ++m) EXPECT_EQ(okvsSynthesisFilter_DTS_32f(&x[32 * m], &y[32 * m], type, spec), okvOk);
    return y;
}

// y[n] = sum over slots m and bands k of x_m[k] g_k[n - 32 m], with
// g_k[t] = 1/4 (-1)^floor((k+1)/2) h[t] cos(pi (2k + 1)(t + 16.5) / 64), h[t] = R[t] (-1)^floor(t/64).
// The tables are odd and match the shared text where it is present.
TEST(DtsSynth, MatchesClosedFormAndTables) {
    const int calls = 220;
    std::mt19937 rng(5);
    std::vector<float> x(32 * calls);
    for (float& v : x) v = std::uniform_real_distribution<float>(-1, 1)(rng);
    const char* files[2] = {"dts/fir_32bands_nonperfect.txt", "dts/fir_32bands_perfect.txt"};
    for (int type : {0, 1}) {
        const std::vector<double> text = qmftest::readTable(files[type]);
        ASSERT_TRUE(text.empty() || text.size() == 512u);
        std::vector<double> g(32 * 512);
        for (int t = 0; t < 512; ++t) {
            ASSERT_EQ(kR[type][511 - t], -kR[type][t]) << t;
            ASSERT_TRUE(text.empty() || kR[type][t] == float(text[t])) << t;
            for (int k = 0; k < 32; ++k)
                g[size_t(512 * k + t)] = 0.25 * (((k + 1) / 2) & 1 ? -1.0 : 1.0) * kR[type][t] *
                                         ((t / 64) & 1 ? -1.0 : 1.0) * std::cos(M_PI * (2 * k + 1) * (t + 16.5) / 64);
        }
        const Dts d(9 * type);  // at a 16-byte boundary and past one
        const std::vector<float> y = run(d.spec, x, type);
        double emax = 0, rmax = 0;
        for (int n = 0; n < 32 * calls; ++n) {
            double ref = 0;
            for (int m = std::max(0, (n - 511 + 31) / 32); m <= n / 32; ++m)
                for (int k = 0; k < 32; ++k) ref += x[size_t(32 * m + k)] * g[size_t(512 * k + n - 32 * m)];
            emax = std::max(emax, std::fabs(y[n] - ref)), rmax = std::max(rmax, std::fabs(ref));
        }
        EXPECT_LE(emax, 1e-5 * rmax) << type;
        for (size_t i = 0; i < d.mem.size(); i += i + 1 == d.lo ? d.hi - d.lo + 1 : 1) ASSERT_EQ(d.mem[i], 0x5A) << i;
    }
    if (qmftest::readTable(files[0]).empty()) GTEST_SKIP() << "shared DTS tables absent: their symmetry checked only";
}

// Allocated and caller-memory structures filter alike; refusals write nothing; Free zeroes the tag.
TEST(DtsSynth, LifecycleAndRefusals) {
    void* own = nullptr;
    ASSERT_EQ(okvsSynthesisFilterInitAlloc_DTS_32f(&own), okvOk);
    Dts d(9);
    std::vector<float> x(32 * 4), out(32, 7.0f);
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(std::sin(0.37 * double(i)));
    EXPECT_EQ(run(own, x, 1), run(d.spec, x, 1));
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(own), okvOk);
    EXPECT_LT(heaptest::growth([&] {
                  okvsSynthesisFilterInitAlloc_DTS_32f(&own);
                  okvsSynthesisFilterFree_DTS_32f(own);
              }),
              16384);
    const std::vector<uint8_t> before = d.mem;
    qmftest::Bank sbr(qmftest::AnaR);
    const std::pair<StatusCode, StatusCode> cases[] = {
        {okvsSynthesisFilterGetSize_DTS_32f(nullptr), okvErrNullPtr},
        {okvsSynthesisFilterInit_DTS_32f(nullptr), okvErrNullPtr},
        {okvsSynthesisFilterInitAlloc_DTS_32f(nullptr), okvErrNullPtr},
        {okvsSynthesisFilterFree_DTS_32f(nullptr), okvErrNullPtr},
        {okvsSynthesisFilter_DTS_32f(nullptr, out.data(), 7, nullptr), okvErrNullPtr},
        {okvsSynthesisFilter_DTS_32f(x.data(), nullptr, 1, d.spec), okvErrNullPtr},
        {okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 2, d.spec), okvErrBadArg},
        {okvsSynthesisFilter_DTS_32f(x.data(), out.data(), -1, d.spec), okvErrBadArg},
        {okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 1, sbr.spec), okvErrContextMatch},
    };
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(cases[k].first, cases[k].second) << "case " << k;
    EXPECT_TRUE(d.mem == before && out == std::vector<float>(32, 7.0f));
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(d.spec), okvOk);
    EXPECT_EQ(okvsSynthesisFilterFree_DTS_32f(d.spec), okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 0, d.spec), okvErrContextMatch);
}

}  // namespace
