// Noiseless decoding of one individual channel stream: section data, scalefactors, pulse and
// TNS side data, and the Huffman-coded spectral values.
#include <cstring>

#include "aac/band_tables_data.h"
#include "aac/huff_aac_data.h"
#include "aac/ics.h"

namespace OKV_NS {

namespace {

constexpr Okv32u kLink = 0x20;

// Window layout of the channel: from the stream, from the caller's ICS record, or from the
// scalable header plus arguments.
struct Layout {
    int winSequence, maxSfb, numWinGrp;
    const int* lenWinGrp;
};

// Caller-supplied layouts are checked so that no field can send a loop past the fixed arrays:
// a window sequence above 3, a maxSfb outside 0..51 and groups that do not tile
// the frame are refused.
StatusCode checkLayout(const Layout& l) {
    if (Okv32u(l.winSequence) > 3) return okvErrAacWinSeq;
    if (Okv32u(l.maxSfb) > 51) return okvErrAacMaxSfb;
    if (l.winSequence != kEightShort) return l.numWinGrp == 1 && l.lenWinGrp[0] == 1 ? okvOk : okvErrAacWinGrp;
    if (l.numWinGrp < 1 || l.numWinGrp > 8) return okvErrAacWinGrp;
    int sum = 0;
    for (int g = 0; g < l.numWinGrp; ++g) {
        if (l.lenWinGrp[g] < 1 || l.lenWinGrp[g] > 8) return okvErrAacWinGrp;
        sum += l.lenWinGrp[g];
    }
    return sum == 8 ? okvOk : okvErrAacWinGrp;
}

StatusCode decodeSections(AacBits& bs, const Layout& l, AACChanInfo* ci, Okv8u* sfbCb) {
    const int lenBits = l.winSequence == kEightShort ? 3 : 5;
    const Okv32u esc = (1u << lenBits) - 1;
    const int maxSfb = l.maxSfb;
    int s = 0;
    for (int g = 0; g < l.numWinGrp; ++g) {
        Okv8u* cbs = sfbCb + g * maxSfb;
        int k = 0, n = 0;
        ci->numSect[g] = 0;
        while (k < maxSfb) {
            if (n == maxSfb) return okvErrAacSection;
            const int cb = int(bs.get(4));
            int len = 0;
            Okv32u f;
            do {
                f = bs.get(lenBits);
                len += int(f);
            } while (f == esc && k + len <= maxSfb);
            const int end = k + len;
            for (int b = k; b < end && b < maxSfb; ++b) cbs[b] = Okv8u(cb);
            ci->sectCb[s] = Okv8u(cb);
            ci->sectEnd[s] = Okv8u(end);
            ++s;
            ci->numSect[g] = ++n;
            k = end;
        }
        if (k != maxSfb) return okvErrAacSection;
    }
    return okvOk;
}

inline int sfDelta(AacBits& bs) {
    const Okv32u w = bs.peek();
    Okv32u e = kHuffSf[w >> (32 - kSfRootBits)];
    if (e & kLink) e = kHuffSf[(e >> 8) + ((w << kSfRootBits) >> (32 - (e & 31)))];
    bs.pos += e & 31;
    return int(e >> 8) - 60;
}

// Scalefactors, intensity positions and (MPEG-4) noise energies, one per coded band.
StatusCode decodeScalefactors(AacBits& bs, const Layout& l, int globalGain, bool pns, const Okv8u* sfbCb,
                              Okv16s* sf) {
    int g0 = globalGain, ip = 0, ne = 0;
    bool firstNoise = true;
    const int n = l.numWinGrp * l.maxSfb;
    for (int i = 0; i < n; ++i) {
        const int cb = sfbCb[i];
        if (cb == 0) {
            sf[i] = 0;
        } else if (cb <= 11) {
            g0 += sfDelta(bs);
            if (Okv32u(g0) > 255) return okvErrAacSfValue;
            sf[i] = Okv16s(g0);
        } else if (cb >= 14) {
            ip += sfDelta(bs);
            sf[i] = Okv16s(ip);
        } else if (cb == 13 && pns) {
            if (firstNoise) {
                ne = globalGain - 90 + int(bs.get(9)) - 256;
                firstNoise = false;
            } else {
                ne += sfDelta(bs);
                if (Okv32u(ne) > 255) return okvErrAacSfValue;
            }
            sf[i] = Okv16s(ne);
        } else {
            return okvErrAacCodebook;
        }
    }
    return okvOk;
}

inline Okv32s field6(Okv32u e, int k) { return Okv32s(e << (18 - 6 * k)) >> 26; }

// Decodes n values (a multiple of Dim) with one spectral book.
template <int Dim, bool Unsigned, bool Esc>
StatusCode decodeSpan(AacBits& bs, const Okv32u* tab, Okv32s* dst, int n) {
    const Okv8u* base = bs.base;
    Okv32u pos = bs.pos;
    for (int i = 0; i < n; i += Dim, dst += Dim) {
        const Okv32u w = okv_load_be32(base + (pos >> 3)) << (pos & 7);
        Okv32u e = tab[w >> (32 - kSpecRootBits)];
        if (e & kLink) e = tab[(e >> 8) + ((w << kSpecRootBits) >> (32 - (e & 31)))];
        Okv32u len = e & 31;
        Okv32s v[Dim];
        for (int k = 0; k < Dim; ++k) v[k] = field6(e, k);
        if constexpr (Unsigned) {
            // One sign bit per non-zero value, in order; branch-free.
            Okv32u signs = w << len;
            for (int k = 0; k < Dim; ++k) {
                const Okv32u nz = v[k] != 0;
                const Okv32s neg = -Okv32s(signs >> 31 & nz);
                v[k] = (v[k] ^ neg) - neg;
                signs <<= nz;
                len += nz;
            }
        }
        pos += len;
        if constexpr (Esc) {
            for (int k = 0; k < Dim; ++k) {
                if (v[k] != 16 && v[k] != -16) continue;
                const Okv32u x = okv_load_be32(base + (pos >> 3)) << (pos & 7);
                const int ones = __builtin_clz(~x | 1);  // a run past 8 ones fails below
                if (ones > 8) {
                    bs.pos = pos + 9;
                    return okvErrAacCoefValue;
                }
                const int N = 4 + ones;
                const Okv32s mag = Okv32s((1u << N) + ((x << (ones + 1)) >> (32 - N)));
                v[k] = v[k] < 0 ? -mag : mag;
                pos += Okv32u(ones + 1 + N);
            }
        }
        for (int k = 0; k < Dim; ++k) dst[k] = v[k];
    }
    bs.pos = pos;
    return okvOk;
}

StatusCode decodeBook(AacBits& bs, int cb, Okv32s* dst, int n) {
    const Okv32u* t = kHuffSpec[cb];
    switch (cb) {
        case 1: case 2: return decodeSpan<4, false, false>(bs, t, dst, n);
        case 3: case 4: return decodeSpan<4, true, false>(bs, t, dst, n);
        case 5: case 6: return decodeSpan<2, false, false>(bs, t, dst, n);
        case 11: return decodeSpan<2, true, true>(bs, t, dst, n);
        default: return decodeSpan<2, true, false>(bs, t, dst, n);
    }
}

StatusCode decodeSpectrum(AacBits& bs, const Layout& l, const AACChanInfo* ci, const Okv16s* swb, Okv32s* spec) {
    int s = 0;
    for (int g = 0; g < l.numWinGrp; ++g) {
        const int L = l.lenWinGrp[g];
        int from = 0;
        for (int i = 0; i < ci->numSect[g]; ++i, ++s) {
            const int cb = ci->sectCb[s], end = ci->sectEnd[s];
            if (end > ci->numSwb) return okvErrBadData;
            const int to = swb[end] * L;
            if (cb == 12) return okvErrAacCodebook;
            if (cb == 0 || cb >= 13) {
                std::memset(spec + from, 0, size_t(to - from) * sizeof(Okv32s));
            } else {
                const StatusCode st = decodeBook(bs, cb, spec + from, to - from);
                if (st != okvOk) return st;
            }
            from = to;
        }
        const int groupLen = ci->winLen * L;
        std::memset(spec + from, 0, size_t(groupLen - from) * sizeof(Okv32s));
        spec += groupLen;
    }
    return okvOk;
}

struct Pulses {
    int num, startSfb, offset[4], amp[4];
};

StatusCode readPulses(AacBits& bs, Pulses* p, int numSwb) {
    p->num = int(bs.get(2)) + 1;
    p->startSfb = int(bs.get(6));
    if (p->startSfb > 51) return okvErrAacPulse;
    for (int i = 0; i < p->num; ++i) {
        p->offset[i] = int(bs.get(5));
        p->amp[i] = int(bs.get(4));
    }
    return p->startSfb < numSwb ? okvOk : okvErrAacPulse;
}

StatusCode addPulses(const Pulses& p, const Okv16s* swb, int winLen, Okv32s* spec) {
    int pos = swb[p.startSfb];
    for (int i = 0; i < p.num; ++i) {
        pos += p.offset[i];
        if (pos >= winLen) return okvErrAacPulse;
        spec[pos] = spec[pos] > 0 ? spec[pos] + p.amp[i] : spec[pos] - p.amp[i];
    }
    return okvOk;
}

struct Outputs {
    Okv16s* sf;
    Okv32s* spec;
    Okv8u* sfbCb;
    Okv8s* tnsCoef;
};

// Everything after the ICS information.  lc: MPEG-2 rules; scalable: no pulse, TNS or gain
// control data.  Main-profile streams (object type 1) filter long windows up to order 20.
StatusCode decodeBody(AacBits& bs, const Layout& l, AACChanInfo* ci, const Outputs& o, bool lc, bool scalable,
                      int tnsLongOrder = 12) {
    const bool isShort = l.winSequence == kEightShort;
    const int sri = ci->samplingRateIndex;
    ci->winLen = isShort ? 128 : 1024;
    ci->numWindows = isShort ? 8 : 1;
    ci->numSwb = isShort ? kNumSwbShort[sri] : kNumSwbLong[sri];
    const Okv16s* swb = isShort ? kSwbOffsetShort[sri] : kSwbOffsetLong[sri];
    // Short windows: at most 8 groups of numSwb bands fit the 120-entry section arrays.
    if ((lc || isShort) && l.maxSfb > ci->numSwb) return okvErrAacMaxSfb;
    StatusCode st = decodeSections(bs, l, ci, o.sfbCb);
    if (st == okvOk) st = decodeScalefactors(bs, l, ci->globalGain, !lc, o.sfbCb, o.sf);
    if (st != okvOk) return st;
    Pulses pulses{};
    if (!scalable) {
        if ((ci->pulseDataPresent = bs.bit())) {
            if (isShort) return okvErrAacPulse;
            if ((st = readPulses(bs, &pulses, ci->numSwb)) != okvOk) return st;
        }
        ci->tnsNFilt[0] = 0;
        if ((ci->tnsDataPresent = bs.bit())) {
            st = aacDecodeTnsData(bs, l.winSequence, ci->tnsNFilt, ci->tnsCoefRes, ci->tnsLength, ci->tnsOrder,
                                  ci->tnsDirection, o.tnsCoef, tnsLongOrder);
            if (st != okvOk) return st;
        }
        if ((ci->gainControlDataPresent = bs.bit())) return okvErrAacGainCtrl;
    }
    if ((st = decodeSpectrum(bs, l, ci, swb, o.spec)) != okvOk) return st;
    if (!scalable && ci->pulseDataPresent) return addPulses(pulses, swb, ci->winLen, o.spec);
    return okvOk;
}

Layout fromIcs(const AACIcsInfo* ics) {
    return {ics->winSequence, ics->maxSfb, ics->numWinGrp, ics->lenWinGrp};
}

}  // namespace

StatusCode okvsNoiselessDecoder_LC_AAC(Okv8u** ppBitStream, int* pOffset, int commonWin, AACChanInfo* pChanInfo,
                                       Okv16s* pDstScalefactor, Okv32s* pDstQuantizedSpectralCoef, Okv8u* pDstSfbCb,
                                       Okv8s* pDstTnsFiltCoef) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pChanInfo || !pChanInfo->pIcsInfo || !pDstScalefactor ||
        !pDstQuantizedSpectralCoef || !pDstSfbCb || !pDstTnsFiltCoef)
        return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (Okv32u(commonWin) > 1) return okvErrAacComWin;
    if (Okv32u(pChanInfo->samplingRateIndex) > 11) return okvErrAacSmplRate;
    if (pChanInfo->predSfbMax != 0) return okvErrAacPredSfb;
    AacBits bs(*ppBitStream, *pOffset);
    AACChanInfo* ci = pChanInfo;
    ci->globalGain = int(bs.get(8));
    StatusCode st = commonWin ? checkLayout(fromIcs(ci->pIcsInfo))
                              : aacReadIcsInfo(bs, ci->pIcsInfo, 0, true, 0, nullptr, 0);
    if (st == okvOk)
        st = decodeBody(bs, fromIcs(ci->pIcsInfo), ci,
                        {pDstScalefactor, pDstQuantizedSpectralCoef, pDstSfbCb, pDstTnsFiltCoef}, true, false);
    bs.store(ppBitStream, pOffset);
    return st;
}

