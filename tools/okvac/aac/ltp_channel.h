// Long-term prediction state of one output channel: the reconstructed history and the
// prediction step of a long frame, on the library's filterbank, TNS and LTP reconstruction
// exports.
//
// The history is the channel's own filterbank output as the frame decoder's transform delivers
// it, with up to kHistoryBits fractional bits beyond the library's history scale: the last two
// output frames and the windowed second half of the last transform (its overlap). It follows the
// decoded signal without a second inverse transform per frame, and the prediction keeps those
// bits through the forward transform and TNS.
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
    static constexpr int kHistoryBits = 4;

    LtpChannel() { reset(); }
    void reset();

    // Adds the prediction of a long frame to its spectrum x (after M/S and intensity, before
    // TNS) in the bands ltp flags (noise bands already cleared); tns is null without TNS.
    // Returns the status of the first failing export and sets *what to its name.
    StatusCode predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const LtpTns* tns,
                       int rateIndex, const char** what);
    // Takes a frame's output (the PCM value times 2^bits, unsaturated) and the overlap the
    // transform left (times 8 x 2^bits) into the history; bits at most kHistoryBits.
    void record(const Okv32s* out, const Okv32s* overlap, int bits);

private:
    alignas(16) Okv32s history_[3072];  // the PCM value times 8 x 2^kHistoryBits
    alignas(16) Okv32s pred_[2048];
    alignas(16) Okv32s spec_[1024];
    alignas(16) Okv32s work_[2048];
};
