// okvac decode: MP3 (Layer III) or AAC to WAV or raw 16-bit PCM.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aac/aac_decode.h"
#include "command.h"
#include "container/detect.h"
#include "mp3/mp3_stream_decoder.h"
#include "pcm/pcm_writer.h"

namespace {

void help(std::FILE* out) {
    std::fprintf(out,
                 "usage: okvac decode [--synth fixed|float] [--no-gapless] IN OUT\n\n"
                 "Decodes an MPEG-1/2/2.5 Layer III stream, or AAC-LC in ADTS, ADIF or MP4/3GP (found by\n"
                 "content). IN is a file or - (stdin). OUT is a .wav file (above two channels with the\n"
                 "speaker mask, channels in mask order),\n"
                 "- (raw 16-bit little-endian interleaved PCM on stdout) or any other name (raw, same format).\n"
                 "--synth fixed (default) uses the 32-bit fixed-point synthesis, --synth float the float one.\n"
                 "--no-gapless keeps the encoder delay and padding that an MP4 edit list or iTunSMPB\n"
                 "comment marks. A frame that fails to decode gives silence and is reported on stderr.\n"
                 "Exit status: 0 decoded, 1 unreadable input or output, 2 usage, 3 unsupported stream\n"
                 "(AAC Main/SSR/LTP/error-resilient, LATM, 7350 Hz).\n");
}

bool readAll(const char* name, std::vector<uint8_t>* data) {
    std::FILE* f = std::strcmp(name, "-") ? std::fopen(name, "rb") : stdin;
    if (!f) return false;
    if (f != stdin && std::fseek(f, 0, SEEK_END) == 0) {  // one allocation for a regular file
        const long size = std::ftell(f);
        if (size > 0) data->reserve(size_t(size));
        std::rewind(f);
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    return ok;
}

// True when a Layer III frame starts before offset `limit` (ADTS or LOAS found later is noise).
bool mp3Before(const std::vector<uint8_t>& in, size_t limit) {
    Mp3FrameScanner scan(in.data(), in.size());
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    return limit > 0 && scan.next(&f, &size, &fi) && size_t(f - in.data()) < limit;
}

int run(int argc, char** argv) {
    bool floatSynth = false, gapless = true;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--synth") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v != "fixed" && v != "float") {
                std::fprintf(stderr, "okvac decode: --synth takes fixed or float\n");
                return 2;
            }
            floatSynth = v == "float";
        } else if (!std::strcmp(argv[i], "--no-gapless")) {
            gapless = false;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        help(stderr);
        return 2;
    }
    std::vector<uint8_t> in;
    if (!readAll(files[0], &in)) {
        std::fprintf(stderr, "okvac decode: cannot read %s\n", files[0]);
        return 1;
    }
    size_t aacStart;
    const AacContainer aac = detectAacContainer(in.data(), in.size(), &aacStart);
    if (aac != AacContainer::kNone && !mp3Before(in, aacStart)) return decodeAac(in, aac, files[1], gapless);
    Mp3StreamDecoder dec(in.data(), in.size(), floatSynth);
    if (!dec.ok()) {
        std::fprintf(stderr, "okvac decode: cannot set up the synthesis filterbanks\n");
        return 1;
    }
    PcmWriter out;
    if (!out.open(files[1], dec.channels(), dec.sampleRate())) {
        std::fprintf(stderr, "okvac decode: cannot write %s\n", files[1]);
        return 1;
    }
    const bool progress = isatty(2) && dec.estimatedSeconds() > 5.0;
    auto last = std::chrono::steady_clock::now();
    const int16_t* pcm;
    size_t frames;
    while (dec.next(&pcm, &frames)) {
        if (!out.write(pcm, frames)) {
            std::fprintf(stderr, "okvac decode: write error on %s\n", files[1]);
            return 1;
        }
        if (progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last > std::chrono::milliseconds(200)) {
                last = now;
                std::fprintf(stderr, "\rdecoding: %5.1f%%", 100.0 * dec.position() / (in.size() ? in.size() : 1));
            }
        }
    }
    if (progress) std::fprintf(stderr, "\r                \r");
    if (!out.close()) {
        std::fprintf(stderr, "okvac decode: write error on %s\n", files[1]);
        return 1;
    }
    if (dec.failedFrames())
        std::fprintf(stderr, "okvac decode: %ld of %ld frames failed and were replaced by silence\n",
                     dec.failedFrames(), dec.frames());
    return 0;
}

}  // namespace

OKVAC_COMMAND(decode, "decode an MP3 (Layer III) or AAC-LC stream to WAV or raw PCM", help, run);
