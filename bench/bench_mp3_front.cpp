// Layer III front end per stage: header + side information, scalefactors, Huffman decoding,
// over the granules of a 128 kbit/s joint-stereo conformance stream.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "okvac.h"

namespace {

struct Granule {
    size_t mainData;  // byte offset of the granule's scalefactors in the main-data buffer
    int offset;       // bit offset there
    MP3SideInfo si;
    int scfsi[4];
    int gr, ch;
};

struct Corpus {
    std::vector<uint8_t> frames;   // frame bytes, back to back
    std::vector<size_t> starts;    // frame starts in `frames`
    std::vector<uint8_t> mainData; // every frame's main data, in decoding order, padded
    std::vector<Granule> granules;
    MP3FrameHeader header;
    bool ok = false;
};

// Frames of a constant-bitrate MPEG-1 stream and the main data of each granule and channel.
Corpus load() {
    Corpus c;
    std::ifstream f(std::string(OKV_SHARED_DIR) + "/vectors/mp3/l3-sin1k0db.bit", std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    while (pos + 4 <= d.size() && !(d[pos] == 0xFF && (d[pos + 1] & 0xE6) == 0xE2)) ++pos;
    std::vector<uint8_t> reservoir;
    while (pos + 4 <= d.size()) {
        const int pad = (d[pos + 2] >> 1) & 1;
        const size_t size = 144000 * 128 / 44100 + pad;
        if (pos + size > d.size()) break;
        std::vector<uint8_t> fr(d.begin() + long(pos), d.begin() + long(pos + size));
        fr.resize(size + 16, 0);
        c.starts.push_back(c.frames.size());
        c.frames.insert(c.frames.end(), fr.begin(), fr.end());
        Okv8u* p = fr.data();
        MP3SideInfo si[4];
        int mdb, priv, scfsi[8];
        okvsUnpackFrameHeader_MP3(&p, &c.header);
        okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &c.header);
        const size_t have = reservoir.size();
        reservoir.insert(reservoir.end(), p, fr.data() + size);
        pos += size;
        if (size_t(mdb) > have) continue;
        const size_t base = c.mainData.size();
        c.mainData.insert(c.mainData.end(), reservoir.end() - long(size - (p - fr.data())) - mdb, reservoir.end());
        c.mainData.resize(c.mainData.size() + 16, 0);
        long bit = 0;
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch) {
                Granule g{base + size_t(bit >> 3), int(bit & 7), si[gr * 2 + ch], {}, gr, ch};
                for (int k = 0; k < 4; ++k) g.scfsi[k] = scfsi[ch * 4 + k];
                c.granules.push_back(g);
                bit += si[gr * 2 + ch].part2_3_length;
            }
    }
    c.ok = !c.granules.empty();
    return c;
}

const Corpus& corpus() {
    static const Corpus c = load();
    return c;
}

void BM_Mp3HeaderAndSideInfo(benchmark::State& state) {
    const Corpus& c = corpus();
    if (!c.ok) return state.SkipWithError("conformance vector l3-sin1k0db not found");
    std::vector<uint8_t> frames = c.frames;
    MP3FrameHeader h;
    MP3SideInfo si[4];
    int mdb, priv, scfsi[8];
    for (auto _ : state)
        for (size_t s : c.starts) {
            Okv8u* p = frames.data() + s;
            okvsUnpackFrameHeader_MP3(&p, &h);
            benchmark::DoNotOptimize(okvsUnpackSideInfo_MP3(&p, si, &mdb, &priv, scfsi, &h));
        }
    state.SetItemsProcessed(int64_t(state.iterations() * c.starts.size()));
}

// Scalefactors alone (stage = 0) or scalefactors followed by the Huffman decoding (stage = 1).
void BM_Mp3Granules(benchmark::State& state) {
    const Corpus& c = corpus();
    if (!c.ok) return state.SkipWithError("conformance vector l3-sin1k0db not found");
    std::vector<uint8_t> md = c.mainData;
    Okv8s sf[40];
    Okv32s is[576];
    int bound;
    for (auto _ : state)
        for (const Granule& g : c.granules) {
            Okv8u* p = md.data() + g.mainData;
            int off = g.offset;
            MP3SideInfo si = g.si;
            okvsUnpackScaleFactors_MP3_1u8s(&p, &off, sf, &si, g.scfsi, &c.header, g.gr, g.ch);
            if (state.range(0)) {
                const int used = int((p - md.data() - long(g.mainData)) * 8 + off - g.offset);
                okvsHuffmanDecode_MP3_1u32s(&p, &off, is, &bound, &si, &c.header, si.part2_3_length - used);
                benchmark::DoNotOptimize(is[0]);
            }
        }
    state.SetItemsProcessed(int64_t(state.iterations() * c.granules.size()));
}

}  // namespace

BENCHMARK(BM_Mp3HeaderAndSideInfo);
BENCHMARK(BM_Mp3Granules)->Arg(0)->Arg(1)->ArgName("huffman");
