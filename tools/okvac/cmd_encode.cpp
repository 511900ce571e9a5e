// okvac encode: PCM (WAV or raw 16-bit) to an MPEG-1 or MPEG-2 LSF Layer III stream. Every input and output
// failure ends in one line on stderr and exit status 1; usage errors give status 2.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "mp3/encoder.h"
#include "pcm/input_file.h"
#include "pcm/output_file.h"
#include "pcm/wav_reader.h"

namespace {

void help(std::FILE* out) {
    std::fprintf(out,
                 "usage: okvac encode [-b KBPS] [-m stereo|joint|mono] [--intensity] [--crc] [--raw RATE,CH] IN OUT\n\n"
                 "Encodes PCM to Layer III at a constant bitrate (default 128): MPEG-1 at 32, 44.1 and 48 kHz\n"
                 "(32..320 kbit/s), MPEG-2 LSF at 16, 22.05 and 24 kHz (8..160 kbit/s).\n"
                 "IN is a WAV file (16/24-bit integer, 32-bit float, EXTENSIBLE) or, with --raw, raw 16-bit\n"
                 "little-endian interleaved PCM; - reads stdin. OUT is a file or - (stdout). -m defaults to\n"
                 "joint (mid/side) for stereo input; mono downmixes. --intensity adds intensity stereo to\n"
                 "joint stereo where the model asks for it (MPEG-1 80..112 kbit/s, LSF 48..64 kbit/s): the\n"
                 "upper bands carry one channel and a left/right level. --crc protects each frame with a CRC.\n"
                 "A tag frame ahead of the audio gives the coder's delay and, where OUT can seek, the\n"
                 "stream's length, so that decoders trim it to the input's length.\n");
}

int fail(const std::string& what) {
    std::fprintf(stderr, "okvac encode: %s\n", what.c_str());
    return 1;
}

int usage(const char* what) {
    std::fprintf(stderr, "okvac encode: %s\n", what);
    return 2;
}

int run(int argc, char** argv) {
    int kbps = 128, rawRate = 0, rawCh = 0;
    bool crc = false, intensity = false;
    Mp3Encoder::Mode mode = Mp3Encoder::Mode::Joint;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "-b") && i + 1 < argc) {
            char* end;
            kbps = (int)std::strtol(argv[++i], &end, 10);
            if (*end) return usage("-b takes a bitrate in kbit/s");
        } else if (!std::strcmp(a, "-m") && i + 1 < argc) {
            const std::string m = argv[++i];
            if (m == "stereo") mode = Mp3Encoder::Mode::Stereo;
            else if (m == "joint") mode = Mp3Encoder::Mode::Joint;
            else if (m == "mono") mode = Mp3Encoder::Mode::Mono;
            else return usage("-m takes stereo, joint or mono");
        } else if (!std::strcmp(a, "--crc")) {
            crc = true;
        } else if (!std::strcmp(a, "--intensity")) {
            intensity = true;
        } else if (!std::strcmp(a, "--raw") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d,%d", &rawRate, &rawCh) != 2 || rawRate <= 0 || rawCh < 1)
                return usage("--raw takes RATE,CHANNELS");
        } else if (a[0] == '-' && a[1] != 0) {
            return usage((std::string("unknown option ") + a).c_str());
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        help(stderr);
        return 2;
    }
    InputFile file;
    if (!file.open(files[0])) return fail(file.error());
    WavReader wav;
    if (!wav.open(file, rawRate, rawCh)) return fail(file.name() + ": " + wav.error());
    Mp3Encoder enc;
    std::string error;
    if (!enc.init(wav.rate(), wav.channels(), kbps, mode, crc, intensity, &error)) return fail(file.name() + ": " + error);
    OutputFile out;
    if (!out.open(files[1])) return fail(out.error());
    const bool progress = isatty(2) && file.size() > 0;
    auto last = std::chrono::steady_clock::now();
    const long block = enc.frameSamples();
    std::vector<int16_t> pcm((size_t)block * (size_t)wav.channels());
    std::vector<uint8_t> bytes;
    long long done = 0;
    for (bool first = true;; first = false) {
        long got = 0;
        while (got < block) {
            const long n = wav.read(pcm.data() + got * wav.channels(), block - got);
            if (n < 0) return fail(file.name() + ": " + wav.error());
            if (n == 0) break;
            got += n;
        }
        // The tag frame goes first, once the first block tells whether the input is shorter
        // than a frame; it is rewritten with the totals at the end where OUT can seek.
        if (first) {
            if (got < block) enc.setInputLength(got);
            const std::vector<uint8_t> tag = enc.infoTag(0);
            if (!out.write(tag.data(), tag.size())) return fail(out.error());
        }
        if (got == 0) break;
        std::fill(pcm.begin() + got * wav.channels(), pcm.end(), 0);
        bytes.clear();
        enc.encode(pcm.data(), bytes);
        if (!bytes.empty() && !out.write(bytes.data(), bytes.size())) return fail(out.error());
        done += got;
        if (progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last > std::chrono::milliseconds(200)) {
                last = now;
                std::fprintf(stderr, "\rencoding: %.1f s", double(done) / wav.rate());
            }
        }
        if (got < block) break;
    }
    bytes.clear();
    enc.finish(done, bytes);
    if (!out.write(bytes.data(), bytes.size())) return fail(out.error());
    const std::vector<uint8_t> final = enc.infoTag(done);
    if (!out.writeAt(0, final.data(), final.size()) && !out.error().empty())
        return fail(out.error());
    if (progress) std::fprintf(stderr, "\r                         \r");
    if (!out.commit()) return fail(out.error());
    return 0;
}

}  // namespace

OKVAC_COMMAND(encode, "encode WAV or raw PCM to a Layer III stream", help, run);
