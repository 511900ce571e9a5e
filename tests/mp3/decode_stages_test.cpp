// Layer III decoding stages: every Huffman code of the standard tables, the three Huffman forms agree, a
// caller's mixed-block table sets region 1, the requantisation core to the bit, the inverse MDCT's window
// form agrees with its hybrid form. (The packers' round trips cover header, side information and
// scalefactor layouts; the conformance streams and the peers decoding the encoder's streams anchor the
// rest.) The exports' refusals, decoder and encoder, one bad argument or field at a time (in the order the
// checks run where two are bad), and both float filter states' lifecycles: a refused call moves no cursor
// and writes no line; bad data is found while decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "mp3/psy_state.h"
#include "mp3_test_util.h"

using namespace mp3test;

// Each round puts every code in a new order with new signs, so that the bits after a code (which a
// whole-pair lookup also reads) vary. (The conformance streams use both count1 tables.)
TEST(Mp3Huffman, EveryCodeOfEveryTableDecodes) {
    auto linbits = tableLines("huffman/linbits.txt");
    MP3_SKIP_WITHOUT_TABLES(linbits.size() == 32);
    std::mt19937 rng(7);
    for (int run = 0; run < 4 * 32; ++run) {
        const int round = run / 32, sel = run % 32, offset = (sel + round) % 8;
        const int codeTable = std::stoi(linbits[sel][1]), lin = std::stoi(linbits[sel][3]);
        if (codeTable <= 0) continue;
        char name[32];
        std::snprintf(name, sizeof name, "huffman/table_%02d.txt", codeTable);
        auto codes = tableLines(name);  // x y length bits
        if (round) std::shuffle(codes.begin(), codes.end(), rng);
        BitWriter bw;
        bw.put(0x55, offset);
        std::vector<Okv32s> expect;
        for (auto& c : codes) {
            bw.putCode(c[3]);
            for (int x : {std::stoi(c[0]), std::stoi(c[1])}) {
                if (lin && x == 15) x += rng() % (1u << lin);
                if (x && (rng() & 1)) x = -x;
                if (lin && std::abs(x) >= 15) bw.put(std::abs(x) - 15, lin);  // escape bits, then the sign
                if (x) bw.put(x < 0, 1);
                expect.push_back(x);
            }
        }
        MP3SideInfo si{};
        si.part2_3_length = int(bw.bits()) - offset, si.big_values = int(codes.size()), si.region0_count = si.region1_count = 7;
        for (int& t : si.table_select) t = sel;
        const MP3FrameHeader h = header(1, 0);
        std::vector<uint8_t> buf = bw.bytes();
        std::vector<Okv32s> got(576, 0x5A5A5A5A);
        Okv8u* p = buf.data();
        int off = offset, bound = -1;
        ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&p, &off, got.data(), &bound, &si, &h, si.part2_3_length), okvOk) << sel;
        expect.resize(576, 0);
        const long last = std::find_if(expect.rbegin(), expect.rend(), [](int x) { return x; }).base() - expect.begin();
        ASSERT_TRUE(got == expect && bound == last && bitPos(buf.data(), p, off) == long(bw.bits())) << "table_select " << sel;
    }
}

