// TNS and LTP side data, and the main and extension headers of scalable streams.
#include <cstring>

#include "aac/aac_bits.h"
#include "aac/band_tables_data.h"

namespace OKV_NS {

StatusCode aacDecodeTnsData(AacBits& bs, int winSequence, int* nFilt, int* coefRes, int* length, int* order,
                            int* direction, Okv8s* coef, int maxLongOrder) {
    const bool isShort = winSequence == kEightShort;
    const int numWin = isShort ? 8 : 1;
    const int nFiltBits = isShort ? 1 : 2, lenBits = isShort ? 4 : 6, orderBits = isShort ? 3 : 5;
    const int maxOrder = isShort ? 7 : maxLongOrder;
    int f = 0, d = 0, c = 0;  // packed filter, direction and coefficient positions
    for (int w = 0; w < numWin; ++w) {
        nFilt[w] = int(bs.get(nFiltBits));
        if (nFilt[w] == 0) continue;
        const int res = bs.bit() + 3;
        coefRes[w] = res;
        for (int k = 0; k < nFilt[w]; ++k, ++f) {
            length[f] = int(bs.get(lenBits));
            const int ord = int(bs.get(orderBits));
            order[f] = ord;
            if (ord > maxOrder) return okvErrAacTnsOrder;
            if (ord == 0) continue;
            direction[d++] = bs.bit();
            const int bits = res - bs.bit();
            for (int i = 0; i < ord; ++i) {
                const Okv32u v = bs.get(bits) << (32 - bits);
                coef[c++] = Okv8s(Okv32s(v) >> (32 - bits));
            }
        }
    }
    return okvOk;
}

void aacDecodeLtpData(AacBits& bs, int winSequence, int maxSfb, AACLtpData* ltp) {
    ltp->ltpLag = int(bs.get(11));
    ltp->ltpCoef = kLtpCoef[bs.get(3)];
    if (winSequence == kEightShort) {
        ltp->ltpShortLag[0] = ltp->ltpLag;
        int prev = -1;  // last window that used prediction
        for (int w = 0; w < 8; ++w) {
            if (!(ltp->ltpShortUsed[w] = bs.bit())) continue;
            if (prev < 0) {
                ltp->ltpShortLagPresent[w] = 0;
                ltp->ltpShortLag[w] = ltp->ltpShortLag[0];
            } else if ((ltp->ltpShortLagPresent[w] = bs.bit())) {
                ltp->ltpShortLag[w] = Okv16s(ltp->ltpShortLag[prev] - int(bs.get(5))) + 16;
            } else {
                ltp->ltpShortLag[w] = ltp->ltpShortLag[prev];
            }
            prev = w;
        }
        return;
    }
    const int n = maxSfb < 40 ? maxSfb : 40;
    ltp->ltpLongUsed[0] = ltp->ltpDataPresent;
    for (int b = 1; b <= n; ++b) ltp->ltpLongUsed[b] = bs.bit();
    for (int b = n + 1; b <= 40; ++b) ltp->ltpLongUsed[b] = 0;
}

namespace {

// TNS side data into a header record; the parse status is not reported by the headers.
void headerTns(AacBits& bs, int winSequence, AACTnsData* t) {
    if ((t->tnsDataPresent = bs.bit()))
        aacDecodeTnsData(bs, winSequence, t->nFilt, t->coefRes, t->length, t->order, t->direction, t->coef);
}

}  // namespace

// pMsUsed must hold 8 groups of 60 flags when the channel count is 2.
StatusCode okvsDecodeMainHeader_AAC(Okv8u** ppBitStream, int* pOffset, AACMainHeader* pAACMainHeader, int channel,
                                    int monoStereoFlag) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pAACMainHeader) return okvErrNullPtr;
    if (channel == 2 && !pAACMainHeader->pMsUsed) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (channel < 1 || channel > 2) return okvErrAacChanNum;
    if (Okv32u(monoStereoFlag) > 1) return okvErrAacMonoStereo;
    AACMainHeader* h = pAACMainHeader;
    AacBits bs(*ppBitStream, *pOffset);
    h->winSequence = int(bs.get(2));
    h->winShape = bs.bit();
    if (h->winSequence == kEightShort) {
        h->maxSfb = int(bs.get(4));
        h->sfGrouping = int(bs.get(7));
        h->numWinGrp = aacGroupWindows(h->sfGrouping, h->lenWinGrp);
    } else {
        h->maxSfb = int(bs.get(6));
        h->numWinGrp = 1;
        h->lenWinGrp[0] = 1;
        for (int g = 1; g < 8; ++g) h->lenWinGrp[g] = 0;
    }
    if (channel == 2) {
        h->msMaskPresent = int(bs.get(2));
        for (int g = 0; g < h->numWinGrp; ++g) {
            Okv8u* ms = h->pMsUsed + g * 60;
            if (h->msMaskPresent == 1) {
                for (int b = 0; b < h->maxSfb; ++b) ms[b] = Okv8u(bs.bit());
            } else {
                std::memset(ms, h->msMaskPresent == 2, size_t(h->maxSfb));
            }
        }
    }
    for (int ch = 0; ch < channel; ++ch) {
        std::memset(&h->tnsData[ch], 0, sizeof(AACTnsData));
        headerTns(bs, h->winSequence, &h->tnsData[ch]);
        AACLtpData* ltp = &h->ltpData[ch];
        std::memset(ltp, 0, sizeof(AACLtpData));
        if ((ltp->ltpDataPresent = bs.bit())) aacDecodeLtpData(bs, h->winSequence, h->maxSfb, ltp);
    }
    bs.store(ppBitStream, pOffset);
    return monoStereoFlag ? okvErrNotSupportedMode : okvOk;
}

