#include "ltp_channel.h"

#include <cstring>

void LtpChannel::reset() { std::memset(history_, 0, sizeof history_); }

StatusCode LtpChannel::predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const LtpTns* tns,
                               int rateIndex, const char** what) {
    if (!ltp.ltpDataPresent || ics.winSequence == 2) return okvOk;  // short windows carry no LTP data
    StatusCode st = okvsLongTermPredict_AAC_32s(history_, pred_, &ltp, ics.winSequence);
    if (st < 0) return *what = "okvsLongTermPredict_AAC_32s", st;
    st = okvsMDCTFwd_AAC_32s(pred_, spec_, pred_, ics.winSequence, ics.winShape, prevShape, work_);
    if (st < 0) return *what = "okvsMDCTFwd_AAC_32s", st;
    if (tns) {
        st = okvsEncodeTNS_AAC_32s_I(spec_, tns->nFilt, tns->length, tns->order, tns->coefRes, tns->coef, tns->direction,
                                     tns->maxSfb, 1, rateIndex, 1024);
        if (st < 0) return *what = "okvsEncodeTNS_AAC_32s_I", st;
    }
    st = okvsLongTermReconstruct_AAC_32s(spec_, x, ltp.ltpLongUsed, ics.winSequence, rateIndex);
    if (st < 0) *what = "okvsLongTermReconstruct_AAC_32s";
    return st;
}

void LtpChannel::record(const Okv32s* out, const Okv32s* overlap, int bits) {
    std::memmove(history_, history_ + 1024, 1024 * sizeof *history_);
    for (int n = 0; n < 1024; ++n) {
        history_[1024 + n] = bits <= 3 ? out[n] * (1 << (3 - bits)) : (out[n] + (1 << (bits - 4))) >> (bits - 3);
        history_[2048 + n] = bits ? (overlap[n] + (1 << (bits - 1))) >> bits : overlap[n];
    }
}
