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

StatusCode LtpChannel::update(const Okv32s* x, const AACIcsInfo& ics, int prevShape, const char** what) {
    const StatusCode st = okvsLtpUpdate_AAC_32s(x, history_, ics.winSequence, ics.winShape, prevShape, work_);
    if (st < 0) *what = "okvsLtpUpdate_AAC_32s";
    return st;
}
