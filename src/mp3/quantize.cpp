// Layer III quantisation and rate control of one frame (all granules and channels).
#include "mp3/psy_math.h"
#include "mp3/psy_state.h"
#include "mp3/quantize_band.h"
#include "mp3/quantize_bits.h"
#include "mp3/requant_core.h"
#include "mp3/scf_tables.h"
#include "mp3/sfb_tables.h"

namespace OKV_NS {

namespace {

using namespace mp3q;

constexpr int kMaxBands = 39;

// The coded bands of one granule: lines [start, start + width), scalefactor and ratio index,
// window (short blocks) and the band's place in the scalefactor groups.
struct Bands {
    int n = 0;
    bool shortBlock = false;
    Okv16s start[kMaxBands], width[kMaxBands];
    Okv8u sf[kMaxBands], window[kMaxBands], longBand[kMaxBands];
};

void codedBands(Bands& b, const MP3FrameHeader* h, const MP3SideInfo* si, bool isChannel, const int* bound) {
    const int row = h->id * 3 + h->sampling_frequency;
    b.n = 0;
    b.shortBlock = si->window_switching_flag && si->block_type == 2;
    if (!b.shortBlock) {
        const int limit = isChannel ? (bound[0] < 0 ? 0 : bound[0] > 21 ? 21 : bound[0]) : 21;
        for (int k = 0; k < limit; ++k, ++b.n) {
            b.start[b.n] = mp3SfbLong[row][k];
            b.width[b.n] = (Okv16s)(mp3SfbLong[row][k + 1] - mp3SfbLong[row][k]);
            b.sf[b.n] = (Okv8u)k, b.window[b.n] = 0, b.longBand[b.n] = (Okv8u)k;
        }
        return;
    }
    for (int k = 0; k < 12; ++k)
        for (int w = 0; w < 3; ++w) {
            if (isChannel && k >= (bound[w] < 0 ? 0 : bound[w] > 12 ? 12 : bound[w])) continue;
            const int width = mp3SfbShort[row][k + 1] - mp3SfbShort[row][k];
            b.start[b.n] = (Okv16s)(3 * mp3SfbShort[row][k] + w * width);
            b.width[b.n] = (Okv16s)width;
            b.sf[b.n] = (Okv8u)(3 * k + w), b.window[b.n] = (Okv8u)w, b.longBand[b.n] = 0;
            ++b.n;
        }
}

// Side-information fields and bit count of one quantisation.
struct Layout {
    int bigValues, region0, region1, table[3], count1, count1B, bits;
};

Layout layoutOf(const Okv32s* ix, const Okv16s* longRow, bool switched, int blockType) {
    Layout l{};
    int e = 576;
    while (e > 0 && ix[e - 1] == 0 && ix[e - 2] == 0) e -= 2;
    int c1 = e;
    while (c1 > 3 && ix[c1 - 1] <= 1 && ix[c1 - 2] <= 1 && ix[c1 - 3] <= 1 && ix[c1 - 4] <= 1) c1 -= 4;
    // c1 is the big-values end; whole quadruples up to the last non-zero pair follow it.
    l.bigValues = c1 / 2;
    l.count1 = e - c1;
    int r1, r2;
    if (l.bigValues == 0) {
        r1 = r2 = 0;
    } else if (switched) {
        l.region0 = blockType == 2 ? 8 : 7;
        l.region1 = blockType == 2 ? 12 : 13;
        r1 = 36, r2 = c1;
    } else {
        int b = 0;
        while (b < 22 && longRow[b] < c1) ++b;
        int a0 = kSubdivide[b][0], a1 = kSubdivide[b][1];
        while (a0 > 0 && longRow[a0 + 1] > c1) --a0;
        while (a1 > 0 && longRow[a0 + a1 + 2] > c1) --a1;
        l.region0 = a0, l.region1 = a1;
        r1 = longRow[a0 + 1], r2 = longRow[a0 + a1 + 2];
    }
    r1 = r1 < c1 ? r1 : c1;
    r2 = r2 < c1 ? r2 : c1;
    const int starts[4] = {0, r1, r2, c1};
    l.bits = 0;
    for (int r = 0; r < 3; ++r) {
        int b = 0;
        l.table[r] = starts[r + 1] > starts[r] ? chooseTable(ix + starts[r], starts[r + 1] - starts[r], &b) : 0;
        l.bits += b;
    }
    l.bits += count1Bits(ix + c1, l.count1 / 4, &l.count1B);
    return l;
}

struct Scf {
    int scale = 0, sbg[3] = {0, 0, 0}, compress = 0, bits = 0;
    Okv8s v[40] = {};
};

// Band step of a band (see the band-step rule) for this granule's scalefactors.
inline int bandStep(const Scf& s, const Bands& b, int i, int g) {
    return g - (2 + 2 * s.scale) * s.v[b.sf[i]] - 8 * s.sbg[b.window[i]];
}

// Smallest-cost slen pair (MPEG-1) holding the group maxima.
void mpeg1Compress(Scf& s, bool shortBlock) {
    int m1 = 0, m2 = 0;
    const int split = shortBlock ? 18 : 11, end = shortBlock ? 36 : 21;
    for (int i = 0; i < end; ++i) {
        int& m = i < split ? m1 : m2;
        m = s.v[i] > m ? s.v[i] : m;
    }
    int best = -1, bestBits = 0;
    for (int c = 0; c < 16; ++c) {
        const int l1 = mp3Slen[c], l2 = mp3Slen[16 + c];
        if (m1 >= (1 << l1) || m2 >= (1 << l2)) continue;
        const int bits = l1 * split + l2 * (end - split);
        if (best < 0 || bits < bestBits) best = c, bestBits = bits;
    }
    s.compress = best, s.bits = bestBits;
}

int bitsFor(int v) { return v ? 32 - __builtin_clz((unsigned)v) : 0; }

// LSF: lengths holding each partition's maximum (one bit more on the intensity channel, whose
// largest value would read as an illegal position).
void lsfCompress(Scf& s, bool shortBlock, bool isChannel) {
    const int row = isChannel ? 3 : 0, kind = shortBlock ? 1 : 0;
    int slen[4] = {0, 0, 0, 0}, at = 0;
    for (int k = 0; k < 4; ++k) {
        int m = 0;
        for (int j = 0; j < mp3NrOfSfbBlock[row][kind][k]; ++j, ++at) m = s.v[at] > m ? s.v[at] : m;
        slen[k] = bitsFor(m + (isChannel ? 1 : 0));
    }
    if (isChannel) {
        for (int k = 0; k < 3; ++k) slen[k] = slen[k] > (k ? 5 : 4) ? (k ? 5 : 4) : slen[k];
        s.compress = 2 * (slen[0] * 36 + slen[1] * 6 + slen[2]);
    } else {
        for (int k = 0; k < 4; ++k) slen[k] = slen[k] > (k < 2 ? 4 : 3) ? (k < 2 ? 4 : 3) : slen[k];
        s.compress = ((slen[0] * 5 + slen[1]) << 4) | slen[2] << 2 | slen[3];
    }
    s.bits = 0;
    for (int k = 0; k < 4; ++k) s.bits += slen[k] * mp3NrOfSfbBlock[row][kind][k];
}

}  // namespace

// Decisions: scfsi is always 0 (every granule sends its scalefactors); short blocks take a
// subblock_gain per window from the smallest step gap of the window; the rate loop's lower
// bound is 15/16 of the budget; the allowed noise of a band is its energy times its ratio. The
// budget never exceeds the bits the frame and the reservoir still hold, so the reservoir cannot
// go negative, nor what the scalefactors leave of the 4095 bits of part2_3_length. While raising the gain the loop does not stop on repeated sizes: it raises until
// the size fits (at the largest gain every value is 0), and after a raise that follows a
// lowering the first fitting size ends it. On the intensity channel the scalefactors of bands at
// and above the bound are read from the scalefactor array (the intensity positions) and kept.
StatusCode okvsQuantize_MP3_32s_I(Okv32s* pSrcDstXr, Okv8s* pDstScaleFactor, int* pDstScfsi, int* pDstCount1Len,
                                  int* pDstHufSize, const MP3FrameHeader* pFrameHeader, MP3SideInfo* pSideInfo,
                                  MP3PsyRatio* pPsyRatio, const Okv8u* pPsyState, MP3BitReservoir* pBitResv,
                                  int meanBits, const int* pIsSfbBound, Okv32s* pWorkBuffer) {
    if (!pSrcDstXr || !pDstScaleFactor || !pDstScfsi || !pDstCount1Len || !pDstHufSize || !pFrameHeader ||
        !pSideInfo || !pPsyRatio || !pPsyState || !pBitResv || !pIsSfbBound || !pWorkBuffer)
        return okvErrNullPtr;
    const MP3FrameHeader* h = pFrameHeader;
    if ((unsigned)h->sampling_frequency > 2) return okvErrMp3FrameHeader;
    if ((unsigned)h->id > 1) return okvErrMp3FrameHeader;
    const int nch = h->mode == 3 ? 1 : 2, ngr = h->id ? 2 : 1, records = nch * ngr;
    for (int r = 0; r < records; ++r)
        if (pSideInfo[r].window_switching_flag == 1 && pSideInfo[r].mixed_block_flag == 1) return okvErrMp3SideInfo;
    const bool intensity = h->mode == 1 && (h->mode_extension & 1);
    const Okv16s* longRow = mp3SfbLong[h->id * 3 + h->sampling_frequency];

    // Demands from the perceptual entropy, scaled down to the mean bits when they exceed them.
    int demand[4], sum = 0, shortNow = 0, shortNext = 0;
    for (int r = 0; r < records; ++r) {
        const MP3SideInfo& si = pSideInfo[r];
        const int pe = pPsyRatio[r].pe > 0 ? pPsyRatio[r].pe : 0;
        const bool sh = si.window_switching_flag && si.block_type == 2;
        if (sh) {
            const Okv64s d = ((Okv64s)mp3fx::sqrt64((Okv64u)pe) * 38) >> 5;
            demand[r] = d < 1800 ? (int)d : 1800;
            ++shortNow;
        } else {
            const Okv64s d = ((Okv64s)pe * 203161) >> 16;
            demand[r] = d < 1500 ? (int)d : 1500;
        }
        sum += demand[r];
    }
    if (sum > meanBits && sum > 0) {
        const Okv64s f = ((Okv64s)(meanBits > 0 ? meanBits : 0) << 15) / sum;
        for (int r = 0; r < records; ++r) demand[r] = (int)((f * demand[r]) >> 15);
    }
    const Mp3PsyStateHead* state = reinterpret_cast<const Mp3PsyStateHead*>(pPsyState);
    for (int ch = 0; ch < nch; ++ch) shortNext += state->nextBlockType[ch] == 2;
    const int coef = kResvShare[(shortNext > 2 ? 2 : shortNext) + 3 * (shortNow > 4 ? 4 : shortNow)];

    Okv32s* ix = pWorkBuffer;
    const int resv = pBitResv->resvSize, resvMax = pBitResv->resvMaxSize;
    // R: the frame's bits not yet given, neither to earlier granules nor as the demands of this
    // and later ones; left: what the frame still holds.
    int unassigned = meanBits, left = meanBits, used = 0;
    for (int r = 0; r < records; ++r) unassigned -= demand[r];
    for (int r = 0; r < records; ++r) {
        const int gr = r / nch, ch = r % nch;
        MP3SideInfo& si = pSideInfo[r];
        Okv32s* xr = pSrcDstXr + 576 * r;
        Okv8s* sfOut = pDstScaleFactor + 40 * r;
        Okv32s* ratio = pPsyRatio[r].ratio;
        const bool isChannel = intensity && ch == 1;
        Bands bands;
        codedBands(bands, h, &si, isChannel, pIsSfbBound + 3 * gr);
        const bool sh = bands.shortBlock;

        // Bandwidth.
        int top = sh ? 3 * mp3SfbShort[h->id * 3 + h->sampling_frequency][12] : longRow[21];
        const bool lowRate = meanBits / records < 765 && (Okv64s)resv * 0x100000000LL < (Okv64s)resvMax * 0xF3333333LL &&
                             pPsyRatio[r].pe >= 500;
        if (h->id == 1 && (sh || lowRate) && k16kHzLine[h->sampling_frequency] < top) top = k16kHzLine[h->sampling_frequency];
        for (int i = top; i < 576; ++i) xr[i] = 0;
        for (int i = 0; i < 36; ++i) ratio[i] = ratio[i] == 0 ? 0x7FFFFFFF : ratio[i] < 214748 ? 214748 : ratio[i];

        // Signs aside; band maxima and energies.
        Okv32u signs[18] = {};
        for (int i = 0; i < 576; ++i)
            if (xr[i] < 0) signs[i >> 5] |= 1u << (i & 31), xr[i] = xr[i] == (Okv32s)0x80000000 ? 0x7FFFFFFF : -xr[i];
        Okv32s xmax[kMaxBands];
        Okv64s allowed[kMaxBands];
        bool any = false;
        for (int b = 0; b < bands.n; ++b) {
            Okv32s m = 0;
            Okv64s e = 0;
            for (int i = bands.start[b]; i < bands.start[b] + bands.width[b]; ++i) {
                m = xr[i] > m ? xr[i] : m;
                e += ((Okv64s)xr[i] * xr[i]) >> 32;
            }
            xmax[b] = bands.start[b] < top ? m : 0;
            allowed[b] = (Okv64s)(((__int128)(e >> 1) * ratio[bands.sf[b]]) >> 31);
            any |= xmax[b] != 0;
        }

        // Budget.
        const int k = records - r, scfMax = sh ? 126 : 74;
        Okv64s avail = (Okv64s)unassigned + demand[r] + resv - (((Okv64s)resvMax * 62259) >> 16);
        if (k > 2) avail /= 2;
        if (k == 2) avail = avail * 3 / 4;
        const Okv64s share = ((Okv64s)unassigned + (((Okv64s)2 * resv * coef) >> 16)) / k;
        Okv64s budget = (demand[r] + share > avail ? demand[r] + share : avail) - scfMax;
        const Okv64s room = (Okv64s)left + resv - scfMax;  // what the frame and reservoir still hold
        budget = budget > room ? room : budget;
        budget = budget < 0 ? 0 : budget > 4095 ? 4095 : budget;
        int B = (int)budget;

        si.big_values = si.region0_count = si.region1_count = si.count1table_select = 0;
        si.table_select[0] = si.table_select[1] = si.table_select[2] = 0;
        si.subblock_gain[0] = si.subblock_gain[1] = si.subblock_gain[2] = 0;
        si.preflag = si.scalefac_scale = si.scalefac_compress = 0;
        si.global_gain = 210;
        pDstCount1Len[r] = 0;
        for (int i = 0; i < 576; ++i) ix[i] = 0;
        Scf scf;
        if (isChannel)  // intensity positions above the bound stay as the caller stored them
            for (int i = 0; i < 39; ++i) scf.v[i] = sfOut[i] < 0 ? 0 : sfOut[i] > 15 ? 15 : sfOut[i];
        if (B < 1 || !any) {
            for (int i = 0; i < bands.n; ++i) scf.v[bands.sf[i]] = 0;
            if (h->id == 1)
                mpeg1Compress(scf, sh);
            else
                lsfCompress(scf, sh, isChannel);
            si.scalefac_compress = scf.compress < 0 ? 0 : scf.compress;
            si.part2_3_length = isChannel ? scf.bits : 0;
            pDstHufSize[r] = 0;
            for (int i = 0; i < 40; ++i) sfOut[i] = scf.v[i];
            for (int i = 0; i < 576; ++i) xr[i] = 0;
            unassigned -= si.part2_3_length - demand[r];
            left -= si.part2_3_length;
            used += si.part2_3_length;
            continue;
        }

        // Band steps from the ratio class and the band maximum.
        int step[kMaxBands], M = -100000;
        for (int b = 0; b < bands.n; ++b) {
            if (!xmax[b]) continue;
            const Okv32s rt = ratio[bands.sf[b]];
            int c = 0;
            while (c < 19 && !(rt > kRatioClass[c])) ++c;
            int ip = 0;
            Okv16s fr = 0;
            mp3fx::log2((Okv32u)xmax[b], ip, fr);
            step[b] = ((ip << 6) - kStepMid[c] + (fr >> 8) - 1656) >> 4;
            M = step[b] > M ? step[b] : M;
        }
        // Scalefactors from the gaps to the largest step (subblock gains first for short blocks).
        if (sh)
            for (int w = 0; w < 3; ++w) {
                int gap = 1 << 30;
                for (int b = 0; b < bands.n; ++b)
                    if (xmax[b] && bands.window[b] == w) gap = M - step[b] < gap ? M - step[b] : gap;
                scf.sbg[w] = gap == 1 << 30 ? 0 : gap / 8 > 7 ? 7 : gap / 8;
            }
        int d[kMaxBands], d1 = 0, d2 = 0;
        const int split = sh ? 18 : 11;
        for (int b = 0; b < bands.n; ++b) {
            d[b] = xmax[b] ? (M - 8 * scf.sbg[bands.window[b]] - step[b]) >> 1 : 0;
            int& dm = bands.sf[b] < split ? d1 : d2;
            dm = d[b] > dm ? d[b] : dm;
        }
        scf.scale = d1 > 15 || d2 >= 8;
        for (int b = 0; b < bands.n; ++b) {
            const int v = d[b] / (1 + scf.scale), cap = bands.sf[b] < split ? 15 : 7;
            scf.v[bands.sf[b]] = (Okv8s)(v < cap ? v : cap);
        }
        if (h->id == 1)
            mpeg1Compress(scf, sh);
        else
            lsfCompress(scf, sh, isChannel);

        // part2_3_length holds 12 bits: the Huffman data gets what the scalefactors leave of 4095.
        B = B < 4095 - scf.bits ? B : 4095 - scf.bits;

        // Rate loop on g.
        int g = M;
        bool canLower = true;
        if (g < -210) g = -210, canLower = false;
        if (g > 45) g = 45, canLower = false;
        const int L = B - B / 16;
        int stepDown = 8;
        bool first = true, settle = false, lowered = false;
        Layout lay{};
        for (;;) {
            Okv32s most = 0;
            for (int b = 0; b < bands.n; ++b) {
                const Okv32s m = quantizeBand(xr + bands.start[b], bands.width[b], bandStep(scf, bands, b, g), ix + bands.start[b]);
                most = m > most ? m : most;
            }
            if (most >= 8192) {
                canLower = false;
                ++g;
                continue;
            }
            lay = layoutOf(ix, longRow, si.window_switching_flag != 0, si.block_type);
            const int T = lay.bits;
            if (first) settle = T > B, first = false;
            if (T == B) break;
            if (T > B) {
                if (g >= 45) break;  // unreachable: at the largest gain every value is 0
                ++g;
                settle |= lowered;
                continue;
            }
            if (settle || !canLower || g < -209) break;
            if (T >= L) {
                int noisy = 0;
                for (int b = 0; b < bands.n && !noisy; ++b) {
                    if (!xmax[b]) continue;
                    alignas(16) Okv32s rec[192];
                    const int w = bands.width[b];
                    mp3rq::band(ix + bands.start[b], rec, w, -bandStep(scf, bands, b, g));
                    Okv64s noise = 0;
                    for (int i = 0; i < w; ++i) {
                        const Okv64s diff = (Okv64s)xr[bands.start[b] + i] - rec[i];
                        noise += (diff * diff) >> 32;
                    }
                    noisy += (noise >> 1) > allowed[b];
                }
                if (!noisy) break;
            }
            g -= stepDown;
            stepDown = stepDown > 1 ? stepDown / 2 : 1;
            lowered = true;
        }

        si.global_gain = g + 210;
        si.scalefac_scale = scf.scale;
        si.scalefac_compress = scf.compress;
        for (int w = 0; w < 3; ++w) si.subblock_gain[w] = scf.sbg[w];
        si.big_values = lay.bigValues;
        si.region0_count = lay.region0, si.region1_count = lay.region1;
        for (int t = 0; t < 3; ++t) si.table_select[t] = lay.table[t];
        si.count1table_select = lay.count1B;
        si.part2_3_length = scf.bits + lay.bits;
        pDstCount1Len[r] = lay.count1;
        pDstHufSize[r] = lay.bits;
        for (int i = 0; i < 40; ++i) sfOut[i] = scf.v[i];
        for (int i = 0; i < 576; ++i) xr[i] = (signs[i >> 5] >> (i & 31)) & 1 ? -ix[i] : ix[i];
        unassigned -= si.part2_3_length - demand[r];
        left -= si.part2_3_length;
        used += si.part2_3_length;
    }
    for (int ch = 0; ch < nch; ++ch)
        for (int g = 0; g < 4; ++g) pDstScfsi[4 * ch + g] = 0;

    // Reservoir: whole bytes carry over; the rest, and what exceeds the maximum, is stuffed.
    const int T = meanBits - used + resv;
    const int overflow = T - resvMax > 0 ? T - resvMax : 0;
    pBitResv->resvSize = (T - overflow) & ~7;
    int stuffing = overflow + ((T - overflow) & 7);
    for (int r = 0; r < records && stuffing > 0; ++r) {
        const int add = 4095 - pSideInfo[r].part2_3_length < stuffing ? 4095 - pSideInfo[r].part2_3_length : stuffing;
        pSideInfo[r].part2_3_length += add;
        pDstHufSize[r] += add;
        stuffing -= add;
    }
    return okvOk;
}

}  // namespace OKV_NS
