// Layer III requantisation of one granule, joint-stereo decoding (M/S, MPEG-1 and LSF
// intensity) and reordering of short blocks into the subband layout of the hybrid filterbank.
//
// Choices where the arithmetic is left open: shifts that would leave 32 bits saturate
// (requant_core.h); the stereo products form 2L in 32-bit wrapping arithmetic; an LSF
// intensity scale shift of 32 or more acts as 31; the last LSF band inherits the intensity
// position of the band below it (isPosLong). Short-block results are written for every
// line of the granule (zeros above a window's last non-zero band), so the reordered spectrum
// is fully defined.
#include "mp3/requant_core.h"
#include "mp3/sfb_tables.h"

namespace OKV_NS {
namespace {

using namespace mp3rq;

constexpr int kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
constexpr Okv32s kIL[8] = {0, 453816693, 786033569, 1073741824, 1361450079, 1693666955, 2147483647,
                           2147483647};

struct Chan {
    bool isShort = false, mixed = false;
    int first = 0, base = 0;  // first short band; scalefactor index of that band's window 0
    int last[3] = {};         // per window: one past the last short band holding a non-zero value
    int extent = 0;           // largest band end of those, in lines per window
    int hi = 0;               // every line at or above hi is zero
    Okv8s m[40] = {};         // M/S exponent offsets
};

struct Ctx {
    const Okv16s* lng;
    const Okv16s* sht;
    bool lsf, ms, is;
    int row;
    int width(int b) const { return sht[b + 1] - sht[b]; }
    int start(int b, int w) const { return 3 * sht[b] + w * width(b); }  // stream position
};

int absSf(Okv8s v) { return v < 0 ? -v : v; }
bool illegalIs(const Ctx& k, Okv8s p) { return k.lsf ? p < 0 : p == 7; }

void survey(const Ctx& k, const Okv32s* x, Chan& c)
{
    c.extent = 0;
    for (int w = 0; w < 3; ++w) {
        c.last[w] = c.first;
        for (int b = 12; b >= c.first && c.last[w] == c.first; --b) {
            const Okv32s* p = x + k.start(b, w);
            for (int j = 0; j < k.width(b); ++j)
                if (p[j]) {
                    c.last[w] = b + 1;
                    break;
                }
        }
        const int end = k.sht[c.last[w]];
        if (end > c.extent) c.extent = end;
    }
}

// Intensity positions of channel 1. In LSF the last band (21 long, 12 short), which carries
// no scalefactor, repeats the position of the band below when that band lies in the intensity
// region too (from band b long, from band rw in window w); otherwise it reads its own entry.
Okv8s isPosLong(const Ctx& k, const Okv8s* sf1, int band, int b)
{
    return sf1[k.lsf && band == 21 && b < 21 ? 20 : band];
}
Okv8s isPosShort(const Ctx& k, const Okv8s* sf1, const Chan& c, int band, int w, int rw)
{
    const int src = k.lsf && band == 12 && rw < 12 ? 11 : band;
    return sf1[c.base + 3 * (src - c.first) + w];
}

Okv32s twice(Okv32s v) { return Okv32s(Okv32u(v) << 1); }

// Intensity stereo over n lines of L and R with position p.
StatusCode intensity(const Ctx& k, Okv32s* l, Okv32s* r, int n, Okv8s p, int isScale)
{
    if (!k.lsf) {
        if (Okv32u(Okv32s(p)) > 7) return okvErrBadData;
        if (p == 7) {
            if (k.ms)
                for (int i = 0; i < n; ++i) r[i] = l[i];
            return okvOk;
        }
        for (int i = 0; i < n; ++i) {
            const Okv32s a = l[i], lp = mulHi(twice(a), kIL[p]);
            l[i] = lp;
            r[i] = Okv32s(Okv32u(a) - Okv32u(lp));
        }
        return okvOk;
    }
    if (p < 0) {
        if (k.ms)
            for (int i = 0; i < n; ++i) r[i] = mulHi(twice(l[i]), kS[0]);
        return okvOk;
    }
    const int e = ((p + 1) >> 1) << isScale;
    const int sh = (e >> 2) < 31 ? e >> 2 : 31;
    const Okv32s f = kS[e & 3];
    for (int i = 0; i < n; ++i) {
        const Okv32s a = l[i], sc = mulHi(twice(a), f) >> sh;
        if (p & 1) {
            l[i] = sc;
            r[i] = a;
        } else {
            r[i] = sc;
        }
    }
    return okvOk;
}

void midSide(Okv32s* l, Okv32s* r, int n)
{
    for (int i = 0; i < n; ++i) {
        const Okv32u a = Okv32u(l[i]), b = Okv32u(r[i]);
        l[i] = Okv32s(a + b);
        r[i] = Okv32s(a - b);
    }
}

// Stereo bound: one past the last long band that starts below nzR.
int stereoBound(const Ctx& k, int nzR)
{
    int b = 0;
    for (int i = 0; i < 22; ++i)
        if (k.lng[i] < nzR) b = i + 1;
    return b;
}

int lastNonZero(const Okv32s* x, int hi)
{
    while (hi > 0 && x[hi - 1] == 0) --hi;
    return hi;
}

StatusCode requantGranule(Okv32s* spec, int* nz, const Okv8s* sf, const MP3SideInfo* si,
                          const MP3FrameHeader* hdr, Okv32s* work, const Okv16s* lngT, const Okv16s* shtT)
{
    if (Okv32u(hdr->id) > 1 || Okv32u(hdr->sampling_frequency) > 2 || Okv32u(hdr->mode) > 3 ||
        Okv32u(hdr->mode_extension) > 3)
        return okvErrMp3FrameHeader;
    const int nch = hdr->mode == 3 ? 1 : 2;
    const bool joint = hdr->mode == 1;
    Ctx k;
    k.row = hdr->id * 3 + hdr->sampling_frequency;
    k.lng = lngT + 23 * k.row;
    k.sht = shtT + 14 * k.row;
    k.lsf = hdr->id == 0;
    k.ms = joint && (hdr->mode_extension & 2);
    k.is = joint && (hdr->mode_extension & 1);
    const bool stereo = k.ms || k.is;
    if (stereo && (si[0].block_type != si[1].block_type || si[0].mixed_block_flag != si[1].mixed_block_flag))
        return okvErrMp3SideInfo;
    for (int c = 0; c < nch; ++c) {
        if (Okv32u(si[c].block_type) > 3 || Okv32u(si[c].mixed_block_flag) > 1) return okvErrMp3SideInfo;
        if (Okv32u(nz[c]) > 576) return okvErrBadArg;
    }

    Chan ch[2];
    for (int c = 0; c < nch; ++c) {
        Chan& h = ch[c];
        h.isShort = si[c].block_type == 2;
        h.mixed = h.isShort && si[c].mixed_block_flag;
        h.first = h.mixed ? 3 : 0;
        h.base = h.mixed ? (k.lsf ? 6 : 8) : 0;
        if (h.isShort) survey(k, spec + 576 * c, h);
    }
    const Okv8s* sf1 = sf + 40;

    // M/S exponent offsets and the stereo bound of the long part.
    int bLong = 0;
    if (stereo) {
        Chan &c0 = ch[0], &c1 = ch[1];
        if (!c0.isShort || c0.mixed) {
            int nzR = k.is ? nz[1] : (nz[0] > nz[1] ? nz[0] : nz[1]);
            if (c0.mixed && nzR > 36) nzR = 36;
            bLong = stereoBound(k, nzR);
            if (k.ms) {
                for (int b = 0; b < bLong; ++b) c0.m[b] = c1.m[b] = 2;
                if (k.is) {
                    const int end = c0.mixed ? (k.lsf ? 6 : 8) : 22;
                    for (int b = bLong; b < end; ++b)
                        if (illegalIs(k, isPosLong(k, sf1, b, bLong))) c0.m[b] = 2;
                }
            }
        }
        if (c0.isShort && k.ms)
            for (int w = 0; w < 3; ++w) {
                const int lw = c0.last[w], rw = c1.last[w], hw = lw > rw ? lw : rw;
                const int msEnd = k.is ? rw : hw;
                for (int b = c0.first; b < msEnd; ++b) {
                    const int i = c0.base + 3 * (b - c0.first) + w;
                    c0.m[i] = c1.m[i] = 2;
                }
                if (k.is)
                    for (int b = rw; b < hw; ++b)
                        if (illegalIs(k, isPosShort(k, sf1, c0, b, w, rw))) c0.m[c0.base + 3 * (b - c0.first) + w] = 2;
            }
    }

    // Requantisation; short-block results go to a separate array.
    Okv32s* sep[2] = {nullptr, nullptr};
    for (int c = 0; c < nch; ++c) {
        const MP3SideInfo& s = si[c];
        Chan& h = ch[c];
        if (Okv32u(s.global_gain) > 255 || Okv32u(s.scalefac_scale) > 1 || Okv32u(s.preflag) > 1)
            return okvErrMp3SideInfo;
        if (h.isShort)
            for (int w = 0; w < 3; ++w)
                if (Okv32u(s.subblock_gain[w]) > 7) return okvErrBadData;
        const Okv8s* scf = sf + 40 * c;
        const int shift = 1 + s.scalefac_scale;
        Okv32s* x = spec + 576 * c;
        Okv32s* dst = x;
        int longEnd = nz[c];
        if (h.isShort) {
            dst = sep[c] = (c == 1 && sep[0]) ? spec : work;
            longEnd = h.mixed ? 36 : 0;
        }
        int b = 0;
        for (; b < 22 && k.lng[b] < longEnd; ++b) {
            const int e = 210 - s.global_gain + ((absSf(scf[b]) + s.preflag * kPretab[b]) << shift) + h.m[b];
            const int end = k.lng[b + 1] < (h.isShort ? 36 : 576) ? k.lng[b + 1] : (h.isShort ? 36 : 576);
            if (!band(x + k.lng[b], dst + k.lng[b], end - k.lng[b], e)) return okvErrBadData;
        }
        h.hi = h.isShort ? 0 : k.lng[b];
        if (!h.isShort) continue;
        if (h.mixed) h.hi = 36;
        for (int w = 0; w < 3; ++w) {
            const int eBase = 210 - s.global_gain + 8 * s.subblock_gain[w];
            for (int sb = h.first; sb < 13; ++sb) {
                const int p0 = k.start(sb, w), n = k.width(sb);
                if (sb < h.last[w]) {
                    const int i = h.base + 3 * (sb - h.first) + w;
                    if (!band(x + p0, dst + p0, n, eBase + (absSf(scf[i]) << shift) + h.m[i])) return okvErrBadData;
                } else {
                    for (int j = 0; j < n; ++j) dst[p0 + j] = 0;
                }
            }
        }
    }

    // Joint stereo.
    if (stereo) {
        Chan &c0 = ch[0], &c1 = ch[1];
        Okv32s* l = c0.isShort ? sep[0] : spec;
        Okv32s* r = c0.isShort ? sep[1] : spec + 576;
        const int isScale = si[1].scalefac_compress & 1;
        if (!c0.isShort || c0.mixed) {
            int top = 0;
            if (k.ms) {
                midSide(l, r, k.lng[bLong]);
                top = k.lng[bLong];
            }
            if (k.is) {
                int bound = nz[0] > nz[1] ? nz[0] : nz[1];
                const int cap = c0.mixed ? 36 : 576;
                if (bound > cap) bound = cap;
                for (int b = bLong; b < 22 && k.lng[b] < bound; ++b) {
                    const int end = k.lng[b + 1] < cap ? k.lng[b + 1] : cap;
                    const StatusCode st =
                        intensity(k, l + k.lng[b], r + k.lng[b], end - k.lng[b], isPosLong(k, sf1, b, bLong), isScale);
                    if (st != okvOk) return st;
                    if (end > top) top = end;
                }
            }
            if (!c0.isShort) {
                const int hi = c0.hi > c1.hi ? c0.hi : c1.hi;
                c0.hi = c1.hi = hi > top ? hi : top;
            }
        }
        if (c0.isShort) {
            for (int w = 0; w < 3; ++w) {
                const int lw = c0.last[w], rw = c1.last[w], hw = lw > rw ? lw : rw;
                const int msEnd = k.is ? rw : hw;
                if (k.ms)
                    for (int b = c0.first; b < msEnd; ++b)
                        midSide(l + k.start(b, w), r + k.start(b, w), k.width(b));
                if (k.is)
                    for (int b = rw; b < hw; ++b) {
                        const StatusCode st = intensity(k, l + k.start(b, w), r + k.start(b, w), k.width(b),
                                                        isPosShort(k, sf1, c0, b, w, rw), isScale);
                        if (st != okvOk) return st;
                    }
            }
            const int ext = c0.extent > c1.extent ? c0.extent : c1.extent;
            c0.extent = c1.extent = ext;
        }
    }

    // Reordering of short blocks, last channel first: line f of window w goes to
    // 18 (f / 6) + 6 w + f mod 6.
    for (int c = nch - 1; c >= 0; --c) {
        Chan& h = ch[c];
        if (!h.isShort) continue;
        const Okv32s* src = sep[c];
        Okv32s* dst = spec + 576 * c;
        if (h.mixed)
            for (int i = 0; i < 36; ++i) dst[i] = src[i];
        for (int b = h.first; b < 13; ++b) {
            const int f0 = k.sht[b], n = k.width(b);
            for (int w = 0; w < 3; ++w) {
                const Okv32s* p = src + k.start(b, w);
                for (int j = 0; j < n; ++j) {
                    const int f = f0 + j;
                    dst[18 * (f / 6) + 6 * w + f % 6] = p[j];
                }
            }
        }
        const int top = 18 * ((h.extent + 5) / 6);
        h.hi = top > h.hi ? top : h.hi;
    }

    for (int c = 0; c < nch; ++c) nz[c] = lastNonZero(spec + 576 * c, ch[c].hi);
    return okvOk;
}

}  // namespace

StatusCode okvsReQuantizeSfb_MP3_32s_I(Okv32s* pSrcDst, int* pNonZeroBound, const Okv8s* pScaleFactor,
                                       const MP3SideInfo* pSideInfo, const MP3FrameHeader* pFrameHeader,
                                       Okv32s* pBuffer, const Okv16s* pSfbLong, const Okv16s* pSfbShort)
{
    if (!pSrcDst || !pNonZeroBound || !pScaleFactor || !pSideInfo || !pFrameHeader || !pBuffer || !pSfbLong ||
        !pSfbShort)
        return okvErrNullPtr;
    return requantGranule(pSrcDst, pNonZeroBound, pScaleFactor, pSideInfo, pFrameHeader, pBuffer, pSfbLong,
                          pSfbShort);
}

StatusCode okvsReQuantize_MP3_32s_I(Okv32s* pSrcDst, int* pNonZeroBound, const Okv8s* pScaleFactor,
                                    const MP3SideInfo* pSideInfo, const MP3FrameHeader* pFrameHeader,
                                    Okv32s* pBuffer)
{
    if (!pSrcDst || !pNonZeroBound || !pScaleFactor || !pSideInfo || !pFrameHeader || !pBuffer)
        return okvErrNullPtr;
    return requantGranule(pSrcDst, pNonZeroBound, pScaleFactor, pSideInfo, pFrameHeader, pBuffer, mp3SfbLong[0],
                          mp3SfbShort[0]);
}

}  // namespace OKV_NS