// The three forms agree given the standard band tables: both versions, every rate, block kind, region
// split and table choice, on random bits.
TEST(Mp3Huffman, FormsAgreeWithTheStandardTables) {
    static const Okv16s kMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    std::mt19937 rng(11);
    for (int run = 0; run < 1200; ++run) {
        const MP3FrameHeader h = header(run % 2, 0, run / 2 % 3);
        MP3SideInfo si{};
        si.big_values = int(rng() % 289), si.part2_3_length = 4000, si.count1table_select = int(rng() & 1);
        si.window_switching_flag = run / 6 % 2, si.block_type = int(1 + rng() % 3), si.mixed_block_flag = int(rng() & 1);
        si.region0_count = int(rng() % 14), si.region1_count = int(rng() % 8);
        for (int& t : si.table_select) t = int(rng() % 30), t += t >= 4, t += t >= 14;
        std::vector<uint8_t> buf(520);
        for (auto& b : buf) b = uint8_t(rng());
        std::vector<Okv32s> out[3];
        long got[3][3];  // status, bound, bit position
        for (int f = 0; f < 3; ++f) {
            out[f].assign(576, 0x5A5A5A5A);
            Okv8u* p = buf.data();
            int off = 3, bound = -1, *o = out[f].data();
            got[f][0] = f == 0 ? okvsHuffmanDecode_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000)
                        : f == 1 ? okvsHuffmanDecodeSfb_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000, kSfbLong[0])
                        : okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, o, &bound, &si, &h, 4000, kSfbLong[0], kSfbShort[0], kMixed[0]);
            got[f][1] = bound, got[f][2] = bitPos(buf.data(), p, off);
        }
        for (int f = 1; f < 3; ++f)
            ASSERT_TRUE(std::equal(got[f], got[f] + 3, got[0]) && out[f] == out[0]) << run << " " << f;
    }
}

// A caller's mixed-block table: region 1 starts after mix[0] long bands and mix[1] short windows, the
// band below the first short start past the long bands giving two windows, each later band three. Region
// 0 takes table 0 (no bits) and the rest table 1, which reads zero bits as (1, 1): lines are 1 from region 1 on.
// More than 22 long bands count as 22.
TEST(Mp3Huffman, MixedRegionFollowsTheBoundaryTable) {
    std::vector<uint8_t> zeros(600, 0);
    for (int row = 0; row < 6; ++row)
        for (int m0 = 0; m0 < 25; ++m0)
            for (int m1 = 0; m1 < 12; ++m1) {
                const Okv16s *lng = kSfbLong[row], *sht = kSfbShort[row];
                int c = lng[std::min(m0, 22)];
                const int j = int(std::upper_bound(sht, sht + 14, c / 3) - sht);  // first with 3 sht[j] > c
                for (int k = 0, b; k < m1 && (b = k < 2 ? j - 1 : j + (k - 2) / 3) < 13; ++k) c += sht[b + 1] - sht[b];
                Okv16s mix[6][2];
                for (auto& m : mix) m[0] = Okv16s(m0), m[1] = Okv16s(m1);
                const MP3FrameHeader h = header(row / 3, 0, row % 3);
                MP3SideInfo si{};
                si.big_values = 288, si.part2_3_length = 4000, si.window_switching_flag = 1, si.block_type = 2;
                si.mixed_block_flag = 1, si.table_select[1] = 1;
                std::vector<Okv32s> out(576);
                Okv8u* p = zeros.data();
                int off = 0, bound = -1;
                ASSERT_EQ(okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, out.data(), &bound, &si, &h, 4000, kSfbLong[0],
                                                            kSfbShort[0], mix[0]), okvOk);
                for (int i = 0; i < 576; ++i) ASSERT_EQ(out[i], i >= (std::min(c, 576) & ~1)) << row << " " << m0 << " " << m1;
            }
}

