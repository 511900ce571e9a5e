// VLC pair codecs in million values per second: the library's AAC codebook-11
// and MP3 table-24 decoders and encoders, next to a bit-by-bit tree decoder.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <random>

#include "vlc/vlc_test_util.h"

namespace {

constexpr int kValues = 1024;  // one long AAC window, or a bit more than an MP3 granule
constexpr int kMp3Linbits = 8;

// Bit-by-bit reader and binary code tree: the straightforward baseline.
struct SlowReader {
    const uint8_t* p;
    uint64_t pos = 0;
    unsigned bit() {
        unsigned b = (p[pos >> 3] >> (7 - (pos & 7))) & 1;
        ++pos;
        return b;
    }
    unsigned bits(int n) {
        unsigned v = 0;
        while (n--) v = v << 1 | bit();
        return v;
    }
};

struct Tree {
    std::vector<std::array<int32_t, 2>> node{{-1, -1}};  // child >= 0: node; leaf: -2 - (x << 8 | y)
    explicit Tree(const vlc_std::PairCode* t, int n) {
        for (int i = 0; i < n; ++i) {
            int at = 0;
            for (int b = t[i].length - 1; b > 0; --b) {
                const unsigned bit = (t[i].code >> b) & 1;
                if (node[size_t(at)][bit] < 0) {
                    node[size_t(at)][bit] = int(node.size());
                    node.push_back({-1, -1});
                }
                at = node[size_t(at)][bit];
            }
            node[size_t(at)][t[i].code & 1] = -2 - (t[i].x << 8 | t[i].y);
        }
    }
    int decode(SlowReader& r) const {
        int at = 0;
        for (;;) {
            int c = node[size_t(at)][r.bit()];
            if (c < -1) return -2 - c;
            at = c;
        }
    }
};

int slow_aac_escape(SlowReader& r) {
    int N = 4;
    while (r.bit()) ++N;
    return (1 << N) + int(r.bits(N));
}

void slow_aac(const Tree& t, const uint8_t* s, Okv16s* out) {
    SlowReader r{s};
    for (int i = 0; i < kValues; i += 2) {
        const int xy = t.decode(r);
        int a = xy >> 8, b = xy & 255;
        const bool na = a && r.bit(), nb = b && r.bit();
        if (a == 16) a = slow_aac_escape(r);
        if (b == 16) b = slow_aac_escape(r);
        out[i] = Okv16s(na ? -a : a);
        out[i + 1] = Okv16s(nb ? -b : b);
    }
}

void slow_mp3(const Tree& t, const uint8_t* s, Okv16s* out) {
    SlowReader r{s};
    for (int i = 0; i < kValues; i += 2) {
        const int xy = t.decode(r);
        int v[2] = {xy >> 8, xy & 255};
        for (int k = 0; k < 2; ++k) {
            if (v[k] == 15) v[k] += int(r.bits(kMp3Linbits));
            if (v[k] && r.bit()) v[k] = -v[k];
            out[i + k] = Okv16s(v[k]);
        }
    }
}

// Values of a spectral region that uses these large-value codebooks:
// magnitudes roughly exponential with the given mean (AAC codebook 11 and MP3
// tables 16-31 are chosen where values exceed 12 or 15), escapes up to maxMag.
std::vector<Okv16s> values(double mean, int maxMag) {
    std::mt19937 rng(1);
    std::exponential_distribution<double> mag(1.0 / mean);
    std::vector<Okv16s> v(kValues);
    for (auto& x : v) {
        const int m = std::min(int(mag(rng)), maxMag);
        x = Okv16s(rng() % 2 ? -m : m);
    }
    return v;
}

template <class Spec>
Spec* build(vlct::SpecMem& m, const std::vector<VLCCodeEntry>& e, std::vector<Okv32s> sizes, int N = 0, int B = 0) {
    int size = 0;
    void* p = nullptr;
    if constexpr (std::is_same_v<Spec, OkvsVLCEncodeSpec_32s>) {
        okvsVLCEncodeGetSize_32s(e.data(), int(e.size()), &size);
        p = m.at(size_t(size), 0);
        okvsVLCEncodeInit_32s(e.data(), int(e.size()), static_cast<Spec*>(p));
    } else if constexpr (std::is_same_v<Spec, OkvsVLCDecodeSpec_32s>) {
        okvsVLCDecodeGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), &size);
        p = m.at(size_t(size), 0);
        okvsVLCDecodeInit_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), static_cast<Spec*>(p));
    } else {
        okvsVLCDecodeUTupleGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), N, B, &size);
        p = m.at(size_t(size), 0);
        okvsVLCDecodeUTupleInit_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), N, B, static_cast<Spec*>(p));
    }
    return static_cast<Spec*>(p);
}

