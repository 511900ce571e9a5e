// The Layer III decoder exports' refusals, one bad argument or field at a time (in the order the checks
// run where two are bad), and the float synthesis state's lifecycle. A refused call moves no cursor;
// bad data is found while decoding.
#include <gtest/gtest.h>

#include "mp3_test_util.h"

using namespace mp3test;

namespace {

struct Args {
    std::vector<uint8_t> buf = std::vector<uint8_t>(64, 0);
    Okv8u* p = buf.data();
    int off = 0, bound = 0, prev = 0, pos = 0, nz[2] = {576, 576}, scfsi[8] = {};
    Okv32s x[1152] = {}, out[576] = {}, ov[576] = {};
    Okv16s pcm[64] = {};
    Okv8s sf[80] = {};
    MP3SideInfo si[4] = {};
    MP3FrameHeader h = header(1, 0);
    Args() {
        si[0].part2_3_length = 100, si[0].big_values = 10;
        for (int& t : si[0].table_select) t = 1;
        for (auto& s : si) s.global_gain = 210;
    }
    StatusCode huffman(int budget, bool mbp = false) {
        static const Okv16s lng[6 * 23] = {};
        return mbp ? okvsHuffmanDecodeSfbMbp_MP3_1u32s(&p, &off, out, &bound, si, &h, budget, lng, lng, lng)
                   : okvsHuffmanDecode_MP3_1u32s(&p, &off, out, &bound, si, &h, budget);
    }
    StatusCode imdct(int n, int type, int mixed) { return okvsMDCTInv_MP3_32s(x, out, ov, n, &prev, type, mixed); }
    StatusCode requant() { return okvsReQuantize_MP3_32s_I(x, nz, sf, si, &h, out); }
    StatusCode scalefactors(int gr, int ch) { return okvsUnpackScaleFactors_MP3_1u8s(&p, &off, sf, si, scfsi, &h, gr, ch); }
    StatusCode sideInfo() { return okvsUnpackSideInfo_MP3(&p, si, &bound, &prev, scfsi, &h); }
};

}  // namespace

