#include "mp3/mp3_demo.h"

#include <cmath>
#include <cstdio>

#include "mp3/mp3_stream_decoder.h"

namespace okvac {

namespace {
const uint8_t kSample[] = {
#include "mp3/mp3_demo_sample.inc"
};
}  // namespace

int run_mp3_demo() {
    MemorySource src(kSample, sizeof kSample);
    ReadWindow in(src);
    Mp3StreamDecoder dec(in, false);
    long samples = 0;
    int peak = 0;
    const int16_t* pcm;
    size_t frames;
    while (dec.next(&pcm, &frames)) {
        samples += long(frames);
        for (size_t i = 0; i < frames * size_t(dec.channels()); ++i) {
            const int a = pcm[i] < 0 ? -pcm[i] : pcm[i];
            if (a > peak) peak = a;
        }
    }
    const double seconds = dec.sampleRate() ? double(samples) / dec.sampleRate() : 0.0;
    std::printf("built-in MP3 sample: %ld frames, %ld samples (%.2f s) at %d Hz %s, peak %.1f dBFS, %ld failed\n",
                dec.frames(), samples, seconds, dec.sampleRate(), dec.channels() == 1 ? "mono" : "stereo",
                peak ? 20.0 * std::log10(peak / 32768.0) : -200.0, dec.failedFrames());
    return dec.failedFrames() == 0 && samples > 0 ? 0 : 1;
}

}  // namespace okvac
