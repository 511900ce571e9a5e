// Conformance ADTS streams through the parsers: every raw data block parses and ends exactly at
// its frame's end.
#include <gtest/gtest.h>

#include <filesystem>

#include "aac/syntax_stream.h"

TEST(AacSyntaxStreams, ConformanceAdts) {
    const std::string dir = aactest::sharedDir() + "/vectors/aac/";
    if (!std::filesystem::exists(dir + "misc/ct_faac-adts.aac")) GTEST_SKIP() << "shared vectors not found at " << dir;
    for (const char* name : {"iso/adts/al04_44.adts", "iso/adts/al05_44.adts", "iso/adts/al06_44.adts",
                             "iso/adts/al17_44.adts", "iso/adts/al18_44.adts", "misc/ct_faac-adts.aac"}) {
        const std::vector<uint8_t> data = aactest::readFile(dir + name);
        size_t pos = 0;
        int frames = 0;
        aactest::AdtsFrame f;
        aactest::RawBlockWalker w;
        for (; aactest::nextAdtsFrame(data, pos, f); ++frames) {
            ASSERT_EQ(f.headerBytes, f.h.protectionBit ? 7u : 9u);
            ASSERT_TRUE(f.h.numRawDataBlocks == 1 || f.h.protectionBit) << name << ": block positions not handled";
            w.sri = f.h.samplingRateIndex;
            w.mp4 = f.h.id == 0;
            Okv8u* p = f.bytes.data() + f.headerBytes;
            int off = 0;
            for (int b = 0; b < f.h.numRawDataBlocks; ++b)
                ASSERT_EQ(w.block(&p, &off), okvOk) << name << " frame " << frames << " element " << w.elements;
            EXPECT_EQ(p - f.bytes.data(), f.h.frameLen) << name << " frame " << frames;
        }
        EXPECT_EQ(pos, data.size()) << name;
        EXPECT_GT(frames, 10) << name;
        EXPECT_GE(w.channels, frames) << name;
    }
}