void rate(benchmark::State& state) {
    state.counters["Mvalues/s"] = benchmark::Counter(kValues * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

struct Codec {
    bool aac;
    vlct::SpecMem dm, tm, em;
    OkvsVLCDecodeSpec_32s* dec;
    OkvsVLCDecodeUTupleSpec_32s* tup;
    OkvsVLCEncodeSpec_32s* enc;
    Tree tree;
    std::vector<Okv16s> vals;
    std::vector<uint8_t> stream;
    explicit Codec(bool isAac)
        : aac(isAac),
          dec(build<OkvsVLCDecodeSpec_32s>(dm, vlct::esc_decode_entries(table(), rows()), {12, 2})),
          tup(build<OkvsVLCDecodeUTupleSpec_32s>(tm, vlct::tuple_entries(table(), rows(), 5), {12}, 2, 5)),
          enc(build<OkvsVLCEncodeSpec_32s>(em, isAac ? vlct::aac_encode_entries() : vlct::mp3_encode_entries(table()), {})),
          tree(table(), rows()),
          vals(isAac ? values(6, 8191) : values(6, 15 + (1 << kMp3Linbits) - 1)),
          stream(size_t(kValues) * 8) {
        Okv8u* p = stream.data();
        int off = 0;
        if (encode(p, off) != okvOk) std::abort();
    }
    const vlc_std::PairCode* table() const { return aac ? vlc_std::kAacCodebook11 : vlc_std::kMp3Table24; }
    int rows() const { return aac ? 289 : 256; }
    StatusCode encode(Okv8u*& p, int& off) const {
        return aac ? okvsVLCEncodeEscBlock_AAC_16s1u(vals.data(), kValues, &p, &off, enc)
                   : okvsVLCEncodeEscBlock_MP3_16s1u(vals.data(), kValues, kMp3Linbits, &p, &off, enc);
    }
};

const Codec& codec(bool aac) {
    static const Codec a(true), m(false);
    return aac ? a : m;
}

void BM_VlcDecodeEsc(benchmark::State& state) {
    const Codec& c = codec(state.range(0));
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        const Okv8u* p = c.stream.data();
        int off = 0;
        StatusCode st = c.aac ? okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out.data(), kValues, c.dec)
                              : okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, kMp3Linbits, out.data(), kValues, c.dec);
        benchmark::DoNotOptimize(st);
        benchmark::ClobberMemory();
    }
    if (out != c.vals) state.SkipWithError("decoded values differ");
    rate(state);
}

void BM_VlcDecodeUTupleEsc(benchmark::State& state) {
    const Codec& c = codec(state.range(0));
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        const Okv8u* p = c.stream.data();
        int off = 0;
        StatusCode st = c.aac ? okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&p, &off, out.data(), kValues, c.tup)
                              : okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&p, &off, kMp3Linbits, out.data(), kValues, c.tup);
        benchmark::DoNotOptimize(st);
        benchmark::ClobberMemory();
    }
    if (out != c.vals) state.SkipWithError("decoded values differ");
    rate(state);
}

void BM_VlcDecodeBitByBitBaseline(benchmark::State& state) {
    const Codec& c = codec(state.range(0));
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        if (c.aac) slow_aac(c.tree, c.stream.data(), out.data());
        else slow_mp3(c.tree, c.stream.data(), out.data());
        benchmark::ClobberMemory();
    }
    if (out != c.vals) state.SkipWithError("baseline decoded values differ");
    rate(state);
}

void BM_VlcEncodeEsc(benchmark::State& state) {
    const Codec& c = codec(state.range(0));
    std::vector<uint8_t> buf(size_t(kValues) * 8);
    for (auto _ : state) {
        Okv8u* p = buf.data();
        int off = 0;
        benchmark::DoNotOptimize(c.encode(p, off));
        benchmark::ClobberMemory();
    }
    rate(state);
}

void BM_VlcCountEscBits(benchmark::State& state) {
    const Codec& c = codec(state.range(0));
    Okv32s bits = 0;
    for (auto _ : state) {
        StatusCode st = c.aac ? okvsVLCCountEscBits_AAC_16s32s(c.vals.data(), kValues, &bits, c.enc)
                              : okvsVLCCountEscBits_MP3_16s32s(c.vals.data(), kValues, kMp3Linbits, &bits, c.enc);
        benchmark::DoNotOptimize(st);
        benchmark::DoNotOptimize(bits);
    }
    rate(state);
}

// Generic codecs on a random prefix code of 300 symbols with lengths up to 16.
struct Generic {
    std::vector<VLCCodeEntry> e;
    vlct::SpecMem dm, tm, em;
    OkvsVLCDecodeSpec_32s* dec;
    OkvsVLCDecodeUTupleSpec_32s* tup;
    OkvsVLCEncodeSpec_32s* enc;
    std::vector<Okv16s> vals;
    std::vector<uint8_t> stream, tstream;
    Generic() : e(code()), vals(kValues), stream(size_t(kValues) * 4 + 8), tstream(size_t(kValues) * 8 + 8) {
        dec = build<OkvsVLCDecodeSpec_32s>(dm, e, {10, 6});
        std::mt19937 rng(2);
        for (auto& v : vals) v = Okv16s(e[rng() % e.size()].value);
        enc = build<OkvsVLCEncodeSpec_32s>(em, e, {});
        Okv8u* p = stream.data();
        int off = 0;
        okvsVLCEncodeBlock_16s1u(vals.data(), kValues, &p, &off, enc);
        // Tuples of two 4-bit magnitudes: every code followed by two sign bits.
        std::vector<VLCCodeEntry> te = e;
        for (auto& x : te) x.value = int32_t(rng() % 15 + 1) << 4 | int32_t(rng() % 15 + 1);
        tup = build<OkvsVLCDecodeUTupleSpec_32s>(tm, te, {10, 6}, 2, 4);
        vlct::BitSink s;
        for (int i = 0; i < kValues / 2; ++i) {
            const auto& x = te[rng() % te.size()];
            s.put(x.code, x.length);
            s.put(rng() % 4, 2);
        }
        for (size_t i = 0; i < s.bytes.size(); ++i) tstream[i] = s.bytes[i];
    }
    static std::vector<VLCCodeEntry> code() {
        std::mt19937 rng(3);
        return vlct::random_prefix_code(rng, 300, 16);
    }
};

