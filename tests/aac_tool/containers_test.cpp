// The AAC front-end's pure parts: ADTS framing, the MP4 reader, gapless metadata, channel
// layouts and WAV headers, and the bound behind each frame's zero guard.
#include <gtest/gtest.h>

#include <random>

#include "aac/syntax_stream.h"

// The tool's sources are built into this test directly.
#include "../../tools/okvac/aac/channel_layout.cpp"
#include "../../tools/okvac/aac/element_bounds.h"
#include "../../tools/okvac/aac/sf_codebook.h"
#include "../../tools/okvac/container/adts_scanner.cpp"
#include "../../tools/okvac/container/gapless.cpp"
#include "../../tools/okvac/container/mp4_reader.cpp"
#include "../../tools/okvac/container/tags.cpp"
#include "../../tools/okvac/pcm/wav_header.cpp"

namespace {

std::vector<uint8_t> adtsFrame(size_t size, int rate, int cfg, bool crc, std::mt19937& rng) {
    std::vector<uint8_t> f = {0xFF, uint8_t(crc ? 0xF0 : 0xF1), uint8_t(1 << 6 | rate << 2 | cfg >> 2),
                              uint8_t((cfg & 3) << 6 | size >> 11), uint8_t(size >> 3), uint8_t((size & 7) << 5 | 0x1F), 0xFC};
    while (f.size() < size) f.push_back(uint8_t(rng() & 0x0F));  // payload without sync patterns
    return f;
}

}  // namespace

// Frames among junk, tags and a cut-short end: the scanner returns exactly the frames that
// were placed, in order, whatever lies between them.
TEST(AacContainers, AdtsScannerFindsThePlacedFrames) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> s;
        std::vector<std::pair<size_t, size_t>> placed;
        const bool crc = trial & 1;
        const int frames = 2 + int(rng() % 6);
        if (trial % 3 == 0) s.assign(rng() % 300, 0xFF);                       // junk in front
        if (trial % 5 == 0) s.insert(s.end(), {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}), s.resize(s.size() + 20, 0xFF);
        for (int k = 0; k < frames; ++k) {
            const size_t size = 9 + crc * 2 + rng() % 700;
            const std::vector<uint8_t> f = adtsFrame(size, 4, 2, crc, rng);
            placed.push_back({s.size(), size});
            s.insert(s.end(), f.begin(), f.end());
        }
        const bool cut = trial % 4 == 1;
        if (cut) {  // a last frame cut short is not returned
            const std::vector<uint8_t> f = adtsFrame(400, 4, 2, crc, rng);
            s.insert(s.end(), f.begin(), f.begin() + 100);
        } else if (trial % 4 == 2) {
            s.insert(s.end(), 128, 0);
            std::memcpy(&s[s.size() - 128], "TAG", 3);
        }
        AdtsScanner scan(s.data(), s.size());
        const uint8_t* f;
        AdtsInfo info;
        bool truncated;
        size_t k = 0;
        while (scan.next(&f, &info, &truncated)) {
            ASSERT_LT(k, placed.size()) << "trial " << trial;
            EXPECT_EQ(size_t(f - s.data()), placed[k].first) << "trial " << trial << " frame " << k;
            EXPECT_EQ(info.size, placed[k].second);
            EXPECT_EQ(info.headerBytes, crc ? 9 : 7);
            EXPECT_EQ(info.rateIndex, 4);
            EXPECT_EQ(info.channelConfig, 2);
            ++k;
        }
        EXPECT_EQ(k, placed.size()) << "trial " << trial;
        EXPECT_EQ(truncated, cut) << "trial " << trial;
    }
}

