// Variant harness: the Layer III psychoacoustic model over several frames of one state (mono,
// stereo and joint stereo, MPEG-1 and LSF, every bitrate index, noise, tones and bursts).
#include <cmath>
#include <vector>

#include "harness/checkasm.h"

CHECK_EXPORTS(mp3enc_psy, "okvsPsychoacousticModelTwo_MP3_16s") {
    for (int it = 0; it < c.iters(); ++it) {
        MP3FrameHeader h{};
        h.id = c.rng().range(0, 7) ? 1 : 0;
        h.layer = 1;
        h.sampling_frequency = c.rng().range(0, 15) ? c.rng().range(0, 2) : 3;
        h.bitrate_index = c.rng().range(0, 15);
        h.mode = c.rng().range(0, 3);
        const int nch = h.mode == 3 ? 1 : 2, samples = 576 * (h.id ? 2 : 1) * nch;
        const int frames = c.rng().range(1, 4), level = c.rng().range(0, 15);
        std::vector<Okv16s> pcm((size_t)frames * samples);
        for (size_t i = 0; i < pcm.size(); ++i) {
            const int burst = c.rng().range(0, 400) == 0 ? 32767 : 0;
            pcm[i] = (Okv16s)((c.rng().i32() >> (16 + level)) + 3000 * std::sin(0.07 * (double)(i / nch)) + burst);
        }
        c.call("okvsPsychoacousticModelTwo_MP3_16s", [&](chk::Arena& a, int v) -> int {
            Okv32s* state = a.inout<Okv32s>(OKV_MP3_PSY_STATE_SIZE / 4, [](size_t) { return 0; });
            Okv8u* work = static_cast<Okv8u*>(a.scratch(OKV_MP3_PSY_WORK_SIZE, 1));
            MP3PsyRatio* ratio = a.out<MP3PsyRatio>(4);
            int* bound = a.out<int>(6);
            MP3SideInfo* si = a.out<MP3SideInfo>(4);
            MP3FrameHeader* hd = a.inout<MP3FrameHeader>(1, [&](size_t) { return h; });
            int st = okvOk;
            for (int f = 0; f < frames && st == okvOk; ++f)
                st = OKV_BODY(v, okvsPsychoacousticModelTwo_MP3_16s)(
                    a.in_copy(pcm.data() + (size_t)f * samples, (size_t)samples), ratio, bound, si, hd,
                    reinterpret_cast<Okv8u*>(state), nullptr, work);
            return st;
        });
    }
}