// |x|^(4/3) 2^(26 - e/4) to the bit: magnitudes up to 15 from round(n^(4/3) 2^(-q/4) 2^28) (n <= 3) or
// 2^25 shifted by e/4 + 2 or e/4 - 1; 16..128 from round(n^(4/3) 2^23) (n < 64) or 2^21; above, the
// polynomial times X cycling 2^(-1/3), 1, 2^(-2/3) in Q31 truncated; both then times 2^(-q/4) in Q31
// rounded. Left shifts saturate.
Okv32s requantModel(int n, int e) {
    const auto q31 = [](long double v, bool round) {
        return std::min<Okv64s>(round ? std::llround(std::ldexp(v, 31)) : Okv64s(std::ldexp(v, 31)), INT32_MAX);
    };
    const long double p43 = std::pow((long double)n, 4.0L / 3);
    Okv64s v;
    int E;
    if (n < 16) {
        v = std::llround(p43 * std::exp2(-(e & 3) / 4.0L) * std::ldexp(1.0L, n <= 3 ? 28 : 25)), E = n <= 3 ? -2 : 1;
    } else {
        if (n <= 128) {
            v = std::llround(p43 * std::ldexp(1.0L, n < 64 ? 23 : 21)), E = n < 64 ? 4 : 6;
        } else {
            Okv64s y = Okv64s(n) << 17;
            int j = 0;
            if (y < (1 << 27)) y <<= 4, j = 4;
            if (y < (1 << 29)) y <<= 2, j += 2;
            if (y < (1 << 30)) y <<= 1, j += 1;
            Okv64s p = (y * -457633446) >> 32;
            for (Okv64s c : {1445956062LL, -2036421417LL, 1707815404LL, -991941369LL, 535739478LL}) p = ((p + c) * y) >> 32;
            p = Okv32s((Okv32u(Okv32u(((p + 127541088) * y) >> 32)) - 1613111u) * 16u);
            const int i = 6 - j;
            v = Okv32s(Okv32u((p * q31(std::exp2(-((2 * i + 1) % 3) / 3.0L), false)) >> 32) * 2u);
            E = 27 - (20 - i - (i + 1) / 3);  // 20, 19, 17, 16, 15, 13, 12
        }
        v = (v * q31(std::exp2(-(e & 3) / 4.0L), true)) >> 32;
    }
    const int d = (e >> 2) - E;
    return d < 0 ? (v > (INT32_MAX >> std::min(-d, 31)) ? INT32_MAX : Okv32s(v << -d)) : Okv32s(v >> std::min(d, 31));
}

// Every magnitude 1..8206 over the global gains against the model; exact powers at the reference gain.
TEST(MP3Requant, CoreToTheBit) {
    std::vector<int32_t> x(1152), work(576);
    int nz[2];
    const int8_t sf[80] = {};
    MP3SideInfo si[2] = {};
    const MP3FrameHeader hdr = header(1, 3);
    for (int gain = 0; gain < 256; gain += 3) {
        si[0].global_gain = gain;
        for (int n0 = 1; n0 <= 8206; n0 += 576) {
            for (int i = 0; i < 576; ++i) x[i] = std::min(n0 + i, 8206) * (i & 1 ? -1 : 1);
            nz[0] = nz[1] = 576;
            ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()), okvOk);
            for (int i = 0; i < 576; ++i)
                ASSERT_EQ(x[i], requantModel(std::min(n0 + i, 8206), 210 - gain) * (i & 1 ? -1 : 1)) << n0 + i << " " << gain;
        }
    }
    si[0].global_gain = 210;
    std::fill(x.begin(), x.end(), 0);
    x[0] = 1, x[1] = 8, x[2] = 16, x[3] = -1, nz[0] = nz[1] = 576;
    ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &hdr, work.data()), okvOk);
    EXPECT_EQ(std::vector<int32_t>(x.begin(), x.begin() + 5), (std::vector<int32_t>{67108864, 1073741824, INT32_MAX, -67108864, 0}));
    EXPECT_EQ(nz[0], 4);
}

// MPEG-1 intensity stereo with the right channel silent and band b at position p = b % 7: each line a
// (of either sign) splits into l = hi(2a k) and r = a - l, k = tan(p pi/12) / (1 + tan(p pi/12)) in
// Q31, held below 1 (checked below band 21).
TEST(MP3Requant, IntensityPositionsSplitEachLine) {
    const auto line = [](int i) { return i % 3 ? -1 - i % 20 : i % 20; };
    std::vector<Okv32s> x(1152, 0), work(576);
    for (int i = 0; i < 576; ++i) x[i] = line(i);
    int nz[2] = {576, 0};
    Okv8s sf[80] = {};
    for (int b = 0; b < 21; ++b) sf[40 + b] = Okv8s(b % 7);
    MP3SideInfo si[2] = {};
    si[0].global_gain = si[1].global_gain = 202;  // lines up to 2^30: the last bit of k shows
    const MP3FrameHeader h = header(1, 1, 0, 1);
    ASSERT_EQ(okvsReQuantize_MP3_32s_I(x.data(), nz, sf, si, &h, work.data()), okvOk);
    for (int b = 0; b < 21; ++b) {
        const double t = std::tan(b % 7 * M_PI / 12);
        const int64_t k = std::min<int64_t>(std::llround(t / (1 + t) * 0x1p31), INT32_MAX);
        for (int i = kSfbLong[3][b]; i < kSfbLong[3][b + 1]; ++i) {
            const int32_t a = (i % 3 ? -1 : 1) * requantModel(std::abs(line(i)), 8);
            const int32_t l = int32_t((2 * int64_t(a) * k) >> 32);
            ASSERT_TRUE(x[i] == l && x[576 + i] == a - l) << "line " << i;
        }
    }
}

