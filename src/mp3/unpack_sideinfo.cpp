// Layer III frame header and side information.
#include "mp3/mp3_bits.h"

namespace OKV_NS {

StatusCode okvsUnpackFrameHeader_MP3(Okv8u** ppBitStream, MP3FrameHeader* pFrameHeader) {
    if (!ppBitStream || !*ppBitStream || !pFrameHeader) return okvErrNullPtr;
    const Okv8u* p = *ppBitStream;
    MP3FrameHeader* h = pFrameHeader;
    h->id = (p[1] >> 3) & 1;
    h->layer = (p[1] >> 1) & 3;
    h->protection_bit = p[1] & 1;
    h->bitrate_index = p[2] >> 4;
    h->sampling_frequency = (p[2] >> 2) & 3;
    h->padding_bit = (p[2] >> 1) & 1;
    h->private_bit = p[2] & 1;
    h->mode = p[3] >> 6;
    h->mode_extension = (p[3] >> 4) & 3;
    h->copyright = (p[3] >> 3) & 1;
    h->original_copy = (p[3] >> 2) & 1;
    h->emphasis = p[3] & 3;
    if (h->protection_bit == 0) {
        h->crc_check = p[4] << 8 | p[5];
        *ppBitStream += 6;
    } else {
        *ppBitStream += 4;
    }
    return okvOk;
}

StatusCode okvsUnpackSideInfo_MP3(Okv8u** ppBitStream, MP3SideInfo* pDstSideInfo, int* pDstMainDataBegin,
                                  int* pDstPrivateBits, int* pDstScfsi, const MP3FrameHeader* pFrameHeader) {
    if (!ppBitStream || !*ppBitStream || !pDstSideInfo || !pDstMainDataBegin || !pDstPrivateBits ||
        !pDstScfsi || !pFrameHeader)
        return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)h->id > 1 || h->layer != 1 || (unsigned)h->mode > 3) return okvErrMp3FrameHeader;

    const int mpeg1 = h->id;
    const int nch = h->mode == 3 ? 1 : 2;
    Mp3Bits bs{*ppBitStream, 0};
    if (mpeg1) {
        *pDstMainDataBegin = (int)bs.get(9);
        *pDstPrivateBits = (int)bs.get(nch == 1 ? 5 : 3);
        for (int ch = 0; ch < nch; ++ch)
            for (int g = 0; g < 4; ++g) pDstScfsi[ch * 4 + g] = (int)bs.get(1);
    } else {
        *pDstMainDataBegin = (int)bs.get(8);
        *pDstPrivateBits = (int)bs.get(nch);
    }

    const int ngr = mpeg1 ? 2 : 1;
    for (int i = 0; i < ngr * nch; ++i) {
        MP3SideInfo* si = pDstSideInfo + i;
        si->part2_3_length = (int)bs.get(12);
        si->big_values = (int)bs.get(9);
        si->global_gain = (int)bs.get(8);
        si->scalefac_compress = (int)bs.get(mpeg1 ? 4 : 9);
        si->window_switching_flag = (int)bs.get(1);
        if (si->window_switching_flag) {
            si->block_type = (int)bs.get(2);
            si->mixed_block_flag = (int)bs.get(1);
            si->table_select[0] = (int)bs.get(5);
            si->table_select[1] = (int)bs.get(5);
            for (int w = 0; w < 3; ++w) si->subblock_gain[w] = (int)bs.get(3);
            if (si->block_type == 0) {
                *ppBitStream += (bs.pos + 7) >> 3;
                return okvErrMp3SideInfo;
            }
            si->region0_count = (si->block_type == 2 && si->mixed_block_flag == 0) ? 8 : 7;
            si->region1_count = 20 - si->region0_count;
        } else {
            for (int r = 0; r < 3; ++r) si->table_select[r] = (int)bs.get(5);
            si->region0_count = (int)bs.get(4);
            si->region1_count = (int)bs.get(3);
            si->block_type = 0;
            si->mixed_block_flag = 0;
        }
        if (mpeg1) si->preflag = (int)bs.get(1);
        si->scalefac_scale = (int)bs.get(1);
        si->count1table_select = (int)bs.get(1);
    }
    *ppBitStream += bs.pos >> 3;  // the side information is a whole number of bytes
    return okvOk;
}

}  // namespace OKV_NS
