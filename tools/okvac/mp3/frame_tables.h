// Layer III bitrates (kbit/s) by [MPEG-1][bitrate_index] and MPEG-1 sampling rates by
// sampling_frequency (MPEG-2 LSF halves them, MPEG-2.5 quarters them).
#pragma once

inline constexpr int kMp3Kbps[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
inline constexpr int kMp3Rates[3] = {44100, 48000, 32000};