// The window form of one subband gives what the hybrid form puts out for subband 0 and keeps for its
// overlap (from the lines the hybrid form leaves after its alias butterflies), every block type.
TEST(MP3Imdct, WindowFormMatchesTheHybridForm) {
    std::mt19937 rng(5);
    for (int it = 0; it < 400; ++it) {
        const int type = it % 4, amp = 1 << (4 + it % 24);
        std::vector<Okv32s> x(576, 0), out(576), ov(576, 0), win(36);
        for (int k = 0; k < 18; ++k) x[k] = Okv32s(rng() % (2u * amp + 1)) - amp;
        int prev = 0;
        ASSERT_EQ(okvsMDCTInv_MP3_32s(x.data(), out.data(), ov.data(), 18, &prev, type, 0), okvOk);
        ASSERT_EQ(okvsMDCTInvWindow_MP3_32s(x.data(), win.data(), type), okvOk);
        for (int t = 0; t < 18; ++t) ASSERT_TRUE(out[32 * t] == win[t] && ov[t] == win[18 + t]) << it << " " << t;
    }
}

namespace {

struct Args {
    std::vector<uint8_t> buf = std::vector<uint8_t>(64, 0);
    Okv8u* p = buf.data();
    int off = 0, prev = 0, pos = 0, nz[2] = {576, 576}, scfsi[8] = {}, bound[6] = {5, 5, 5}, count1[4], huf[4];
    Okv32s x[2304] = {}, r[576] = {}, out[576] = {}, ov[576] = {}, work[OKV_MP3_QUANT_WORK_LEN];
    Okv16s pcm[2304] = {};
    Okv8s sf[160] = {};
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4] = {};
    MP3BitReservoir resv{0, 4088};
    okv_u8::Mp3PsyStateHead state{};
    std::vector<Okv8u> psyState = std::vector<Okv8u>(OKV_MP3_PSY_STATE_SIZE), psyWork = std::vector<Okv8u>(OKV_MP3_PSY_WORK_SIZE);
    MP3FrameHeader h = header(1, 0);
    Args() {
        si[0].part2_3_length = 100, si[0].big_values = 10, x[7] = 9, r[7] = -3;
        for (int& t : si[0].table_select) t = 1;
        for (auto& s : si) s.global_gain = 210;
    }
    StatusCode huffman(int budget, bool mbp = false) {
        static const Okv16s lng[6 * 23] = {};
        return mbp ? okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, out, bound, si, &h, budget, lng, lng, lng)
                   : okvsHuffmanDecode_MP3_1u32s(&p, &off, out, bound, si, &h, budget);
    }
    StatusCode imdct(int n, int type, int mixed) { return okvsMDCTInv_MP3_32s(x, out, ov, n, &prev, type, mixed); }
    StatusCode requant() { return okvsReQuantize_MP3_32s_I(x, nz, sf, si, &h, out); }
    StatusCode scalefactors(int gr, int ch) { return okvsUnpackScaleFactors_MP3_1u8s(&p, &off, sf, si, scfsi, &h, gr, ch); }
    StatusCode sideInfo() { return okvsUnpackSideInfo_MP3(&p, si, bound, &prev, scfsi, &h); }
    StatusCode packScalefactors() { return okvsPackScaleFactors_MP3_8s1u(sf, &p, &off, &h, si, scfsi, 0, 0); }
    StatusCode encode() { return okvsHuffmanEncode_MP3_32s1u(x, &p, &off, &h, si, 0, 0); }
    StatusCode joint() { return okvsJointStereoEncode_MP3_32s_I(x, r, sf, &h, si, bound); }
    // Argument k (0..11 the quantiser's, 12..18 the model's) null, or none for k < 0.
    StatusCode nulled(int k) {
        void* v[20] = {x, sf, scfsi, count1, huf, &h, si, ratio, &state, &resv,
                       bound, work, pcm, ratio, bound, si, &h, psyState.data(), psyWork.data()};
        if (k >= 0) v[k] = nullptr;
        if (k < 12)
            return okvsQuantize_MP3_32s_I((Okv32s*)v[0], (Okv8s*)v[1], (int*)v[2], (int*)v[3], (int*)v[4], (MP3FrameHeader*)v[5],
                                          (MP3SideInfo*)v[6], (MP3PsyRatio*)v[7], (const Okv8u*)v[8], (MP3BitReservoir*)v[9],
                                          1000, (int*)v[10], (Okv32s*)v[11]);
        return okvsPsychoacousticModelTwo_MP3_16s((const Okv16s*)v[12], (MP3PsyRatio*)v[13], (int*)v[14], (MP3SideInfo*)v[15],
                                                  (MP3FrameHeader*)v[16], (Okv8u*)v[17], nullptr, (Okv8u*)v[18]);
    }
};

