// Layer III psychoacoustic model two in fixed point. Per granule and channel: a 1024-point
// spectrum and three 256-point spectra of Hann-windowed PCM, the unpredictability of lines
// 0..205, partition energies, spreading, tonality-dependent thresholds bounded by the threshold
// in quiet, perceptual entropy, and the ratios of the scalefactor bands. The long window is the
// 1024 samples ending with the granule; the short windows start at 192, 384 and 576 within it.
// Results are held back one granule so that a granule before a short one can become a start
// block.
#include <cstdint>

#include "aac/fft_aac.h"
#include "core/trig.h"
#include "mp3/psy_math.h"
#include "mp3/psy_model.h"
#include "mp3/psy_state.h"
#include "mp3/psy_tables_data.h"

namespace OKV_NS {

namespace {

using namespace mp3psy;

constexpr int kHist = 448;               // samples of earlier granules in the long window
constexpr int kShortLines = 50;          // short lines 2..51: unpredictability of long lines 6..205
constexpr Okv32u kCwAbove = 858993459;   // 0.4, the unpredictability of lines 206 and up
constexpr int kSignals = 4;              // left, right, mid, side

struct ChannelState {
    Okv16s pcm[kHist];
    Okv32sc longX[2][6];                 // lines 0..5 of the two previous long spectra (>> 2), newest first
    Okv32s longR[2][6];                  // their magnitudes x 32
    Okv32sc shortX[2][kShortLines];      // the two previous short spectra, newest first
    Okv32s shortR[2][kShortLines];
};

struct Analysis {                        // one signal of one granule
    Okv32s longRatio[21];
    Okv32s shortRatio[36];
    Okv32s pe;
};

struct PsyState {
    Mp3PsyStateHead head;                // short-block wishes of the look-ahead granule
    Okv32s prevType[2];                  // block type of the granule before the held one
    Okv32s heldShort[2];                 // short-block wish of the held granule
    Okv32s started;
    Okv32u prevNb[kSignals][kMaxPartLong][2];  // long masking thresholds of the last granule (low, high word)
    ChannelState ch[2];
    Analysis held[kSignals];
};
static_assert(sizeof(PsyState) == OKV_MP3_PSY_STATE_SIZE && alignof(PsyState) == 4, "published state size");

struct Work {
    Okv32sc fft[512];
    Okv32sc longX[2][512];
    Okv32sc shortX[2][3][128];
    Okv32u cw[2][512];
    Okv64u e[kSignals][kMaxPartLong], se[kSignals][kMaxPartLong], thr[kSignals][kMaxPartLong];
    Okv64u eS[kSignals][3][kMaxPartShort], seS[kSignals][3][kMaxPartShort], thrS[kSignals][3][kMaxPartShort];
    Analysis cur[kSignals];
    Analysis out[2][kSignals];
    Okv32s outType[2][2];
};
static_assert(sizeof(Work) + 63 <= OKV_MP3_PSY_WORK_SIZE, "published work size");

// cos and sin of 2 pi k / 1024, Q30.
constexpr auto kTw = [] {
    struct {
        Okv32s c[512], s[512];
    } t{};
    for (int k = 0; k < 512; ++k) {
        const double c = okv_cospi(k / 512.0) * 1073741824.0, s = okv_sinpi(k / 512.0) * 1073741824.0;
        t.c[k] = (Okv32s)(c < 0 ? c - 0.5 : c + 0.5);
        t.s[k] = (Okv32s)(s < 0 ? s - 0.5 : s + 0.5);
    }
    return t;
}();

// Lines 0..m-1 of the DFT of 2m real samples held as m complex pairs in z (z is overwritten).
void realSpectrum(Okv32sc* z, int order, Okv32sc* x) {
    const int m = 1 << order, step = 512 / m;
    ownsIMDCT_FFT_32sc_I(z, order);
    for (int k = 0; k < m; ++k) {
        const Okv32sc a = z[k], b = z[(m - k) & (m - 1)];
        const Okv64s sr = (Okv64s)a.re + b.re, si = (Okv64s)a.im - b.im;
        const Okv64s dr = (Okv64s)a.im + b.im, di = (Okv64s)b.re - a.re;
        const Okv64s c = kTw.c[k * step], s = kTw.s[k * step];
        x[k].re = (Okv32s)(((sr << 30) + c * dr + s * di) >> 31);
        x[k].im = (Okv32s)(((si << 30) + c * di - s * dr) >> 31);
    }
}

inline Okv32s magnitude(Okv32sc x) { return mp3fx::sqrt64((Okv64u)((Okv64s)x.re * x.re + (Okv64s)x.im * x.im)); }

inline Okv32sc quarter(Okv32sc x) { return {x.re >> 2, x.im >> 2}; }

// x / |x| in Q30, r = 32 |x|.
inline void unit(Okv32sc x, Okv32s r, Okv64s& re, Okv64s& im) {
    if (r <= 0) {  // no direction (a negative magnitude comes only from a foreign state)
        re = im = 0;
        return;
    }
    Okv32s rm;
    int s;
    mp3fx::reciprocal((Okv32u)r, rm, s);
    const int n = 26 - s;
    re = n >= 0 ? ((Okv64s)x.re * rm) >> n : ((Okv64s)x.re * rm) << -n;
    im = n >= 0 ? ((Okv64s)x.im * rm) >> n : ((Okv64s)x.im * rm) << -n;
    // A state not written by the model may pair a line with a wrong magnitude: stay within 1.
    re = re > (1 << 30) ? 1 << 30 : re < -(1 << 30) ? -(1 << 30) : re;
    im = im > (1 << 30) ? 1 << 30 : im < -(1 << 30) ? -(1 << 30) : im;
}

// |x - p| / (r + |rp|) with p predicted from x1 and x2: magnitude 2 r1 - r2, phase 2 phi1 - phi2.
Okv32u unpredictability(Okv32sc x, Okv32s r, Okv32sc x1, Okv32s r1, Okv32sc x2, Okv32s r2) {
    // Predicted magnitude; magnitudes of the model's own spectra stay below 2^28.
    Okv64s rp = 2 * (Okv64s)r1 - r2;
    rp = rp > (1 << 29) ? 1 << 29 : rp < -(1 << 29) ? -(1 << 29) : rp;
    Okv64s u1r, u1i, u2r, u2i;
    unit(x1, r1, u1r, u1i);
    unit(x2, r2, u2r, u2i);
    const Okv64s pr = (u1r * u1r - u1i * u1i) >> 30, pi = (u1r * u1i) >> 29;
    const Okv64s er = (pr * u2r + pi * u2i) >> 30, ei = (pi * u2r - pr * u2i) >> 30;
    const Okv64s dr = 32 * (Okv64s)x.re - ((rp * er) >> 30), di = 32 * (Okv64s)x.im - ((rp * ei) >> 30);
    const Okv64u den = (Okv64u)r + (Okv64u)(rp < 0 ? -rp : rp);
    if (den == 0) return 0;
    return (Okv32u)q31Ratio((Okv64u)mp3fx::sqrt64(((Okv64u)(dr * dr) + (Okv64u)(di * di)) >> 10), den);
}

// Spread energies and thresholds of one block from its partition energies e and tonality
// weighted energies c (long blocks; short blocks use the signal-to-mask factors instead). A long
// block's threshold may grow at most to twice that of the granule before (prev, updated; never
// below the threshold in quiet): an attack then stands out against the quiet before it, which
// puts the pre-echo it would cause into the perceptual entropy.
void spreadThreshold(const BlockTables& t, const Okv64u* e, const Okv64u* c, Okv64u* se, Okv64u* thr,
                     Okv32u (*prev)[2]) {
    const Okv16u* sp = t.spread;
    for (int b = 0; b < t.parts; ++b) {
        Okv64u es = 0, cs = 0;
        for (int k = t.bound[2 * b]; k <= t.bound[2 * b + 1]; ++k, ++sp) {
            es += mulQ15(e[k], *sp);
            if (c) cs += mulQ15(c[k], *sp);
        }
        se[b] = es;
        // The tonality factors are amplitude ratios (about -6 dB noise-like, -30 dB tonal): the
        // energy threshold takes their square. The short-block factors are energy ratios.
        const Okv32u f = (Okv32u)(c ? thresholdFactor(q31Ratio(cs, es)) : t.smr[b]);
        Okv64u th = c ? mulQ31(mulQ31(es, f), f) : mulQ31(es, f);
        if (prev) {
            const Okv64u last = (Okv64u)prev[b][1] << 32 | prev[b][0], cap = last > ~0ull >> 1 ? ~0ull : 2 * last;
            th = th < cap ? th : cap;
        }
        th = th > (Okv64u)t.quiet[b] ? th : (Okv64u)t.quiet[b];
        if (prev) prev[b][0] = (Okv32u)th, prev[b][1] = (Okv32u)(th >> 32);
        thr[b] = th;
    }
}

// Mid and side thresholds raised towards the other signal's spread energy times the BMLD
// factor, never above the other's threshold.
void bmldBound(const BlockTables& t, const Okv64u* seM, const Okv64u* seS, Okv64u* thrM, Okv64u* thrS) {
    for (int b = 0; b < t.parts; ++b) {
        const Okv64u tm = thrM[b], ts = thrS[b];
        const Okv64u bm = mulQ31(seS[b], (Okv32u)t.bmld[b]), bs = mulQ31(seM[b], (Okv32u)t.bmld[b]);
        const Okv64u cm = ts < bm ? ts : bm, cs = tm < bs ? tm : bs;
        thrM[b] = tm > cm ? tm : cm;
        thrS[b] = ts > cs ? ts : cs;
    }
}

// Line k of signal s: left, right, mid = (l + r) / 2, side = (l - r) / 2.
inline Okv64u lineEnergy(const Okv32sc* l, const Okv32sc* r, int s, int k) {
    Okv64s re, im;
    if (s < 2) {
        const Okv32sc x = s ? r[k] : l[k];
        re = x.re, im = x.im;
    } else {
        const Okv64s sg = s == 2 ? 1 : -1;
        re = ((Okv64s)l[k].re + sg * r[k].re) >> 1;
        im = ((Okv64s)l[k].im + sg * r[k].im) >> 1;
    }
    return (Okv64u)(re * re + im * im);
}

// Spectra and unpredictability of channel c of one granule; src points at its first sample.
void channelSpectra(const Okv16s* src, int nch, ChannelState& st, Work& w, int c) {
    using namespace mp3psy_data;
    auto sample = [&](int i) -> Okv32s { return i < kHist ? st.pcm[i] : src[(i - kHist) * nch]; };
    for (int n = 0; n < 512; ++n)
        w.fft[n] = {(sample(2 * n) * kHannLong[2 * n]) >> 15, (sample(2 * n + 1) * kHannLong[2 * n + 1]) >> 15};
    Okv32sc* x = w.longX[c];
    realSpectrum(w.fft, 9, x);
    Okv32u* cw = w.cw[c];
    for (int j = 0; j < 6; ++j) {
        const Okv32sc q = quarter(x[j]);
        const Okv32s r = magnitude(q);
        cw[j] = unpredictability(q, r, st.longX[0][j], st.longR[0][j], st.longX[1][j], st.longR[1][j]);
        st.longX[1][j] = st.longX[0][j], st.longR[1][j] = st.longR[0][j];
        st.longX[0][j] = q, st.longR[0][j] = r;
    }
    for (int k = 0; k < 3; ++k) {
        const int base = 192 * (k + 1);
        for (int n = 0; n < 128; ++n)
            w.fft[n] = {(sample(base + 2 * n) * kHannShort[2 * n]) >> 15,
                        (sample(base + 2 * n + 1) * kHannShort[2 * n + 1]) >> 15};
        realSpectrum(w.fft, 7, w.shortX[c][k]);
    }
    for (int j = 0; j < kShortLines; ++j) {
        Okv32sc x2 = st.shortX[1][j], x1 = st.shortX[0][j];
        Okv32s r2 = st.shortR[1][j], r1 = st.shortR[0][j];
        Okv64u sum = 0;
        for (int k = 0; k < 3; ++k) {
            const Okv32sc q = quarter(w.shortX[c][k][j + 2]);
            const Okv32s r = magnitude(q);
            sum += unpredictability(q, r, x1, r1, x2, r2);
            x2 = x1, r2 = r1, x1 = q, r1 = r;
        }
        st.shortX[1][j] = x2, st.shortR[1][j] = r2, st.shortX[0][j] = x1, st.shortR[0][j] = r1;
        const Okv32u mean = (Okv32u)((sum * 0x55555556u) >> 32);  // sum / 3
        for (int l = 4 * j + 6; l < 4 * j + 10; ++l) cw[l] = mean;
    }
    for (int l = 206; l < 512; ++l) cw[l] = kCwAbove;
    for (int i = 0; i < kHist; ++i) st.pcm[i] = (Okv16s)sample(576 + i);
}

// Thresholds, perceptual entropy and band ratios of signals s0..s1-1 of one granule.
void analyseSignals(Work& w, PsyState& st, int sf, int s0, int s1, bool ms) {
    const BlockTables &tl = longTables(sf), &ts = shortTables(sf);
    const Okv32sc *l = w.longX[0], *r = w.longX[1];
    for (int s = s0; s < s1; ++s) {
        Okv64u c[kMaxPartLong];
        for (int b = 0; b < tl.parts; ++b) {
            Okv64u eb = 0, cb = 0;
            for (int k = tl.part[b]; k < tl.part[b + 1]; ++k) {
                const Okv64u en = lineEnergy(l, r, s, k);
                const Okv32u cw = s < 2 ? w.cw[s][k] : (Okv32u)(((Okv64u)w.cw[0][k] + w.cw[1][k]) >> 1);
                eb += en;
                cb += mulQ31(en, cw);
            }
            w.e[s][b] = eb;
            c[b] = cb;
        }
        spreadThreshold(tl, w.e[s], c, w.se[s], w.thr[s], st.prevNb[s]);
        for (int k = 0; k < 3; ++k) {
            for (int b = 0; b < ts.parts; ++b) {
                Okv64u eb = 0;
                for (int i = ts.part[b]; i < ts.part[b + 1]; ++i) eb += lineEnergy(w.shortX[0][k], w.shortX[1][k], s, i);
                w.eS[s][k][b] = eb;
            }
            spreadThreshold(ts, w.eS[s][k], nullptr, w.seS[s][k], w.thrS[s][k], nullptr);
        }
    }
    if (ms) {
        bmldBound(tl, w.se[2], w.se[3], w.thr[2], w.thr[3]);
        for (int k = 0; k < 3; ++k) bmldBound(ts, w.seS[2][k], w.seS[3][k], w.thrS[2][k], w.thrS[3][k]);
    }
    for (int s = s0; s < s1; ++s) {
        Analysis& a = w.cur[s];
        a.pe = perceptualEntropy(w.e[s], w.thr[s], tl);
        convertToSfb(w.e[s], w.thr[s], tl, 21, a.longRatio, 1);
        for (int k = 0; k < 3; ++k) convertToSfb(w.eS[s][k], w.thrS[s][k], ts, 12, a.shortRatio + k, 3);
    }
}

constexpr Okv8u kIsBoundLong[3][3] = {{13, 12, 13}, {15, 15, 16}, {18, 18, 18}};
constexpr Okv8u kIsBoundShort[3][3] = {{6, 6, 7}, {8, 8, 8}, {10, 10, 10}};

}  // namespace

StatusCode okvsPsychoacousticModelTwo_MP3_16s(const Okv16s* pSrc, MP3PsyRatio* pDstPsyRatio, int* pDstIsSfbBound,
                                              MP3SideInfo* pSideInfo, MP3FrameHeader* pFrameHeader,
                                              Okv8u* pPsyState, const void* /*pReserved*/, Okv8u* pWorkBuffer) {
    if (!pSrc || !pDstPsyRatio || !pDstIsSfbBound || !pSideInfo || !pFrameHeader || !pPsyState || !pWorkBuffer)
        return okvErrNullPtr;
    PsyState& st = *reinterpret_cast<PsyState*>(pPsyState);
    Work& w = *reinterpret_cast<Work*>(((uintptr_t)pWorkBuffer + 63) & ~(uintptr_t)63);
    const MP3FrameHeader h = *pFrameHeader;
    const int nch = h.mode == 3 ? 1 : 2, granules = h.id == 1 ? 2 : 1;
    // Header fields are not range-checked; a sampling frequency outside 0..2 takes the 44.1 kHz tables.
    const int sf = h.sampling_frequency >= 0 && h.sampling_frequency <= 2 ? h.sampling_frequency : 0;
    const bool joint = nch == 2 && h.mode == 1;
    const int signals = joint ? 4 : nch;
    if (!st.started) {
        for (Analysis& a : st.held) {
            for (Okv32s& v : a.longRatio) v = kQ31One;
            for (Okv32s& v : a.shortRatio) v = kQ31One;
            a.pe = 0;
        }
        st.started = 1;
    }
    for (int gr = 0; gr < granules; ++gr) {
        for (int c = 0; c < nch; ++c) channelSpectra(pSrc + 576 * gr * nch + c, nch, st.ch[c], w, c);
        analyseSignals(w, st, sf, 0, signals, joint);
        for (int c = 0; c < nch; ++c) {
            const bool wish = w.cur[c].pe > 1000;
            const int type = heldBlockType(st.prevType[c], st.heldShort[c] != 0, wish);
            w.outType[gr][c] = type;
            st.prevType[c] = type;
            st.heldShort[c] = wish;
            st.head.nextBlockType[c] = wish ? 2 : 0;
        }
        for (int s = 0; s < signals; ++s) {
            w.out[gr][s] = st.held[s];
            st.held[s] = w.cur[s];
        }
    }
    // Mid/side when both channels share every block type and it lowers the perceptual entropy.
    bool ms = false;
    if (joint) {
        Okv64s lr = 0, msPe = 0;
        bool same = true;
        for (int gr = 0; gr < granules; ++gr) {
            lr += (Okv64s)w.out[gr][0].pe + w.out[gr][1].pe;
            msPe += (Okv64s)w.out[gr][2].pe + w.out[gr][3].pe;
            same = same && w.outType[gr][0] == w.outType[gr][1];
        }
        ms = same && msPe <= lr;
    }
    const bool intensity = joint && h.bitrate_index >= 6 && h.bitrate_index <= 8;
    pFrameHeader->mode_extension = (ms ? 2 : 0) | (intensity ? 1 : 0);
    for (int gr = 0; gr < granules; ++gr) {
        for (int c = 0; c < nch; ++c) {
            const int type = w.outType[gr][c];
            const Analysis& a = w.out[gr][ms ? 2 + c : c];
            MP3PsyRatio& o = pDstPsyRatio[gr * nch + c];
            for (int i = 0; i < 36; ++i) o.ratio[i] = type == 2 ? a.shortRatio[i] : i < 21 ? a.longRatio[i] : kQ31One;
            o.pe = a.pe;
            MP3SideInfo& si = pSideInfo[gr * nch + c];
            si.block_type = type;
            si.window_switching_flag = type != 0;
            si.mixed_block_flag = 0;
        }
        if (intensity) {
            const int row = h.bitrate_index - 6;
            if (w.outType[gr][1] == 2)
                for (int k = 0; k < 3; ++k) pDstIsSfbBound[3 * gr + k] = kIsBoundShort[row][sf];
            else
                pDstIsSfbBound[3 * gr] = kIsBoundLong[row][sf];
        }
    }
    return okvOk;
}

}  // namespace OKV_NS
