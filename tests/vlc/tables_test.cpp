// VLC tables: conflicts, absent codes, escape edges, lifecycles, counts and the family's refusals.
#include <gtest/gtest.h>

#include "core/heap_growth.h"
#include "vlc_test_util.h"

namespace {

using vlct::Codes;
using vlct::Sizes;
using vlc_std::PairCode;

int64_t encode_size(const Codes& e) {
    int n = 0;
    const StatusCode st = okvsVLCEncodeGetSize_32s(e.data(), int(e.size()), &n);
    return st == okvOk ? n : st;
}

// Code: 0 -> 7, 10 -> -3, 110 -> 9, 1110 -> 0, 11110 -> 100; 11111 is absent.
const Codes kCode = {{7, 0b0, 1}, {-3, 0b10, 2}, {9, 0b110, 3}, {0, 0b1110, 4}, {100, 0b11110, 5}};

// Bits 0 10 11111 10 stop at the absent code, a bad escape before its pair: the values before it are
// written, the cursor stays. Later leaves and entries win, first encodings do, empty entries are left out.
// Encoding sizes follow the value range; 2^26 codes of 32 bits count to 2^31 - 1, one fewer fits.
TEST(VlcTables, AbsentCodesConflictsAndCounts) {
    const Okv8u absent[9] = {0b01011111, 0b10000000};
    for (auto sizes : {Sizes{5}, Sizes{2, 2, 1}}) {
        vlct::DecodeSpec t(kCode, sizes);
        ASSERT_EQ(okvOk, t.st);
        const Okv8u* p = absent;
        int off = 0;
        Okv16s out[3] = {77, 77, 77};
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeBlock_1u16s(&p, &off, out, 3, t.spec));
        EXPECT_TRUE(out[0] == 7 && out[1] == -3 && out[2] == 77 && p == absent && off == 0);
        off = 3;
        EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeOne_1u16s(&p, &off, out, t.spec));
        EXPECT_TRUE(p == absent && off == 3);
    }
    const vlct::DecodeSpec aacDec(vlct::esc_decode_entries(vlc_std::kAacCodebook11, 289), {7, 7, 7}, 3);
    const PairCode& c = vlc_std::kAacCodebook11[17 * 16];
    vlct::BitSink ok;
    ok.put(c.code, c.length), ok.put(0b1'0'1010, 6);  // (-26, 0): sign 1, escape 26 = 16 + 1010
    const uint64_t firstEnd = ok.nbits;
    ok.put(c.code, c.length), ok.put(0x1FF, 10);  // sign 0, then ones past the longest escape
    ok.bytes.resize(ok.bytes.size() + vlct::kPad);
    Okv16s out[4] = {77, 77, 77, 77};
    const Okv8u* p = ok.bytes.data();
    int off = 0;
    EXPECT_EQ(okvErrVLCParam, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 4, aacDec.spec));
    EXPECT_TRUE(out[0] == -26 && out[1] == 0 && out[2] == 77 && p == ok.bytes.data() && off == 0);
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 3, aacDec.spec));
    EXPECT_TRUE(firstEnd == uint64_t(p - ok.bytes.data()) * 8 + uint64_t(off) && out[2] == 77);
    // (0, 15) coded by one bit, its sign after the 3 linbits: the reader steps back over the sign.
    const PairCode tiny[2] = {{0, 0, 1, 0}, {0, 15, 1, 1}};
    const vlct::DecodeSpec t(vlct::esc_decode_entries(tiny, 2), {2});
    const Okv8u bits[9] = {0b11011000};  // 1, linbits 101, sign 1, then (0, 0)
    p = bits, off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, 3, out, 4, t.spec));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), (std::vector<Okv16s>{0, -20, 0, 0}));
    // (15, 0) as one bit that holds no sign: the reader cannot step back before the codeword's start.
    const vlct::DecodeSpec raw({{128, 0b0, 1}, {15 * 256 + 128, 0b1, 1}}, {2});
    p = bits, off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, 3, out, 4, raw.spec));
    EXPECT_TRUE(out[0] == -20 && out[1] == 0 && out[2] == 0 && out[3] == 0 && p == bits && off == 6);
    const Codes e = {{7, 0b0, 1}, {9, 0b011, 3}};
    EXPECT_EQ(okvErrVLCTable, vlct::DecodeSpec(e, {2, 2}).st);
    const vlct::DecodeSpec r({e[1], e[0]}, {2, 2}), d({{1, 0b10, 2}, {2, 0b10, 2}, {5, 0, 0}, {3, 0b0, 1}, {4, 0b11, 2}}, {2});
    const vlct::EncodeSpec en({{3, 0b01, 2}, {3, 0b1, 1}, {7, 0b00, 2}});
    ASSERT_TRUE(r.st == okvOk && d.st == okvOk && en.st == okvOk);
    Okv8u buf[9] = {0b01110000};
    p = buf, off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, out, r.spec));
    EXPECT_TRUE(out[0] == 7 && off == 1);
    p = buf, off = 0;
    ASSERT_EQ(okvOk, okvsVLCDecodeBlock_1u16s(&p, &off, out, 3, d.spec));
    EXPECT_EQ(std::vector<Okv16s>(out, out + 3), (std::vector<Okv16s>{3, 4, 2}));
    Okv8u* w = buf;
    off = 0;
    ASSERT_EQ(okvOk, okvsVLCEncodeOne_16s1u(3, &w, &off, en.spec));
    EXPECT_TRUE(off == 2 && buf[0] >> 6 == 0b01);
    EXPECT_EQ(std::vector<int64_t>({encode_size({{5, 1, 3}}), encode_size({{-3, 0, 3}, {4, 1, 3}}),
                                    encode_size({{-32768, 0, 1}, {32767, 1, 1}}),
                                    encode_size({{-2000000000, 0, 1}, {2000000000, 1, 1}})}),  // beyond 2^31 bytes
              std::vector<int64_t>({140, 224, (65535 + 131072) * 4 + 132, okvErrVLCParam}));
    const vlct::EncodeSpec wide({{0, 0, 1}, {1, 0xFFFFFFFF, 32}}), aac(vlct::aac_encode_entries());
    const vlct::EncodeSpec bare({{15, 0b0, 1}, {32 + 15, 0b1, 1}}), signOnly({{30, 0b1, 1}});  // (0, 0), (1, 0); (0, 15)
    std::vector<Okv16s> ones(1 << 26, 1);
    const Okv16s esc[2] = {0, 15}, oneZero[2] = {1, 0};
    Okv32s n[5] = {-1, -1, -1, -1, -1};
    ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(ones.data(), 1 << 26, &n[0], wide.spec));
    ASSERT_EQ(okvOk, okvsVLCCountBits_16s32s(ones.data(), (1 << 26) - 1, &n[1], wide.spec));
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_AAC_16s32s(oneZero, 1, &n[2], aac.spec));  // fewer than two values
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_MP3_16s32s(oneZero, 2, 0, &n[3], bare.spec));  // the sign in the code
    ASSERT_EQ(okvOk, okvsVLCCountEscBits_MP3_16s32s(esc, 2, 1, &n[4], signOnly.spec));  // a code of its sign bit alone
    EXPECT_EQ(std::vector<Okv32s>(n, n + 5), (std::vector<Okv32s>{INT32_MAX, INT32_MAX - 31, 0, 1, 2}));
}