// A damaged header inside the stream costs that frame; the scanner resynchronises on the next
// two matching headers, and a header of another stream (other rate) is not taken.
TEST(AacContainers, AdtsScannerResynchronises) {
    std::mt19937 rng(3);
    std::vector<uint8_t> s;
    std::vector<size_t> starts;
    for (int k = 0; k < 6; ++k) {
        const std::vector<uint8_t> f = adtsFrame(200 + 10 * size_t(k), 3, 1, false, rng);
        starts.push_back(s.size());
        s.insert(s.end(), f.begin(), f.end());
    }
    s[starts[2] + 2] = uint8_t(1 << 6 | 7 << 2);  // frame 2 claims another rate
    AdtsScanner scan(s.data(), s.size());
    const uint8_t* f;
    AdtsInfo info;
    std::vector<size_t> got;
    while (scan.next(&f, &info)) got.push_back(size_t(f - s.data()));
    // Out of sync (at the start) a header needs the next two to match: frames 0 and 1 fall
    // with the foreign frame 2.
    EXPECT_EQ(got, (std::vector<size_t>{starts[3], starts[4], starts[5]}));
}

namespace {

struct BoxWriter {
    std::vector<uint8_t> b;
    std::vector<size_t> open;
    void u8(uint32_t v) { b.push_back(uint8_t(v)); }
    void u16(uint32_t v) { u8(v >> 8), u8(v); }
    void u32(uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
    void str(const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }
    void begin(const char* type) {
        open.push_back(b.size());
        u32(0);
        str(type);
    }
    void end() {
        const size_t at = open.back();
        open.pop_back();
        const uint32_t n = uint32_t(b.size() - at);
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(n >> (24 - 8 * i));
    }
};

// An MP4 file of `sizes` access units in chunks of three, with an optional edit list.
std::vector<uint8_t> makeMp4(const std::vector<uint32_t>& sizes, bool edit, uint32_t* mdatStart) {
    BoxWriter w;
    w.begin("ftyp"), w.str("M4A "), w.u32(0), w.end();
    w.begin("mdat");
    *mdatStart = uint32_t(w.b.size());
    uint32_t total = 0;
    for (uint32_t s : sizes) total += s;
    w.b.resize(w.b.size() + total, 0x55);
    w.end();
    w.begin("moov");
    w.begin("mvhd"), w.u32(0), w.u32(0), w.u32(0), w.u32(600), w.u32(0), w.u32(0), w.end();
    w.begin("trak");
    if (edit) {
        w.begin("edts"), w.begin("elst"), w.u32(0), w.u32(2);
        w.u32(100), w.u32(uint32_t(-1)), w.u32(0x10000);                    // an empty edit
        w.u32(600), w.u32(2112), w.u32(0x10000);                             // 1 s from sample 2112
        w.end(), w.end();
    }
    w.begin("mdia");
    w.begin("mdhd"), w.u32(0), w.u32(0), w.u32(0), w.u32(44100), w.u32(0), w.u32(0), w.end();
    w.begin("hdlr"), w.u32(0), w.u32(0), w.str("soun"), w.end();
    w.begin("minf"), w.begin("stbl");
    w.begin("stsd"), w.u32(0), w.u32(1);
    w.begin("mp4a");
    for (int i = 0; i < 28; ++i) w.u8(0);
    w.begin("esds"), w.u32(0);
    w.u8(3), w.u8(22), w.u16(1), w.u8(0);                 // ES descriptor
    w.u8(4), w.u8(17), w.u8(0x40), w.u8(0x15);           // decoder config: MPEG-4 audio
    for (int i = 0; i < 11; ++i) w.u8(0);
    w.u8(5), w.u8(2), w.u8(0x12), w.u8(0x10);            // LC, 44.1 kHz, stereo
    w.end(), w.end(), w.end();
    w.begin("stsz"), w.u32(0), w.u32(0), w.u32(uint32_t(sizes.size()));
    for (uint32_t s : sizes) w.u32(s);
    w.end();
    const uint32_t chunks = uint32_t((sizes.size() + 2) / 3);
    w.begin("stsc"), w.u32(0), w.u32(1), w.u32(1), w.u32(3), w.u32(1), w.end();
    w.begin("stco"), w.u32(0), w.u32(chunks);
    uint32_t off = *mdatStart;
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (i % 3 == 0) w.u32(off);
        off += sizes[i];
    }
    w.end();
    w.end(), w.end(), w.end(), w.end(), w.end();
    return w.b;
}

}  // namespace

