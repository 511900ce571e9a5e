#include "sbr/sbr_channel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sbr/qmf_window_data.h"
#include "sbr/sbr_tables_data.h"

namespace {

constexpr int kHfAdj = 2;       // the high band lags the analysis by two slots
constexpr float kEps = 1e-12f;  // keeps empty-band ratios finite
constexpr float kGainMax2 = sbrtab::kGainMax * sbrtab::kGainMax;
constexpr float kBoostMax2 = sbrtab::kBoostMax * sbrtab::kBoostMax;

using GetSize = StatusCode (*)(int*, int*, int*);
using Init = StatusCode (*)(SBRQMFSpec_32f**, Okv8u*, Okv8u*);

template <class Bank>
bool build(Bank* b, GetSize getSize, Init init) {
    int s, i, w;
    if (getSize(&s, &i, &w) != okvOk) return false;
    b->mem.assign(size_t(s), 0);
    b->init.assign(size_t(i), 0);
    b->work.assign(size_t(w), 0);
    return init(&b->spec, b->mem.data(), b->init.data()) == okvOk;
}

}  // namespace

bool SbrChannel::init(bool down, bool lp) {
    down_ = down, lp_ = lp;
    if (lp) {
        int a = 0, y = 0;
        if ((down ? okvsSynthesisDownFilterGetSize_SBRLP_32s(&y) : okvsSynthesisFilterGetSize_SBRLP_32s(&y)) != okvOk ||
            okvsAnalysisFilterGetSize_SBRLP_32s(&a) != okvOk)
            return false;
        fixedAna_.assign(size_t(a), 0);
        fixedSyn_.assign(size_t(y), 0);
        return okvsAnalysisFilterInit_SBRLP_32s(fixedAna_.data()) == okvOk &&
               (down ? okvsSynthesisDownFilterInit_SBRLP_32s(fixedSyn_.data())
                     : okvsSynthesisFilterInit_SBRLP_32s(fixedSyn_.data())) == okvOk;
    }
    return build(&ana_, okvsAnalysisFilterGetSize_SBR_RToC_32f32fc, okvsAnalysisFilterInit_SBR_RToC_32f32fc) &&
           (down ? build(&syn_, okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisDownFilterInit_SBR_CToR_32fc32f)
                 : build(&syn_, okvsSynthesisFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisFilterInit_SBR_CToR_32fc32f));
}

void SbrChannel::analyse(const int16_t* core, const SbrHeader* h, const SbrFreqTables* t, const SbrChannelFrame* f,
                         const SbrLevels* lv) {
    // Keep the last eight analysis slots, then analyse this frame behind them.
    std::memmove(low_[0], low_[kSlots], sizeof low_[0] * (kLowRows - kSlots));
    if (lp_) {
        // Fixed point: 16-bit samples in Q12; the bands come out at 256 times the float bank's.
        std::memmove(lowRe_[0], lowRe_[kSlots], sizeof lowRe_[0] * (kLowRows - kSlots));
        for (int l = 0; l < kSlots; ++l) {
            Okv32s in[32], band[32];
            for (int n = 0; n < 32; ++n) in[n] = Okv32s(core[32 * l + n]) * 4096;
            okvsAnalysisFilter_SBRLP_32s(in, band, 32, fixedAna_.data());
            float* re = lowRe_[kLowRows - kSlots + l];
            Okv32fc* row = low_[kLowRows - kSlots + l];
            for (int k = 0; k < 32; ++k) re[k] = float(band[k]) * (1.0f / 256), row[k] = {re[k], 0};
        }
    } else {
        for (int n = 0; n < 1024; ++n) core_[n] = core[n];
        Okv32fc* rows[kSlots];
        for (int l = 0; l < kSlots; ++l) rows[l] = low_[kLowRows - kSlots + l];
        okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(core_, rows, kOkvSbrQmfWindow320, kSlots, 0, 32, ana_.spec,
                                                ana_.work.data());
    }

    // The adjusted high band of slots past the previous frame's end moves to the front.
    std::memmove(y_[0], y_[kSlots], sizeof y_[0] * (kLowRows - kSlots));
    std::memset(y_[kLowRows - kSlots], 0, sizeof y_[0] * kSlots);
    if (!f) {  // the core alone, upsampled
        assemble(32, 0, 32);
        iTemp_ = 0, kxPrev_ = 32, reset_ = true;
        return;
    }
    if (reset_) {
        iTemp_ = 0;
        transientPrev_ = false;
        std::memset(y_, 0, sizeof y_);
    }
    // Rows this frame's envelopes cover start where the previous frame's ended.
    for (int i = 2 * f->grid.tE[0]; i < kLowRows; ++i) std::fill(y_[i], y_[i] + 64, Okv32fc{0, 0});
    hfGenerate(*t, *f);
    hfAdjust(*h, *t, *f, *lv);
    assemble(t->kx, std::min(iTemp_, 2 * f->grid.tE[0]), kxPrev_);
    iTemp_ = std::max(0, 2 * f->grid.tE[f->grid.numEnv] - kSlots);
    kxPrev_ = t->kx;
    reset_ = false;
}

