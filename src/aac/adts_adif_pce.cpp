// Stream headers: ADTS, ADIF, and the program configuration element.
#include "aac/aac_bits.h"

namespace OKV_NS {

namespace {

void readPce(AacBits& bs, AACPrgCfgElt* e) {
    e->eltInsTag = int(bs.get(4));
    e->profile = int(bs.get(2));
    e->samplingRateIndex = int(bs.get(4));
    e->numFrontElt = int(bs.get(4));
    e->numSideElt = int(bs.get(4));
    e->numBackElt = int(bs.get(4));
    e->numLfeElt = int(bs.get(2));
    e->numDataElt = int(bs.get(3));
    e->numValidCcElt = int(bs.get(4));
    e->monoMixdownEltNum = 0;
    e->stereoMixdownEltNum = 0;
    e->matrixMixdownIdx = 0;
    e->pseudoSurroundEnable = 0;
    if ((e->monoMixdownPres = bs.bit())) e->monoMixdownEltNum = int(bs.get(4));
    if ((e->stereoMixdownPres = bs.bit())) e->stereoMixdownEltNum = int(bs.get(4));
    if ((e->matrixMixdownIdxPres = bs.bit())) {
        e->matrixMixdownIdx = int(bs.get(2));
        e->pseudoSurroundEnable = bs.bit();
    }
    const auto pairs = [&](int n, int* flag, int* tag) {
        for (int i = 0; i < n; ++i) {
            flag[i] = bs.bit();
            tag[i] = int(bs.get(4));
        }
    };
    pairs(e->numFrontElt, e->frontIsCpe, e->frontTagSel);
    pairs(e->numSideElt, e->sideIsCpe, e->sideTagSel);
    pairs(e->numBackElt, e->backIsCpe, e->backTagSel);
    for (int i = 0; i < e->numLfeElt; ++i) e->lfeTagSel[i] = int(bs.get(4));
    for (int i = 0; i < e->numDataElt; ++i) e->dataTagSel[i] = int(bs.get(4));
    pairs(e->numValidCcElt, e->ccIsIndSw, e->ccTagSel);
    bs.align();
    e->commentFieldBytes = int(bs.get(8));
    aacGetBytes(bs, e->commentFieldData, e->commentFieldBytes);
}

}  // namespace

StatusCode okvsDecodePrgCfgElt_AAC(Okv8u** ppBitStream, int* pOffset, AACPrgCfgElt* pPrgCfgElt) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pPrgCfgElt) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    AacBits bs(*ppBitStream, *pOffset);
    readPce(bs, pPrgCfgElt);
    bs.store(ppBitStream, pOffset);
    return okvOk;
}

// Starts at bit 0 of the current byte; only whole bytes are added to the byte pointer.
StatusCode okvsUnpackADIFHeader_AAC(Okv8u** ppBitStream, AACADIFHeader* pADIFHeader, AACPrgCfgElt* pPrgCfgElt,
                                    int prgCfgEltMax) {
    if (!ppBitStream || !*ppBitStream || !pADIFHeader || !pPrgCfgElt) return okvErrNullPtr;
    if (prgCfgEltMax < 1 || prgCfgEltMax > 16) return okvErrAacPrgNum;
    AacBits bs(*ppBitStream, 0);
    AACADIFHeader* h = pADIFHeader;
    h->adifId = bs.get(16) << 16;
    h->adifId |= bs.get(16);
    if ((h->copyIdPres = bs.bit())) aacGetBytes(bs, h->copyId, 9);
    h->originalCopy = bs.bit();
    h->home = bs.bit();
    h->bitstreamType = bs.bit();
    h->bitRate = int(bs.get(23));
    h->numPrgCfgElt = int(bs.get(4)) + 1;
    StatusCode st = okvOk;
    if (h->numPrgCfgElt > prgCfgEltMax) {
        st = okvErrAacPrgNum;
    } else {
        for (int i = 0; i < h->numPrgCfgElt; ++i) {
            if (h->bitstreamType == 0) h->adifBufFullness[i] = int(bs.get(20));
            readPce(bs, pPrgCfgElt + i);
        }
    }
    *ppBitStream += bs.pos >> 3;
    return st;
}

StatusCode okvsUnpackADTSFrameHeader_AAC(Okv8u** ppBitStream, AACADTSFrameHeader* pADTSFrameHeader) {
    if (!ppBitStream || !*ppBitStream || !pADTSFrameHeader) return okvErrNullPtr;
    AacBits bs(*ppBitStream, 0);
    AACADTSFrameHeader* h = pADTSFrameHeader;
    bs.get(12);  // syncword, not compared
    h->id = bs.bit();
    h->layer = int(bs.get(2));
    h->protectionBit = bs.bit();
    h->profile = int(bs.get(2));
    h->samplingRateIndex = int(bs.get(4));
    h->privateBit = bs.bit();
    h->channelConfig = int(bs.get(3));
    h->originalCopy = bs.bit();
    h->home = bs.bit();
    h->copyIdBit = bs.bit();
    h->copyIdStart = bs.bit();
    h->frameLen = int(bs.get(13));
    h->adtsBufferFullness = int(bs.get(11));
    h->numRawDataBlocks = int(bs.get(2)) + 1;
    if (h->protectionBit == 0) h->crcCheck = int(bs.get(16));
    *ppBitStream += bs.pos >> 3;
    return okvOk;
}

}  // namespace OKV_NS
