// Helpers of the AAC tool tests: the conformance vectors, on top of the tool helpers.
#pragma once
#include "tool_util.h"

namespace aactool {

using namespace tooltest;

inline fs::path vectorDir() { return fs::path(OKV_SHARED_DIR) / "vectors" / "aac"; }

}  // namespace aactool