// pIcsInfo is required unless the scalable flag is 1 (scalable layers take their window
// layout from the header and the arguments).
StatusCode okvsNoiselessDecode_AAC(Okv8u** ppBitStream, int* pOffset, AACMainHeader* pAACMainHeader,
                                   Okv16s* pDstScalefactor, Okv32s* pDstQuantizedSpectralCoef, Okv8u* pDstSfbCb,
                                   Okv8s* pDstTnsFiltCoef, AACChanInfo* pChanInfo, int winSequence, int maxSfb,
                                   int commonWin, int scaleFlag, int audioObjectType) {
    if (!ppBitStream || !*ppBitStream || !pOffset || !pAACMainHeader || !pDstScalefactor ||
        !pDstQuantizedSpectralCoef || !pDstSfbCb || !pDstTnsFiltCoef || !pChanInfo ||
        (scaleFlag != 1 && !pChanInfo->pIcsInfo))
        return okvErrNullPtr;
    if (Okv32u(*pOffset) > 7) return okvErrAacBitOffset;
    if (Okv32u(commonWin) > 1) return okvErrAacComWin;
    if (Okv32u(winSequence) > 3) return okvErrAacWinSeq;
    if (Okv32u(scaleFlag) > 1) return okvErrAacScalable;
    if (Okv32u(audioObjectType) > 16) return okvErrAacObjType;
    if (Okv32u(maxSfb) > 51) return okvErrAacMaxSfb;
    if (Okv32u(pChanInfo->samplingRateIndex) > 11) return okvErrAacSmplRate;
    AacBits bs(*ppBitStream, *pOffset);
    AACChanInfo* ci = pChanInfo;
    AACMainHeader* h = pAACMainHeader;
    ci->globalGain = int(bs.get(8));
    Layout l{};
    StatusCode st;
    if (scaleFlag) {
        l = {winSequence, maxSfb, h->numWinGrp, h->lenWinGrp};
        st = checkLayout(l);
    } else if (commonWin) {
        l = fromIcs(ci->pIcsInfo);
        st = checkLayout(l);
    } else {
        st = aacReadIcsInfo(bs, ci->pIcsInfo, ci->predSfbMax, false, audioObjectType, h, 0);
        l = fromIcs(ci->pIcsInfo);
    }
    if (st == okvOk)
        st = decodeBody(bs, l, ci, {pDstScalefactor, pDstQuantizedSpectralCoef, pDstSfbCb, pDstTnsFiltCoef}, false,
                        scaleFlag == 1, audioObjectType == 1 ? 20 : 12);
    bs.store(ppBitStream, pOffset);
    return st;
}

}  // namespace OKV_NS
