// Block FIR filter: state layout, history across calls, statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "okvac.h"

namespace {

// The documented state layout.
struct StateView {
    Okv32f* history;
    Okv16s nTaps, len, stride, position;
    Okv32s id;
};

const StateView& view(const FIRBlockState* s) { return *reinterpret_cast<const StateView*>(s); }

}  // namespace

TEST(FIRBlock, LayoutAndStride) {
    FIRBlockState* s = nullptr;
    ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, 3, 5), okvOk);
    const StateView& v = view(s);
    EXPECT_EQ((std::vector<int>{v.nTaps, v.len, v.stride, v.position, v.id}), (std::vector<int>{3, 5, 8, 0, 58}));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(view(s).history[i], 0.0f);
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
    ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, 1, 8), okvOk);
    EXPECT_EQ(view(s).stride, 8);
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
}

// Misaligned pointers give the warning and the same output.
TEST(FIRBlock, OldestFirstSumOverPastBlocks) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int taps : {1, 2, 5}) {
        const int len = 13;
        FIRBlockState *s = nullptr, *m = nullptr;
        ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, taps, len), okvOk);
        ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&m, taps, len), okvOk);
        alignas(16) float h[8];
        for (auto& v : h) v = u(gen);
        std::vector<std::vector<float>> past;  // newest last
        for (int call = 0; call < 9; ++call) {
            alignas(16) float x[16], y[16], xm[20], ym[20];
            for (auto& v : x) v = u(gen);
            std::copy(x, x + 16, xm + 1);
            past.emplace_back(x, x + len);
            ASSERT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvOk);
            ASSERT_EQ(okvsFIRBlockOne_32f(xm + 1, ym + 3, m, h), okvWrnMisaligned);
            EXPECT_EQ(0, std::memcmp(y, ym + 3, len * sizeof(float)));
            EXPECT_EQ(view(s).position, (call + 1) % taps);
            for (int k = 0; k < len; ++k) {
                float want = h[0] * past.back()[k];
                for (int age = taps - 1; age >= 1; --age) {  // blocks before the first are zero
                    const int idx = int(past.size()) - 1 - age;
                    want += h[age] * (idx >= 0 ? past[idx][k] : 0.0f);
                }
                ASSERT_EQ(y[k], want) << "taps " << taps << " call " << call << " k " << k;
            }
        }
        EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
        EXPECT_EQ(okvsFIRBlockFree_32f(m), okvOk);
    }
}

TEST(FIRBlock, Statuses) {
    FIRBlockState* s = nullptr;
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(nullptr, 0, 0), okvErrNullPtr);
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(&s, 0, 4), okvErrFirLen);
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(&s, 4, 0), okvErrFirLen);
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(&s, 32768, 1), okvErrFirLen);  // counts and stride stay 16-bit
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(&s, 1, 32765), okvErrFirLen);
    EXPECT_EQ(s, nullptr);
    for (int taps : {1, 32767}) {
        ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, taps, 32768 - taps - (taps == 1 ? 3 : 0)), okvOk) << taps;
        EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
    }
    s = nullptr;
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(okvsFIRBlockFree_32f(nullptr), okvErrNullPtr);
    ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, 2, 4), okvOk);
    alignas(16) float x[4] = {1, 2, 3, 4}, y[4] = {}, h[2] = {1, 1};
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, nullptr), okvErrNullPtr);
    auto& st = const_cast<StateView&>(view(s));
    st.position = 2;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvErrFirLen);
    st.position = 0;
    st.id = 57;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvErrContextMatch);
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvErrContextMatch);
    EXPECT_EQ(y[0], 0.0f);  // nothing written on failure
    st.id = 58;
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
}
