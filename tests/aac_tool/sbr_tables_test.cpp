// The SBR decoder's tables: the generated file against the table text, and the band tables of
// every header at every SBR rate against the relations the decoder relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sbr/sbr_freq_tables.cpp"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(SbrTables, GeneratedFileMatchesTheTableText) {
    const fs::path text = fs::path(OKV_SHARED_DIR) / "tables" / "sbr";
    if (!fs::exists(text / "t_huffman_env_1_5dB.txt")) GTEST_SKIP() << "SBR table text not found under " << text;
    const fs::path out = fs::temp_directory_path() / ("sbr_tables_" + std::to_string(getpid()) + ".h");
    const std::string cmd = "python3 '" + std::string(OKV_SOURCE_DIR) + "/tools/gen/gen_sbr_decoder_tables.py' '" +
                            text.string() + "' '" + out.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string fresh = slurp(out);
    fs::remove(out);
    EXPECT_EQ(fresh, slurp(fs::path(OKV_SOURCE_DIR) / "tools/okvac/sbr/sbr_tables_data.h"));
}

bool contains(const int* v, int n, int x) { return std::find(v, v + n + 1, x) != v + n + 1; }

// Every header at every rate: the tables that build are nested, ascending and covered by the
// patches; count how many build so a builder refusing everything fails too.
TEST(SbrTables, EveryHeaderGivesConsistentBands) {
    int built = 0;
    for (int rate : sbrtab::kRates)
        for (int start = 0; start < 16; ++start)
            for (int stop = 0; stop < 16; ++stop)
                for (int xover = 0; xover < 8; ++xover)
                    for (int scale = 0; scale < 8; ++scale)
                        for (int noise = 0; noise < 4; ++noise) {
                            SbrHeader h;
                            h.startFreq = start, h.stopFreq = stop, h.xoverBand = xover;
                            h.freqScale = scale & 3, h.alterScale = scale >> 2, h.noiseBands = noise;
                            h.limiterBands = (start + stop) & 3;
                            SbrFreqTables t;
                            if (!t.build(h, rate)) continue;
                            ++built;
                            SCOPED_TRACE(::testing::Message() << rate << " " << start << " " << stop << " " << xover << " "
                                                              << scale << " " << noise);
                            ASSERT_EQ(t.master[0], t.k0);
                            ASSERT_EQ(t.master[t.nMaster], t.k2);
                            for (int i = 0; i < t.nMaster; ++i) ASSERT_LT(t.master[i], t.master[i + 1]);
                            ASSERT_EQ(t.nHigh, t.nMaster - xover);
                            ASSERT_EQ(t.kx, t.master[xover]);
                            ASSERT_EQ(t.kx + t.m, t.k2);
                            ASSERT_LE(t.kx, 32);
                            ASSERT_LE(t.k2, 64);
                            ASSERT_EQ(t.nLow, (t.nHigh + 1) / 2);
                            ASSERT_EQ(t.low[0], t.kx);
                            for (int i = 0; i <= t.nLow; ++i) ASSERT_TRUE(contains(t.high, t.nHigh, t.low[i]));
                            ASSERT_GE(t.nQ, 1);
                            ASSERT_LE(t.nQ, 5);
                            ASSERT_EQ(t.noise[0], t.kx);
                            ASSERT_EQ(t.noise[t.nQ], t.k2);
                            // more noise bands than low bands leave some empty
                            for (int i = 0; i < t.nQ; ++i) ASSERT_LE(t.noise[i], t.noise[i + 1]);
                            for (int i = 0; i <= t.nQ; ++i) ASSERT_TRUE(contains(t.low, t.nLow, t.noise[i]));
                            int k = t.kx;
                            for (int p = 0; p < t.numPatches; ++p) {
                                ASSERT_GT(t.patchBands[p], 0);
                                ASSERT_GE(t.patchStart[p], 0);
                                ASSERT_LE(t.patchStart[p] + t.patchBands[p], t.k0);  // copied from the low band
                                k += t.patchBands[p];
                            }
                            ASSERT_LE(k, t.k2);  // a last patch under three bands is dropped
                            ASSERT_GE(k, t.k2 - 2);
                            ASSERT_EQ(t.lim[0], t.kx);
                            ASSERT_EQ(t.lim[t.nLim], t.k2);
                            for (int i = 0; i < t.nLim; ++i) ASSERT_LT(t.lim[i], t.lim[i + 1]);
                        }
    EXPECT_GT(built, 100000);
}

}  // namespace
