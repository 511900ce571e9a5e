#include "ps_decoder.h"

#include <algorithm>
#include <cstring>

#include "ps_tables_data.h"

namespace {

using namespace ps_tables;

// The two hybrid configurations.
struct Config {
    int subbands, parBands, allpassBands, shortDelayBand, decayCutoff;
    int phaseBands;        // parameter bands with IPD/OPD
    // Subbands of negative centre frequency (and only those): their phases turn the other way.
    int negFirst, negEnd;
    int splitBands;        // QMF bands split by the hybrid analysis
    int firstSub[6];       // subbands of split QMF band m: firstSub[m] .. firstSub[m + 1] - 1
    int mode[5];           // hybrid analysis mode of each split band
    const uint8_t* parBand;
    const float (*phi)[2];
    const float (*q)[3][2];
};
const Config kConfig20 = {71, 20, 30, 42, 10, 11, 0, 2, 3, {0, 6, 8, 10}, {2, 0, 0}, kParBand20, kPhiFract20, kQFract20};
const Config kConfig34 = {91, 34, 50, 62, 32, 17, 9, 12, 5, {0, 12, 20, 24, 28, 32}, {4, 3, 1, 1, 1},
                          kParBand34, kPhiFract34, kQFract34};

constexpr float kSmooth = 0.25f, kTransientImpact = 1.5f, kDecaySlope = 0.05f;

const PsBandMap* bandMap(int from, int to) {
    if (to == 20) return from == 10 ? kMap10To20 : kMap34To20;
    return from == 10 ? kMap10To34 : kMap20To34;
}

// Indices of `from` bands on the `to`-band grid, for the first `count` target bands; averaged
// terms truncate toward zero, targets without a coded source get 0.
void mapIndices(const int8_t* src, int from, int to, int* dst, int count, int coded) {
    if (from == to) {
        for (int b = 0; b < count; ++b) dst[b] = src[b];
        return;
    }
    const PsBandMap* m = bandMap(from, to);
    for (int b = 0; b < count; ++b) {
        if (m[b].src[0] >= coded) {
            dst[b] = 0;
            continue;
        }
        int sum = 0;
        for (int i = 0; i < m[b].n; ++i) sum += m[b].w[i] * src[m[b].src[i]];
        dst[b] = sum / m[b].den;
    }
}

inline Okv32fc cmul(Okv32fc a, const float (&b)[2]) {
    return {a.re * b[0] - a.im * b[1], a.re * b[1] + a.im * b[0]};
}

}  // namespace

PsDecoder::PsDecoder() {
    for (Mix& m : prev_) m = {{1.0f, 1.0f, 0.0f, 0.0f}, {}};
}

StatusCode PsDecoder::process(const PsFrame* f, const Okv32fc* mono, Okv32fc* left, Okv32fc* right) {
    if (f && f->numEnv > 0 && f->is34 != is34_) switchConfig(f->is34);
    const StatusCode st = hybridAnalysis(mono);
    if (st != okvOk) return st;
    decorrelate();
    mix(f && f->numEnv > 0 ? f : nullptr, left, right);
    return okvOk;
}

// A change of configuration changes what every subband holds: the subband histories and the
// transient detector restart from silence, and the matrices reached so far are carried over
// to the new parameter grid.
void PsDecoder::switchConfig(bool is34) {
    is34_ = is34;
    std::memset(s_, 0, sizeof s_);
    std::memset(link_, 0, sizeof link_);
    std::memset(peak_, 0, sizeof peak_);
    std::memset(smooth_, 0, sizeof smooth_);
    std::memset(diffSmooth_, 0, sizeof diffSmooth_);
    std::memset(ipdHist_, 0, sizeof ipdHist_);
    std::memset(opdHist_, 0, sizeof opdHist_);
    const PsBandMap* m = is34 ? kMap20To34 : kMap34To20;
    const int to = is34 ? 34 : 20;
    Mix old[kMaxPar];
    std::memcpy(old, prev_, sizeof old);
    for (int b = 0; b < to; ++b)
        for (int j = 0; j < 4; ++j) {
            float re = 0.0f, im = 0.0f;
            for (int i = 0; i < m[b].n; ++i) {
                re += float(m[b].w[i]) * old[m[b].src[i]].h[j];
                im += float(m[b].w[i]) * old[m[b].src[i]].im[j];
            }
            prev_[b].h[j] = re / float(m[b].den);
            prev_[b].im[j] = im / float(m[b].den);
        }
}

