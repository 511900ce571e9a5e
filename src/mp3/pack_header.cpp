// Layer III frame header, side information and bit reservoir set-up.
#include "mp3/pack_bits.h"
#include "mp3/reservoir_tables.h"

namespace OKV_NS {

StatusCode okvsBitReservoirInit_MP3(MP3BitReservoir* pDstBitResv, const MP3FrameHeader* pFrameHeader) {
    if (!pDstBitResv || !pFrameHeader) return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if (h->id != 1) return okvErrMp3FrameHeader;
    // Indices the slot table has no entry for are refused as well.
    if ((unsigned)h->sampling_frequency > 2 || (unsigned)h->bitrate_index > 14) return okvErrMp3FrameHeader;
    int frameBits = 8 * mp3Mpeg1Slots[h->sampling_frequency][h->bitrate_index];
    if (frameBits > 7680) frameBits = 7680;  // the Layer III buffer
    const int room = 7680 - frameBits;
    pDstBitResv->resvSize = 0;
    pDstBitResv->resvMaxSize = room < 4088 ? room : 4088;  // 4088: main_data_begin of 511 bytes
    return okvOk;
}

StatusCode okvsPackFrameHeader_MP3(const MP3FrameHeader* pSrcFrameHeader, Okv8u** ppBitStream) {
    if (!pSrcFrameHeader || !ppBitStream || !*ppBitStream) return okvErrNullPtr;
    const MP3FrameHeader* h = pSrcFrameHeader;
    Mp3BitSink bs(*ppBitStream, 0);
    bs.put(0xFFF, 12);
    bs.put((Okv32u)h->id, 1);
    bs.put((Okv32u)h->layer, 2);
    bs.put((Okv32u)h->protection_bit, 1);
    bs.put((Okv32u)h->bitrate_index, 4);
    bs.put((Okv32u)h->sampling_frequency, 2);
    bs.put((Okv32u)h->padding_bit, 1);
    bs.put((Okv32u)h->private_bit, 1);
    bs.put((Okv32u)h->mode, 2);
    bs.put((Okv32u)h->mode_extension, 2);
    bs.put((Okv32u)h->copyright, 1);
    bs.put((Okv32u)h->original_copy, 1);
    bs.put((Okv32u)h->emphasis, 2);
    if ((h->protection_bit & 1) == 0) bs.put((Okv32u)h->crc_check, 16);
    bs.finish(ppBitStream, nullptr);
    return okvOk;
}

StatusCode okvsPackSideInfo_MP3(const MP3SideInfo* pSrcSideInfo, Okv8u** ppBitStream, int mainDataBegin,
                                int privateBits, const int* pSrcScfsi, const MP3FrameHeader* pFrameHeader) {
    if (!pSrcSideInfo || !ppBitStream || !*ppBitStream || !pSrcScfsi || !pFrameHeader) return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)h->id > 1 || h->layer != 1 || (unsigned)h->mode > 3) return okvErrMp3FrameHeader;

    const int mpeg1 = h->id;
    const int nch = h->mode == 3 ? 1 : 2;
    Mp3BitSink bs(*ppBitStream, 0);
    if (mpeg1) {
        bs.put((Okv32u)mainDataBegin, 9);
        bs.put((Okv32u)privateBits, nch == 1 ? 5 : 3);
        for (int i = 0; i < 4 * nch; ++i) bs.put((Okv32u)pSrcScfsi[i], 1);
    } else {
        bs.put((Okv32u)mainDataBegin, 8);
        bs.put((Okv32u)privateBits, nch);
    }
    const int records = (mpeg1 ? 2 : 1) * nch;
    for (int i = 0; i < records; ++i) {
        const MP3SideInfo* si = pSrcSideInfo + i;
        bs.put((Okv32u)si->part2_3_length, 12);
        bs.put((Okv32u)si->big_values, 9);
        bs.put((Okv32u)si->global_gain, 8);
        bs.put((Okv32u)si->scalefac_compress, mpeg1 ? 4 : 9);
        bs.put((Okv32u)si->window_switching_flag, 1);
        if (si->window_switching_flag & 1) {
            bs.put((Okv32u)si->block_type, 2);
            // Block type 0 cannot follow window switching: the writing stops here, the
            // stream pointer moving past the last byte touched.
            if ((si->block_type & 3) == 0) {
                bs.finish(ppBitStream, nullptr);
                if ((bs.written() & 7) != 0) ++*ppBitStream;
                return okvOk;
            }
            bs.put((Okv32u)si->mixed_block_flag, 1);
            bs.put((Okv32u)si->table_select[0], 5);
            bs.put((Okv32u)si->table_select[1], 5);
            for (int w = 0; w < 3; ++w) bs.put((Okv32u)si->subblock_gain[w], 3);
        } else {
            for (int r = 0; r < 3; ++r) bs.put((Okv32u)si->table_select[r], 5);
            bs.put((Okv32u)si->region0_count, 4);
            bs.put((Okv32u)si->region1_count, 3);
        }
        if (mpeg1) bs.put((Okv32u)si->preflag, 1);
        bs.put((Okv32u)si->scalefac_scale, 1);
        bs.put((Okv32u)si->count1table_select, 1);
    }
    bs.finish(ppBitStream, nullptr);
    return okvOk;
}

}  // namespace OKV_NS
