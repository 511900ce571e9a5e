// Helpers of the AAC tool tests: the conformance vectors and their PCM, on top of the tool helpers.
#pragma once
#include "tool_util.h"

namespace aactool {

using namespace tooltest;

inline fs::path vectorDir() { return fs::path(OKV_SHARED_DIR) / "vectors" / "aac"; }

inline std::vector<int16_t> readPcm(const fs::path& p) { return readFile<int16_t>(p); }

}  // namespace aactool
