// The internal FFT and DCT bodies of both variants give identical bits (the
// exported MDCT is covered by the variant harness).
#include <gtest/gtest.h>

#include <cstring>

#include "variant_runs.h"

namespace okv_n8::vrun {
std::vector<float> fft(int kind, int order, int flag, bool inverse);
std::vector<float> dct(int n);
}  // namespace okv_n8::vrun

namespace {

TEST(Variants, FloatFftKindsAgree) {
    for (int kind : {4, 5, 6})
        for (int order : {0, 1, 3, 4, 5, 6, 7, 10, 11, 15, 16, 17, 19})
            for (int inv = 0; inv < (kind == 5 ? 1 : 2); ++inv) {
                SCOPED_TRACE(testing::Message() << kind << " " << order << " " << inv);
                const int flag = order % 2 ? 4 : 2;
                std::vector<float> a = okv_u8::vrun::fft(kind, order, flag, inv);
                std::vector<float> b = okv_n8::vrun::fft(kind, order, flag, inv);
                EXPECT_EQ(0, std::memcmp(a.data(), b.data(), 4 * a.size()));
            }
}

TEST(Variants, DctAgrees) {
    for (int n : {1, 8, 12, 16, 35, 36, 45, 64, 100, 1024, 3001}) {
        SCOPED_TRACE(n);
        std::vector<float> a = okv_u8::vrun::dct(n), b = okv_n8::vrun::dct(n);
        EXPECT_EQ(0, std::memcmp(a.data(), b.data(), 4 * a.size()));
    }
}

}  // namespace
