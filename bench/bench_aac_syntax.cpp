// AAC bitstream side per frame: ADTS header, then every element of the raw data block through
// the noiseless decoders, over conformance and encoder-made stereo streams.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "okvac.h"

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Parses raw data blocks element by element, with the LC exports or (mp4) the MPEG-4 ones. Returns
// okvOk after an END element (cursor then byte-aligned), the first failing status otherwise; 1 for an
// element the walker does not handle (coupling channel).
class RawBlockWalker {
public:
    int sri = 4;
    bool mp4 = false;
    AACMainHeader hdr = {};
    int elements = 0, channels = 0;
    AACChanInfo ci[2] = {};
    AACIcsInfo ics[2] = {};
    AACChanPairElt cpe = {};
    Okv16s sf[2][120];
    Okv8u cb[2][120];
    Okv32s spec[2][1024];
    Okv8s tns[2][60];

    int block(Okv8u** pp, int* off) {
        for (;;) {
            const int id = int(bits(pp, off, 3));
            ++elements;
            StatusCode st = okvOk;
            int tag, n;
            Okv8u buf[512];
            AACPrgCfgElt pce;
            if (id == 0 || id == 3) {  // SCE, LFE
                bits(pp, off, 4);
                st = channel(pp, off, 0, 0);
                ++channels;
            } else if (id == 1) {
                bits(pp, off, 4);
                st = mp4 ? okvsDecodeChanPairElt_MP4_AAC(pp, off, &ics[0], &cpe, &hdr, 0, 2)
                         : okvsDecodeChanPairElt_AAC(pp, off, &ics[0], &cpe, 0);
                if (st == okvOk) st = channel(pp, off, 0, cpe.commonWin);
                if (st == okvOk) st = channel(pp, off, 1, cpe.commonWin);
                channels += 2;
            } else if (id == 4) {
                st = okvsDecodeDatStrElt_AAC(pp, off, &tag, &n, buf);
            } else if (id == 5) {
                st = okvsDecodePrgCfgElt_AAC(pp, off, &pce);
            } else if (id == 6) {
                st = okvsDecodeFillElt_AAC(pp, off, &n, buf);
            } else {
                if (id == 7 && *off) ++*pp, *off = 0;
                return id == 7 ? okvOk : 1;
            }
            if (st != okvOk) return st;
        }
    }

private:
    static uint32_t bits(Okv8u** pp, int* off, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = v << 1 | (((**pp) >> (7 - *off)) & 1);
            if (++*off == 8) ++*pp, *off = 0;
        }
        return v;
    }
    StatusCode channel(Okv8u** pp, int* off, int ch, int common) {
        ci[ch].samplingRateIndex = sri;
        ci[ch].predSfbMax = 0;
        ci[ch].pIcsInfo = &ics[common ? 0 : ch];
        if (mp4) return okvsNoiselessDecode_AAC(pp, off, &hdr, sf[ch], spec[ch], cb[ch], tns[ch], &ci[ch], 0, 0, common, 0, 2);
        return okvsNoiselessDecoder_LC_AAC(pp, off, common, &ci[ch], sf[ch], spec[ch], cb[ch], tns[ch]);
    }
};

// One ADTS frame: the header at data[pos], and the frame bytes copied with look-ahead padding.
struct AdtsFrame {
    AACADTSFrameHeader h{};
    std::vector<uint8_t> bytes;
    size_t headerBytes = 0;
};

// Splits an ADTS stream into frames; false at the first header that fails or does not fit.
bool nextAdtsFrame(const std::vector<uint8_t>& data, size_t& pos, AdtsFrame& f) {
    if (pos + 9 > data.size() || data[pos] != 0xFF || (data[pos + 1] & 0xF6) != 0xF0) return false;
    std::vector<uint8_t> head(data.begin() + long(pos), data.begin() + long(pos) + 9);
    head.resize(12, 0);
    Okv8u* p = head.data();
    if (okvsUnpackADTSFrameHeader_AAC(&p, &f.h) != okvOk) return false;
    f.headerBytes = size_t(p - head.data());
    if (f.h.frameLen < int(f.headerBytes) || pos + size_t(f.h.frameLen) > data.size()) return false;
    f.bytes.assign(data.begin() + long(pos), data.begin() + long(pos) + f.h.frameLen);
    f.bytes.resize(f.bytes.size() + 3, 0);  // the readers' look-ahead
    pos += size_t(f.h.frameLen);
    return true;
}

std::vector<AdtsFrame> loadFrames(const char* name) {
    const std::vector<uint8_t> data = readFile(std::string(OKV_SHARED_DIR) + "/vectors/aac/" + name);
    std::vector<AdtsFrame> frames;
    size_t pos = 0;
    for (AdtsFrame f; nextAdtsFrame(data, pos, f);) frames.push_back(f);
    return frames;
}

void BM_AacFrameNoiseless(benchmark::State& state, const char* name) {
    const std::vector<AdtsFrame> frames = loadFrames(name);
    if (frames.empty()) return state.SkipWithError("stream not found under OKV_SHARED_DIR");
    RawBlockWalker w;
    size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const AdtsFrame& f = frames[i];
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
    const std::vector<AdtsFrame> frames = loadFrames("misc/ct_faac-adts.aac");
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