TEST(AacContainers, Mp4ReaderSampleTableConfigAndEditList) {
    const std::vector<uint32_t> sizes = {10, 200, 37, 5, 90, 1, 300};
    for (bool edit : {false, true}) {
        uint32_t mdat;
        const std::vector<uint8_t> file = makeMp4(sizes, edit, &mdat);
        ASSERT_TRUE(looksLikeMp4(file.data(), file.size()));
        Mp4AacTrack t;
        std::string why;
        ASSERT_TRUE(mp4ReadAacTrack(file.data(), file.size(), &t, &why)) << why;
        EXPECT_EQ(t.objectTypeIndication, 0x40);
        EXPECT_EQ(t.config, (std::vector<uint8_t>{0x12, 0x10}));
        ASSERT_EQ(t.sizes, sizes);
        uint64_t off = mdat;
        for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(t.offsets[i], (off += i ? sizes[i - 1] : 0)) << i;
        EXPECT_EQ(t.gapless.skip, edit ? 2112 : 0);
        EXPECT_EQ(t.gapless.length, edit ? 44100 : -1);
        // Every cut of the file is read without fault, and the reader says why it fails.
        for (size_t cut = 0; cut < file.size(); cut += 7) {
            Mp4AacTrack u;
            std::string w;
            if (!mp4ReadAacTrack(file.data(), cut, &u, &w)) {
                EXPECT_FALSE(w.empty()) << cut;
            }
        }
    }
}

TEST(AacContainers, ITunSmpb) {
    Gapless g;
    EXPECT_TRUE(parseITunSmpb(" 00000000 00000840 000001CA 00000000003F31F6 00000000", &g));
    EXPECT_EQ(g.skip, 0x840);
    EXPECT_EQ(g.length, 0x3F31F6);
    EXPECT_FALSE(parseITunSmpb(" 00000000 00000840", &g));
    EXPECT_FALSE(parseITunSmpb(" 00000000 0000x840 000001CA 00000000003F31F6", &g));
}

// Channel configurations 1..7 and a program configuration: the output order is the WAVE mask
// order, each element's channels land where the speaker position says.
TEST(AacContainers, ChannelLayouts) {
    const struct { int cfg; uint32_t mask; std::vector<int> out; } kConfigs[] = {  // out: per element channel, in element order
        {1, 0x4, {0}}, {2, 0x3, {0, 1}}, {3, 0x7, {2, 0, 1}}, {4, 0x107, {2, 0, 1, 3}}, {5, 0x37, {2, 0, 1, 3, 4}},
        {6, 0x3F, {2, 0, 1, 4, 5, 3}}, {7, 0x63F, {2, 0, 1, 6, 7, 4, 5, 3}},
    };
    for (const auto& c : kConfigs) {
        ChannelLayout l;
        ASSERT_TRUE(l.fromConfig(c.cfg));
        EXPECT_EQ(l.mask, c.mask) << c.cfg;
        std::vector<int> out;
        for (const auto& s : l.slots)
            for (int k = 0; k < (s.type == kCpe ? 2 : 1); ++k) out.push_back(s.out[k]);
        EXPECT_EQ(out, c.out) << c.cfg;
    }
    EXPECT_FALSE(ChannelLayout().fromConfig(0));
    // 6.1 by program configuration: front SCE + CPE, back CPE + SCE, one LFE; and two front
    // SCEs without a centre, which keep element order without positions.
    AACPrgCfgElt p{};
    p.numFrontElt = 2, p.frontIsCpe[1] = 1, p.frontTagSel[1] = 3;
    p.numBackElt = 2, p.backIsCpe[0] = 1, p.backTagSel[0] = 4, p.backTagSel[1] = 5;
    p.numLfeElt = 1, p.lfeTagSel[0] = 6;
    ChannelLayout l;
    l.fromPce(p);
    EXPECT_EQ(l.mask, 0x13Fu);
    ASSERT_EQ(l.slots.size(), 5u);
    EXPECT_EQ(l.slots[2].tag, 4);
    EXPECT_EQ((std::vector<int>{l.slots[1].out[0], l.slots[1].out[1], l.slots[2].out[0], l.slots[2].out[1]}),
              (std::vector<int>{0, 1, 4, 5}));
    EXPECT_EQ(l.slots[3].out[0], 6);
    EXPECT_EQ(l.slots[4].out[0], 3);
    AACPrgCfgElt two{};
    two.numFrontElt = 2, two.frontTagSel[1] = 1;
    l.fromPce(two);
    EXPECT_EQ(l.mask, 0u);
    EXPECT_EQ(l.slots[0].out[0], 0);
    EXPECT_EQ(l.slots[1].out[0], 1);
}