StatusCode PsDecoder::hybridAnalysis(const Okv32fc* mono) {
    const Config& c = is34_ ? kConfig34 : kConfig20;
    for (int k = 0; k < kMaxSub; ++k)  // keep kLongDelay slots of history
        std::memmove(s_[k], s_[k] + kSlots, sizeof(Okv32fc) * kLongDelay);
    const int offset = c.firstSub[c.splitBands] - c.splitBands;
    for (int m = 0; m < kBands; ++m) {
        if (m >= c.splitBands) {
            for (int n = 0; n < kSlots; ++n) s_[m + offset][kLongDelay + n] = mono[kBands * n + m];
            if (m >= 5) continue;
        }
        // Filter input: six slots of history, this frame, six slots ahead.
        Okv32fc* in = reinterpret_cast<Okv32fc*>(hybIn_);
        std::memcpy(in, qmfHist_[m], sizeof qmfHist_[m]);
        for (int n = 0; n < kSlots + kLookahead; ++n) in[kLookahead + n] = mono[kBands * n + m];
        std::memcpy(qmfHist_[m], in + kSlots, sizeof qmfHist_[m]);
        if (m >= c.splitBands) continue;
        const StatusCode st = okvsAnalysisFilter_PS_32fc_D2(hybIn_, hybOut_, c.mode[m]);
        if (st != okvOk) return st;
        const Okv32fc* out = reinterpret_cast<const Okv32fc*>(hybOut_);
        for (int n = 0; n < kSlots; ++n) {
            const Okv32fc* y = out + 12 * n;
            const int t = kLongDelay + n;
            if (is34_) {
                for (int q = c.firstSub[m]; q < c.firstSub[m + 1]; ++q) s_[q][t] = y[q - c.firstSub[m]];
            } else if (m == 0) {  // eight outputs into six subbands, the outer pairs added
                s_[0][t] = y[6], s_[1][t] = y[7], s_[2][t] = y[0], s_[3][t] = y[1];
                s_[4][t] = {y[2].re + y[5].re, y[2].im + y[5].im};
                s_[5][t] = {y[3].re + y[4].re, y[3].im + y[4].im};
            } else {  // two-band real split; the odd band's spectrum is mirrored
                s_[2 * m + 4 + (m == 1)][t] = y[0];
                s_[2 * m + 4 + (m != 1)][t] = y[1];
            }
        }
    }
    return okvOk;
}

void PsDecoder::decorrelate() {
    const Config& c = is34_ ? kConfig34 : kConfig20;
    for (int k = 0; k < c.subbands; ++k) {
        const Okv32fc* s = s_[k] + kLongDelay;
        if (k >= c.allpassBands) {
            const int delay = k < c.shortDelayBand ? kLongDelay : 1;
            for (int n = 0; n < kSlots; ++n) d_[k][n] = s[n - delay];
            continue;
        }
        const float decay = std::clamp(1.0f - kDecaySlope * float(k - c.decayCutoff), 0.0f, 1.0f);
        float ag[3];
        for (int m = 0; m < 3; ++m) {
            ag[m] = kLinkA[m] * decay;
            std::memmove(link_[k][m], link_[k][m] + kSlots, sizeof(Okv32fc) * kLinkHist);
        }
        for (int n = 0; n < kSlots; ++n) {
            Okv32fc x = cmul(s[n - 2], c.phi[k]);
            for (int m = 0; m < 3; ++m) {
                Okv32fc* w = link_[k][m] + kLinkHist;
                const Okv32fc del = cmul(w[n - kLinkDelay[m]], c.q[k][m]);
                const Okv32fc y = {del.re - ag[m] * x.re, del.im - ag[m] * x.im};
                w[n] = {x.re + ag[m] * y.re, x.im + ag[m] * y.im};
                x = y;
            }
            d_[k][n] = x;
        }
    }
    // Transient attenuation: the decorrelated signal is scaled down where the power of its
    // parameter band falls far below its decaying peak.
    for (int n = 0; n < kSlots; ++n) {
        float p[kMaxPar] = {}, g[kMaxPar];
        for (int k = 0; k < c.subbands; ++k) {
            const Okv32fc v = s_[k][kLongDelay + n];
            p[c.parBand[k]] += v.re * v.re + v.im * v.im;
        }
        for (int b = 0; b < c.parBands; ++b) {
            peak_[b] = std::max(peak_[b] * kPeakDecay, p[b]);
            smooth_[b] += kSmooth * (p[b] - smooth_[b]);
            diffSmooth_[b] += kSmooth * (peak_[b] - p[b] - diffSmooth_[b]);
            const float lim = kTransientImpact * diffSmooth_[b];
            g[b] = lim > smooth_[b] ? smooth_[b] / lim : 1.0f;
        }
        for (int k = 0; k < c.subbands; ++k) {
            const float gk = g[c.parBand[k]];
            d_[k][n].re *= gk;
            d_[k][n].im *= gk;
        }
    }
}

