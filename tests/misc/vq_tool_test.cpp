// okvac vq end to end: two-step near exhaustive, random far behind, saved codebooks load back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

TEST(VQTool, TwoStepNearExhaustiveOnGaussianMixture) {
    const auto runVq = [](const std::string& args) {  // the dB figure of each result line, by its first word
        std::string cmd = "'";  // appended piecewise: one concatenated expression trips a false -Wrestrict
        cmd += (fs::read_symlink("/proc/self/exe").parent_path() / "okvac").string();
        cmd += "' vq " + args;
        std::map<std::string, double> db;
        std::FILE* p = popen(cmd.c_str(), "r");
        char line[512], name[64];
        double v;
        while (p && std::fgets(line, sizeof line, p))
            if (std::sscanf(line, "%63s %lf dB", name, &v) == 2) db[name] = v;
        EXPECT_TRUE(p && pclose(p) == 0) << cmd;
        return db;
    };
    const std::string file = (fs::temp_directory_path() / ("vq_books_" + std::to_string(getpid()))).string();
    auto db = runVq("--synthetic 4000 --size 64 --dim 16 --cand 8 --save '" + file + "'");
    ASSERT_EQ(db.size(), 4u);
    EXPECT_GE(std::min(db["two-step"], db["combined"]), db["exhaustive"] - 0.3);
    EXPECT_LE(db["random"], db["two-step"] - 6.0);
    EXPECT_GT(db["exhaustive"], 5.0);  // training did something
    EXPECT_EQ(runVq("--synthetic 4000 --cand 8 --load '" + file + "'"), db);
    fs::remove(file);
}
