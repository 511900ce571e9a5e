// AAC window halves by shape and the windowing of a block ahead of the forward transform,
// shared by the filterbank and the long-term prediction tools.
#pragma once

#include "aac/aac_window_data.h"
#include "aac/mdct_aac_core.h"

namespace OKV_NS::aacmdct {

enum { kOnlyLong = 0, kLongStart = 1, kEightShort = 2, kLongStop = 3 };

inline const int32_t* longWin(int shape)
{
    return shape ? aacspectral_data::kWinKbdLong : aacspectral_data::kWinSineLong;
}
inline const int32_t* shortWin(int shape)
{
    return shape ? aacspectral_data::kWinKbdShort : aacspectral_data::kWinSineShort;
}

// Windowing of 2048 input samples (256 for a short block) into u. Plain: the high half of
// (2x wrapped to 32 bits) w, flat parts as they are; otherwise the high half of x w, flat
// parts halved. Returns the transform order (9 or 6).
template <bool Plain>
inline int windowInput(const Okv32s* x, Okv32s* u, int seq, int shape, int prev)
{
    auto win = [](int32_t v, int32_t w) {
        const int64_t s = Plain ? int32_t(Okv32u(v) << 1) : v;
        return int32_t((s * w) >> 32);
    };
    auto flat = [](int32_t v) { return Plain ? v : v >> 1; };
    const int32_t* lc = longWin(shape);
    const int32_t* sc = shortWin(shape);
    if (seq == kEightShort) {
        const int32_t* sp = shortWin(prev);
        for (int n = 0; n < 128; ++n) u[n] = win(x[n], sp[n]);
        for (int n = 0; n < 128; ++n) u[128 + n] = win(x[128 + n], sc[127 - n]);
        return 6;
    }
    if (seq == kLongStop) {
        const int32_t* sp = shortWin(prev);
        for (int n = 0; n < 448; ++n) u[n] = 0;
        for (int n = 0; n < 128; ++n) u[448 + n] = win(x[448 + n], sp[n]);
        for (int n = 576; n < 1024; ++n) u[n] = flat(x[n]);
    } else {
        const int32_t* lp = longWin(prev);
        for (int n = 0; n < 1024; ++n) u[n] = win(x[n], lp[n]);
    }
    if (seq == kLongStart) {
        for (int n = 1024; n < 1472; ++n) u[n] = flat(x[n]);
        for (int n = 0; n < 128; ++n) u[1472 + n] = win(x[1472 + n], sc[127 - n]);
        for (int n = 1600; n < 2048; ++n) u[n] = 0;
    } else {
        for (int n = 0; n < 1024; ++n) u[1024 + n] = win(x[1024 + n], lc[1023 - n]);
    }
    return 9;
}

}  // namespace OKV_NS::aacmdct
