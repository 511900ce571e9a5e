// Processor features of the core library against the kernel's own report in /proc/cpuinfo, and its
// in-order core test on every family and model. The core's source is built in here under other
// names, so that its internal test is reachable.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#define okvMalloc coreMalloc
#define okvFree coreFree
#define okvGetCpuFeatures coreGetCpuFeatures
#define okvGetEnabledCpuFeatures coreGetEnabledCpuFeatures
#include "okvcore/okvcore.c"

TEST(CpuFeatures, AgreeWithTheKernelsReport) {
    std::ifstream f("/proc/cpuinfo");
    std::map<std::string, std::string> info;  // the first processor's fields
    for (std::string line; std::getline(f, line) && !line.empty();)
        if (const size_t colon = line.find(':'); colon != std::string::npos)
            info.emplace(line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1), line.substr(colon + 1));
    if (!info.count("flags") || !info.count("model")) GTEST_SKIP() << "no processor description in /proc/cpuinfo";
    const std::string flags = info["flags"] + " ";
    const std::pair<uint64_t, const char*> kBits[] = {
        {OKV_CPU_MMX, "mmx"},      {OKV_CPU_SSE, "sse"},        {OKV_CPU_SSE2, "sse2"},     {OKV_CPU_SSE3, "pni"},
        {OKV_CPU_SSSE3, "ssse3"},  {OKV_CPU_SSE41, "sse4_1"},   {OKV_CPU_SSE42, "sse4_2"},  {OKV_CPU_MOVBE, "movbe"},
        {OKV_CPU_POPCNT, "popcnt"}, {OKV_CPU_AVX, "avx"},       {OKV_CPU_AVX2, "avx2"},     {OKV_CPU_F16C, "f16c"}};
    uint64_t all = 0;
    uint32_t regs[4] = {};
    ASSERT_EQ(okvGetCpuFeatures(&all, regs), 0);
    // The kernel lists the YMM features only when the OS saves that state, as the enabled set does.
    const uint64_t enabled = okvGetEnabledCpuFeatures(), ymm = OKV_CPU_AVX | OKV_CPU_AVX2 | OKV_CPU_F16C;
    for (const auto& [bit, flag] : kBits)
        EXPECT_EQ((enabled & bit) != 0, flags.find(std::string(" ") + flag + " ") != std::string::npos) << flag;
    EXPECT_EQ(all & ~ymm, enabled & ~ymm);
    const auto atom = [](int fam, int m) { return fam == 6 && (m == 0x1C || m == 0x26 || m == 0x27 || m == 0x35 || m == 0x36); };
    const int family = std::stoi(info["cpu family"]);
    EXPECT_EQ((all & OKV_CPU_INORDER_LP) != 0, atom(family, std::stoi(info["model"])));
    EXPECT_EQ((regs[0] >> 8) & 0xF, unsigned(family < 15 ? family : 15));  // leaf 1 EAX comes back too
    // Every family and model; stepping, type and extended family ignored.
    for (int fam = 0; fam < 16; ++fam)
        for (int model = 0; model < 256; ++model)
            ASSERT_EQ(in_order_low_power(0x0FF0300Fu | unsigned(model >> 4) << 16 | unsigned(fam << 8 | (model & 15) << 4)),
                      atom(fam, model)) << fam << " " << model;
}