// Free releases allocations and marks caller memory; a failed InitAlloc hands the block over. Then every
// refusal of the family, in checking order; none moves a cursor or writes.
TEST(VlcTables, LifecycleAndRefusalsInOrder) {
    const Codes two = {{3, 0, 1}, {4, 1, 1}}, bad = {{0, 0, 1}, {1, 0b01, 2}};
    const Okv32s sz1[] = {1, 1};
    EXPECT_LT(heaptest::growth([&] {
                  OkvsVLCDecodeSpec_32s* d = nullptr;
                  OkvsVLCDecodeUTupleSpec_32s* t = nullptr;
                  OkvsVLCEncodeSpec_32s* en = nullptr;
                  okvsVLCDecodeInitAlloc_32s(two.data(), 2, sz1, 1, &d);
                  okvsVLCDecodeUTupleInitAlloc_32s(two.data(), 2, sz1, 1, 1, 3, &t);
                  okvsVLCEncodeInitAlloc_32s(two.data(), 2, &en);
                  okvsVLCDecodeFree_32s(d), okvsVLCDecodeUTupleFree_32s(t), okvsVLCEncodeFree_32s(en);
              }),
              16384);
    const Okv8u one[9] = {0x80};
    const Okv8u* p = one;
    int off = 0;
    Okv16s v1;
    OkvsVLCDecodeSpec_32s* alloc = nullptr;
    ASSERT_EQ(okvOk, okvsVLCDecodeInitAlloc_32s(two.data(), 2, sz1, 1, &alloc));
    ASSERT_EQ(okvOk, okvsVLCDecodeOne_1u16s(&p, &off, &v1, alloc));
    EXPECT_EQ(4, v1);
    okvsVLCDecodeFree_32s(alloc);
    OkvsVLCDecodeUTupleSpec_32s* ts = nullptr;
    EXPECT_EQ(okvErrVLCTable, okvsVLCDecodeUTupleInitAlloc_32s(bad.data(), 2, sz1, 2, 1, 2, &ts));
    ASSERT_NE(nullptr, ts);
    okvsVLCDecodeUTupleFree_32s(ts);
    Codes chain;  // 0, 10, 110, ... nine codes
    for (int i = 0; i < 9; ++i) chain.push_back({i, (1u << (i + 1)) - 2, i + 1});
    const vlct::DecodeSpec dec(kCode, {2, 2, 1}), freedDec(two, {1}, 3);
    const vlct::TupleSpec tup(vlct::tuple_entries(vlc_std::kMp3Table16, 256, 4), {7, 7, 7}, 2, 4);
    const vlct::EncodeSpec enc({{3, 0b01, 2}, {3, 0b1, 1}, {7, 0b00, 2}}), wide({{0, 0, 1}, {1, 0xFFFFFFFF, 32}});
    const vlct::EncodeSpec freed({{0, 0, 1}}, 5), aac(vlct::aac_encode_entries());
    ASSERT_TRUE(dec.st == okvOk && freedDec.st == okvOk && tup.st == okvOk && enc.st == okvOk && wide.st == okvOk &&
                aac.st == okvOk && freed.st == okvOk);
    okvsVLCEncodeFree_32s(freed.spec), okvsVLCDecodeFree_32s(freedDec.spec);
    const auto* encAsDec = reinterpret_cast<const OkvsVLCDecodeSpec_32s*>(enc.spec);
    const auto* decAsEnc = reinterpret_cast<const OkvsVLCEncodeSpec_32s*>(dec.spec);
    const auto* decAsTup = reinterpret_cast<const OkvsVLCDecodeUTupleSpec_32s*>(dec.spec);
    Okv8u buf[16] = {};
    p = buf, off = 0;
    Okv8u *w = buf, *nul = nullptr;
    int eight = 8, minus = -1, size = -1;
    Okv16s out[4] = {77, 77, 77, 77};
    const Okv16s v[3] = {3, 5, 7}, big[2] = {8192, 0};
    Okv32s n = -1;
    const Okv32s sz[] = {4};
    const auto sizeOf = [](const Codes& e, Sizes s, int N = 0, int B = 0) {
        int r = -1;
        return N ? okvsVLCDecodeUTupleGetSize_32s(e.data(), int(e.size()), s.data(), int(s.size()), N, B, &r)
                 : okvsVLCDecodeGetSize_32s(e.data(), int(e.size()), s.data(), int(s.size()), &r);
    };
    const std::pair<StatusCode, StatusCode> calls[] = {
        {StatusCode(encode_size({{0, 0, 0}})), okvErrVLCParam},
        {StatusCode(encode_size({{0, 0, 33}})), okvErrVLCParam},
        {okvsVLCEncodeGetSize_32s(chain.data(), 0, &size), okvErrVLCParam},
        {okvsVLCEncodeGetSize_32s(nullptr, 0, &size), okvErrNullPtr},
        {okvsVLCEncodeGetSize_32s(chain.data(), 1, nullptr), okvErrNullPtr},
        {sizeOf(chain, {4, 0, 8}), okvErrVLCTable},  // a size below 1, or too few, before the sum reaches L
        {sizeOf(chain, {4, 4}), okvErrVLCTable},
        {sizeOf(chain, {4, 4, 1, -5}), okvOk},  // sizes after the sum reaches L are not examined
        {sizeOf({{0, 0, 0}, {1, 0, -2}}, {4}), okvErrVLCTable},
        {sizeOf({{0, 0, 33}}, {16, 16, 16}), okvErrVLCTable},
        {sizeOf(chain, {4}, 2, 0), okvErrBadArg},
        {okvsVLCDecodeUTupleGetSize_32s(chain.data(), 0, sz, 1, 0, 4, &size), okvErrBadArg},  // before the table
        {okvsVLCDecodeGetSize_32s(nullptr, 1, sz, 1, &size), okvErrNullPtr},
        {okvsVLCDecodeGetSize_32s(chain.data(), 0, nullptr, 1, &size), okvErrNullPtr},
        {okvsVLCDecodeUTupleGetSize_32s(chain.data(), 9, sz, 1, 1, 1, nullptr), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, &eight, out, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeBlock_1u16s(&p, &minus, out, 1, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeBlock_1u16s(&p, &off, out, 0, dec.spec), okvOk},
        {okvsVLCDecodeBlock_1u16s(&p, &off, out, 1, nullptr), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, nullptr, out, dec.spec), okvErrNullPtr},
        {okvsVLCDecodeOne_1u16s(&p, &off, out, encAsDec), okvErrVLCParam},
        {okvsVLCDecodeOne_1u16s(&p, &off, out, freedDec.spec), okvErrVLCParam},
        {okvsVLCDecodeUTupleOne_1u16s(&p, &off, out, decAsTup), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(5, &w, &off, enc.spec), okvErrVLCParam},  // inside [3, 7] but without a code
        {okvsVLCEncodeBlock_16s1u(v, 3, &w, &off, enc.spec), okvErrVLCParam},
        {okvsVLCCountBits_16s32s(v, 3, &n, enc.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(8, &w, &off, enc.spec), okvErrVLCParam},  // outside the range
        {okvsVLCEncodeOne_16s1u(2, &w, &off, enc.spec), okvErrVLCParam},
        {okvsVLCEncodeBlock_16s1u(v, 2, &w, &eight, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(0, &w, &eight, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeBlock_16s1u(v, 0, &w, &off, wide.spec), okvErrVLCParam},
        {okvsVLCEncodeBlock_16s1u(v, 2, &nul, &off, wide.spec), okvErrNullPtr},
        {okvsVLCCountBits_16s32s(v, 2, nullptr, wide.spec), okvErrNullPtr},
        {okvsVLCCountBits_16s32s(v, 0, &n, wide.spec), okvErrVLCParam},
        {okvsVLCCountBits_16s32s(v, 2, &n, freed.spec), okvErrVLCParam},
        {okvsVLCEncodeOne_16s1u(0, &w, &off, freed.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &eight, out, 2, dec.spec), okvErrBitOffset},
        {okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&p, &eight, 3, out, 2, tup.spec), okvErrBitOffset},
        {okvsVLCEncodeEscBlock_AAC_16s1u(out, 2, &w, &eight, enc.spec), okvErrBitOffset},
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, nullptr, 3, out, 2, dec.spec), okvErrNullPtr},
        {okvsVLCCountEscBits_MP3_16s32s(out, 2, 3, nullptr, enc.spec), okvErrNullPtr},
        {okvsVLCEncodeEscBlock_MP3_16s1u(out, 2, 3, nullptr, &off, enc.spec), okvErrNullPtr},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 2, encAsDec), okvErrContextMatch},
        {okvsVLCCountEscBits_AAC_16s32s(out, 2, &n, decAsEnc), okvErrContextMatch},
        {okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&p, &off, out, 2, decAsTup), okvErrVLCParam},  // plain, not a pair tuple
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, 15, out, 2, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, -1, out, 2, dec.spec), okvErrVLCParam},
        {okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out, 1, dec.spec), okvOk},  // fewer than two values
        {okvsVLCEncodeEscBlock_AAC_16s1u(out, 1, &w, &off, enc.spec), okvOk},
        {okvsVLCEncodeEscBlock_AAC_16s1u(big, 2, &w, &off, aac.spec), okvErrVLCParam},  // beyond the escape range
        {okvsVLCCountEscBits_AAC_16s32s(big, 2, &n, aac.spec), okvErrVLCParam},
    };
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    EXPECT_TRUE(p == buf && w == buf && off == 0 && eight == 8 && minus == -1 && n == -1 && size == -1);
    EXPECT_EQ(std::vector<Okv16s>(out, out + 4), std::vector<Okv16s>(4, 77));
    EXPECT_EQ(std::vector<Okv8u>(buf, buf + 16), std::vector<Okv8u>(16, 0));
}

}  // namespace
