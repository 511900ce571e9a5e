// Long-term prediction state of one output channel: the reconstructed history and the
// prediction step of a long frame, on the library's LTP, filterbank and TNS exports.
//
// The history is brought up to date only when a frame predicts: its three parts depend on the
// last three frames alone (each update rewrites the newest part whole), so the channel keeps
// those frames' spectra and replays the updates it skipped, from a cleared history when it
// skipped three or more. The result is the history of an update after every frame, bit for
// bit, at no cost on streams or stretches that carry no LTP data.
//
// The prediction stays on the library's export with its truncated Q14 gain table, although
// exact gains would track the reference decoders closer (2 LSB instead of 5 on long runs of
// predicted frames): the decoder is the exports' end-to-end check, and the gains are fixed.
#pragma once
#include "okvac.h"
#include "tns_filter.h"

class LtpChannel {
public:
    LtpChannel() { reset(); }
    void reset();

    // Adds the prediction of a long frame to its spectrum x (after M/S and intensity, before
    // TNS) in the bands ltp flags (noise bands already cleared); tns is null without TNS.
    // Returns the status of the first failing export and sets *what to its name.
    StatusCode predict(Okv32s* x, const AACLtpData& ltp, const AACIcsInfo& ics, int prevShape, const TnsSide* tns,
                       int rateIndex, const char** what);
    // Keeps the frame's final spectrum (before the inverse transform) for the history.
    void update(const Okv32s* x, const AACIcsInfo& ics, int prevShape);

private:
    struct Frame {
        alignas(16) Okv32s spec[1024];
        int seq, shape, prevShape;
    };
    Frame frames_[3];  // the last three frames, oldest first from frames_[next_]
    int next_ = 0;     // where the next frame goes
    int pending_ = 0;  // frames not yet in the history (at most 3)
    alignas(16) Okv32s history_[3072];
    alignas(16) Okv32s pred_[2048];
    alignas(16) Okv32s spec_[1024];
    alignas(16) Okv32s work_[6144];
};
