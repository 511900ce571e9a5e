// Whole streams through the parsers (every raw data block parses and ends exactly at its frame's
// end, ADIF carries the blocks of its ADTS original); every codeword of the generated tables
// resolves through the two-level lookup to its length and values of the standard text.
#include <gtest/gtest.h>

#include <filesystem>

#include "aac/huff_aac_data.h"
#include "aac/syntax_stream.h"

namespace {

struct StreamStats {
    int frames = 0, elements = 0, channels = 0;
    uint64_t hash = 1469598103934665603ull;  // FNV-1a over all decoded spectra
};

void hashSpectrum(StreamStats& s, const Okv32s* x) {
    for (int i = 0; i < 1024; ++i) s.hash = (s.hash ^ uint32_t(x[i])) * 1099511628211ull;
}

// Decodes every frame of an ADTS file; reports failures through gtest.
StreamStats walkAdts(const std::string& path) {
    StreamStats s;
    const std::vector<uint8_t> data = aactest::readFile(path);
    size_t pos = 0;
    aactest::AdtsFrame f;
    aactest::RawBlockWalker w;
    while (aactest::nextAdtsFrame(data, pos, f)) {
        EXPECT_EQ(f.headerBytes, f.h.protectionBit ? 7u : 9u);
        if (f.h.numRawDataBlocks != 1 && f.h.protectionBit == 0) {
            ADD_FAILURE() << path << ": block positions not handled";
            break;
        }
        w.sri = f.h.samplingRateIndex;
        w.mp4 = f.h.id == 0;
        Okv8u* p = f.bytes.data() + f.headerBytes;
        int off = 0;
        for (int b = 0; b < f.h.numRawDataBlocks; ++b) {
            const int chBefore = w.channels;
            const int st = w.block(&p, &off);
            EXPECT_EQ(st, okvOk) << path << " frame " << s.frames << " element " << w.elements;
            if (st != okvOk) return s;
            for (int ch = 0; ch < std::min(2, w.channels - chBefore); ++ch) hashSpectrum(s, w.spec[ch]);
        }
        EXPECT_EQ(p - f.bytes.data(), f.h.frameLen) << path << " frame " << s.frames;
        ++s.frames;
    }
    EXPECT_EQ(pos, data.size()) << path;
    s.elements = w.elements, s.channels = w.channels;
    return s;
}

// Resolves a left-aligned codeword; returns the leaf entry.
uint32_t lookup(const Okv32u* tab, int rootBits, uint32_t w) {
    uint32_t e = tab[w >> (32 - rootBits)];
    if (e & 0x20) e = tab[(e >> 8) + ((w << rootBits) >> (32 - (e & 31)))];
    return e;
}

bool haveShared() { return std::filesystem::exists(aactest::sharedDir() + "/vectors/aac/misc/ct_faac-adts.aac"); }

}  // namespace

TEST(AacSyntaxStreams, ConformanceAdts) {
    if (!haveShared()) GTEST_SKIP() << "shared vectors not found at " << OKV_SHARED_DIR;
    for (const char* name : {"iso/adts/al04_44.adts", "iso/adts/al05_44.adts", "iso/adts/al06_44.adts",
                             "iso/adts/al17_44.adts", "iso/adts/al18_44.adts", "misc/ct_faac-adts.aac"}) {
        const StreamStats s = walkAdts(aactest::sharedDir() + "/vectors/aac/" + name);
        EXPECT_GT(s.frames, 10) << name;
        EXPECT_GE(s.channels, s.frames) << name;
    }
}

// The ADIF copy of a stream carries the same raw data blocks as its ADTS original.
TEST(AacSyntaxStreams, AdifMatchesAdts) {
    if (!haveShared()) GTEST_SKIP() << "shared vectors not found at " << OKV_SHARED_DIR;
    const std::string dir = aactest::sharedDir() + "/vectors/aac/misc/";
    const StreamStats adts = walkAdts(dir + "ct_faac-adts.aac");
    std::vector<uint8_t> data = aactest::readFile(dir + "ct_faac-adts.adif");
    const size_t size = data.size();
    data.resize(size + 3, 0);
    AACADIFHeader h{};
    AACPrgCfgElt pce[16];
    Okv8u* p = data.data();
    ASSERT_EQ(okvsUnpackADIFHeader_AAC(&p, &h, pce, 16), okvOk);
    EXPECT_EQ(h.adifId, 0x41444946u);
    ASSERT_EQ(h.numPrgCfgElt, 1);
    aactest::RawBlockWalker w;
    w.sri = pce[0].samplingRateIndex;
    StreamStats adif;
    int off = 0;
    while (size_t(p - data.data()) < size) {
        const int chBefore = w.channels;
        ASSERT_EQ(w.block(&p, &off), okvOk) << "block " << adif.frames;
        for (int ch = 0; ch < std::min(2, w.channels - chBefore); ++ch) hashSpectrum(adif, w.spec[ch]);
        ++adif.frames;
    }
    EXPECT_EQ(size_t(p - data.data()), size);
    EXPECT_EQ(adif.frames, adts.frames);
    EXPECT_EQ(adif.hash, adts.hash);
}

TEST(AacSyntaxTables, CodebooksMatchStandardText) {
    if (aactest::loadBook(0).code.size() != 121) GTEST_SKIP() << "shared AAC tables not found at " << OKV_SHARED_DIR;
    for (int book = 0; book <= 11; ++book) {
        const aactest::Codebook cb = aactest::loadBook(book);
        const Okv32u* tab = book ? okv_u8::kHuffSpec[book] : okv_u8::kHuffSf;
        const int root = book ? okv_u8::kSpecRootBits : okv_u8::kSfRootBits;
        for (size_t i = 0; i < cb.code.size(); ++i) {
            const std::string& code = cb.code[i];
            // Every continuation of the codeword must resolve to it.
            for (uint32_t tail : {0u, 0xFFFFFFFFu, 0x5A5A5A5Au}) {
                const uint32_t w = (uint32_t(std::stoul(code, nullptr, 2)) << (32 - code.size())) |
                                   (tail >> code.size());
                const uint32_t e = lookup(tab, root, w);
                ASSERT_EQ(e & 0x3F, code.size()) << "book " << book << " index " << i;
                if (book == 0) {
                    EXPECT_EQ(e >> 8, i);
                    continue;
                }
                for (size_t k = 0; k < cb.values[i].size(); ++k)
                    EXPECT_EQ(int32_t(e << (18 - 6 * k)) >> 26, cb.values[i][k]) << "book " << book << " index " << i;
            }
        }
    }
}