// pMsUsed must hold 4 groups of 60 flags when this layer is stereo.
StatusCode okvsDecodeExtensionHeader_AAC(Okv8u** ppBitStream, int* pOffset, AACExtHeader* pAACExtHeader,
                                         int monoStereoFlag, int thisLayerStereo, int monoLayerFlag, int preStereoMaxSfb,
                                         int highestMaxSfb, int winSequence) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pAACExtHeader) return okvErrNullPtr;
    if (thisLayerStereo == 1 && !pAACExtHeader->pMsUsed) return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (Okv32u(monoStereoFlag) > 1) return okvErrAacMonoStereo;
    if (Okv32u(thisLayerStereo) > 1) return okvErrAacStereoLayer;
    if (Okv32u(monoLayerFlag) > 1) return okvErrAacMonoLayer;
    if (Okv32u(preStereoMaxSfb) > 51 || highestMaxSfb > 51) return okvErrAacMaxSfb;
    if (Okv32u(winSequence) > 3) return okvErrAacWinSeq;
    AACExtHeader* h = pAACExtHeader;
    const bool isShort = winSequence == kEightShort;
    AacBits bs(*ppBitStream, *pOffset);
    if (!isShort) {
        h->maxSfb = int(bs.get(6));
        if (h->maxSfb > 60) {
            bs.store(ppBitStream, pOffset);
            return okvErrAacMaxSfb;
        }
    } else {
        h->maxSfb = int(bs.get(4));
    }
    if (thisLayerStereo) {
        h->msMaskPresent = int(bs.get(2));
        if (h->msMaskPresent == 1)
            for (int g = 0; g < (isShort ? 4 : 1); ++g)
                for (int b = preStereoMaxSfb; b < h->maxSfb; ++b) h->pMsUsed[g * 60 + b] = Okv8u(bs.bit());
    }
    if (monoStereoFlag)
        for (int ch = 0; ch < 2; ++ch) headerTns(bs, winSequence, &h->tnsData[ch]);
    if (monoLayerFlag && thisLayerStereo) {
        for (int ch = 0; ch < 2; ++ch) {
            int* diff = h->diffControlLr[ch];
            if (isShort) {
                if (preStereoMaxSfb == 0)
                    for (int w = 0; w < 8; ++w) diff[w] = bs.bit();
                continue;
            }
            const int end = highestMaxSfb < h->maxSfb ? highestMaxSfb : h->maxSfb;
            int n = 0;
            for (int b = preStereoMaxSfb; b < end; ++b)
                if (h->pMsUsed[b] == 0) diff[n++] = bs.bit();
        }
    }
    bs.store(ppBitStream, pOffset);
    return okvOk;
}

}  // namespace OKV_NS