void SbrChannel::hfGenerate(const SbrFreqTables& t, const SbrChannelFrame& f) {
    // Chirp factors per noise band from this and the previous inverse-filtering modes.
    float bw[5];
    for (int i = 0; i < t.nQ; ++i) {
        const float nb = sbrtab::kNewBw[invfPrev_[i]][f.invf[i]];
        float b = nb < bwPrev_[i] ? 0.75f * nb + 0.25f * bwPrev_[i] : 0.90625f * nb + 0.09375f * bwPrev_[i];
        if (b < 0.015625f) b = 0;
        bw[i] = b;
        bwPrev_[i] = b;
        invfPrev_[i] = f.invf[i];
    }
    for (int i = t.nQ; i < 5; ++i) bwPrev_[i] = 0, invfPrev_[i] = 0;
    alignas(16) Okv32fc alpha0[32], alpha1[32];
    if (lp_) {  // real coefficients from the real rows
        alignas(16) float a0[32], a1[32];
        const float* rows[kLowRows];
        for (int r = 0; r < kLowRows; ++r) rows[r] = lowRe_[r];
        okvsPredictCoef_SBR_R_32f_D2L(rows, a0, a1, t.k0, kLowRows - 2);
        for (int k = 0; k < t.k0; ++k) alpha0[k] = {a0[k], 0}, alpha1[k] = {a1[k], 0};
    } else {
        const Okv32fc* rows[kLowRows];
        for (int r = 0; r < kLowRows; ++r) rows[r] = low_[r];
        okvsPredictCoef_SBR_C_32fc_D2L(rows, alpha0, alpha1, t.k0, kLowRows - 2);
    }

    const int first = 2 * f.grid.tE[0] + kHfAdj, last = 2 * f.grid.tE[f.grid.numEnv] + kHfAdj;
    int k = t.kx, g = 0;
    for (int p = 0; p < t.numPatches; ++p)
        for (int x = 0; x < t.patchBands[p]; ++x, ++k) {
            const int src = t.patchStart[p] + x;
            while (g + 1 < t.nQ && k >= t.noise[g + 1]) ++g;
            const float b = bw[g];
            Okv32fc a0{0, 0}, a1{0, 0};
            if (b > 0) {
                a0 = {alpha0[src].re * b, alpha0[src].im * b};
                a1 = {alpha1[src].re * b * b, alpha1[src].im * b * b};
            }
            for (int l = first; l < last; ++l) {
                const Okv32fc c = low_[l][src], p1 = low_[l - 1][src], p2 = low_[l - 2][src];
                high_[l][k].re = c.re + a0.re * p1.re - a0.im * p1.im + a1.re * p2.re - a1.im * p2.im;
                high_[l][k].im = c.im + a0.re * p1.im + a0.im * p1.re + a1.re * p2.im + a1.im * p2.re;
            }
        }
    // A last patch under three bands is dropped: its bands stay empty.
    for (int l = first; l < last; ++l) std::fill(high_[l] + k, high_[l] + t.kx + t.m, Okv32fc{0, 0});
}

