// Leading fields of the psychoacoustic state block that the quantiser reads.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

struct Mp3PsyStateHead {
    Okv32s nextBlockType[2];  // block types of the look-ahead granule, per channel
};

}  // namespace OKV_NS
