// Constant tables of the Layer III quantiser and rate control.
#pragma once
#include "core/okv_internal.h"
#include "mp3/mp3_ce_math.h"

namespace OKV_NS {
namespace mp3q {

// floor(y^0.75 + 0.4054), y = 0..255.
struct BaseValues {
    Okv32s v[256] = {};
    constexpr BaseValues() {
        for (int y = 1; y < 256; ++y) {
            const long double r = mp3ce::rootL((long double)y, 2);
            v[y] = (Okv32s)(r * mp3ce::rootL(r, 2) + 0.4054L);
        }
    }
};
inline constexpr BaseValues kBase{};

constexpr Okv32s kPow2Quarter[3] = {638450708, 759250125, 902905651};  // 2^(f/4), Q29
// Quadratic pieces of y^0.75 per octave index k = 5..11 (Y >= 1025).
constexpr Okv32s kPowA[12] = {4471310,   9581246,   16201271,  20373018,  34403310,   77669483,
                              130802989, 220162688, 370390985, 623045816, 1047960546, 1941318829};
constexpr Okv32s kPowB[12] = {825280880, 647125731, 544543270, 516649276, 434432160, 324062684,
                              272471948, 229105831, 192656354, 162004913, 136229718, 110668797};
constexpr Okv32s kPowC[12] = {1131424675, 348665810, 147092856, 141725722, 59579710, 10978530,
                              4613194,    1938995,   815290,    342796,    144130,   50463};
// Ratio classes (Q31, descending) and the step offset of each class.
constexpr Okv32s kRatioClass[20] = {374521148, 142163417, 74088186, 45311905, 30494268, 21904333, 16535624,
                                    12884902,  10307922,  8589935,  7086696,  6012954,  5153961,  4509716,
                                    3865471,   3435974,   3006477,  2791729,  2576980,  2147484};
constexpr int kStepMid[20] = {11, 91, 139, 174, 200, 223, 241, 257, 272, 285,
                              296, 307, 317, 326, 334, 342, 349, 356, 363, 369};
// Q15 share of the reservoir, index a + 3b (a: short blocks looked ahead, b: in this frame).
constexpr Okv16s kResvShare[15] = {13107, 6554,  3277,  26214, 13107, 9830,  29491, 22938,
                                   13107, 29491, 26214, 19661, 31130, 26214, 22938};
constexpr int k16kHzLine[3] = {418, 384, 576};
// (region0_count, region1_count) by the first long band at or above the big-values end.
constexpr Okv8u kSubdivide[23][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 1},
                                     {1, 2}, {2, 2}, {2, 3}, {2, 3}, {3, 4}, {3, 4}, {3, 4}, {4, 5},
                                     {4, 5}, {4, 6}, {5, 6}, {5, 6}, {5, 7}, {6, 7}, {6, 7}};

}  // namespace mp3q
}  // namespace OKV_NS