// A float filter state (analysis or synthesis) in misaligned caller memory: 16-byte aligned, nothing
// written past its size, the argument checks, Free of an Init'd state keeping it usable, foreign blocks
// and nulls refused. In mode 1 the filter reads at most 64 values, writes 32.
template <class State>
void lifecycle(StatusCode (*getSize)(int*), StatusCode (*init)(State**, Okv8u*), StatusCode (*filter)(const Okv32f*, Okv32f*, State*, int),
               StatusCode (*release)(State*)) {
    int size = 0;
    ASSERT_TRUE(getSize(&size) == okvOk && size == 2107);
    std::vector<Okv8u> mem(size + 64, 0xCC), junk(64, 0);
    State *obj = nullptr, *foreign = reinterpret_cast<State*>(junk.data());
    ASSERT_EQ(init(&obj, mem.data() + 3), okvOk);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(obj) % 16, 0u);
    const Okv32f zeros[64] = {};
    Okv32f out[33];
    out[32] = 99;
    for (int call = 0; call < 20; ++call) ASSERT_EQ(filter(zeros, out, obj, 1), okvOk);
    for (int m = 0; m < 33; ++m) EXPECT_EQ(out[m], m < 32 ? 0.0f : 99.0f);
    EXPECT_EQ(std::vector<StatusCode>({filter(zeros, out, obj, 0), filter(zeros, out, obj, 3), filter(zeros, nullptr, obj, 1), release(obj),
                                       filter(zeros, out, obj, 1), release(foreign), filter(zeros, out, foreign, 1), release(nullptr),
                                       init(&obj, nullptr), getSize(nullptr)}),
              std::vector<StatusCode>({okvErrBadArg, okvErrBadArg, okvErrNullPtr, okvOk, okvOk, okvErrContextMatch, okvErrContextMatch,
                                       okvErrNullPtr, okvErrNullPtr, okvErrNullPtr}));
    for (size_t i = size + 3; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i - 3 << " of " << size;
}

}  // namespace

// Float synthesis in mode 2 writes what mode 1 gives to every other value, leaving the ones between.
TEST(Mp3Synth, FloatInterleavedOutputIsThePlainOne) {
    PQMFSynthesisSpec *plain = nullptr, *inter = nullptr;
    ASSERT_EQ(okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(&plain), okvOk);
    ASSERT_EQ(okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(&inter), okvOk);
    std::mt19937 rng(3);
    for (int call = 0; call < 20; ++call) {
        Okv32f in[32], a[32], b[64];
        for (Okv32f& v : in) v = float(int(rng() % 2001) - 1000);
        std::fill(b, b + 64, 0.5f);
        ASSERT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, a, plain, 1), okvOk);
        ASSERT_EQ(okvsSynthesisFilter_PQMF_MP3_32f(in, b, inter, 2), okvOk);
        for (int i = 0; i < 32; ++i) ASSERT_TRUE(b[2 * i] == a[i] && b[2 * i + 1] == 0.5f) << call << " " << i;
    }
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(plain), okvOk);
    EXPECT_EQ(okvsSynthesisFilterFree_PQMF_MP3_32f(inter), okvOk);
}