void SbrChannel::hfAdjust(const SbrHeader& h, const SbrFreqTables& t, const SbrChannelFrame& f, const SbrLevels& lv) {
    const SbrGrid& g = f.grid;
    const int kx = t.kx, m = t.m;
    const float limGain = sbrtab::kLimGain[h.limiterGains];
    const float limGain2 = limGain * limGain;
    // The envelope that starts at a transient: here, or this frame's first when the previous
    // frame's transient sat at its very end.
    const int lAPrev = transientPrev_ ? 0 : -1;
    const bool smooth = h.smoothingMode == 0;
    float gain[64], qm[64], sm[64];
    uint8_t sIndex[64];
    for (int l = 0; l < g.numEnv; ++l) {
        const int res = g.freqRes[l];
        const int* table = res ? t.high : t.low;
        const int nb = res ? t.nHigh : t.nLow;
        const int q = g.numNoise == 2 && g.tE[l] >= g.tQ[1] ? 1 : 0;
        const int i0 = 2 * g.tE[l], i1 = 2 * g.tE[l + 1];
        const bool delta = l != g.lA && l != lAPrev;
        float eOrig[64], qOrig[64], eCurr[64];
        uint8_t sMapped[64];
        // Sinusoids: one per flagged high-resolution band, at its middle QMF band. A new one
        // starts at the transient envelope; one present at the end of the previous frame goes on.
        for (int j = 0; j < t.nHigh; ++j) {
            const int mid = (t.high[j] + t.high[j + 1]) / 2 - kx;
            std::fill(sIndex + t.high[j] - kx, sIndex + t.high[j + 1] - kx, uint8_t(0));
            sIndex[mid] = f.addHarmonic[j] && (l >= g.lA || sinePrev_[mid]);
        }
        for (int j = 0; j < nb; ++j) {
            uint8_t any = 0;
            for (int k = table[j]; k < table[j + 1]; ++k) any |= sIndex[k - kx];
            float sum = 0;
            for (int k = table[j]; k < table[j + 1]; ++k) {
                eOrig[k - kx] = lv.env[l][j];
                sMapped[k - kx] = any;
                float e = 0;
                for (int i = i0; i < i1; ++i) {
                    const Okv32fc v = high_[i + kHfAdj][k];
                    e += v.re * v.re + v.im * v.im;
                }
                if (lp_) e *= 2;  // a real band holds half the energy of its complex counterpart
                eCurr[k - kx] = e / float(i1 - i0);
                sum += e;
            }
            if (!h.interpolFreq)
                for (int k = table[j]; k < table[j + 1]; ++k)
                    eCurr[k - kx] = sum / float((i1 - i0) * (table[j + 1] - table[j]));
        }
        for (int j = 0; j < t.nQ; ++j)
            for (int k = t.noise[j]; k < t.noise[j + 1]; ++k) qOrig[k - kx] = lv.noise[q][j];
        // Gains on energies, then the limiter and the boost per limiter band.
        for (int k = 0; k < m; ++k) {
            const float e = eOrig[k], qo = qOrig[k];
            qm[k] = e * qo / (1 + qo);
            sm[k] = sIndex[k] ? e / (1 + qo) : 0;
            gain[k] = sMapped[k] ? e / (1 + eCurr[k]) * qo / (1 + qo) : e / ((1 + eCurr[k]) * (1 + (delta ? qo : 0)));
        }
        for (int b = 0; b < t.nLim; ++b) {
            const int k0 = t.lim[b] - kx, k1 = t.lim[b + 1] - kx;
            float so = 0, sc = 0;
            for (int k = k0; k < k1; ++k) so += eOrig[k], sc += eCurr[k];
            const float gMax = std::min(limGain2 * (kEps + so) / (kEps + sc), kGainMax2);
            float sum = 0;
            for (int k = k0; k < k1; ++k) {
                if (gain[k] > gMax) {
                    qm[k] = qm[k] * gMax / gain[k];
                    gain[k] = gMax;
                }
                sum += eCurr[k] * gain[k] + sm[k] + (delta && !sm[k] ? qm[k] : 0);
            }
            const float boost = std::min((kEps + so) / (kEps + sum), kBoostMax2);
            for (int k = k0; k < k1; ++k) {
                gain[k] = std::sqrt(gain[k] * boost);
                qm[k] = std::sqrt(qm[k] * boost);
                sm[k] = std::sqrt(sm[k] * boost);
            }
        }
        // Assembly slot by slot: smoothed gains, then noise or a sinusoid on each band.
        if (reset_ && l == 0)
            for (int j = 0; j < 4; ++j) std::copy(gain, gain + m, gHist_[j]), std::copy(qm, qm + m, qHist_[j]);
        for (int i = i0; i < i1; ++i) {
            float gf[64], qf[64];
            for (int k = 0; k < m; ++k) {
                if (smooth && delta) {
                    float a = sbrtab::kHSmooth[4] * gain[k], b = sbrtab::kHSmooth[4] * qm[k];
                    for (int j = 0; j < 4; ++j) a += sbrtab::kHSmooth[j] * gHist_[j][k], b += sbrtab::kHSmooth[j] * qHist_[j][k];
                    gf[k] = a, qf[k] = b;
                } else {
                    gf[k] = gain[k], qf[k] = qm[k];
                }
            }
            for (int j = 0; j < 3; ++j) std::copy(gHist_[j + 1], gHist_[j + 1] + m, gHist_[j]), std::copy(qHist_[j + 1], qHist_[j + 1] + m, qHist_[j]);
            std::copy(gain, gain + m, gHist_[3]);
            std::copy(qm, qm + m, qHist_[3]);
            const float* phi = sbrtab::kPhi[sineIndex_];
            sineIndex_ = (sineIndex_ + 1) & 3;
            const Okv32fc* x = high_[i + kHfAdj];
            Okv32fc* y = y_[i];
            float sign = (kx & 1) ? -1.0f : 1.0f;
            for (int k = 0; k < m; ++k, sign = -sign) {
                noiseIndex_ = (noiseIndex_ + 1) & 511;
                Okv32fc v{x[kx + k].re * gf[k], x[kx + k].im * gf[k]};
                if (sm[k] != 0) {
                    v.re += sm[k] * phi[0];
                    v.im += sm[k] * sign * phi[1];
                } else if (delta) {
                    v.re += qf[k] * sbrtab::kNoise[noiseIndex_][0];
                    v.im += qf[k] * sbrtab::kNoise[noiseIndex_][1];
                }
                y[kx + k] = v;
            }
        }
        if (l == g.numEnv - 1) std::copy(sIndex, sIndex + m, sinePrev_);
    }
    transientPrev_ = g.lA == g.numEnv;
}

