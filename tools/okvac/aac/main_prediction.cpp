#include "main_prediction.h"

#include <cmath>
#include <cstring>

#include "aac_tables.h"

namespace mainpred {

constexpr int kNoiseBook = 13, kEightShort = 2;
// Highest predicted band + 1 per sampling-rate index.
constexpr int kPredLimit[12] = {33, 33, 38, 40, 40, 40, 41, 41, 37, 37, 37, 34};

}  // namespace mainpred

MainPrediction::~MainPrediction() {
    for (FDPState* s : states_) okvsFDPFree_32f(s);
}

std::string MainPrediction::configure(bool enabled, bool active, int channels, int rateIndex) {
    for (FDPState* s : states_) okvsFDPFree_32f(s);
    states_.clear();
    active_ = active;
    if (!enabled) return "";
    limit_ = mainpred::kPredLimit[rateIndex];
    for (int b = 0; b <= limit_; ++b) offsets_[b] = longBandOffsets(rateIndex)[b];
    for (int c = 0; c < channels; ++c) {
        FDPState* s = nullptr;
        if (const StatusCode st = okvsFDPInitAlloc_32f(&s, 1024); st != okvOk)
            return "okvsFDPInitAlloc_32f failed (status " + std::to_string(st) + ")";
        states_.push_back(s);
    }
    return "";
}

void MainPrediction::resetAll() {
    for (FDPState* s : states_) okvsFDPReset_32f(s);
}

void MainPrediction::dequantise(int slot, const AACIcsInfo& ics, const Okv32s* q, const Okv16s* sf, const Okv8u* cb) {
    if (ics.winSequence == mainpred::kEightShort) return;
    // 2^(s/4) as a float decoder scales: 2^m times the single-precision 2^(f/4), s = 4m + f.
    static const Okv32f kQuarter[4] = {1.0f, float(std::pow(2.0, 0.25)), float(std::sqrt(2.0)), float(std::pow(2.0, 0.75))};
    Okv32f* x = x_[slot];
    std::memset(x, 0, sizeof x_[slot]);
    const int top = ics.maxSfb < limit_ ? ics.maxSfb : limit_;
    alignas(16) Okv16s mag[1024];
    for (int b = 0; b < top; ++b) {
        if (cb[b] == 0 || cb[b] >= mainpred::kNoiseBook) continue;
        const int lo = offsets_[b], n = offsets_[b + 1] - lo;
        for (int k = 0; k < n; ++k) {
            const Okv32s v = q[lo + k];
            mag[k] = Okv16s(v > 8191 ? 8191 : v < -8191 ? -8191 : v);  // larger fails inverse quantisation
        }
        okvsPow43_16s32f(mag, x + lo, n);
        const int s = sf[b] - 100;
        const Okv32f scale = std::ldexp(kQuarter[s & 3], s >> 2);
        for (int k = 0; k < n; ++k) x[lo + k] *= scale;
    }
}

void MainPrediction::midSide(const Okv8u* msFlags, const Okv8u* cbRight, int maxSfb) {
    const int top = maxSfb < limit_ ? maxSfb : limit_;
    for (int b = 0; b < top; ++b) {
        if (!msFlags[b] || cbRight[b] >= mainpred::kNoiseBook) continue;
        for (int k = offsets_[b]; k < offsets_[b + 1]; ++k) {
            const Okv32f l = x_[0][k], r = x_[1][k];
            x_[0][k] = l + r;
            x_[1][k] = l - r;
        }
    }
}

std::string MainPrediction::predict(int slot, int out, const AACIcsInfo& ics, const Okv8u* cb, Okv32s* spec) {
    if (out < 0 || !active_) return "";
    FDPState* s = states_[size_t(out)];
    if (ics.winSequence == mainpred::kEightShort) {
        okvsFDPReset_32f(s);
        return "";
    }
    // Noise bands are neither predicted nor kept in the state; intensity bands are predicted
    // from 0 (the intensity copy overwrites them later).
    Okv8u used[52] = {}, noise[52] = {};
    for (int b = 0; b < limit_; ++b) {
        noise[b] = b < ics.maxSfb && cb[b] == mainpred::kNoiseBook;
        used[b] = ics.predictorDataPresent && ics.predictionUsed[b] && !noise[b];
    }
    Okv32f* x = x_[slot];
    StatusCode st = okvsFDPInv_32f_I(x, offsets_, limit_, used, s);
    if (st < 0) return "okvsFDPInv_32f_I failed (status " + std::to_string(st) + ")";
    for (int b = 0; b < limit_; ++b) {
        if (!used[b]) continue;
        for (int k = offsets_[b]; k < offsets_[b + 1]; ++k) {
            const Okv32f v = x[k] * 8.0f;  // back to Q3, truncated
            spec[k] = v >= 2147483520.0f ? 2147483647 : v <= -2147483648.0f ? int(-2147483647 - 1) : v == v ? Okv32s(v) : 0;
        }
    }
    if (ics.predictorDataPresent && ics.predictorReset && ics.predictorResetGroupNum > 0)
        st = okvsFDPResetGroup_32f(ics.predictorResetGroupNum - 1, 30, s);
    if (st >= 0) st = okvsFDPResetSfb_32f(offsets_, limit_, noise, s);
    return st < 0 ? "predictor reset failed (status " + std::to_string(st) + ")" : "";
}
