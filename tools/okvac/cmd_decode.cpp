// okvac decode: a coded audio stream to WAV or raw 16-bit PCM. The input format is told from
// the content; every input and output failure ends in one line on stderr and exit status 1.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aac/aac_stream_decoder.h"
#include "command.h"
#include "container/detect.h"
#include "mp3/mp3_stream_decoder.h"
#include "pcm/input_file.h"
#include "pcm/pcm_writer.h"
#include "pcm/read_window.h"

namespace {

struct Options {
    bool floatSynth = false;
    bool gapless = true;
    bool coreOnly = false;
    bool prediction = true;
    bool sbrLowPower = false;
};

// AAC when the probe shows an AAC container and no Layer III frame starts before it.
bool probeAac(const uint8_t* p, size_t n) {
    size_t start;
    if (detectAacContainer(p, n, &start) == AacContainer::kNone) return false;
    MemorySource mem(p, n);
    ReadWindow win(mem);
    Mp3FrameScanner scan(win);
    const uint8_t* f;
    size_t size;
    Mp3FrameInfo fi;
    return !(start > 0 && scan.next(&f, &size, &fi) && scan.frameOffset() < start);
}

std::unique_ptr<PcmSource> openAac(ReadWindow& in, const Options& o, std::string* error) {
    std::vector<uint8_t> all;
    while (true) {
        if (!in.fill(size_t(1) << 16)) return *error = "read error", nullptr;
        if (!in.avail()) break;
        all.insert(all.end(), in.data(), in.data() + in.avail());
        in.consume(in.avail());
    }
    size_t start;
    const AacContainer kind = detectAacContainer(all.data(), all.size(), &start);
    auto dec = std::make_unique<AacStreamDecoder>(std::move(all), kind, o.gapless, o.coreOnly, o.sbrLowPower);
    dec->setPrediction(o.prediction);
    if (!dec->setup(error)) return nullptr;
    return dec;
}

std::unique_ptr<PcmSource> openMp3(ReadWindow& in, const Options& o, std::string* error) {
    auto dec = std::make_unique<Mp3StreamDecoder>(in, o.floatSynth);
    if (dec->ok()) return dec;
    *error = "cannot set up the synthesis filterbanks";
    return nullptr;
}

// Input formats in the order they are tried. probe sees the first bytes of the input (at
// least kProbeBytes unless the input is shorter); a null probe accepts anything and ends the
// list: the MP3 frame search walks past tags and junk on its own.
struct InputFormat {
    const char* name;
    bool (*probe)(const uint8_t* p, size_t n);
    std::unique_ptr<PcmSource> (*open)(ReadWindow& in, const Options& o, std::string* error);
};
const InputFormat kFormats[] = {
    {"AAC", probeAac, openAac},
    {"MP3", nullptr, openMp3},
};
constexpr size_t kProbeBytes = 4096;

void help(std::FILE* out) {
    std::fprintf(out,
                 "usage: okvac decode [--synth fixed|float] [--no-gapless] [--core-only] [--sbr hq|lp] [--no-prediction] IN OUT\n\n"
                 "Decodes an MPEG-1/2/2.5 Layer III stream, or AAC-LC, Main or HE-AAC (SBR) in ADTS, ADIF or\n"
                 "MP4/3GP (told from the content). SBR, signalled or found in the first frame, doubles the\n"
                 "output rate; --core-only decodes just the AAC core at its own rate. --sbr hq (default)\n"
                 "runs SBR on the complex float QMF banks, --sbr lp on the real fixed-point ones.\n"
                 "IN is a file or - (stdin). OUT is a .wav file (WAVE_FORMAT_EXTENSIBLE with\n"
                 "the speaker mask above two channels, channels in mask order), - (raw 16-bit little-endian\n"
                 "interleaved PCM on stdout) or any other name (raw, same format).\n"
                 "--synth fixed (default) uses the 32-bit fixed-point synthesis, --synth float the float one.\n"
                 "--no-gapless keeps the encoder delay and padding that an MP4 edit list or iTunSMPB\n"
                 "comment would trim. --no-prediction decodes AAC Main without its prediction (to hear what\n"
                 "it adds). AAC SSR, LTP, error-resilient, LATM and 7350 Hz streams are\n"
                 "refused. A damaged SBR payload leaves its frame to the upsampled core.\n"
                 "A frame that fails to decode gives silence and is reported on stderr. OUT appears only\n"
                 "once decoding has succeeded; on failure the exit status is 1 and nothing is left under OUT.\n");
}

int fail(const std::string& what) {
    std::fprintf(stderr, "okvac decode: %s\n", what.c_str());
    return 1;
}

int run(int argc, char** argv) {
    Options opt;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--synth") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v != "fixed" && v != "float") {
                std::fprintf(stderr, "okvac decode: --synth takes fixed or float\n");
                return 2;
            }
            opt.floatSynth = v == "float";
        } else if (!std::strcmp(argv[i], "--no-prediction")) {
            opt.prediction = false;
        } else if (!std::strcmp(argv[i], "--no-gapless")) {
            opt.gapless = false;
        } else if (!std::strcmp(argv[i], "--core-only")) {
            opt.coreOnly = true;
        } else if (!std::strcmp(argv[i], "--sbr") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v != "hq" && v != "lp") {
                std::fprintf(stderr, "okvac decode: --sbr takes hq or lp\n");
                return 2;
            }
            opt.sbrLowPower = v == "lp";
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        help(stderr);
        return 2;
    }
    InputFile file;
    if (!file.open(files[0])) return fail(file.error());
    const std::string& inName = file.name();
    ReadWindow in(file);
    if (!in.fill(kProbeBytes)) return fail(file.error());
    const InputFormat* fmt = kFormats;
    while (fmt->probe && !fmt->probe(in.data(), in.avail())) ++fmt;
    std::string error;
    std::unique_ptr<PcmSource> src = fmt->open(in, opt, &error);
    if (!src) return fail(inName + ": " + error);

    PcmWriter out;
    bool opened = false;
    const bool progress = isatty(2) && file.size() > 0;
    auto last = std::chrono::steady_clock::now();
    const int16_t* pcm;
    size_t frames;
    while (src->next(&pcm, &frames)) {
        // The output opens with the first block, once the layout is known.
        if (!opened && !(opened = out.open(files[1], src->channels(), src->sampleRate(), src->channelMask()))) return fail(out.error());
        if (!out.write(pcm, frames)) return fail(out.error());
        if (progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last > std::chrono::milliseconds(200)) {
                last = now;
                std::fprintf(stderr, "\rdecoding: %5.1f%%", 100.0 * double(in.offset()) / double(file.size()));
            }
        }
    }
    if (progress) std::fprintf(stderr, "\r                \r");
    if (!file.error().empty()) return fail(file.error());
    // Frames that were found but failed still count: they stand for time, as silence.
    if (!src->frames()) return fail(inName + ": no decodable " + fmt->name + " frame");
    if (!opened && !out.open(files[1], src->channels(), src->sampleRate(), src->channelMask())) return fail(out.error());
    if (!out.finish()) return fail(out.error());
    if (src->failedFrames())
        std::fprintf(stderr, "okvac decode: %s: %ld of %ld frames failed and were replaced by silence\n",
                     inName.c_str(), src->failedFrames(), src->frames());
    return 0;
}

}  // namespace

OKVAC_COMMAND(decode, "decode an MP3 (Layer III), AAC-LC or HE-AAC stream to WAV or raw PCM", help, run);