TEST(Mp3Refusals, OneBadArgumentAtATimeAndFilterLifecycles) {
    const struct {
        StatusCode want;
        StatusCode (*call)(Args&);
    } cases[] = {
#define R(want, ...) {want, [](Args& a) -> StatusCode { return __VA_ARGS__; }}
        R(okvErrNullPtr, a.off = 8, okvsHuffmanDecode_MP3_1u32s(&a.p, &a.off, nullptr, a.bound, a.si, &a.h, 50)),
        R(okvErrNullPtr, a.p = nullptr, a.huffman(50)), R(okvErrBadArg, a.off = 8, a.huffman(50)),
        R(okvErrBadArg, a.huffman(-1)), R(okvErrBadArg, a.huffman(101)),
        R(okvErrMp3SideInfo, a.huffman(101, true)),
        R(okvOk, a.si[0].big_values = 0, a.si[0].table_select[0] = 32, a.huffman(0)),  // unused table
        R(okvErrMp3SideInfo, a.si[0].table_select[0] = 32, a.huffman(0)),  // used, with or without bits
        R(okvErrMp3SideInfo, a.si[0].table_select[0] = 32, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].big_values = 289, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].block_type = 4, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].count1table_select = 2, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].window_switching_flag = 1, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].window_switching_flag = a.si[0].block_type = 2, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].window_switching_flag = a.si[0].block_type = 2, a.huffman(50, true)),
        R(okvErrMp3SideInfo, a.si[0].region0_count = 15, a.si[0].region1_count = 6, a.huffman(50)),
        R(okvErrMp3SideInfo, a.si[0].region1_count = -1, a.huffman(50)), R(okvErrMp3FrameHeader, a.h.layer = 2, a.huffman(50)),
        R(okvErrMp3FrameHeader, a.h.sampling_frequency = 3, a.huffman(50)),
        R(okvErrMp3SideInfo, a.h.id = 2, a.si[0].big_values = 289, a.huffman(50)),
        R(okvErrMp3FrameHeader, a.h.id = 2, a.si[0].big_values = 289, a.huffman(50, true)),
        R(okvErrNullPtr, okvsMDCTInv_MP3_32s(a.x, a.out, nullptr, 0, &a.prev, 0, 0)),
        R(okvErrNullPtr, okvsMDCTInv_MP3_32s(a.x, a.out, a.ov, 0, nullptr, 9, 0)), R(okvErrBadArg, a.imdct(577, 0, 0)),
        R(okvErrBadArg, a.imdct(-1, 0, 0)), R(okvErrBadArg, a.imdct(0, 4, 0)),
        R(okvErrBadArg, a.imdct(0, 0, 2)), R(okvErrBadArg, a.prev = 33, a.imdct(0, 0, 0)),
        R(okvErrBadArg, okvsMDCTInvWindow_MP3_32s(a.x, a.out, 4)),
        R(okvErrNullPtr, okvsMDCTInvWindow_MP3_32s(nullptr, a.out, 0)),
        R(okvErrMp3SideInfo, a.h.mode = 1, a.h.mode_extension = 2, a.si[1].block_type = 1, a.requant()),
        R(okvErrMp3SideInfo, a.h.mode = 1, a.h.mode_extension = 1, a.si[0].block_type = a.si[1].block_type = 2,
          a.si[0].window_switching_flag = a.si[1].window_switching_flag = a.si[1].mixed_block_flag = 1, a.requant()),
        R(okvErrMp3FrameHeader, a.h.id = 2, a.requant()), R(okvErrMp3FrameHeader, a.h.sampling_frequency = 3, a.requant()),
        R(okvErrBadArg, a.nz[0] = 577, a.requant()), R(okvErrMp3SideInfo, a.si[0].global_gain = 256, a.requant()),
        R(okvErrMp3SideInfo, a.si[0].mixed_block_flag = 2, a.requant()),
        R(okvErrBadData, a.si[0].block_type = a.si[1].block_type = 2, a.si[0].subblock_gain[1] = 8, a.requant()),
        R(okvErrNullPtr, okvsReQuantize_MP3_32s_I(a.x, a.nz, a.sf, a.si, &a.h, nullptr)),
        R(okvErrNullPtr, okvsReQuantizeSfb_MP3_32s_I(a.x, a.nz, a.sf, a.si, &a.h, a.out, nullptr, nullptr)),
        R(okvErrBadData, a.x[5] = -8207, a.requant()),
        R(okvErrBadArg, a.pos = 16, okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, &a.pos, 1)),
        R(okvErrBadArg, okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, &a.pos, 3)),
        R(okvErrNullPtr, okvsSynthPQMF_MP3_32s16s(nullptr, a.pcm, a.ov, &a.pos, 3)),
        R(okvErrNullPtr, okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, nullptr, 1)),
        R(okvErrBadArg, a.off = 8, a.scalefactors(0, 0)), R(okvErrBadArg, a.scalefactors(2, 0)),
        R(okvErrBadArg, a.scalefactors(0, -1)), R(okvErrMp3SideInfo, a.si[0].scalefac_compress = 16, a.scalefactors(0, 0)),
        R(okvErrMp3SideInfo, a.h = header(0, 1, 0, 4), a.si[0].scalefac_compress = 512, a.scalefactors(0, 0)),
        R(okvErrMp3FrameHeader, a.h = header(0, 1, 0, 4), a.si[0].scalefac_compress = 511, a.scalefactors(0, 0)),
        R(okvErrNullPtr, a.p = nullptr, a.scalefactors(5, 0)), R(okvErrMp3FrameHeader, a.h.layer = 3, a.sideInfo()),
        R(okvErrMp3FrameHeader, a.h.mode = -1, a.sideInfo()), R(okvErrNullPtr, a.p = nullptr, a.sideInfo()),
        R(okvErrNullPtr, a.h.mode = -1, okvsUnpackSideInfo_MP3(&a.p, a.si, a.bound, nullptr, a.scfsi, &a.h)),
        R(okvErrNullPtr, okvsUnpackSideInfo_MP3(&a.p, nullptr, a.bound, &a.prev, a.scfsi, &a.h)),
        R(okvErrNullPtr, a.p = nullptr, okvsUnpackFrameHeader_MP3(&a.p, &a.h)),
        R(okvErrNullPtr, okvsUnpackFrameHeader_MP3(&a.p, nullptr)),
        R(okvErrNullPtr, a.p = nullptr, okvsPackFrameHeader_MP3(&a.h, &a.p)),
        R(okvErrNullPtr, a.p = nullptr, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, &a.h)),
        R(okvErrMp3FrameHeader, a.h.layer = 2, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, &a.h)),
        R(okvErrNullPtr, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, nullptr, &a.h)),
        R(okvErrNullPtr, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, nullptr)),
        R(okvErrMp3SideInfo, a.si[0].scalefac_compress = 16, a.packScalefactors()), R(okvErrNullPtr, a.p = nullptr, a.packScalefactors()),
        R(okvErrMp3FrameHeader, a.h = header(0, 0, 0, 4), a.si[0].scalefac_compress = 511, a.packScalefactors()),
        R(okvErrMp3FrameHeader, a.h = header(0, 0, 0, 4), okvsBitReservoirInit_MP3(&a.resv, &a.h)),
        R(okvErrMp3FrameHeader, a.h.layer = 2, a.encode()), R(okvErrMp3FrameHeader, a.h = header(0, 0, 0, 4), a.encode()),
        R(okvErrBadArg, a.h = header(0, 0, 0, 4), a.off = 8, a.encode()),
        R(okvErrMp3SideInfo, a.si[0].region0_count = 15, a.si[0].region1_count = 6, a.encode()),
        R(okvErrMp3SideInfo, a.si[0].big_values = 289, a.encode()),
        R(okvErrMp3SideInfo, a.si[0].count1table_select = 2, a.encode()),
        R(okvErrMp3SideInfo, a.h.mode = 1, a.h.mode_extension = 2, a.si[1].block_type = 2, a.joint()),
        R(okvErrMp3SideInfo, a.h.mode = 1, a.h.mode_extension = 1, a.si[1].block_type = 2, a.joint()),
        R(okvOk, a.h.mode = 1, a.si[1].block_type = 2, a.joint()),  // neither M/S nor intensity
        R(okvOk, a.h.mode_extension = 3, a.joint()),  // plain stereo
        R(okvErrMp3FrameHeader, a.h.mode = 1, a.h.id = 2, a.joint()),
        R(okvErrMp3FrameHeader, a.h.mode = 1, a.h.sampling_frequency = 3, a.joint()),
        R(okvErrMp3FrameHeader, a.h.sampling_frequency = 3, a.nulled(-1)), R(okvErrMp3FrameHeader, a.h.id = 2, a.nulled(-1)),
        R(okvErrMp3SideInfo, a.si[3].window_switching_flag = a.si[3].mixed_block_flag = 1, a.si[3].block_type = 2, a.nulled(-1)),
        R(okvErrBadArg, okvsAnalysisPQMF_MP3_16s32s(a.pcm, a.x, 0)),
        R(okvErrBadArg, okvsAnalysisPQMF_MP3_16s32s(a.pcm, a.x, 3)),
        R(okvErrNullPtr, okvsAnalysisPQMF_MP3_16s32s(nullptr, a.x, 1)),
        {okvOk, [](Args& a) -> StatusCode {  // a negative table in region 1 fails after region 0 is written
             a.si[0].big_values = 100, a.si[0].table_select[0] = 1, a.si[0].table_select[1] = -1;
             const bool failedLate = a.encode() == okvErrMp3SideInfo && bitPos(a.buf.data(), a.p, a.off) > 0;
             return a.p = a.buf.data(), failedLate ? okvOk : okvErrBadArg;
         }},
