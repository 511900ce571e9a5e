// The band-boundary tables carried in source agree with the standard text, MPEG-2.5 rows included.
#include <gtest/gtest.h>

#include "mp3/sfb_tables_data.h"
#include "mp3_test_util.h"

TEST(Mp3Tables, BandBoundariesMatchStandardText) {
    const short lng[9][23] = OKV_MP3_SFB_LONG_INIT;
    const short sht[9][14] = OKV_MP3_SFB_SHORT_INIT;
    auto longRows = mp3test::tableLines("sfb_long.txt"), shortRows = mp3test::tableLines("sfb_short.txt");
    if (longRows.size() != 9 || shortRows.size() != 9)
        GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
    for (int r = 0; r < 9; ++r) {
        ASSERT_EQ(longRows[r].size(), 23u);
        ASSERT_EQ(shortRows[r].size(), 14u);
        for (int b = 0; b < 23; ++b) EXPECT_EQ(lng[r][b], std::stoi(longRows[r][b])) << "long row " << r;
        for (int b = 0; b < 14; ++b) EXPECT_EQ(sht[r][b], std::stoi(shortRows[r][b])) << "short row " << r;
    }
}

TEST(Mp3Tables, MixedBlocksEndTheirLongPartAtLine36) {
    const short lng[9][23] = OKV_MP3_SFB_LONG_INIT;
    const short mixed[9][2] = OKV_MP3_SFB_MIXED_INIT;
    for (int r = 0; r < 8; ++r) EXPECT_EQ(lng[r][mixed[r][0]], 36) << "row " << r;
}
