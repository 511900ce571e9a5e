// Encoding tables: sizes from the value range, the first entry of a value wins, bit counts saturate.
#include <gtest/gtest.h>

#include "vlc_test_util.h"

namespace {

int enc_size(const std::vector<VLCCodeEntry>& e) {
    int size = 0;
    const StatusCode st = okvsVLCEncodeGetSize_32s(e.data(), int(e.size()), &size);
    return st == okvOk ? size : st;
}

TEST(VlcEncode, SizesFollowTheValueRange) {
    std::vector<VLCCodeEntry> e;
    for (int v = -3; v <= 4; ++v) e.push_back({v, uint32_t(v + 3), 3});
    EXPECT_EQ(140, enc_size({{5, 1, 3}}));
    EXPECT_EQ(224, enc_size(e));
    EXPECT_EQ((65535 + 131072) * 4 + 132, enc_size({{-32768, 0, 1}, {32767, 1, 1}}));
    EXPECT_EQ(okvErrVLCParam, enc_size({{-2000000000, 0, 1}, {2000000000, 1, 1}}));  // beyond 2^31 bytes
    EXPECT_EQ(okvErrVLCParam, enc_size({{0, 0, 0}}));  // lengths lie in 1..32
    EXPECT_EQ(okvErrVLCParam, enc_size({{0, 0, 33}}));
    int size;
    EXPECT_EQ(okvErrVLCParam, okvsVLCEncodeGetSize_32s(e.data(), 0, &size));
    EXPECT_EQ(okvErrNullPtr, okvsVLCEncodeGetSize_32s(nullptr, 0, &size));
    EXPECT_EQ(okvErrNullPtr, okvsVLCEncodeGetSize_32s(e.data(), 8, nullptr));
}

TEST(VlcEncode, FirstEntryWinsAndCountSaturates) {
    const vlct::EncodeSpec t({{3, 0b01, 2}, {3, 0b1, 1}, {7, 0b00, 2}});
    ASSERT_EQ(okvOk, t.st);
    Okv8u buf[8] = {};
    Okv8u* p = buf;
    int off = 0;
    ASSERT_EQ(okvOk, okvsVLCEncodeOne_16s1u(3, &p, &off, t.spec));
    EXPECT_TRUE(off == 2 && buf[0] == 0b01000000);
    // 2^26 codes of 32 bits: the count stops at 2^31 - 1; one code fewer fits.
    const vlct::EncodeSpec w({{0, 0, 1}, {1, 0xFFFFFFFF, 32}});
    std::vector<Okv16s> ones(1 << 26, 1);
    Okv32s count = -1;
    ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(ones.data(), 1 << 26, &count, w.spec));
    EXPECT_EQ(INT32_MAX, count);
    ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(ones.data(), (1 << 26) - 1, &count, w.spec));
    EXPECT_EQ(INT32_MAX - 31, count);
    OkvsVLCEncodeSpec_32s* a = nullptr;
    const VLCCodeEntry e[2] = {{-1, 0, 1}, {1, 1, 1}};
    ASSERT_EQ(okvOk, okvsVLCEncodeInitAlloc_32s(e, 2, &a));
    ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(ones.data(), 3, &count, a));
    EXPECT_EQ(3, count);
    okvsVLCEncodeFree_32s(a);
    okvsVLCEncodeFree_32s(nullptr);
}

}  // namespace
