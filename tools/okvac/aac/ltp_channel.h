// Long-term prediction state of one output channel: the reconstructed history and the
// prediction step of a long frame, on the library's LTP, filterbank and TNS exports.
#pragma once
#include "okvac.h"

// TNS side data of a channel, as the frame decoder hands it to the TNS exports.
struct LtpTns {
    const int *nFilt, *length, *order, *coefRes, *direction;
    const Okv8s* coef;
    int maxSfb;
};

class LtpChannel {
public:
    LtpChannel() { reset(); }
    void reset();

    // Adds the prediction of a long frame to its spectrum x (after M/S and intensity, before
    // TNS) in the bands ltp flags (noise bands already cleared); tns is null without TNS.
    // Both calls return the status of the first failing export and set *what to its name.
    StatusCode predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const LtpTns* tns,
                       int rateIndex, const char** what);
    // Takes in the frame's final spectrum (before the inverse transform).
    StatusCode update(const Okv32s* x, const AACIcsInfo& ics, int prevShape, const char** what);

private:
    alignas(16) Okv32s history_[3072];
    alignas(16) Okv32s pred_[2048];
    alignas(16) Okv32s spec_[1024];
    alignas(16) Okv32s work_[6144];
};