// Little-endian fields {offset, bytes, value} of a plain and an extensible header.
TEST(AacContainers, WavHeaders) {
    uint8_t h[kWavHeaderMax];
    const auto field = [&](int at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | h[at + i];
        return v;
    };
    struct Field { int at, n; uint32_t v; };
    ASSERT_EQ(wavHeader(h, 2, 44100, 0, 1000), 44u);
    for (Field f : {Field{4, 4, 1036}, {20, 2, 1}, {40, 4, 1000}}) EXPECT_EQ(field(f.at, f.n), f.v) << f.at;
    ASSERT_EQ(wavHeader(h, 6, 48000, 0x3F, 1200), 68u);
    for (Field f : {Field{4, 4, 1260}, {20, 2, 0xFFFE}, {22, 2, 6}, {28, 4, 48000 * 12}, {32, 2, 12}, {36, 2, 22},
                    {38, 2, 16}, {40, 4, 0x3F}, {44, 2, 1}, {64, 4, 1200}})
        EXPECT_EQ(field(f.at, f.n), f.v) << f.at;
    EXPECT_EQ(std::memcmp(h + 60, "data", 4), 0);
    wavHeader(h, 6, 48000, 0x3F, 0xFFFFFFFFu);  // streaming: saturated sizes
    EXPECT_EQ(field(4, 4), 0xFFFFFFFFu);
}

// The guard after each frame rests on the costliest coefficient coding: no codebook may cost
// more bits per coefficient (codeword, signs of unsigned books, escapes of book 11) than the
// bound, and the scalefactor codebook used for coupling gains is the standard one.
TEST(AacContainers, ElementBoundCoversEveryCodebook) {
    const aactest::Codebook sf = aactest::loadBook(0);
    if (sf.code.size() != 121) GTEST_SKIP() << "shared tables not found under " << OKV_SHARED_DIR;
    size_t sfMax = 0;
    for (size_t i = 0; i < sf.code.size(); ++i) {
        EXPECT_EQ(size_t(kSfCodebook[i].length), sf.code[i].size()) << i;
        sfMax = std::max(sfMax, sf.code[i].size());
    }
    EXPECT_EQ(int(sfMax), aacbounds::kSfCodeBits);
    for (int book = 1; book <= 11; ++book) {
        const aactest::Codebook cb = aactest::loadBook(book);
        const bool unsignedBook = book >= 3 && book != 5 && book != 6;
        for (size_t i = 0; i < cb.code.size(); ++i) {
            int bits = int(cb.code[i].size());
            for (int v : cb.values[i]) bits += (unsignedBook && v != 0) + (book == 11 && std::abs(v) == 16) * aacbounds::kEscapeBits;
            // Per coefficient against the book-11 pair bound.
            EXPECT_LE(bits * 2, aacbounds::kSpectralBitsPerPair * int(cb.values[i].size())) << "book " << book;
        }
    }
}
