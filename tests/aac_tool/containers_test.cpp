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

std::vector<uint8_t> adtsFrame(size_t size, int rate, bool crc, std::mt19937& rng) {
    std::vector<uint8_t> f = {0xFF, uint8_t(crc ? 0xF0 : 0xF1), uint8_t(1 << 6 | rate << 2), uint8_t(2 << 6 | size >> 11),
                              uint8_t(size >> 3), uint8_t((size & 7) << 5 | 0x1F), 0xFC};
    while (f.size() < size) f.push_back(uint8_t(rng() & 0x0F));  // payload without sync patterns
    return f;
}

}  // namespace

// Frames among junk, tags and a cut-short end: the scanner returns exactly the frames that
// were placed, in order (CRC frames from 12 bytes: the scanner's plausibility bound). Out of sync a header needs the next two to match, so a frame
// claiming another rate costs the frames before it too.
TEST(AacContainers, AdtsScannerFindsThePlacedFrames) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 201; ++trial) {
        std::vector<uint8_t> s;
        std::vector<std::pair<size_t, size_t>> placed;
        const bool crc = trial & 1, foreign = trial == 200, cut = trial % 4 == 1 && !foreign;
        if (trial % 3 == 0) s.assign(rng() % 300, 0xFF);  // junk in front
        if (trial % 5 == 0) s.insert(s.end(), {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}), s.resize(s.size() + 20, 0xFF);
        for (int k = 0, frames = foreign ? 6 : 2 + int(rng() % 6); k < frames; ++k) {
            const std::vector<uint8_t> f = adtsFrame(10 + crc * 2 + rng() % 700, foreign && k == 2 ? 7 : 4, crc, rng);
            if (!foreign || k > 2) placed.push_back({s.size(), f.size()});
            s.insert(s.end(), f.begin(), f.end());
        }
        if (cut) {  // a last frame cut short is not returned
            const std::vector<uint8_t> f = adtsFrame(400, 4, crc, rng);
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
        for (; scan.next(&f, &info, &truncated); ++k) {
            ASSERT_LT(k, placed.size()) << "trial " << trial;
            EXPECT_EQ(std::pair(size_t(f - s.data()), info.size), placed[k]) << "trial " << trial << " frame " << k;
            EXPECT_TRUE(info.headerBytes == (crc ? 9 : 7) && info.rateIndex == 4 && info.channelConfig == 2);
        }
        EXPECT_EQ(k, placed.size()) << "trial " << trial;
        EXPECT_EQ(truncated, cut) << "trial " << trial;
    }
}

