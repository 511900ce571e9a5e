// Reads the parametric-stereo payload of an SBR extension (extension id 2): header, envelope
// grid and the delta-coded IID, ICC, IPD and OPD indices, resolved to absolute indices.
#pragma once
#include <cstdint>

#include "../aac/bit_cursor.h"

// One frame's stereo parameters at the stream's band resolution.
struct PsFrame {
    static constexpr int kMaxEnv = 5;  // four signalled, one appended to reach the frame end
    int numEnv = 0;                    // 0: the previous parameters hold for the whole frame
    int border[kMaxEnv] = {};          // last slot of each envelope
    int iidBands = 10, iccBands = 10;  // 10, 20 or 34
    bool fineIid = false;              // IID indices -15..15 instead of -7..7
    bool mixRb = false;                // icc_mode 3..5 asks for the second mixing procedure
    bool is34 = false;                 // processed with the 34-band hybrid configuration
    bool ipdOpd = false;               // IPD/OPD phases present
    int8_t iid[kMaxEnv][34] = {}, icc[kMaxEnv][34] = {};
    int8_t ipd[kMaxEnv][17] = {}, opd[kMaxEnv][17] = {};
};

class PsReader {
public:
    // Reads one payload of `bits` bits at *bc into *f. False on a payload that cannot be valid
    // (reserved mode, index out of range, borders out of order, more bits than given); the
    // header and the time-differential references then stay as they were. The cursor is left
    // wherever reading stopped: the caller skips to the end of the extension.
    bool read(BitCursor* bc, long long bits, PsFrame* f);

private:
    bool enableIid_ = false, enableIcc_ = false, enableExt_ = false;
    int iidMode_ = 0, iccMode_ = 0;
    bool is34_ = false;
    // Last envelope of the previous frame, the reference of time-differential coding.
    int8_t prevIid_[34] = {}, prevIcc_[34] = {}, prevIpd_[17] = {}, prevOpd_[17] = {};
};
