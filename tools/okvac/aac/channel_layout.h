// Where each channel element of a stream goes in the output: channels sorted by WAVE speaker
// position (mask bit order), as a channel configuration 1..7 or a program configuration
// element describes them.
#pragma once
#include <cstdint>
#include <vector>

#include "okvac.h"

enum AacElement { kSce = 0, kCpe = 1, kCce = 2, kLfe = 3, kDse = 4, kPce = 5, kFil = 6, kEnd = 7 };

struct ChannelLayout {
    struct Slot {
        int type;      // kSce, kCpe or kLfe
        int tag;       // element instance tag, -1: matched by order of appearance
        int out[2];    // output channels (out[1] only for pairs)
    };
    std::vector<Slot> slots;  // in the order the elements are expected
    int channels = 0;
    uint32_t mask = 0;        // speaker positions of the first channels; the others have none

    bool fromConfig(int channelConfig);  // 1..7
    void fromPce(const AACPrgCfgElt& pce);
};
