// ICS information and the common part of channel pair elements.
#include "aac/ics.h"

namespace OKV_NS {

StatusCode aacReadIcsInfo(AacBits& bs, AACIcsInfo* ics, int predLimit, bool lc, int objType, AACMainHeader* hdr,
                          int commonWin) {
    if (!lc) hdr->ltpData[0].ltpDataPresent = hdr->ltpData[1].ltpDataPresent = 0;
    ics->icsReservedBit = bs.bit();
    ics->winSequence = int(bs.get(2));
    ics->winShape = bs.bit();
    ics->predictorDataPresent = 0;
    if (ics->winSequence == kEightShort) {
        ics->maxSfb = int(bs.get(4));
        ics->sfGrouping = int(bs.get(7));
        ics->numWinGrp = aacGroupWindows(ics->sfGrouping, ics->lenWinGrp);
        return okvOk;
    }
    ics->numWinGrp = 1;
    ics->lenWinGrp[0] = 1;
    ics->maxSfb = int(bs.get(6));
    if (ics->maxSfb > 51) return okvErrAacMaxSfb;
    ics->predictorDataPresent = bs.bit();
    ics->predictorReset = 0;
    if (!ics->predictorDataPresent) return okvOk;
    if (lc || objType == 1) {
        if ((ics->predictorReset = bs.bit())) ics->predictorResetGroupNum = int(bs.get(5));
        if (!lc && predLimit > 41) return okvErrAacPredSfb;
        const int n = ics->maxSfb < predLimit ? ics->maxSfb : predLimit;
        for (int b = 0; b < n; ++b) ics->predictionUsed[b] = Okv8u(bs.bit());
        for (int b = n; b < predLimit; ++b) ics->predictionUsed[b] = 0;
        return okvOk;
    }
    hdr->winSequence = ics->winSequence;
    hdr->maxSfb = ics->maxSfb;
    for (int ch = 0; ch < (commonWin ? 2 : 1); ++ch) {
        AACLtpData* ltp = &hdr->ltpData[ch];
        if ((ltp->ltpDataPresent = bs.bit())) aacDecodeLtpData(bs, ics->winSequence, ics->maxSfb, ltp);
    }
    return okvOk;
}

namespace {

StatusCode decodeCpe(Okv8u** ppBitStream, int* pOffset, AACIcsInfo* ics, AACChanPairElt* cpe, int predLimit, bool lc,
                     int objType, AACMainHeader* hdr) {
    AacBits bs(*ppBitStream, *pOffset);
    StatusCode st = okvOk;
    if ((cpe->commonWin = bs.bit())) {
        st = aacReadIcsInfo(bs, ics, predLimit, lc, objType, hdr, 1);
        if (st == okvOk) {
            cpe->msMaskPresent = int(bs.get(2));
            if (cpe->msMaskPresent == 1)
                for (int g = 0; g < ics->numWinGrp; ++g)
                    for (int b = 0; b < ics->maxSfb; ++b) cpe->msUsed[g][b] = Okv8u(bs.bit());
        }
    }
    bs.store(ppBitStream, pOffset);
    return st;
}

}  // namespace

StatusCode okvsDecodeChanPairElt_AAC(Okv8u** ppBitStream, int* pOffset, AACIcsInfo* pIcsInfo,
                                     AACChanPairElt* pChanPairElt, int predSfbMax) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pIcsInfo || !pChanPairElt) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (Okv32u(predSfbMax) > 41) return okvErrAacPredSfb;
    return decodeCpe(ppBitStream, pOffset, pIcsInfo, pChanPairElt, predSfbMax, true, 0, nullptr);
}

StatusCode okvsDecodeChanPairElt_MP4_AAC(Okv8u** ppBitStream, int* pOffset, AACIcsInfo* pIcsInfo,
                                         AACChanPairElt* pChanPairElt, AACMainHeader* pAACMainHeader, int predSfbMax,
                                         int audioObjectType) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pIcsInfo || !pChanPairElt || !pAACMainHeader)
        return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (Okv32u(predSfbMax) > 51) return okvErrAacMaxSfb;
    return decodeCpe(ppBitStream, pOffset, pIcsInfo, pChanPairElt, predSfbMax, false, audioObjectType,
                     pAACMainHeader);
}

}  // namespace OKV_NS
