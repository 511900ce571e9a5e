// The generated tables agree with the standard text: every codeword of every book resolves
// through the two-level lookup to its length and values.
#include <gtest/gtest.h>

#include "aac/huff_aac_data.h"
#include "aac/syntax_stream.h"

namespace {

// Resolves a left-aligned codeword; returns the leaf entry.
uint32_t lookup(const Okv32u* tab, int rootBits, uint32_t w) {
    uint32_t e = tab[w >> (32 - rootBits)];
    if (e & 0x20) e = tab[(e >> 8) + ((w << rootBits) >> (32 - (e & 31)))];
    return e;
}

}  // namespace

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
