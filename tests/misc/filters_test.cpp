// DTS synthesis filterbank (closed form for both prototypes, tables, lifecycle, refusals) and the block FIR
// filter (state layout, the sum over past blocks across calls, statuses).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

#include "core/heap_growth.h"
#include "misc/dts_tables_data.h"
#include "sbr/qmf_test_util.h"
#include "transform/dct.h"
#include "transform/fft.h"

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
        EXPECT_EQ(okvsSynthesisFilterInit_DTS_32f(spec = mem.data() + lo), okvOk);
    }
};

std::vector<float> run(void* spec, const std::vector<float>& x, int type) {
    std::vector<float> y(x.size());
    for (size_t m = 0; m < x.size() / 32; ++m) EXPECT_EQ(okvsSynthesisFilter_DTS_32f(&x[32 * m], &y[32 * m], type, spec), okvOk);
    return y;
}

// y[n] = sum over slots m and bands k of x_m[k] g_k[n - 32 m], with
// g_k[t] = 1/4 (-1)^floor((k+1)/2) h[t] cos(pi (2k + 1)(t + 16.5) / 64), h[t] = R[t] (-1)^floor(t/64).
// The tables are odd and match the shared text where it is present. An allocated structure filters alike.
TEST(DtsSynth, MatchesClosedFormAndTables) {
    // Size: 2395 bytes of header, history and alignment slack, the inner specs rounded up to 16 and
    // the largest of their buffers.
    int size, ds, di, dw, fs, fi, fw;
    ASSERT_TRUE(okvsSynthesisFilterGetSize_DTS_32f(&size) == okvOk &&
                okv_u8::okvsDCTInvGetSize_32f(16, 0, &ds, &di, &dw) == okvOk &&
                okv_u8::okvsFFTGetSize_C_32fc(3, okv_u8::kFftNoDiv, 0, &fs, &fi, &fw) == okvOk);
    EXPECT_EQ(size, 2395 + (ds + 15) / 16 * 16 + (fs + 15) / 16 * 16 + std::max({di, dw, fi, fw}));
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
            ASSERT_TRUE(kR[type][511 - t] == -kR[type][t] && (text.empty() || kR[type][t] == float(text[t]))) << t;
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
        void* own = nullptr;
        ASSERT_EQ(okvsSynthesisFilterInitAlloc_DTS_32f(&own), okvOk);
        EXPECT_TRUE(run(own, x, type) == y && okvsSynthesisFilterFree_DTS_32f(own) == okvOk);
    }
    if (qmftest::readTable(files[0]).empty()) GTEST_SKIP() << "shared DTS tables absent: their symmetry checked only";
}

// Free releases and zeroes the tag; a refusal writes nothing.
TEST(DtsSynth, LifecycleAndRefusals) {
    void* own = nullptr;
    EXPECT_LT(heaptest::growth([&] {
                  okvsSynthesisFilterInitAlloc_DTS_32f(&own);
                  okvsSynthesisFilterFree_DTS_32f(own);
              }),
              16384);
    Dts d(9);
    std::vector<float> x(32, 1.0f), out(32, 7.0f);
    const std::vector<uint8_t> before = d.mem;
    qmftest::Bank sbr(qmftest::AnaR);
    EXPECT_EQ((std::vector<StatusCode>{okvsSynthesisFilter_DTS_32f(x.data(), nullptr, 1, d.spec),
                                       okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 2, d.spec),
                                       okvsSynthesisFilter_DTS_32f(x.data(), out.data(), -1, d.spec),
                                       okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 1, sbr.spec)}),
              (std::vector<StatusCode>{okvErrNullPtr, okvErrBadArg, okvErrBadArg, okvErrContextMatch}));
    EXPECT_TRUE(d.mem == before && out == std::vector<float>(32, 7.0f));
    EXPECT_EQ((std::vector<StatusCode>{okvsSynthesisFilterFree_DTS_32f(d.spec), okvsSynthesisFilterFree_DTS_32f(d.spec),
                                       okvsSynthesisFilter_DTS_32f(x.data(), out.data(), 0, d.spec)}),
              (std::vector<StatusCode>{okvOk, okvErrContextMatch, okvErrContextMatch}));
}