// An MP4 file of access units in chunks of three, with an optional edit list: sample table,
// decoder configuration and gapless skip and length; every cut of the file fails with a reason.
TEST(AacContainers, Mp4ReaderAndGaplessMetadata) {
    struct Box {
        std::vector<uint8_t> b;
        std::vector<size_t> open;
        Box& u8(uint32_t v) { return b.push_back(uint8_t(v)), *this; }
        Box& u32(uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
        Box& str(const char* s) { return b.insert(b.end(), s, s + std::strlen(s)), *this; }
        Box& begin(const char* type) { return open.push_back(b.size()), u32(0).str(type); }
        Box& end() {
            for (size_t at = open.back(), i = 0; i < 4; ++i) b[at + i] = uint8_t((b.size() - at) >> (24 - 8 * i));
            return open.pop_back(), *this;
        }
    };
    const std::vector<uint32_t> sizes = {10, 200, 37, 5, 90, 1, 300};
    for (bool edit : {false, true}) {
        Box w;
        w.begin("ftyp").str("M4A ").u32(0).end().begin("mdat");
        const uint32_t mdat = uint32_t(w.b.size());
        w.b.resize(w.b.size() + 643, 0x55);
        w.end().begin("moov").begin("mvhd").u32(0).u32(0).u32(0).u32(600).u32(0).u32(0).end().begin("trak");
        if (edit)  // an empty edit, then 1 s from sample 2112
            w.begin("edts").begin("elst").u32(0).u32(2).u32(100).u32(~0u).u32(0x10000).u32(600).u32(2112).u32(0x10000).end().end();
        w.begin("mdia").begin("mdhd").u32(0).u32(0).u32(0).u32(44100).u32(0).u32(0).end();
        w.begin("hdlr").u32(0).u32(0).str("soun").end().begin("minf").begin("stbl").begin("stsd").u32(0).u32(1).begin("mp4a");
        for (int i = 0; i < 28; ++i) w.u8(0);
        w.begin("esds").u32(0).u8(3).u8(22).u8(0).u8(1).u8(0).u8(4).u8(17).u8(0x40).u8(0x15);  // ES, MPEG-4 audio
        for (int i = 0; i < 11; ++i) w.u8(0);
        w.u8(5).u8(2).u8(0x12).u8(0x10).end().end().end();  // LC, 44.1 kHz, stereo
        w.begin("stsz").u32(0).u32(0).u32(uint32_t(sizes.size()));
        for (uint32_t s : sizes) w.u32(s);
        w.end().begin("stsc").u32(0).u32(1).u32(1).u32(3).u32(1).end().begin("stco").u32(0).u32(3);
        for (uint32_t i = 0, off = mdat; i < sizes.size(); off += sizes[i++])
            if (i % 3 == 0) w.u32(off);
        w.end().end().end().end().end().end();
        ASSERT_TRUE(looksLikeMp4(w.b.data(), w.b.size()));
        Mp4AacTrack t;
        std::string why;
        ASSERT_TRUE(mp4ReadAacTrack(w.b.data(), w.b.size(), &t, &why)) << why;
        EXPECT_EQ(t.objectTypeIndication, 0x40);
        EXPECT_EQ(t.config, (std::vector<uint8_t>{0x12, 0x10}));
        ASSERT_EQ(t.sizes, sizes);
        for (size_t i = 0, off = mdat; i < sizes.size(); off += sizes[i++]) EXPECT_EQ(t.offsets[i], off) << i;
        EXPECT_EQ(t.gapless.skip, edit ? 2112 : 0);
        EXPECT_EQ(t.gapless.length, edit ? 44100 : -1);
        for (size_t cut = 0; cut < w.b.size(); cut += 7) {
            Mp4AacTrack u;
            std::string reason;
            EXPECT_TRUE(mp4ReadAacTrack(w.b.data(), cut, &u, &reason) || !reason.empty()) << cut;
        }
    }
    Gapless g;
    EXPECT_TRUE(parseITunSmpb(" 00000000 00000840 000001CA 00000000003F31F6 00000000", &g));
    EXPECT_TRUE(g.skip == 0x840 && g.length == 0x3F31F6);
    EXPECT_FALSE(parseITunSmpb(" 00000000 00000840", &g));
    EXPECT_FALSE(parseITunSmpb(" 00000000 0000x840 000001CA 00000000003F31F6", &g));
}

// Channel configurations 1..7 and program configurations: the output order is the WAVE mask
// order, each element's channels land where the speaker position says; WAV headers.
TEST(AacContainers, ChannelLayoutsAndWavHeaders) {
    const struct { int cfg; uint32_t mask; std::vector<int> out; } kConfigs[] = {  // out: per element channel, in element order
        {1, 0x4, {0}}, {2, 0x3, {0, 1}}, {3, 0x7, {2, 0, 1}}, {4, 0x107, {2, 0, 1, 3}}, {5, 0x37, {2, 0, 1, 3, 4}},
        {6, 0x3F, {2, 0, 1, 4, 5, 3}}, {7, 0x63F, {2, 0, 1, 6, 7, 4, 5, 3}},
    };
    const auto order = [](const ChannelLayout& l) {
        std::vector<int> out;
        for (const auto& s : l.slots) out.insert(out.end(), s.out, s.out + (s.type == kCpe ? 2 : 1));
        return out;
    };
    for (const auto& c : kConfigs) {
        ChannelLayout l;
        ASSERT_TRUE(l.fromConfig(c.cfg));
        EXPECT_EQ(l.mask, c.mask) << c.cfg;
        EXPECT_EQ(order(l), c.out) << c.cfg;
    }
    EXPECT_FALSE(ChannelLayout().fromConfig(0));
    // 6.1: front SCE + CPE, back CPE + SCE, one LFE; two front SCEs without a centre keep
    // element order without positions.
    AACPrgCfgElt p{}, two{};
    p.numFrontElt = 2, p.frontIsCpe[1] = 1, p.frontTagSel[1] = 3, p.numBackElt = 2, p.backIsCpe[0] = 1, p.backTagSel[0] = 4;
    p.backTagSel[1] = 5, p.numLfeElt = 1, p.lfeTagSel[0] = 6;
    ChannelLayout l;
    l.fromPce(p);
    EXPECT_EQ(l.mask, 0x13Fu);
    EXPECT_EQ(order(l), (std::vector<int>{2, 0, 1, 4, 5, 6, 3}));
    EXPECT_EQ(l.slots[2].tag, 4);
    two.numFrontElt = 2, two.frontTagSel[1] = 1;
    l.fromPce(two);
    EXPECT_EQ(l.mask, 0u);
    EXPECT_EQ(order(l), (std::vector<int>{0, 1}));

    uint8_t h[kWavHeaderMax];  // WAV headers: plain and extensible, little-endian fields, streaming sizes saturated
    const auto field = [&](int at, int n) { return n == 2 ? uint32_t(h[at] | h[at + 1] << 8) : uint32_t(h[at] | h[at + 1] << 8 | h[at + 2] << 16 | h[at + 3] << 24); };
    EXPECT_TRUE(wavHeader(h, 2, 44100, 0, 1000) == 44u && field(4, 4) == 1036 && field(20, 2) == 1 && field(40, 4) == 1000);
    ASSERT_EQ(wavHeader(h, 6, 48000, 0x3F, 1200), 68u);
    for (auto [at, n, v] : {std::tuple{4, 4, 1260u}, {20, 2, 0xFFFEu}, {22, 2, 6u}, {28, 4, 48000u * 12}, {32, 2, 12u}, {36, 2, 22u},
                            {38, 2, 16u}, {40, 4, 0x3Fu}, {44, 2, 1u}, {60, 4, 0x61746164u}, {64, 4, 1200u}})
        EXPECT_EQ(field(at, n), v) << at;
    wavHeader(h, 6, 48000, 0x3F, 0xFFFFFFFFu);
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
        for (size_t i = 0; i < cb.code.size(); ++i) {
            int bits = int(cb.code[i].size());
            for (int v : cb.values[i]) bits += (book >= 3 && book != 5 && book != 6 && v) + (book == 11 && std::abs(v) == 16) * aacbounds::kEscapeBits;
            EXPECT_LE(bits * 2, aacbounds::kSpectralBitsPerPair * int(cb.values[i].size())) << "book " << book;
        }
    }
}