void SbrChannel::assemble(int kx, int iTemp, int kxPrev) {
    for (int i = 0; i < kOutRows; ++i) {
        const int lowBands = i < iTemp ? kxPrev : kx;
        const Okv32fc* lo = low_[i + kHfAdj];
        std::copy(lo, lo + lowBands, out_[i]);
        if (i < kSlots)
            std::copy(y_[i] + lowBands, y_[i] + 64, out_[i] + lowBands);
        else
            std::fill(out_[i] + lowBands, out_[i] + 64, Okv32fc{0, 0});
    }
}

bool SbrChannel::synthesise(float* pcm) {
    if (lp_) {
        // Real parts at 16 times the float scale in (the bank's sum of band magnitudes must stay
        // below 2^29); samples at 256 times the float bank's out.
        const int bands = down_ ? 32 : 64;
        for (int l = 0; l < kSlots; ++l) {
            Okv32s in[64], out[64];
            for (int k = 0; k < bands; ++k)
                in[k] = Okv32s(std::clamp(out_[l][k].re * 16.0f, -2147483520.0f, 2147483520.0f));
            if ((down_ ? okvsSynthesisDownFilter_SBRLP_32s(in, out, fixedSyn_.data())
                       : okvsSynthesisFilter_SBRLP_32s(in, out, fixedSyn_.data())) != okvOk)
                return false;
            for (int n = 0; n < bands; ++n) pcm[bands * l + n] = float(out[n]) * (1.0f / 256);
        }
        return true;
    }
    const Okv32fc* rows[kSlots];
    for (int l = 0; l < kSlots; ++l) rows[l] = out_[l];
    return (down_ ? okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(rows, pcm, kOkvSbrQmfWindow320, kSlots, syn_.spec,
                                                                 syn_.work.data())
                  : okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(rows, pcm, kOkvSbrQmfWindow640, kSlots, syn_.spec,
                                                             syn_.work.data())) == okvOk;
}
