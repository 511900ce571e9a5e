// The generated parametric-stereo tables against the plain-text standard tables: codewords and
// the subband-to-parameter-band maps exactly, the computed mixing matrices and all-pass factors
// to float precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/okvac/ps/ps_tables_data.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string dir() { return std::string(OKV_SHARED_DIR) + "/tables/ps/"; }

// Data rows of a table file, or of one of its sections.
Rows rows(const std::string& file, const std::string& section = "") {
    std::ifstream in(dir() + file);
    Rows out;
    std::string line, cur;
    while (std::getline(in, line)) {
        if (line.rfind("## section:", 0) == 0) {
            cur = line.substr(12);
            continue;
        }
        if (line.empty() || line[0] == '#' || (!section.empty() && cur != section)) continue;
        std::istringstream ss(line);
        std::vector<std::string> w;
        for (std::string t; ss >> t;) w.push_back(t);
        out.push_back(w);
    }
    return out;
}

template <int N>
void expectCodes(const char* name, const ps_tables::PsCode (&t)[N]) {
    const Rows r = rows(std::string(name) + ".txt");
    ASSERT_EQ(r.size(), size_t(N)) << name;
    for (int i = 0; i < N; ++i) {
        EXPECT_EQ(t[i].len, std::stoi(r[i][1])) << name << " " << i;
        EXPECT_EQ(t[i].code, std::stoul(r[i][2], nullptr, 2)) << name << " " << i;
    }
}

TEST(PsTables, MatchTheSharedText) {
    using namespace ps_tables;
    if (rows("f_huff_icc.txt").size() != 15) GTEST_SKIP() << "shared PS tables not found under " << dir();
    expectCodes("f_huff_iid_def", k_f_huff_iid_def);
    expectCodes("t_huff_iid_def", k_t_huff_iid_def);
    expectCodes("f_huff_iid_fine", k_f_huff_iid_fine);
    expectCodes("t_huff_iid_fine", k_t_huff_iid_fine);
    expectCodes("f_huff_icc", k_f_huff_icc);
    expectCodes("t_huff_icc", k_t_huff_icc);
    expectCodes("f_huff_ipd", k_f_huff_ipd);
    expectCodes("t_huff_ipd", k_t_huff_ipd);
    expectCodes("f_huff_opd", k_f_huff_opd);
    expectCodes("t_huff_opd", k_t_huff_opd);

    for (const bool rb : {false, true}) {
        const Rows r = rows(rb ? "mixing_rb.txt" : "mixing_ra.txt");
        ASSERT_EQ(r.size(), 368u);
        for (const auto& w : r) {
            const bool fine = w[0] == "fine";
            const int iid = std::stoi(w[1]), icc = std::stoi(w[3]);
            const float* h = fine ? (rb ? kRbFine : kRaFine)[iid + 15][icc] : (rb ? kRbDefault : kRaDefault)[iid + 7][icc];
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(h[j], std::atof(w[5 + j].c_str()), 2e-7) << w[0] << " " << iid << " " << icc;
        }
    }

    const auto checkConfig = [](const char* bandsFile, const char* fractFile, const uint8_t* parBand, size_t nBands,
                                const float(*phi)[2], const float(*q)[3][2], size_t nAllpass) {
        const Rows b = rows(bandsFile);
        ASSERT_EQ(b.size(), nBands);
        for (size_t k = 0; k < nBands; ++k) EXPECT_EQ(parBand[k], std::stoi(b[k][4])) << bandsFile << " " << k;
        const Rows f = rows(fractFile);
        ASSERT_EQ(f.size(), nAllpass);
        for (size_t k = 0; k < nAllpass; ++k) {
            EXPECT_NEAR(phi[k][0], std::atof(f[k][2].c_str()), 2e-7);
            EXPECT_NEAR(phi[k][1], std::atof(f[k][3].c_str()), 2e-7);
            for (int m = 0; m < 3; ++m)
                for (int j = 0; j < 2; ++j) EXPECT_NEAR(q[k][m][j], std::atof(f[k][4 + 2 * m + j].c_str()), 2e-7);
        }
    };
    checkConfig("hybrid_bands_20.txt", "fract_delay_20.txt", kParBand20, 71, kPhiFract20, kQFract20, 30);
    checkConfig("hybrid_bands_34.txt", "fract_delay_34.txt", kParBand34, 91, kPhiFract34, kQFract34, 50);

}

}  // namespace
