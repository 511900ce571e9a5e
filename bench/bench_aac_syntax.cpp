// AAC bitstream side per frame: ADTS header, then every element of the raw data block through
// the noiseless decoders, over conformance and encoder-made stereo streams.
#include <benchmark/benchmark.h>

#include "aac/syntax_stream.h"

namespace {

std::vector<aactest::AdtsFrame> loadFrames(const char* name) {
    const std::vector<uint8_t> data = aactest::readFile(aactest::sharedDir() + "/vectors/aac/" + name);
    std::vector<aactest::AdtsFrame> frames;
    size_t pos = 0;
    for (aactest::AdtsFrame f; aactest::nextAdtsFrame(data, pos, f);) frames.push_back(f);
    return frames;
}

void BM_AacFrameNoiseless(benchmark::State& state, const char* name) {
    const std::vector<aactest::AdtsFrame> frames = loadFrames(name);
    if (frames.empty()) return state.SkipWithError("stream not found under OKV_SHARED_DIR");
    aactest::RawBlockWalker w;
    size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const aactest::AdtsFrame& f = frames[i];
        Okv8u* p = const_cast<Okv8u*>(f.bytes.data()) + f.headerBytes;
        int off = 0;
        w.sri = f.h.samplingRateIndex;
        w.mp4 = f.h.id == 0;
        if (w.block(&p, &off) != okvOk) return state.SkipWithError("frame failed to parse");
        benchmark::DoNotOptimize(w.spec);
        bytes += size_t(f.h.frameLen);
        if (++i == frames.size()) i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetBytesProcessed(int64_t(bytes));
}

void BM_AacAdtsHeader(benchmark::State& state) {
    const std::vector<aactest::AdtsFrame> frames = loadFrames("misc/ct_faac-adts.aac");
    if (frames.empty()) return state.SkipWithError("stream not found under OKV_SHARED_DIR");
    AACADTSFrameHeader h;
    size_t i = 0;
    for (auto _ : state) {
        Okv8u* p = const_cast<Okv8u*>(frames[i].bytes.data());
        benchmark::DoNotOptimize(okvsUnpackADTSFrameHeader_AAC(&p, &h));
        if (++i == frames.size()) i = 0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(BM_AacFrameNoiseless, al04_44, "iso/adts/al04_44.adts");
BENCHMARK_CAPTURE(BM_AacFrameNoiseless, al17_44, "iso/adts/al17_44.adts");
BENCHMARK_CAPTURE(BM_AacFrameNoiseless, faac_adts, "misc/ct_faac-adts.aac");
BENCHMARK(BM_AacAdtsHeader);
