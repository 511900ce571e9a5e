// Parametric-stereo hybrid analysis against the direct 13-tap form with the shared prototypes:
// y_q[n] = sum_k g[k] x[n + k] exp(-j 2 pi / Q (q + 1/2)(k - 6)) for the complex banks, the
// low band and its complement for the real one. The Q outputs of a slot sum to x[n + 6];
// positions Q..11 of every row keep their contents; refusals write nothing.
#include <gtest/gtest.h>

#include <complex>
#include <map>
#include <sstream>

#include "qmf_test_util.h"

TEST(PsHybrid, MatchesDirectFormAndSumsToTheCentre) {
    const int kQ[5] = {2, 4, 8, 8, 12};
    const char* section[5] = {"p2_13_20", "p4_13_34", "p8_13_20", "p8_13_34", "p12_13_34"};
    std::ifstream f(std::string(OKV_SHARED_DIR) + "/tables/ps/hybrid_filters.txt");
    std::map<std::string, std::vector<double>> protos;
    std::string cur;
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("## section: ", 0) == 0) cur = line.substr(12);
        std::istringstream is(line);
        double n, g;
        if (!line.empty() && line[0] != '#' && !cur.empty() && is >> n >> g) protos[cur].push_back(g);
    }
    const std::vector<float> x = qmftest::noise(88, 1);
    for (int mode = 0; mode < 5; ++mode) {
        std::vector<float> y(32 * 24, -3.0f);
        ASSERT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), mode), okvOk);
        for (int n = 0; n < 32; ++n) {
            std::complex<double> sum = 0;
            for (int q = 0; q < kQ[mode]; ++q) {
                const std::complex<double> got(y[24 * n + 2 * q], y[24 * n + 2 * q + 1]);
                std::complex<double> ref = 0;
                for (int k = 0; k < 13 && protos.size() == 5; ++k) {
                    const double a = mode == 0 ? M_PI * q * (k - 6) : -2 * M_PI / kQ[mode] * (q + 0.5) * (k - 6);
                    ref += protos.at(section[mode])[k] * std::complex<double>(x[2 * (n + k)], x[2 * (n + k) + 1]) *
                           (mode == 0 ? std::cos(a) : std::polar(1.0, a));
                }
                sum += got;
                EXPECT_TRUE(protos.size() < 5 || std::abs(got - ref) <= 2e-6) << mode << " " << n << " " << q;
            }
            EXPECT_LE(std::abs(sum - std::complex<double>(x[2 * (n + 6)], x[2 * (n + 6) + 1])), 3e-6) << mode << " " << n;
            for (int i = 2 * kQ[mode]; i < 24; ++i) ASSERT_EQ(y[24 * n + i], -3.0f);
        }
    }
    std::vector<float> y(32 * 24, 9.0f);
    EXPECT_EQ(qmftest::firstNullNotRefused([](auto... p) { return okvsAnalysisFilter_PS_32fc_D2(p..., 9); }, x.data(), y.data()), -1);
    EXPECT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), 5), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisFilter_PS_32fc_D2(x.data(), y.data(), -1), okvErrBadArg);
    EXPECT_EQ(y, std::vector<float>(32 * 24, 9.0f));
    if (protos.size() < 5) GTEST_SKIP() << "shared hybrid prototypes absent: direct form not compared";
}
