// Decoding specs: GetSize against an independent layout model, refusals, conflicts, lifecycle.
#include <gtest/gtest.h>

#include <set>

#include "vlc_test_util.h"

namespace {

int bitlen(uint64_t x) { return x ? 64 - __builtin_clzll(x) : 0; }

// The byte count of a compiled table: levels, one subtable per distinct prefix, element width.
// tuple = N * B for the UTuple form, 0 for the plain form.
int64_t model_size(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes, int tuple) {
    int L = 0;
    for (auto& x : e) L = std::max(L, x.length);
    if (L == 0 || L > 32) return okvErrVLCTable;
    std::vector<int> w;
    for (int sum = 0; sum < L; sum += w.back()) {
        if (w.size() >= sizes.size() || sizes[w.size()] < 1) return okvErrVLCTable;
        w.push_back(std::min(sizes[w.size()], L - sum));
    }
    uint64_t T = (uint64_t(1) << w[0]) + 1;
    for (size_t j = 1, P = w[0]; j < w.size(); P += w[j++]) {
        std::set<uint32_t> prefixes;
        for (auto& x : e)
            if (x.length > int(P)) prefixes.insert((x.code & uint32_t((uint64_t(1) << x.length) - 1)) >> (x.length - P));
        T += prefixes.size() * ((uint64_t(1) << w[j]) + 1);
    }
    const int bl = bitlen(uint64_t(*std::max_element(w.begin(), w.end())));
    int field = tuple;
    if (!tuple) {  // two's complement when a value is negative, else unsigned; at least b_v + 1 bits
        bool neg = false;
        int64_t V = 0;
        for (auto& x : e) neg |= x.value < 0, V = std::max(V, std::abs(int64_t(x.value)));
        field = V <= 1 ? 1 : bitlen(uint64_t(V - 1)) + 1;
        for (auto& x : e) field = std::max(field, neg ? bitlen(uint32_t(x.value < 0 ? ~x.value : x.value)) + 1 : bitlen(uint32_t(x.value)));
    }
    const int W = std::max(field + bl + 1, bitlen(T + 1) + 1);
    if (W > 32) return tuple ? int64_t(okvErrBadArg) : int64_t(okvErrVLCTable);
    const uint64_t size = T * (W <= 8 ? 1 : W <= 16 ? 2 : 4) + (tuple ? 176 : 160);
    return size > 0x7FFFFFFF ? int64_t(okvErrVLCTable) : int64_t(size);
}

int64_t lib_size(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes, int N = 0, int B = 0) {
    int size = -1;
    const StatusCode st = N ? okvsVLCDecodeUTupleGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), N, B, &size)
                            : okvsVLCDecodeGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), &size);
    return st == okvOk ? size : st;
}

// Prefix-free and arbitrary code sets (both counting paths: fewer and more than 1024 entries),
// level splits of one to many levels, value ranges across every element width.
TEST(VlcDecodeTable, GetSizeMatchesTheLayoutModel) {
    std::mt19937 rng(16);
    for (int iter = 0; iter < 4000; ++iter) {
        const bool big = iter % 50 == 0;
        const int n = big ? 1024 + int(rng() % 600) : int(rng() % 40) + 1;
        const int maxLen = int(rng() % 32) + 1;
        std::vector<VLCCodeEntry> e;
        if (iter % 2 && n <= (1 << std::min(maxLen, 20))) {
            e = vlct::random_prefix_code(rng, n, maxLen);
        } else {
            for (int i = 0; i < n; ++i) e.push_back({0, uint32_t(rng()), int(rng() % maxLen) + 1});
        }
        const int shift = int(rng() % 31);
        for (auto& x : e) x.value = int32_t(rng()) >> shift;
        if (iter % 3 == 0)
            for (auto& x : e) x.value = int32_t(std::abs(int64_t(x.value)) >> 1);
        const auto sizes = vlct::random_sizes(rng, vlct::max_length(e));
        SCOPED_TRACE(testing::Message() << "iteration " << iter);
        ASSERT_EQ(lib_size(e, sizes), model_size(e, sizes, 0));
        const int N = int(rng() % 4) + 1, B = int(rng() % 9) + 1;
        ASSERT_EQ(lib_size(e, sizes, N, B), model_size(e, sizes, N * B)) << "N " << N << " B " << B;
    }
    const std::vector<VLCCodeEntry> small = {{1, 0b0, 1}, {0, 0b10, 2}, {1, 0b110, 3}, {0, 0b111, 3}};
    EXPECT_EQ(169, lib_size(small, {3}));
}

TEST(VlcDecodeTable, RefusesUnusableTablesAndArguments) {
    std::vector<VLCCodeEntry> e;
    for (int i = 0; i < 9; ++i) e.push_back({i, (1u << (i + 1)) - 2, i + 1});  // 0, 10, 110, ...
    EXPECT_EQ(okvErrVLCTable, lib_size(e, {4, 0, 8}));
    EXPECT_EQ(okvErrVLCTable, lib_size(e, {4, 4}));
    EXPECT_EQ(okvErrVLCTable, lib_size(e, {-1}));
    EXPECT_GT(lib_size(e, {4, 4, 1, -5}), 0);  // sizes after the sum reaches L are not examined
    EXPECT_EQ(okvErrVLCTable, lib_size({{0, 0, 0}, {1, 0, -2}}, {4}));
    EXPECT_EQ(okvErrVLCTable, lib_size({{0, 0, 33}}, {16, 16, 16}));
    EXPECT_EQ(okvErrBadArg, lib_size(e, {4}, 2, 0));
    int size;
    const Okv32s sz[] = {4};
    EXPECT_EQ(okvErrBadArg, okvsVLCDecodeUTupleGetSize_32s(e.data(), 0, sz, 1, 0, 4, &size));  // before the table
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeGetSize_32s(nullptr, 1, sz, 1, &size));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeGetSize_32s(e.data(), 0, nullptr, 1, &size));
    EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeUTupleGetSize_32s(e.data(), 9, sz, 1, 1, 1, nullptr));
}

