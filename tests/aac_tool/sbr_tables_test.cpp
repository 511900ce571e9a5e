// The SBR decoder's tables: the generated file against the table text, and the band tables of
// every header at every SBR rate against the relations the decoder relies on.
#include <gtest/gtest.h>

#include <algorithm>

#include "aac_tool_util.h"
#include "sbr/sbr_freq_tables.cpp"

namespace {

namespace fs = std::filesystem;
using aactool::readFile;

TEST(SbrTables, GeneratedFileMatchesTheTableText) {
    const fs::path text = fs::path(OKV_SHARED_DIR) / "tables" / "sbr";
    if (!fs::exists(text / "t_huffman_env_1_5dB.txt")) GTEST_SKIP() << "SBR table text not found under " << text;
    const fs::path out = fs::temp_directory_path() / ("sbr_tables_" + std::to_string(getpid()) + ".h");
    const std::string cmd = "python3 '" + std::string(OKV_SOURCE_DIR) + "/tools/gen/gen_sbr_decoder_tables.py' '" +
                            text.string() + "' '" + out.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::vector<uint8_t> fresh = readFile(out);
    fs::remove(out);
    EXPECT_TRUE(!fresh.empty() && fresh == readFile(fs::path(OKV_SOURCE_DIR) / "tools/okvac/sbr/sbr_tables_data.h"));
}

bool contains(const int* v, int n, int x) { return std::find(v, v + n + 1, x) != v + n + 1; }
bool ascending(const int* v, int n, bool strict) {
    for (int i = 0; i < n; ++i)
        if (strict ? v[i] >= v[i + 1] : v[i] > v[i + 1]) return false;
    return true;
}

// Every header at every rate: the tables that build are nested, ascending and covered by the
// patches; a builder refusing everything fails the count.
TEST(SbrTables, EveryHeaderGivesConsistentBands) {
    int built = 0;
    for (int rate : sbrtab::kRates)
        for (int fields = 0; fields < 16 * 16 * 8 * 8 * 4; ++fields) {
            SbrHeader h;
            const int start = fields & 15, stop = fields >> 4 & 15, xover = fields >> 8 & 7, scale = fields >> 11 & 7;
            h.startFreq = start, h.stopFreq = stop, h.xoverBand = xover, h.freqScale = scale & 3, h.alterScale = scale >> 2;
            h.noiseBands = fields >> 14, h.limiterBands = (start + stop) & 3;
            SbrFreqTables t;
            if (!t.build(h, rate)) continue;
            ++built;
            SCOPED_TRACE(::testing::Message() << rate << " header fields " << fields);
            ASSERT_TRUE(t.master[0] == t.k0 && t.master[t.nMaster] == t.k2 && ascending(t.master, t.nMaster, true));
            ASSERT_TRUE(t.nHigh == t.nMaster - xover && t.kx == t.master[xover] && t.kx + t.m == t.k2);
            ASSERT_TRUE(t.kx <= 32 && t.k2 <= 64 && t.nLow == (t.nHigh + 1) / 2 && t.low[0] == t.kx);
            for (int i = 0; i <= t.nLow; ++i) ASSERT_TRUE(contains(t.high, t.nHigh, t.low[i]));
            // more noise bands than low bands leave some empty
            ASSERT_TRUE(t.nQ >= 1 && t.nQ <= 5 && t.noise[0] == t.kx && t.noise[t.nQ] == t.k2 && ascending(t.noise, t.nQ, false));
            for (int i = 0; i <= t.nQ; ++i) ASSERT_TRUE(contains(t.low, t.nLow, t.noise[i]));
            int k = t.kx;
            for (int p = 0; p < t.numPatches; ++p) {  // copied from the low band
                ASSERT_TRUE(t.patchBands[p] > 0 && t.patchStart[p] >= 0 && t.patchStart[p] + t.patchBands[p] <= t.k0);
                k += t.patchBands[p];
            }
            ASSERT_TRUE(k <= t.k2 && k >= t.k2 - 2);  // a last patch under three bands is dropped
            ASSERT_TRUE(t.lim[0] == t.kx && t.lim[t.nLim] == t.k2 && ascending(t.lim, t.nLim, true));
        }
    EXPECT_GT(built, 100000);
}

}  // namespace
