#include "aac_decode.h"

#include <cstdio>

#include "aac_stream_decoder.h"
#include "../pcm/pcm_writer.h"

int decodeAac(const std::vector<uint8_t>& in, AacContainer kind, const char* outName, bool gapless) {
    AacStreamDecoder dec(in.data(), in.size(), kind, gapless);
    std::string why;
    switch (dec.setup(&why)) {
        case AacStreamDecoder::Setup::kOk: break;
        case AacStreamDecoder::Setup::kUnsupported:
            std::fprintf(stderr, "okvac decode: %s\n", why.c_str());
            return 3;
        case AacStreamDecoder::Setup::kBroken:
            std::fprintf(stderr, "okvac decode: cannot decode the AAC stream: %s\n", why.c_str());
            return 1;
    }
    PcmWriter out;
    if (!out.open(outName, dec.channels(), dec.sampleRate(), dec.channelMask())) {
        std::fprintf(stderr, "okvac decode: cannot write %s\n", outName);
        return 1;
    }
    const int16_t* pcm;
    size_t frames;
    while (dec.next(&pcm, &frames)) {
        if (!out.write(pcm, frames)) {
            std::fprintf(stderr, "okvac decode: write error on %s\n", outName);
            return 1;
        }
    }
    if (!out.close()) {
        std::fprintf(stderr, "okvac decode: write error on %s\n", outName);
        return 1;
    }
    if (dec.failedFrames())
        std::fprintf(stderr, "okvac decode: %ld of %ld frames failed and were replaced by silence\n", dec.failedFrames(),
                     dec.frames());
    return 0;
}