TEST(Mp3Refusals, OneBadArgumentAtATimeAndFilterLifecycle) {
    const struct {
        StatusCode (*call)(Args&);
        StatusCode want;
    } cases[] = {
        {[](Args& a) { return a.off = 8, okvsHuffmanDecode_MP3_1u32s(&a.p, &a.off, nullptr, &a.bound, a.si, &a.h, 50); }, okvErrNullPtr},
        {[](Args& a) { return a.p = nullptr, a.huffman(50); }, okvErrNullPtr},
        {[](Args& a) { return a.off = 8, a.huffman(50); }, okvErrBadArg},
        {[](Args& a) { return a.huffman(-1); }, okvErrBadArg},
        {[](Args& a) { return a.huffman(101); }, okvErrBadArg},
        {[](Args& a) { return a.huffman(101, true); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.huffman(40); }, okvErrBadData},  // ten (1, 1) pairs of 5 bits each
        {[](Args& a) { return a.si[0].big_values = 0, a.si[0].table_select[0] = 32, a.huffman(0); }, okvOk},  // unused table
        {[](Args& a) { return a.si[0].big_values = 289, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].block_type = 4, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].count1table_select = 2, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].window_switching_flag = 1, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].region0_count = 15, a.si[0].region1_count = 6, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].region1_count = -1, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h.layer = 2, a.huffman(50); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.sampling_frequency = 3, a.huffman(50); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.id = 2, a.si[0].big_values = 289, a.huffman(50); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h.id = 2, a.si[0].big_values = 289, a.huffman(50, true); }, okvErrMp3FrameHeader},
        {[](Args& a) { return okvsMDCTInv_MP3_32s(a.x, a.out, nullptr, 0, &a.prev, 0, 0); }, okvErrNullPtr},
        {[](Args& a) { return okvsMDCTInv_MP3_32s(a.x, a.out, a.ov, 0, nullptr, 9, 0); }, okvErrNullPtr},
        {[](Args& a) { return a.imdct(577, 0, 0); }, okvErrBadArg},
        {[](Args& a) { return a.imdct(-1, 0, 0); }, okvErrBadArg},
        {[](Args& a) { return a.imdct(0, 4, 0); }, okvErrBadArg},
        {[](Args& a) { return a.imdct(0, 0, 2); }, okvErrBadArg},
        {[](Args& a) { return a.prev = 33, a.imdct(0, 0, 0); }, okvErrBadArg},
        {[](Args& a) { return okvsMDCTInvWindow_MP3_32s(a.x, a.out, 4); }, okvErrBadArg},
        {[](Args& a) { return okvsMDCTInvWindow_MP3_32s(nullptr, a.out, 0); }, okvErrNullPtr},
        {[](Args& a) { return a.h.mode = 1, a.h.mode_extension = 2, a.si[1].block_type = 1, a.requant(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h.id = 2, a.requant(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.sampling_frequency = 3, a.requant(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.nz[0] = 577, a.requant(); }, okvErrBadArg},
        {[](Args& a) { return a.si[0].global_gain = 256, a.requant(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].mixed_block_flag = 2, a.requant(); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.si[0].block_type = a.si[1].block_type = 2, a.si[0].subblock_gain[1] = 8, a.requant(); }, okvErrBadData},
        {[](Args& a) { return okvsReQuantize_MP3_32s_I(a.x, a.nz, a.sf, a.si, &a.h, nullptr); }, okvErrNullPtr},
        {[](Args& a) { return okvsReQuantizeSfb_MP3_32s_I(a.x, a.nz, a.sf, a.si, &a.h, a.out, nullptr, nullptr); }, okvErrNullPtr},
        {[](Args& a) { return a.x[5] = -8207, a.requant(); }, okvErrBadData},
        {[](Args& a) { return a.pos = 16, okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, &a.pos, 1); }, okvErrBadArg},
        {[](Args& a) { return okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, &a.pos, 3); }, okvErrBadArg},
        {[](Args& a) { return okvsSynthPQMF_MP3_32s16s(nullptr, a.pcm, a.ov, &a.pos, 3); }, okvErrNullPtr},
        {[](Args& a) { return okvsSynthPQMF_MP3_32s16s(a.x, a.pcm, a.ov, nullptr, 1); }, okvErrNullPtr},
        {[](Args& a) { return a.off = 8, a.scalefactors(0, 0); }, okvErrBadArg},
        {[](Args& a) { return a.scalefactors(2, 0); }, okvErrBadArg},
        {[](Args& a) { return a.scalefactors(0, -1); }, okvErrBadArg},
        {[](Args& a) { return a.si[0].scalefac_compress = 16, a.scalefactors(0, 0); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h = header(0, 1, 0, 4), a.si[0].scalefac_compress = 512, a.scalefactors(0, 0); }, okvErrMp3SideInfo},
        {[](Args& a) { return a.h = header(0, 1, 0, 4), a.si[0].scalefac_compress = 511, a.scalefactors(0, 0); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.p = nullptr, a.scalefactors(5, 0); }, okvErrNullPtr},
        {[](Args& a) { return a.h.layer = 3, a.sideInfo(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.mode = -1, a.sideInfo(); }, okvErrMp3FrameHeader},
        {[](Args& a) { return a.h.mode = -1, okvsUnpackSideInfo_MP3(&a.p, a.si, &a.bound, nullptr, a.scfsi, &a.h); }, okvErrNullPtr},
        {[](Args& a) { return a.p = nullptr, okvsUnpackFrameHeader_MP3(&a.p, &a.h); }, okvErrNullPtr},
        {[](Args& a) { return okvsUnpackFrameHeader_MP3(&a.p, nullptr); }, okvErrNullPtr},
    };
    for (const auto& c : cases) {
        Args a;
        EXPECT_EQ(c.call(a), c.want) << "case " << &c - cases;
        EXPECT_TRUE(a.p == nullptr || a.p == a.buf.data() || c.want == okvErrBadData) << "case " << &c - cases;
    }
    Args a;  // mono side information with window switching and block type 0: the cursor passes the 74 bits read
    a.h = header(1, 3), a.buf[6] = 0x10;
    EXPECT_EQ(a.sideInfo(), okvErrMp3SideInfo);
    EXPECT_EQ(a.p, a.buf.data() + 10);
    checkFilterLifecycle(okvsSynthesisFilterGetSize_PQMF_MP3_32f, okvsSynthesisFilterInit_PQMF_MP3_32f,
                         okvsSynthesisFilter_PQMF_MP3_32f, okvsSynthesisFilterFree_PQMF_MP3_32f);
}
