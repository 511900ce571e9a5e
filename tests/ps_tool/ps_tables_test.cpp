// The generated parametric-stereo tables against the shared text tables: codewords and the
// subband-to-parameter-band maps exactly, mixing matrices and all-pass factors to float precision.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/okvac/ps/ps_tables_data.h"

namespace {

using namespace ps_tables;
using Rows = std::vector<std::vector<std::string>>;

// Data rows of a shared table file, split into words.
Rows rows(const std::string& file) {
    std::ifstream in(std::string(OKV_SHARED_DIR) + "/tables/ps/" + file);
    Rows out;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ss(line);
        out.emplace_back();
        for (std::string t; ss >> t;) out.back().push_back(t);
    }
    return out;
}
double num(const std::string& s) { return std::stod(s); }

TEST(PsTables, MatchTheSharedText) {
    if (rows("f_huff_icc.txt").size() != 15) GTEST_SKIP() << "shared PS tables absent";
    struct Codes {
        const char* name;
        const PsCode* t;
        size_t n;
    };
#define CODES(x) {#x, k_##x, std::size(k_##x)}
    const Codes codes[] = {CODES(f_huff_iid_def), CODES(t_huff_iid_def), CODES(f_huff_iid_fine), CODES(t_huff_iid_fine),
                           CODES(f_huff_icc),     CODES(t_huff_icc),     CODES(f_huff_ipd),      CODES(t_huff_ipd),
                           CODES(f_huff_opd),     CODES(t_huff_opd)};
#undef CODES
    for (const Codes& c : codes) {
        const Rows r = rows(std::string(c.name) + ".txt");
        ASSERT_EQ(r.size(), c.n) << c.name;
        for (size_t i = 0; i < c.n; ++i) {
            EXPECT_EQ(c.t[i].len, std::stoi(r[i][1])) << c.name << " " << i;
            EXPECT_EQ(c.t[i].code, std::stoul(r[i][2], nullptr, 2)) << c.name << " " << i;
        }
    }
    for (const bool rb : {false, true}) {
        const Rows r = rows(rb ? "mixing_rb.txt" : "mixing_ra.txt");
        ASSERT_EQ(r.size(), 368u);
        for (const auto& w : r) {
            const int iid = std::stoi(w[1]), icc = std::stoi(w[3]);
            const float* h = w[0] == "fine" ? (rb ? kRbFine : kRaFine)[iid + 15][icc]
                                            : (rb ? kRbDefault : kRaDefault)[iid + 7][icc];
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(h[j], num(w[5 + j]), 2e-7) << w[0] << " " << iid << " " << icc;
        }
    }
    const auto config = [](const char* bandsFile, const char* fractFile, const uint8_t* parBand, size_t nBands,
                           const float (*phi)[2], const float (*q)[3][2], size_t nAllpass) {
        const Rows b = rows(bandsFile), f = rows(fractFile);
        ASSERT_EQ(b.size(), nBands);
        ASSERT_EQ(f.size(), nAllpass);
        for (size_t k = 0; k < nBands; ++k) EXPECT_EQ(parBand[k], std::stoi(b[k][4])) << bandsFile << " " << k;
        for (size_t k = 0; k < nAllpass; ++k)
            for (int j = 0; j < 8; ++j)
                EXPECT_NEAR(j < 2 ? phi[k][j] : q[k][(j - 2) / 2][j % 2], num(f[k][2 + j]), 2e-7) << fractFile << " " << k;
    };
    config("hybrid_bands_20.txt", "fract_delay_20.txt", kParBand20, 71, kPhiFract20, kQFract20, 30);
    config("hybrid_bands_34.txt", "fract_delay_34.txt", kParBand34, 91, kPhiFract34, kQFract34, 50);
}

}  // namespace