const Generic& generic() {
    static const Generic g;
    return g;
}

void BM_VlcDecodeBlock(benchmark::State& state) {
    const Generic& g = generic();
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        const Okv8u* p = g.stream.data();
        int off = 0;
        benchmark::DoNotOptimize(okvsVLCDecodeBlock_1u16s(&p, &off, out.data(), kValues, g.dec));
        benchmark::ClobberMemory();
    }
    if (out != g.vals) state.SkipWithError("decoded values differ");
    rate(state);
}

void BM_VlcDecodeOne(benchmark::State& state) {
    const Generic& g = generic();
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        const Okv8u* p = g.stream.data();
        int off = 0;
        for (int i = 0; i < kValues; ++i) okvsVLCDecodeOne_1u16s(&p, &off, &out[size_t(i)], g.dec);
        benchmark::ClobberMemory();
    }
    rate(state);
}

void BM_VlcDecodeUTupleBlock(benchmark::State& state) {
    const Generic& g = generic();
    std::vector<Okv16s> out(kValues);
    for (auto _ : state) {
        const Okv8u* p = g.tstream.data();
        int off = 0;
        benchmark::DoNotOptimize(okvsVLCDecodeUTupleBlock_1u16s(&p, &off, out.data(), kValues, g.tup));
        benchmark::ClobberMemory();
    }
    rate(state);
}

void BM_VlcEncodeBlock(benchmark::State& state) {
    const Generic& g = generic();
    std::vector<uint8_t> buf(size_t(kValues) * 4 + 8);
    for (auto _ : state) {
        Okv8u* p = buf.data();
        int off = 0;
        benchmark::DoNotOptimize(okvsVLCEncodeBlock_16s1u(g.vals.data(), kValues, &p, &off, g.enc));
        benchmark::ClobberMemory();
    }
    rate(state);
}

void BM_VlcCountBits(benchmark::State& state) {
    const Generic& g = generic();
    Okv32s bits = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(okvsVLCCountBits_16s32s(g.vals.data(), kValues, &bits, g.enc));
        benchmark::DoNotOptimize(bits);
    }
    rate(state);
}

// Compiling the AAC codebook-11 tables (578-entry decoding table with sign bits).
void BM_VlcDecodeInit(benchmark::State& state) {
    const auto e = vlct::esc_decode_entries(vlc_std::kAacCodebook11, 289);
    const Okv32s sizes[] = {12, 2};
    for (auto _ : state) {
        OkvsVLCDecodeSpec_32s* spec = nullptr;
        benchmark::DoNotOptimize(okvsVLCDecodeInitAlloc_32s(e.data(), int(e.size()), sizes, 2, &spec));
        okvsVLCDecodeFree_32s(spec);
    }
}

void BM_VlcEncodeInit(benchmark::State& state) {
    const auto e = vlct::aac_encode_entries();
    for (auto _ : state) {
        OkvsVLCEncodeSpec_32s* spec = nullptr;
        benchmark::DoNotOptimize(okvsVLCEncodeInitAlloc_32s(e.data(), int(e.size()), &spec));
        okvsVLCEncodeFree_32s(spec);
    }
}

BENCHMARK(BM_VlcDecodeBlock);
BENCHMARK(BM_VlcDecodeOne);
BENCHMARK(BM_VlcDecodeUTupleBlock);
BENCHMARK(BM_VlcEncodeBlock);
BENCHMARK(BM_VlcCountBits);
BENCHMARK(BM_VlcDecodeInit);
BENCHMARK(BM_VlcEncodeInit);

// Argument 1: AAC codebook 11 with escapes; 0: MP3 table 24 with linbits 8.
BENCHMARK(BM_VlcDecodeEsc)->ArgName("aac")->Arg(1)->Arg(0);
BENCHMARK(BM_VlcDecodeUTupleEsc)->ArgName("aac")->Arg(1)->Arg(0);
BENCHMARK(BM_VlcDecodeBitByBitBaseline)->ArgName("aac")->Arg(1)->Arg(0);
BENCHMARK(BM_VlcEncodeEsc)->ArgName("aac")->Arg(1)->Arg(0);
BENCHMARK(BM_VlcCountEscBits)->ArgName("aac")->Arg(1)->Arg(0);

}  // namespace