void PsDecoder::targetMatrices(const PsFrame& f, int env, Mix* out) {
    const Config& c = is34_ ? kConfig34 : kConfig20;
    int iid[kMaxPar], icc[kMaxPar];
    mapIndices(f.iid[env], f.iidBands, c.parBands, iid, c.parBands, f.iidBands);
    mapIndices(f.icc[env], f.iccBands, c.parBands, icc, c.parBands, f.iccBands);
    for (int b = 0; b < c.parBands; ++b) {
        const float* h = f.fineIid ? (f.mixRb ? kRbFine : kRaFine)[iid[b] + 15][icc[b]]
                                   : (f.mixRb ? kRbDefault : kRaDefault)[iid[b] + 7][icc[b]];
        std::memcpy(out[b].h, h, sizeof out[b].h);
        std::memset(out[b].im, 0, sizeof out[b].im);
    }
    if (!f.ipdOpd) return;
    // The phase grid follows the IID grid: 5, 11 or 17 bands for 10, 20 or 34.
    const int coded = f.iidBands == 10 ? 5 : f.iidBands == 20 ? 11 : 17;
    int ipd[17], opd[17];
    mapIndices(f.ipd[env], f.iidBands, c.parBands, ipd, c.phaseBands, coded);
    mapIndices(f.opd[env], f.iidBands, c.parBands, opd, c.phaseBands, coded);
    for (int b = 0; b < c.phaseBands; ++b) {
        const int oi = opdHist_[b] * 8 + (opd[b] & 7), ii = ipdHist_[b] * 8 + (ipd[b] & 7);
        opdHist_[b] = uint8_t(oi & 63), ipdHist_[b] = uint8_t(ii & 63);
        const float* o = kPhaseSmooth[oi];
        const float* p = kPhaseSmooth[ii];
        // Left turns by the OPD, right by OPD - IPD.
        const float adj[2] = {o[0] * p[0] + o[1] * p[1], o[1] * p[0] - o[0] * p[1]};
        Mix& m = out[b];
        const float h11 = m.h[0], h12 = m.h[1], h21 = m.h[2], h22 = m.h[3];
        m.h[0] = h11 * o[0], m.im[0] = h11 * o[1];
        m.h[2] = h21 * o[0], m.im[2] = h21 * o[1];
        m.h[1] = h12 * adj[0], m.im[1] = h12 * adj[1];
        m.h[3] = h22 * adj[0], m.im[3] = h22 * adj[1];
    }
}

void PsDecoder::mix(const PsFrame* f, Okv32fc* left, Okv32fc* right) {
    const Config& c = is34_ ? kConfig34 : kConfig20;
    Mix target[kMaxPar], h[kMaxPar];
    std::memcpy(target, prev_, sizeof target);
    int env = 0, start = -1, stop = f ? f->border[0] : kSlots - 1;
    if (f) targetMatrices(*f, 0, target);
    for (int n = 0; n < kSlots; ++n) {
        if (f && n > stop) {  // next envelope
            std::memcpy(prev_, target, sizeof prev_);
            start = stop;
            stop = f->border[++env];
            targetMatrices(*f, env, target);
        }
        // Matrices move linearly from the previous envelope's to this one's, reached at its
        // last slot.
        const float t = f ? float(n - start) / float(stop - start) : 1.0f;
        for (int b = 0; b < c.parBands; ++b)
            for (int j = 0; j < 4; ++j) {
                h[b].h[j] = prev_[b].h[j] + t * (target[b].h[j] - prev_[b].h[j]);
                h[b].im[j] = prev_[b].im[j] + t * (target[b].im[j] - prev_[b].im[j]);
            }
        Okv32fc* l = left + kBands * n;
        Okv32fc* r = right + kBands * n;
        for (int m = 0; m < c.splitBands; ++m) l[m] = r[m] = {0.0f, 0.0f};
        for (int k = 0; k < c.subbands; ++k) {
            const float* hk = h[c.parBand[k]].h;
            const float sign = k >= c.negFirst && k < c.negEnd ? -1.0f : 1.0f;
            float ik[4];
            for (int j = 0; j < 4; ++j) ik[j] = sign * h[c.parBand[k]].im[j];
            const Okv32fc s = s_[k][kLongDelay + n], d = d_[k][n];
            const Okv32fc lk = {hk[0] * s.re - ik[0] * s.im + hk[2] * d.re - ik[2] * d.im,
                                hk[0] * s.im + ik[0] * s.re + hk[2] * d.im + ik[2] * d.re};
            const Okv32fc rk = {hk[1] * s.re - ik[1] * s.im + hk[3] * d.re - ik[3] * d.im,
                                hk[1] * s.im + ik[1] * s.re + hk[3] * d.im + ik[3] * d.re};
            if (k < c.firstSub[c.splitBands]) {  // hybrid synthesis: subbands summed per QMF band
                int m = 0;
                while (k >= c.firstSub[m + 1]) ++m;
                l[m].re += lk.re, l[m].im += lk.im;
                r[m].re += rk.re, r[m].im += rk.im;
            } else {
                const int m = k - c.firstSub[c.splitBands] + c.splitBands;
                l[m] = lk, r[m] = rk;
            }
        }
    }
    std::memcpy(prev_, target, sizeof prev_);
}