struct StateView {  // the documented state layout
    Okv32f* history;
    Okv16s nTaps, len, stride, position;
    Okv32s id;
};
StateView& view(FIRBlockState* s) { return *reinterpret_cast<StateView*>(s); }

// y[k] = sum over age of h[age] * (block from age calls ago; zeros before the first)[k], oldest
// first; a second state fed misaligned buffers warns and gives the same output.
TEST(FIRBlock, OldestFirstSumOverPastBlocks) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-1, 1);
    for (auto [taps, len] : {std::pair{1, 8}, {2, 13}, {5, 13}, {3, 5}}) {
        FIRBlockState *s = nullptr, *m = nullptr;
        ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, taps, len) + okvsFIRBlockInitAlloc_32f(&m, taps, len), okvOk);
        const StateView& v = view(s);
        EXPECT_EQ((std::vector<int>{v.nTaps, v.len, v.stride, v.position, v.id}),
                  (std::vector<int>{taps, len, (len + 3) / 4 * 4, 0, 58}));
        for (int i = 0; i < taps * v.stride; ++i) ASSERT_EQ(v.history[i], 0.0f);
        alignas(16) float h[8];
        for (auto& x : h) x = u(gen);
        std::vector<std::vector<float>> past(static_cast<size_t>(taps), std::vector<float>(static_cast<size_t>(len)));
        for (int call = 0; call < 9; ++call) {
            alignas(16) float x[16], y[16], xm[20], ym[20], hm[12];
            for (auto& t : x) t = u(gen);
            std::memcpy(xm + 1, x, sizeof x), std::memcpy(hm + 1, h, sizeof h);
            past.emplace_back(x, x + len);
            float* dst = call % 3 == 1 ? ym + 3 : ym;  // one of source, destination and taps misaligned
            ASSERT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvOk);
            ASSERT_EQ(okvsFIRBlockOne_32f(call % 3 ? x : xm + 1, dst, m, call % 3 == 2 ? hm + 1 : h), okvWrnMisaligned);
            EXPECT_TRUE(!std::memcmp(y, dst, size_t(len) * sizeof(float)) && v.position == (call + 1) % taps);
            for (int k = 0; k < len; ++k) {
                float want = h[0] * past.back()[k];
                for (int age = taps - 1; age >= 1; --age) want += h[age] * past[past.size() - 1 - size_t(age)][size_t(k)];
                ASSERT_EQ(y[k], want) << "taps " << taps << " call " << call << " k " << k;
            }
        }
        EXPECT_EQ(okvsFIRBlockFree_32f(s) + okvsFIRBlockFree_32f(m), okvOk);
    }
}

// Counts and stride stay 16-bit; a bad position or tag is refused before anything is written.
TEST(FIRBlock, Statuses) {
    FIRBlockState* s = nullptr;
    for (auto [taps, len, want] : {std::tuple{0, 4, okvErrFirLen}, {4, 0, okvErrFirLen}, {32768, 1, okvErrFirLen},
                                   {1, 32765, okvErrFirLen}, {1, 32764, okvOk}, {32767, 1, okvOk}}) {
        EXPECT_EQ(okvsFIRBlockInitAlloc_32f(&s, taps, len), want) << taps << " " << len;
        EXPECT_EQ(want == okvOk ? okvsFIRBlockFree_32f(std::exchange(s, nullptr)) : okvOk, okvOk);
    }
    EXPECT_LT(heaptest::growth([&] {
                  okvsFIRBlockInitAlloc_32f(&s, 5, 100);
                  okvsFIRBlockFree_32f(s);
              }),
              16384);
    ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, 2, 4), okvOk);
    alignas(16) float x[4] = {1, 2, 3, 4}, y[4] = {}, h[2] = {1, 1};
    view(s).position = 2;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvErrFirLen);
    view(s).position = 0;
    view(s).id = 57;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h) + okvsFIRBlockFree_32f(s), 2 * okvErrContextMatch);
    EXPECT_EQ(y[0], 0.0f);
    view(s).id = 58;
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
}

}  // namespace