TEST(VlcDecodeTable, InsertionOrderDecidesConflicts) {
    const std::vector<VLCCodeEntry> e = {{7, 0b0, 1}, {9, 0b011, 3}};
    EXPECT_EQ(okvErrVLCTable, vlct::DecodeSpec(e, {2, 2}).st);  // a path into an earlier leaf
    const vlct::DecodeSpec r({e[1], e[0]}, {2, 2});             // the leaf replaces the link
    ASSERT_EQ(okvOk, r.st);
    const Okv8u bits[9] = {0b01100000};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, r.spec));
    EXPECT_EQ(7, v);
    EXPECT_EQ(1, off);
    const vlct::DecodeSpec d({{1, 0b10, 2}, {2, 0b10, 2}, {3, 0b0, 1}, {4, 0b11, 2}}, {2});
    ASSERT_EQ(okvOk, d.st);
    const Okv8u bits2[9] = {0b01110000};
    p = bits2;
    off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, d.spec));
    EXPECT_EQ(3, v);
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, d.spec));
    EXPECT_EQ(4, v);  // 11
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, d.spec));
    EXPECT_EQ(2, v);  // 10: the later entry wins
}

TEST(VlcDecodeTable, LifecycleMarksAndReleases) {
    const std::vector<VLCCodeEntry> e = {{3, 0, 1}, {4, 1, 1}};
    const Okv32s sizes[] = {1};
    OkvsVLCDecodeSpec_32s* spec = nullptr;
    ASSERT_EQ(okvOk, okvsVLCDecodeInitAlloc_32s(e.data(), 2, sizes, 1, &spec));
    const Okv8u bits[9] = {0x80};
    const Okv8u* p = bits;
    int off = 0;
    Okv16s v;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v, spec));
    EXPECT_EQ(4, v);
    okvsVLCDecodeFree_32s(spec);
    okvsVLCDecodeFree_32s(nullptr);
    vlct::DecodeSpec own(e, {1}, 3);  // caller memory is only marked
    ASSERT_EQ(okvOk, own.st);
    okvsVLCDecodeFree_32s(own.spec);
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, &v, own.spec));
    const std::vector<VLCCodeEntry> bad = {{0, 0, 1}, {1, 0b01, 2}};
    const Okv32s sizes2[] = {1, 1};
    OkvsVLCDecodeUTupleSpec_32s* ts = nullptr;  // a failed InitAlloc hands the block over
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeUTupleInitAlloc_32s(bad.data(), 2, sizes2, 2, 1, 2, &ts));
    ASSERT_NE(nullptr, ts);
    okvsVLCDecodeUTupleFree_32s(ts);
}

// Code: 0 -> 5, 10 -> -3, 110 -> 9, 1110 -> 0, 11110 -> 100; 11111 is absent.
TEST(VlcDecode, RefusalsLeaveThePositionAndOutputUntouched) {
    const std::vector<VLCCodeEntry> code = {{5, 0b0, 1}, {-3, 0b10, 2}, {9, 0b110, 3}, {0, 0b1110, 4}, {100, 0b11110, 5}};
    for (auto sizes : {std::vector<Okv32s>{5}, std::vector<Okv32s>{2, 2, 1}}) {
        vlct::DecodeSpec t(code, sizes);
        ASSERT_EQ(okvOk, t.st);
        const Okv8u bits[9] = {0b01011111, 0b10000000};
        const Okv8u* p = bits;
        int off = 0;
        Okv16s out[3] = {77, 77, 77};
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeBlock_1u16s(&p, &off, out, 3, t.spec));
        EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{5, -3, 77}));
        EXPECT_EQ(bits, p);
        EXPECT_EQ(0, off);
        for (int bad : {8, -1}) {
            off = bad;
            EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, out, t.spec));
            EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeBlock_1u16s(&p, &off, out, 1, t.spec));
            EXPECT_EQ(bad, off);
        }
        off = 0;
        EXPECT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, out, 0, t.spec));
        EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeBlock_1u16s(&p, &off, out, 1, nullptr));
        EXPECT_EQ(okvErrNullPtr, okvsVLCDecodeOne_1u16s(&p, nullptr, out, t.spec));
        vlct::EncodeSpec es(code);
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, out, reinterpret_cast<OkvsVLCDecodeSpec_32s*>(es.spec)));
        EXPECT_EQ(okvErrVLCParam,
                  okvsVLCDecodeUTupleOne_1u16s(&p, &off, out, reinterpret_cast<OkvsVLCDecodeUTupleSpec_32s*>(t.spec)));
        EXPECT_EQ(bits, p);
        EXPECT_EQ(77, out[2]);
    }
}

}  // namespace
