// Fuzzes okvac's MP3 stream loop as a whole: sync search, tag skipping, gapless trimming, the
// bit reservoir and both syntheses, read through a small window in uneven chunks. The frames
// found and the PCM must not depend on how the input was read: each input is decoded once from
// one read into a window holding all of it and once in chunks through a minimal window.
// Input: byte 0 picks the chunk size and window slack, byte 1 bit 0 the synthesis; the rest
// is the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../tools/okvac/mp3/mp3_decoder.cpp"
#include "../tools/okvac/mp3/mp3_stream.cpp"
#include "../tools/okvac/mp3/mp3_stream_decoder.cpp"
#include "../tools/okvac/pcm/input_file.cpp"
#include "../tools/okvac/pcm/read_window.cpp"

namespace {

struct Run {
    std::vector<uint64_t> frames;  // offset and size of every frame found
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0;
    long failed = 0;
};

Run scanAndDecode(const uint8_t* data, size_t size, size_t chunk, size_t capacity, bool floatSynth) {
    Run r;
    {
        MemorySource src(data, size, chunk);
        ReadWindow in(src, capacity);
        Mp3FrameScanner scan(in);
        const uint8_t* f;
        size_t n;
        Mp3FrameInfo fi;
        while (scan.next(&f, &n, &fi)) {
            if (n > fi.size || f + n > in.data() || in.data() - f != std::ptrdiff_t(n)) __builtin_trap();
            r.frames.push_back(scan.frameOffset());
            r.frames.push_back(n);
        }
    }
    MemorySource src(data, size, chunk);
    ReadWindow in(src, capacity);
    Mp3StreamDecoder dec(in, floatSynth);
    if (!dec.ok()) __builtin_trap();
    const int16_t* pcm;
    size_t frames;
    while (dec.next(&pcm, &frames)) {
        if (dec.channels() < 1 || dec.channels() > 2 || !frames || frames > 1152) __builtin_trap();
        r.pcm.insert(r.pcm.end(), pcm, pcm + frames * size_t(dec.channels()));
    }
    r.channels = dec.channels();
    r.rate = dec.sampleRate();
    r.failed = dec.failedFrames();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t chunk = 1 + (data[0] & 15) * 97;
    const size_t slack = 1 + (data[0] >> 4) * 509;
    const bool floatSynth = data[1] & 1;
    data += 2;
    size -= 2;
    const Run whole = scanAndDecode(data, size, 0, size + Mp3FrameScanner::kLookahead, floatSynth);
    const Run pieces = scanAndDecode(data, size, chunk, Mp3FrameScanner::kLookahead + slack, floatSynth);
    if (whole.frames != pieces.frames || whole.pcm != pieces.pcm || whole.channels != pieces.channels ||
        whole.rate != pieces.rate || whole.failed != pieces.failed)
        __builtin_trap();
    return 0;
}
