// Fill and data stream elements; both start after the element identifier.
#include "aac/aac_bits.h"

namespace OKV_NS {

StatusCode okvsDecodeFillElt_AAC(Okv8u** ppBitStream, int* pOffset, int* pFillCnt, Okv8u* pFillData) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pFillCnt || !pFillData) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    AacBits bs(*ppBitStream, *pOffset);
    int cnt = int(bs.get(4));
    if (cnt == 15) cnt += int(bs.get(8)) - 1;
    aacGetBytes(bs, pFillData, cnt);
    *pFillCnt = cnt;
    bs.store(ppBitStream, pOffset);
    return okvOk;
}

StatusCode okvsDecodeDatStrElt_AAC(Okv8u** ppBitStream, int* pOffset, int* pDataTag, int* pDataCnt,
                                   Okv8u* pDataElt) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pDataTag || !pDataCnt || !pDataElt) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    AacBits bs(*ppBitStream, *pOffset);
    *pDataTag = int(bs.get(4));
    const int alignFlag = bs.bit();
    int cnt = int(bs.get(8));
    if (cnt == 255) cnt += int(bs.get(8));
    if (alignFlag) bs.align();
    aacGetBytes(bs, pDataElt, cnt);
    *pDataCnt = cnt;
    bs.store(ppBitStream, pOffset);
    return okvOk;
}

}  // namespace OKV_NS
