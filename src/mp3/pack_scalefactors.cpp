// Layer III scalefactors of one granule and channel (MPEG-1 and LSF rules).
#include "mp3/pack_bits.h"
#include "mp3/scf_tables.h"

namespace OKV_NS {

namespace {

inline const Okv8s* putScf(Mp3BitSink& bs, const Okv8s* src, int count, int width) {
    for (int i = 0; i < count; ++i) bs.put((Okv32u)src[i], width);
    return src + count;
}

void packMpeg1(Mp3BitSink& bs, const Okv8s* sf, const MP3SideInfo* si, const int* scfsi, int granule) {
    const int slen1 = mp3Slen[si->scalefac_compress], slen2 = mp3Slen[16 + si->scalefac_compress];
    if (si->block_type == 2) {
        // Short: 18 values with slen1 (mixed: long bands 0..7 and short bands 3..5), then 18.
        const Okv8s* s = putScf(bs, sf, si->mixed_block_flag ? 17 : 18, slen1);
        putScf(bs, s, 18, slen2);
        return;
    }
    for (int g = 0; g < 4; ++g) {
        if (granule == 1 && scfsi[g]) continue;  // granule 0's values are reused
        putScf(bs, sf + mp3ScfsiGroup[g], mp3ScfsiGroup[g + 1] - mp3ScfsiGroup[g], g < 2 ? slen1 : slen2);
    }
}

// slen of the four partitions, the partition-table row and preflag for an LSF scalefac_compress.
void lsfLengths(int c, bool intensity, int slen[4], int* row, int* preflag) {
    slen[0] = slen[1] = slen[2] = slen[3] = 0;
    *preflag = 0;
    if (!intensity) {
        if (c < 400) {
            slen[0] = (c >> 4) / 5, slen[1] = (c >> 4) % 5, slen[2] = (c & 15) >> 2, slen[3] = c & 3;
            *row = 0;
        } else if (c < 500) {
            const int t = c - 400;
            slen[0] = (t >> 2) / 5, slen[1] = (t >> 2) % 5, slen[2] = t & 3;
            *row = 1;
        } else {
            const int t = c - 500;
            slen[0] = t / 3, slen[1] = t % 3;
            *preflag = 1;
            *row = 2;
        }
        return;
    }
    const int t = c >> 1;
    if (t < 180) {
        slen[0] = t / 36, slen[1] = (t % 36) / 6, slen[2] = t % 6;
        *row = 3;
    } else if (t < 244) {
        const int u = t - 180;
        slen[0] = u >> 4, slen[1] = (u & 15) >> 2, slen[2] = u & 3;
        *row = 4;
    } else {
        const int u = t - 244;
        slen[0] = u / 3, slen[1] = u % 3;
        *row = 5;
    }
}

void packLsf(Mp3BitSink& bs, const Okv8s* sf, MP3SideInfo* si, const MP3FrameHeader* h, int channel) {
    const int kind = si->block_type == 2 ? 1 + (si->mixed_block_flag != 0) : 0;
    int slen[4], row, preflag;
    lsfLengths(si->scalefac_compress, (h->mode_extension & 1) && channel == 1, slen, &row, &preflag);
    si->preflag = preflag;
    for (int k = 0; k < 4; ++k) sf = putScf(bs, sf, mp3NrOfSfbBlock[row][kind][k], slen[k]);
}

}  // namespace

// A bit offset outside 0..7 counts from the byte pointer: it is folded into whole bytes.
StatusCode okvsPackScaleFactors_MP3_8s1u(const Okv8s* pSrcScaleFactor, Okv8u** ppBitStream, int* pOffset,
                                         const MP3FrameHeader* pFrameHeader, MP3SideInfo* pSideInfo,
                                         const int* pScfsi, int granule, int channel) {
    if (!pSrcScaleFactor || !ppBitStream || !*ppBitStream || !pOffset || !pFrameHeader || !pSideInfo || !pScfsi)
        return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if (h->id == 1) {
        if ((unsigned)pSideInfo->scalefac_compress > 15) return okvErrMp3SideInfo;
    } else {
        if ((unsigned)pSideInfo->scalefac_compress > 511) return okvErrMp3SideInfo;
        if ((unsigned)h->mode_extension > 3) return okvErrMp3FrameHeader;
    }
    Mp3BitSink bs(*ppBitStream + (*pOffset >> 3), *pOffset & 7);
    if (h->id == 1)
        packMpeg1(bs, pSrcScaleFactor, pSideInfo, pScfsi, granule);
    else
        packLsf(bs, pSrcScaleFactor, pSideInfo, h, channel);
    bs.finish(ppBitStream, pOffset);
    return okvOk;
}

}  // namespace OKV_NS
