// The AAC front-end's pure parts: ADTS framing, channel layouts, WAV headers, the bound behind each
// frame's zero guard, and the generated SBR tables.
#include <gtest/gtest.h>

#include <random>

#include "aac/syntax_stream.h"
#include "aac_tool_util.h"

namespace fs = std::filesystem;

// The tool's sources are built into this test directly.
#include "../../tools/okvac/aac/channel_layout.cpp"
#include "../../tools/okvac/aac/element_bounds.h"
#include "../../tools/okvac/aac/sf_codebook.h"
#include "../../tools/okvac/container/adts_scanner.cpp"
#include "../../tools/okvac/container/tags.cpp"
#include "../../tools/okvac/pcm/wav_header.cpp"

// Frames among junk, an ID3 tag and a cut-short end: the scanner returns exactly the frames placed,
// in order (CRC frames from 12 bytes). Out of sync a header needs the next two to match, so a frame
// claiming another rate costs the frames before it too.
TEST(AacContainers, AdtsScannerFindsThePlacedFrames) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 201; ++trial) {
        std::vector<uint8_t> s;
        std::vector<std::pair<size_t, size_t>> placed;
        const bool crc = trial & 1, foreign = trial == 200, cut = trial % 4 == 1 && !foreign;
        const auto frame = [&](size_t size, int rate) {
            s.insert(s.end(), {0xFF, uint8_t(crc ? 0xF0 : 0xF1), uint8_t(1 << 6 | rate << 2), uint8_t(2 << 6 | size >> 11),
                               uint8_t(size >> 3), uint8_t((size & 7) << 5 | 0x1F), 0xFC});
            for (size_t i = 7; i < size; ++i) s.push_back(uint8_t(rng() & 0x0F));  // payload without sync patterns
        };
        if (trial % 3 == 0) s.assign(rng() % 300, 0xFF);  // junk in front
        if (trial % 5 == 0) s.insert(s.end(), {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}), s.resize(s.size() + 20, 0xFF);
        for (int k = 0, frames = foreign ? 6 : 2 + int(rng() % 6); k < frames; ++k) {
            const size_t at = s.size();
            frame(10 + crc * 2 + rng() % 700, foreign && k == 2 ? 7 : 4);
            if (!foreign || k > 2) placed.push_back({at, s.size() - at});
        }
        if (cut) frame(400, 4), s.resize(s.size() - 300);  // a last frame cut short is not returned
        else if (trial % 4 == 2) s.insert(s.end(), {'T', 'A', 'G'}), s.resize(s.size() + 125);
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
        EXPECT_TRUE(k == placed.size() && truncated == cut) << "trial " << trial;
    }
}

// Channel configurations 1..7 and a 6.1 program configuration (front SCE + CPE, back CPE + SCE, one
// LFE) in WAVE mask order, each element's channels where its speaker position says; two front SCEs
// without a centre keep element order without positions. WAV headers: plain and extensible,
// little-endian, streaming sizes saturated.
TEST(AacContainers, ChannelLayoutsAndWavHeaders) {
    const auto order = [](const ChannelLayout& l) {
        std::vector<int> out;
        for (const auto& s : l.slots) out.insert(out.end(), s.out, s.out + (s.type == kCpe ? 2 : 1));
        return out;
    };
    const std::vector<std::vector<int>> outs = {{0}, {0, 1}, {2, 0, 1}, {2, 0, 1, 3}, {2, 0, 1, 3, 4}, {2, 0, 1, 4, 5, 3}, {2, 0, 1, 6, 7, 4, 5, 3}};
    const uint32_t masks[] = {0x4, 0x3, 0x7, 0x107, 0x37, 0x3F, 0x63F};
    ChannelLayout l;
    EXPECT_FALSE(l.fromConfig(0));
    for (int c = 1; c <= 7; ++c) EXPECT_TRUE(l.fromConfig(c) && l.mask == masks[c - 1] && order(l) == outs[size_t(c - 1)]) << c;
    AACPrgCfgElt p{}, two{};
    p.numFrontElt = 2, p.frontIsCpe[1] = 1, p.frontTagSel[1] = 3, p.numBackElt = 2, p.backIsCpe[0] = 1, p.backTagSel[0] = 4;
    p.backTagSel[1] = 5, p.numLfeElt = 1, p.lfeTagSel[0] = 6;
    l.fromPce(p);
    EXPECT_TRUE(l.mask == 0x13Fu && order(l) == (std::vector<int>{2, 0, 1, 4, 5, 6, 3}) && l.slots[2].tag == 4);
    two.numFrontElt = 2, two.frontTagSel[1] = 1;
    l.fromPce(two);
    EXPECT_TRUE(l.mask == 0u && order(l) == (std::vector<int>{0, 1}));
    uint8_t h[kWavHeaderMax];
    const auto field = [&](int at, int n) { return uint32_t(h[at] | h[at + 1] << 8 | (n == 4 ? h[at + 2] << 16 | h[at + 3] << 24 : 0)); };
    EXPECT_TRUE(wavHeader(h, 2, 44100, 0, 1000) == 44u && field(4, 4) == 1036 && field(20, 2) == 1 && field(40, 4) == 1000);
    ASSERT_EQ(wavHeader(h, 6, 48000, 0x3F, 1200), 68u);
    for (auto [at, n, v] : {std::tuple{4, 4, 1260u}, {20, 2, 0xFFFEu}, {22, 2, 6u}, {28, 4, 48000u * 12}, {32, 2, 12u}, {36, 2, 22u},
                            {38, 2, 16u}, {40, 4, 0x3Fu}, {44, 2, 1u}, {60, 4, 0x61746164u}, {64, 4, 1200u}})
        EXPECT_EQ(field(at, n), v) << at;
    wavHeader(h, 6, 48000, 0x3F, 0xFFFFFFFFu);
    EXPECT_EQ(field(4, 4), 0xFFFFFFFFu);
}

// The guard after each frame rests on the costliest coefficient coding: no codebook may cost more
// bits per coefficient (codeword, signs of unsigned books, escapes of book 11) than the bound; the
// scalefactor codebook used for coupling gains is the shared one. The generated SBR tables are
// those the generator makes from the shared text.
TEST(AacContainers, ElementBoundAndGeneratedTables) {
    const aactest::Codebook sf = aactest::loadBook(0);
    const fs::path text = fs::path(OKV_SHARED_DIR) / "tables" / "sbr", fresh = fs::temp_directory_path() / "okvac_sbr_tables.h";
    if (sf.code.size() != 121 || !fs::exists(text)) GTEST_SKIP() << "shared tables not found under " << OKV_SHARED_DIR;
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
    ASSERT_EQ(aactool::shell("python3 " + aactool::q(fs::path(OKV_SOURCE_DIR) / "tools/gen/gen_sbr_decoder_tables.py") + " " +
                             aactool::q(text) + " " + aactool::q(fresh)), 0);
    const std::vector<uint8_t> made = aactool::readFile(fresh);
    fs::remove(fresh);
    EXPECT_TRUE(!made.empty() && made == aactool::readFile(fs::path(OKV_SOURCE_DIR) / "tools/okvac/sbr/sbr_tables_data.h"));
}
