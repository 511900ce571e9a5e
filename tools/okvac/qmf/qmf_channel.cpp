#include "qmf/qmf_channel.h"

// The window lives with the library sources; the tool is not given their include path.
#include "sbr/qmf_window_data.h"

namespace {

// Hybrid mode of each split QMF band (-1: not split, delayed instead).
int hybridMode(int config, int band) {
    static const int k20[] = {2, 0, 0};
    static const int k34[] = {4, 3, 1, 1, 1};
    if (config == 20) return band < 3 ? k20[band] : -1;
    return band < 5 ? k34[band] : -1;
}
const int kBandsOfMode[5] = {2, 4, 8, 8, 12};
constexpr int kHybridDelay = 6;  // slots

}  // namespace

StatusCode QmfChannel::build(Bank* b, GetSize getSize, Init init) {
    int s, i, w;
    StatusCode st = getSize(&s, &i, &w);
    if (st != okvOk) return st;
    b->mem.assign(size_t(s), 0);
    b->init.assign(size_t(i), 0);
    b->work.assign(size_t(w), 0);
    return init(&b->spec, b->mem.data(), b->init.data());
}

bool QmfChannel::init(const Config& cfg, StatusCode* status) {
    cfg_ = cfg;
    const bool hq = cfg.mode == Mode::Hq;
    StatusCode st = hq ? build(&ana_, okvsAnalysisFilterGetSize_SBR_RToC_32f32fc, okvsAnalysisFilterInit_SBR_RToC_32f32fc)
                       : build(&ana_, okvsAnalysisFilterGetSize_SBR_RToR_32f, okvsAnalysisFilterInit_SBR_RToR_32f);
    if (st == okvOk) {
        if (cfg.doubleRate)
            st = hq ? build(&syn_, okvsSynthesisFilterGetSize_SBR_CToR_32fc32f, okvsSynthesisFilterInit_SBR_CToR_32fc32f)
                    : build(&syn_, okvsSynthesisFilterGetSize_SBR_RToR_32f, okvsSynthesisFilterInit_SBR_RToR_32f);
        else
            st = hq ? build(&syn_, okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f,
                            okvsSynthesisDownFilterInit_SBR_CToR_32fc32f)
                    : build(&syn_, okvsSynthesisDownFilterGetSize_SBR_RToR_32f, okvsSynthesisDownFilterInit_SBR_RToR_32f);
    }
    *status = st;
    cplx_.assign(hq ? size_t(64) * kSlots : 0, Okv32fc{0, 0});
    real_.assign(hq ? 0 : size_t(64) * kSlots, 0.0f);
    hybridHist_.assign(size_t(32) * 12, Okv32fc{0, 0});
    hybridIn_.assign(88, 0.0f);
    hybridOut_.assign(size_t(kSlots) * 24, 0.0f);
    return st == okvOk;
}

int QmfChannel::delay() const {
    const int rate = cfg_.doubleRate ? 2 : 1;
    return rate * 289 + (cfg_.hybrid ? kHybridDelay * 32 * rate : 0);
}

StatusCode QmfChannel::analyse(const float* pcm) {
    if (cfg_.mode == Mode::Hq) {
        Okv32fc* rows[kSlots];
        for (int l = 0; l < kSlots; ++l) rows[l] = row(l);
        return okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(pcm, rows, kOkvSbrQmfWindow320, kSlots, 0, cfg_.kx, ana_.spec,
                                                       ana_.work.data());
    }
    float* rows[kSlots];
    for (int l = 0; l < kSlots; ++l) rows[l] = realRow(l);
    return okvsAnalysisFilter_SBR_RToR_32f_D2L(pcm, rows, kOkvSbrQmfWindow320, kSlots, 0, cfg_.kx, ana_.spec,
                                               ana_.work.data());
}

StatusCode QmfChannel::hybridRoundTrip() {
    if (!cfg_.hybrid || cfg_.mode != Mode::Hq) return okvOk;
    for (int b = 0; b < 32; ++b) {
        Okv32fc* hist = &hybridHist_[size_t(12) * b];
        const int mode = hybridMode(cfg_.hybrid, b);
        if (mode < 0) {  // plain delay: hist[0..5] holds the last six slots
            Okv32fc last[kHybridDelay];
            for (int l = 0; l < kHybridDelay; ++l) last[l] = row(kSlots - kHybridDelay + l)[b];
            for (int l = kSlots - 1; l >= kHybridDelay; --l) row(l)[b] = row(l - kHybridDelay)[b];
            for (int l = 0; l < kHybridDelay; ++l) {
                row(l)[b] = hist[l];
                hist[l] = last[l];
            }
            continue;
        }
        for (int i = 0; i < 12; ++i) {
            hybridIn_[size_t(2) * i] = hist[i].re;
            hybridIn_[size_t(2) * i + 1] = hist[i].im;
        }
        for (int l = 0; l < kSlots; ++l) {
            hybridIn_[size_t(2) * (12 + l)] = row(l)[b].re;
            hybridIn_[size_t(2) * (12 + l) + 1] = row(l)[b].im;
        }
        const StatusCode st = okvsAnalysisFilter_PS_32fc_D2(hybridIn_.data(), hybridOut_.data(), mode);
        if (st != okvOk) return st;
        for (int i = 0; i < 12; ++i) {
            hist[i].re = hybridIn_[size_t(2) * (kSlots + i)];
            hist[i].im = hybridIn_[size_t(2) * (kSlots + i) + 1];
        }
        for (int l = 0; l < kSlots; ++l) {
            Okv32fc s{0, 0};
            for (int q = 0; q < kBandsOfMode[mode]; ++q) {
                s.re += hybridOut_[size_t(24) * l + 2 * q];
                s.im += hybridOut_[size_t(24) * l + 2 * q + 1];
            }
            row(l)[b] = s;
        }
    }
    return okvOk;
}

StatusCode QmfChannel::synthesise(float* pcm) {
    const float* w = cfg_.doubleRate ? kOkvSbrQmfWindow640 : kOkvSbrQmfWindow320;
    if (cfg_.mode == Mode::Hq) {
        const Okv32fc* rows[kSlots];
        for (int l = 0; l < kSlots; ++l) rows[l] = row(l);
        return cfg_.doubleRate
                   ? okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(rows, pcm, w, kSlots, syn_.spec, syn_.work.data())
                   : okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(rows, pcm, w, kSlots, syn_.spec, syn_.work.data());
    }
    const float* rows[kSlots];
    for (int l = 0; l < kSlots; ++l) rows[l] = realRow(l);
    return cfg_.doubleRate ? okvsSynthesisFilter_SBR_RToR_32f_D2L(rows, pcm, w, kSlots, syn_.spec, syn_.work.data())
                           : okvsSynthesisDownFilter_SBR_RToR_32f_D2L(rows, pcm, w, kSlots, syn_.spec, syn_.work.data());
}
