// Fuzzes the Layer III psychoacoustic model: arbitrary header fields, state block and PCM. Input:
// 4 control bytes (id, sampling frequency, mode, bitrate index), the state block, then PCM words
// for one or more frames. Ratios the model computes stay within 0..1 in Q31, block types
// within 0..3, and the published buffer sizes hold.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    MP3FrameHeader h{};
    h.id = data[0] & 1;
    h.layer = 1;
    h.sampling_frequency = data[1] & 3;
    h.mode = data[2] & 3;
    h.bitrate_index = data[3] & 15;
    data += 4, size -= 4;
    std::vector<Okv32s> state(OKV_MP3_PSY_STATE_SIZE / 4, 0);
    const size_t take = size < OKV_MP3_PSY_STATE_SIZE ? size : OKV_MP3_PSY_STATE_SIZE;
    memcpy(state.data(), data, take);
    data += take, size -= take;
    const int nch = h.mode == 3 ? 1 : 2, samples = 576 * (h.id ? 2 : 1) * nch;
    std::vector<Okv16s> pcm((size_t)samples);
    std::vector<Okv8u> work(OKV_MP3_PSY_WORK_SIZE + 1);  // used from offsets 0 and 1
    for (int f = 0; f < 3; ++f) {
        std::fill(pcm.begin(), pcm.end(), 0);
        const size_t n = size < pcm.size() * 2 ? size : pcm.size() * 2;
        memcpy(pcm.data(), data, n);
        data += n, size -= n;
        MP3PsyRatio ratio[4];
        int bound[6];
        MP3SideInfo si[4];
        if (okvsPsychoacousticModelTwo_MP3_16s(pcm.data(), ratio, bound, si, &h, reinterpret_cast<Okv8u*>(state.data()),
                                               nullptr, work.data() + (f & 1)) != okvOk)
            __builtin_trap();
        for (int r = 0; r < nch * (h.id ? 2 : 1); ++r) {
            for (int v : ratio[r].ratio)  // the first frame passes on the state's held granule
                if (v < 0 && (f > 0 || r >= nch)) __builtin_trap();
            if (si[r].block_type < 0 || si[r].block_type > 3 || si[r].mixed_block_flag) __builtin_trap();
        }
        if (size == 0) break;
    }
    return 0;
}
