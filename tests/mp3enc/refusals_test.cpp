// The Layer III encoder exports' refusals, one bad argument or field at a time (in the order the
// checks run where two are bad), and the float analysis state's lifecycle.
#include <gtest/gtest.h>

#include "mp3/mp3_test_util.h"
#include "mp3/psy_state.h"

using namespace mp3test;

namespace {

struct Args {
    MP3FrameHeader h = header(1, 0);
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4] = {};
    MP3BitReservoir resv{0, 4088};
    okv_u8::Mp3PsyStateHead state{};
    int scfsi[8] = {}, off = 0, bound[6] = {5, 5, 5}, count1[4], huf[4];
    Okv8u buf[64] = {}, *p = buf;
    Okv8s sf[160] = {};
    Okv16s pcm[2304] = {};
    Okv32s x[2304] = {}, r[576] = {}, work[OKV_MP3_QUANT_WORK_LEN];
    std::vector<Okv8u> psyState = std::vector<Okv8u>(OKV_MP3_PSY_STATE_SIZE), psyWork = std::vector<Okv8u>(OKV_MP3_PSY_WORK_SIZE);
    Args() { x[7] = 9, r[7] = -3; }
    StatusCode scalefactors() { return okvsPackScaleFactors_MP3_8s1u(sf, &p, &off, &h, si, scfsi, 0, 0); }
    StatusCode huffman() { return okvsHuffmanEncode_MP3_32s1u(x, &p, &off, &h, si, 0, 0); }
    StatusCode joint() { return okvsJointStereoEncode_MP3_32s_I(x, r, sf, &h, si, bound); }
    // Argument k (0..11 the quantiser's, 12..18 the model's) null, or none for k < 0.
    StatusCode nulled(int k) {
        void* v[20] = {x, sf, scfsi, count1, huf, &h, si, ratio, &state, &resv, bound, work, pcm, ratio, bound, si, &h, psyState.data(), psyWork.data()};
        if (k >= 0) v[k] = nullptr;
        if (k < 12)
            return okvsQuantize_MP3_32s_I((Okv32s*)v[0], (Okv8s*)v[1], (int*)v[2], (int*)v[3], (int*)v[4], (MP3FrameHeader*)v[5], (MP3SideInfo*)v[6],
                                          (MP3PsyRatio*)v[7], (const Okv8u*)v[8], (MP3BitReservoir*)v[9], 1000, (int*)v[10], (Okv32s*)v[11]);
        return okvsPsychoacousticModelTwo_MP3_16s((const Okv16s*)v[12], (MP3PsyRatio*)v[13], (int*)v[14], (MP3SideInfo*)v[15],
                                                  (MP3FrameHeader*)v[16], (Okv8u*)v[17], nullptr, (Okv8u*)v[18]);
    }
};

}  // namespace

TEST(Mp3EncRefusals, OneBadArgumentAtATime) {
    const struct {
        StatusCode (*call)(Args&);
        StatusCode want;
    } cases[] = {
        {[](Args& a) { return a.p = nullptr, okvsPackFrameHeader_MP3(&a.h, &a.p); }, okvErrNullPtr},
        {[](Args& a) { return a.p = nullptr, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, &a.h); }, okvErrNullPtr},
        {[](Args& a) { return a.h.layer = 2, okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, &a.h); }, okvErrMp3FrameHeader},
        {[](Args& a) { return okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, nullptr, &a.h); }, okvErrNullPtr},
        {[](Args& a) { return okvsPackSideInfo_MP3(a.si, &a.p, 0, 0, a.scfsi, nullptr); }, okvErrNullPtr},
        {[](Args& a) { return a.si[0].scalefac_compress = 16, a.scalefactors(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h = header(0, 0, 0, 4), a.si[0].scalefac_compress = 511, a.scalefactors(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h = header(0, 0, 0, 4), okvsBitReservoirInit_MP3(&a.resv, &a.h); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.layer = 2, a.huffman(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h = header(0, 0, 0, 4), a.huffman(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h = header(0, 0, 0, 4), a.off = 8, a.huffman(); }, okvErrBadArg},
        {[](Args& a) { return a.si[0].region0_count = 15, a.si[0].region1_count = 6, a.huffman(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].big_values = 289, a.huffman(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].count1table_select = 2, a.huffman(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h.mode = 1, a.h.mode_extension = 3, a.si[1].block_type = 2, a.joint(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h.mode = 1, a.si[1].block_type = 2, a.joint(); }, okvOk},  // neither M/S nor intensity
        {[](Args& a) { return a.h.mode_extension = 3, a.joint(); }, okvOk},  // plain stereo
        {[](Args& a) { return a.h.sampling_frequency = 3, a.nulled(-1); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.id = 2, a.nulled(-1); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.si[3].window_switching_flag = a.si[3].mixed_block_flag = 1, a.si[3].block_type = 2, a.nulled(-1); }, okvErrMp3SideInfo},
        {[](Args& a) { return okvsAnalysisPQMF_MP3_16s32s(a.pcm, a.x, 0); }, okvErrBadArg},
        {[](Args& a) { return okvsAnalysisPQMF_MP3_16s32s(a.pcm, a.x, 3); }, okvErrBadArg},
        {[](Args& a) { return okvsAnalysisPQMF_MP3_16s32s(nullptr, a.x, 1); }, okvErrNullPtr},
        {[](Args& a) -> StatusCode {  // a negative table in region 1 fails after region 0 is written
             a.si[0].big_values = 100, a.si[0].table_select[0] = 1, a.si[0].table_select[1] = -1;
             return a.huffman() == okvErrMp3SideInfo && bitPos(a.buf, a.p, a.off) > 0 ? okvOk : okvErrBadArg;
         }, okvOk},
    };
    for (const auto& c : cases) {
        Args a;
        EXPECT_EQ(c.call(a), c.want) << "case " << &c - cases;
        EXPECT_EQ(std::vector<Okv32s>({a.x[7], a.r[7]}), std::vector<Okv32s>({9, -3})) << "case " << &c - cases;
    }
    for (int k = 0; k < 19; ++k) {
        Args a;
        EXPECT_EQ(a.nulled(k), okvErrNullPtr) << k;
    }
}

TEST(Mp3EncRefusals, FloatAnalysisStateLifecycle) {
    checkFilterLifecycle(okvsAnalysisFilterGetSize_PQMF_MP3_32f, okvsAnalysisFilterInit_PQMF_MP3_32f,
                         okvsAnalysisFilter_PQMF_MP3_32f, okvsAnalysisFilterFree_PQMF_MP3_32f);
}
