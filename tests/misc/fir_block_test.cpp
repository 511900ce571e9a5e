// Block FIR filter: the state layout, the sum over past blocks across calls, statuses.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "core/heap_growth.h"
#include "okvac.h"

namespace {

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
            EXPECT_EQ(0, std::memcmp(y, dst, size_t(len) * sizeof(float)));
            EXPECT_EQ(v.position, (call + 1) % taps);
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
    EXPECT_EQ(okvsFIRBlockInitAlloc_32f(nullptr, 0, 0) + okvsFIRBlockFree_32f(nullptr), 2 * okvErrNullPtr);
    EXPECT_LT(heaptest::growth([&] {
                  okvsFIRBlockInitAlloc_32f(&s, 5, 100);
                  okvsFIRBlockFree_32f(s);
              }),
              16384);
    ASSERT_EQ(okvsFIRBlockInitAlloc_32f(&s, 2, 4), okvOk);
    alignas(16) float x[4] = {1, 2, 3, 4}, y[4] = {}, h[2] = {1, 1};
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, nullptr), okvErrNullPtr);
    view(s).position = 2;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h), okvErrFirLen);
    view(s).position = 0, view(s).id = 57;
    EXPECT_EQ(okvsFIRBlockOne_32f(x, y, s, h) + okvsFIRBlockFree_32f(s), 2 * okvErrContextMatch);
    EXPECT_EQ(y[0], 0.0f);
    view(s).id = 58;
    EXPECT_EQ(okvsFIRBlockFree_32f(s), okvOk);
}

}  // namespace
