#include "ltp_channel.h"

#include <cstring>

void LtpChannel::reset() {
    std::memset(history_, 0, sizeof history_);
    pending_ = 0;
}

StatusCode LtpChannel::predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const TnsSide* tns,
                               int rateIndex, const char** what) {
    if (!ltp.ltpDataPresent || ics.winSequence == 2) return okvOk;  // short windows carry no LTP data
    if (pending_ == 3) std::memset(history_, 0, sizeof history_);
    for (; pending_ > 0; --pending_) {
        const Frame& f = frames_[(next_ + 3 - pending_) % 3];
        const StatusCode st = okvsLtpUpdate_AAC_32s(f.spec, history_, f.seq, f.shape, f.prevShape, work_);
        if (st < 0) return *what = "okvsLtpUpdate_AAC_32s", st;
    }
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

void LtpChannel::update(const Okv32s* x, const AACIcsInfo& ics, int prevShape) {
    Frame& f = frames_[next_];
    std::memcpy(f.spec, x, sizeof f.spec);
    f.seq = ics.winSequence, f.shape = ics.winShape, f.prevShape = prevShape;
    next_ = (next_ + 1) % 3;
    if (pending_ < 3) ++pending_;
}
