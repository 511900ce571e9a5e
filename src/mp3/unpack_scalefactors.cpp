// Layer III scalefactors of one granule and channel (MPEG-1 and LSF rules).
#include "mp3/mp3_bits.h"
#include "mp3/scf_tables.h"

namespace OKV_NS {

namespace {

// Reads count values of width bits to dst (zeros without reading when width is 0).
inline Okv8s* readScf(Mp3Bits& bs, Okv8s* dst, int count, int width) {
    for (int i = 0; i < count; ++i) dst[i] = (Okv8s)bs.get(width);
    return dst + count;
}

void unpackMpeg1(Mp3Bits& bs, Okv8s* sf, const MP3SideInfo* si, const int* scfsi, int granule) {
    const int slen1 = mp3Slen[si->scalefac_compress], slen2 = mp3Slen[16 + si->scalefac_compress];
    sf[21] = 0;
    if (si->block_type == 2) {
        const int first = si->mixed_block_flag ? 17 : 18;
        Okv8s* d = readScf(bs, sf, first, slen1);
        d = readScf(bs, d, 18, slen2);
        d[0] = d[1] = d[2] = 0;
        return;
    }
    for (int g = 0; g < 4; ++g) {
        if (granule == 1 && scfsi[g]) continue;  // reuse granule 0's values
        readScf(bs, sf + mp3ScfsiGroup[g], mp3ScfsiGroup[g + 1] - mp3ScfsiGroup[g], g < 2 ? slen1 : slen2);
    }
}

void unpackLsf(Mp3Bits& bs, Okv8s* sf, MP3SideInfo* si, const MP3FrameHeader* h, int channel) {
    int kind = 0;
    if (si->block_type == 2) {
        si->mixed_block_flag &= 1;
        kind = 1 + si->mixed_block_flag;
    }
    const int c = si->scalefac_compress;
    const bool intensity = (h->mode_extension & 1) && channel == 1;
    int slen[4] = {0, 0, 0, 0};
    int row;
    if (!intensity) {
        si->preflag = 0;
        if (c < 400) {
            slen[0] = (c >> 4) / 5; slen[1] = (c >> 4) % 5; slen[2] = (c & 15) >> 2; slen[3] = c & 3;
            row = 0;
        } else if (c < 500) {
            const int d = c - 400;
            slen[0] = (d >> 2) / 5; slen[1] = (d >> 2) % 5; slen[2] = d & 3;
            row = 1;
        } else {
            const int d = c - 500;
            slen[0] = d / 3; slen[1] = d % 3;
            si->preflag = 1;
            row = 2;
        }
    } else {
        si->preflag = 0;
        const int i = c >> 1;
        if (i < 180) {
            slen[0] = i / 36; slen[1] = (i % 36) / 6; slen[2] = (i % 36) % 6;
            row = 3;
        } else if (i < 244) {
            const int d = i - 180;
            slen[0] = (d & 63) >> 4; slen[1] = (d & 15) >> 2; slen[2] = d & 3;
            row = 4;
        } else {
            const int d = i - 244;
            slen[0] = d / 3; slen[1] = d % 3;
            row = 5;
        }
    }
    Okv8s* d = sf;
    for (int k = 0; k < 4; ++k) {
        const int n = mp3NrOfSfbBlock[row][kind][k];
        Okv8s* start = d;
        d = readScf(bs, d, n, slen[k]);
        if (intensity) {  // the largest value of a partition marks an illegal intensity position
            const int illegal = (1 << slen[k]) - 1;
            for (Okv8s* q = start; q < d; ++q)
                if (*q == illegal) *q = (Okv8s)-*q;
        }
    }
    d[0] = d[1] = d[2] = 0;
}

}  // namespace

StatusCode okvsUnpackScaleFactors_MP3_1u8s(Okv8u** ppBitStream, int* pOffset, Okv8s* pDstScaleFactor,
                                           MP3SideInfo* pSideInfo, const int* pScfsi,
                                           const MP3FrameHeader* pFrameHeader, int granule, int channel) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pDstScaleFactor || !pSideInfo || !pScfsi || !pFrameHeader)
        return okvErrNullPtr;
    if ((unsigned)*pOffset > 7 || (unsigned)granule > 1 || (unsigned)channel > 1) return okvErrBadArg;
    if (pFrameHeader->id == 1) {
        if ((unsigned)pSideInfo->scalefac_compress > 15) return okvErrMp3SideInfo;
    } else {
        if ((unsigned)pSideInfo->scalefac_compress > 511) return okvErrMp3SideInfo;
        if ((unsigned)pFrameHeader->mode_extension > 3) return okvErrMp3FrameHeader;
    }
    Mp3Bits bs{*ppBitStream, (Okv32u)*pOffset};
    if (pFrameHeader->id == 1)
        unpackMpeg1(bs, pDstScaleFactor, pSideInfo, pScfsi, granule);
    else
        unpackLsf(bs, pDstScaleFactor, pSideInfo, pFrameHeader, channel);
    *ppBitStream += bs.pos >> 3;
    *pOffset = (int)(bs.pos & 7);
    return okvOk;
}

}  // namespace OKV_NS
