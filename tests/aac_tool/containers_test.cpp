// The AAC front-end's pure parts: the bound behind each frame's zero guard and the generated SBR
// tables (framing, channel layouts and WAV headers are checked end to end on the conformance streams).
#include <gtest/gtest.h>

#include "aac/syntax_stream.h"
#include "aac_tool_util.h"

namespace fs = std::filesystem;

// The tool's sources are built into this test directly.
#include "../../tools/okvac/aac/element_bounds.h"
#include "../../tools/okvac/aac/sf_codebook.h"

// The guard after each frame rests on the costliest coefficient coding: no codebook may cost more
// bits per coefficient (codeword, signs of unsigned books, escapes of book 11) than the bound; the
// scalefactor codebook used for coupling gains is the shared one. The generated SBR tables are
// those the generator makes from the shared text.
TEST(AacContainers, ElementBoundAndGeneratedTables) {
    const aactest::Codebook sf = aactest::loadBook(0);
    const fs::path text = fs::path(OKV_SHARED_DIR) / "tables" / "sbr", tools = fs::path(OKV_SOURCE_DIR) / "tools";
    const fs::path fresh = fs::temp_directory_path() / "okvac_sbr_tables.h";
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
            for (int v : cb.values[i]) {
                bits += book >= 3 && book != 5 && book != 6 && v;  // a sign bit
                bits += (book == 11 && std::abs(v) == 16) * aacbounds::kEscapeBits;
            }
            EXPECT_LE(bits * 2, aacbounds::kSpectralBitsPerPair * int(cb.values[i].size())) << "book " << book;
        }
    }
    const std::string gen = "python3 " + aactool::q(tools / "gen/gen_sbr_decoder_tables.py");
    ASSERT_EQ(aactool::shell(gen + " " + aactool::q(text) + " " + aactool::q(fresh)), 0);
    const std::vector<uint8_t> made = aactool::readFile(fresh);
    fs::remove(fresh);
    EXPECT_TRUE(!made.empty() && made == aactool::readFile(tools / "okvac/sbr/sbr_tables_data.h"));
}
