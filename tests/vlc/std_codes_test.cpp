// The carried standard code tables agree with the shared text tables.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "std_codes.h"

namespace {

// Rows (x, y, length, codeword) of a text table; aac: "index length code y z", else "x y length code".
std::vector<vlc_std::PairCode> read_rows(const std::string& path, bool aac) {
    std::vector<vlc_std::PairCode> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        int index, len, x, y;
        std::string code;
        if (aac) {
            f >> index >> len >> code >> x >> y;
        } else {
            f >> x >> y >> len >> code;
        }
        rows.push_back({uint8_t(x), uint8_t(y), uint8_t(len), uint32_t(std::stoul(code, nullptr, 2))});
        EXPECT_EQ(size_t(len), code.size()) << line;
    }
    return rows;
}

template <size_t N>
void expect_same(const vlc_std::PairCode (&carried)[N], const std::string& rel, bool aac) {
    const std::string path = std::string(OKV_SHARED_DIR) + "/tables/" + rel;
    if (!std::ifstream(path)) GTEST_SKIP() << "shared tables not found at " << path;
    const auto rows = read_rows(path, aac);
    ASSERT_EQ(N, rows.size()) << rel;
    for (size_t i = 0; i < N; ++i) {
        EXPECT_EQ(rows[i].x, carried[i].x) << rel << " row " << i;
        EXPECT_EQ(rows[i].y, carried[i].y) << rel << " row " << i;
        EXPECT_EQ(rows[i].length, carried[i].length) << rel << " row " << i;
        EXPECT_EQ(rows[i].code, carried[i].code) << rel << " row " << i;
    }
}

TEST(VlcStdCodes, AacCodebook11) { expect_same(vlc_std::kAacCodebook11, "aac/codebook_11.txt", true); }
TEST(VlcStdCodes, Mp3Table16) { expect_same(vlc_std::kMp3Table16, "mp3/huffman/table_16.txt", false); }
TEST(VlcStdCodes, Mp3Table24) { expect_same(vlc_std::kMp3Table24, "mp3/huffman/table_24.txt", false); }

}  // namespace
