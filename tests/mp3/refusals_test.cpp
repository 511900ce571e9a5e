// The Layer III exports' refusals, decoder and encoder, one bad argument or field at a time (in the
// order the checks run where two are bad), and both float filter states' lifecycles. A refused call
// moves no cursor and writes no line; bad data is found while decoding.
#include <gtest/gtest.h>

#include "mp3/psy_state.h"
#include "mp3_test_util.h"

using namespace mp3test;

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
        R(okvErrMp3FrameHeader, a.h.mode = -1, a.sideInfo()),
        R(okvErrNullPtr, a.h.mode = -1, okvsUnpackSideInfo_MP3(&a.p, a.si, a.bound, nullptr, a.scfsi, &a.h)),
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
        R(okvErrMp3SideInfo, a.h.mode = 1, a.h.mode_extension = 3, a.si[1].block_type = 2, a.joint()),
        R(okvOk, a.h.mode = 1, a.si[1].block_type = 2, a.joint()),  // neither M/S nor intensity
        R(okvOk, a.h.mode_extension = 3, a.joint()),  // plain stereo
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
    Args bad, a;  // ten (1, 1) pairs of 5 bits each in a budget of 40: the cursor stops past the ninth
    EXPECT_TRUE(bad.huffman(40) == okvErrBadData && bitPos(bad.buf.data(), bad.p, bad.off) == 45);
    a.h = header(1, 3), a.buf[6] = 0x10;  // mono, window switching with block type 0: the cursor passes the 74 bits read
    EXPECT_TRUE(a.sideInfo() == okvErrMp3SideInfo && a.p == a.buf.data() + 10);
    lifecycle(okvsSynthesisFilterGetSize_PQMF_MP3_32f, okvsSynthesisFilterInit_PQMF_MP3_32f, okvsSynthesisFilter_PQMF_MP3_32f,
              okvsSynthesisFilterFree_PQMF_MP3_32f);
    lifecycle(okvsAnalysisFilterGetSize_PQMF_MP3_32f, okvsAnalysisFilterInit_PQMF_MP3_32f, okvsAnalysisFilter_PQMF_MP3_32f,
              okvsAnalysisFilterFree_PQMF_MP3_32f);
}