#undef R
    };
    for (const auto& c : cases) {
        Args a;
        EXPECT_EQ(c.call(a), c.want) << "case " << &c - cases;
        const bool untouched = (!a.p || a.p == a.buf.data()) && a.x[7] == 9 && a.r[7] == -3;
        EXPECT_TRUE(c.want == okvErrBadData || untouched) << "case " << &c - cases;
    }
    for (int k = 0; k < 19; ++k) EXPECT_EQ(Args().nulled(k), okvErrNullPtr) << k;
    Args bad, a, unused;  // ten (1, 1) pairs of 5 bits each in a budget of 40: the cursor stops past the ninth
    EXPECT_TRUE(bad.huffman(40) == okvErrBadData && bitPos(bad.buf.data(), bad.p, bad.off) == 45);
    unused.si[0].big_values = 0, unused.si[0].table_select[0] = 32;  // a region without pairs: its table unread
    EXPECT_EQ(unused.huffman(50), okvOk);
    a.h = header(1, 3), a.buf[6] = 0x10;  // mono, window switching with block type 0: the cursor passes the 74 bits read
    EXPECT_TRUE(a.sideInfo() == okvErrMp3SideInfo && a.p == a.buf.data() + 10);
    lifecycle(okvsSynthesisFilterGetSize_PQMF_MP3_32f, okvsSynthesisFilterInit_PQMF_MP3_32f, okvsSynthesisFilter_PQMF_MP3_32f,
              okvsSynthesisFilterFree_PQMF_MP3_32f);
    lifecycle(okvsAnalysisFilterGetSize_PQMF_MP3_32f, okvsAnalysisFilterInit_PQMF_MP3_32f, okvsAnalysisFilter_PQMF_MP3_32f,
              okvsAnalysisFilterFree_PQMF_MP3_32f);
}
