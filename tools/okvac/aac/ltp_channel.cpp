#include "ltp_channel.h"

#include <cstdlib>
#include <cstring>

namespace {

// The standard's LTP coefficients, 0.570829 to 1.369533, in Q30.
constexpr int64_t kCoefficientQ30[8] = {612922972, 747985734, 872956398, 978505219, 1057528322, 1146642451, 1282693057, 1470524861};

}  // namespace

void LtpChannel::reset() { std::memset(history_, 0, sizeof history_); }

StatusCode LtpChannel::predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const LtpTns* tns,
                               int rateIndex, const char** what) {
    if (!ltp.ltpDataPresent || ics.winSequence == 2) return okvOk;  // short windows carry no LTP data
    // The prediction from the history at the lag, scaled by the coefficient. The library's
    // prediction step takes the coefficient rounded to Q14 (the form AACLtpData carries);
    // through the feedback of successive predicted frames that rounding grows to several LSB,
    // so the step is taken here with the coefficient in Q30.
    const int64_t wanted = int64_t(ltp.ltpCoef) << 16;
    int64_t coef = kCoefficientQ30[0];
    for (const int64_t c : kCoefficientQ30)
        if (std::llabs(c - wanted) < std::llabs(coef - wanted)) coef = c;
    const int start = 2048 - (ltp.ltpLag & 2047), count = 3072 - start < 2048 ? 3072 - start : 2048;
    int64_t total = 0;
    for (int i = 0; i < 2048; ++i) {
        pred_[i] = i < count ? Okv32s((history_[start + i] * coef + (1 << 29)) >> 30) : 0;
        total += pred_[i] < 0 ? -int64_t(pred_[i]) : pred_[i];
    }
    // The prediction goes through the forward transform with as many of the history's extra
    // bits as the transform's headroom allows (the sum of its input magnitudes, doubled for the
    // rotations, below 2^31), and back to the spectrum's scale after TNS.
    int bits = kHistoryBits;
    while (bits > 0 && (total >> (kHistoryBits - bits)) * 2 >= INT32_MAX) --bits;
    if (const int down = kHistoryBits - bits)
        for (int i = 0; i < 2048; ++i) pred_[i] = (pred_[i] + (1 << (down - 1))) >> down;
    StatusCode st = okvsMDCTFwd_AAC_32s(pred_, spec_, pred_, ics.winSequence, ics.winShape, prevShape, work_);
    if (st < 0) return *what = "okvsMDCTFwd_AAC_32s", st;
    if (tns) {
        st = okvsEncodeTNS_AAC_32s_I(spec_, tns->nFilt, tns->length, tns->order, tns->coefRes, tns->coef, tns->direction,
                                     tns->maxSfb, 1, rateIndex, 1024);
        if (st < 0) return *what = "okvsEncodeTNS_AAC_32s_I", st;
    }
    if (bits)
        for (int k = 0; k < 1024; ++k) spec_[k] = (spec_[k] + (1 << (bits - 1))) >> bits;
    st = okvsLongTermReconstruct_AAC_32s(spec_, x, ltp.ltpLongUsed, ics.winSequence, rateIndex);
    if (st < 0) *what = "okvsLongTermReconstruct_AAC_32s";
    return st;
}

void LtpChannel::record(const Okv32s* out, const Okv32s* overlap, int bits) {
    std::memmove(history_, history_ + 1024, 1024 * sizeof *history_);
    for (int n = 0; n < 1024; ++n) {
        history_[1024 + n] = out[n] * (1 << (kHistoryBits + 3 - bits));
        history_[2048 + n] = overlap[n] * (1 << (kHistoryBits - bits));
    }
}
