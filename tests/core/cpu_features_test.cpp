// Processor features of the core library against the kernel's own report in /proc/cpuinfo, and its
// in-order core test on every family and model. The core's source is built in here under other
// names, so that its internal test is reachable.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include <cpuid.h>

// A fake processor while `fake` is set: leaf 1 answers eax, ecx and edx, leaf 7 ebx, everything else zero.
struct FakeCpu {
    unsigned eax, ecx, edx, ebx7;
};
static const FakeCpu* fake = nullptr;
static int testCpuidCount(unsigned leaf, unsigned sub, unsigned* a, unsigned* b, unsigned* c, unsigned* d) {
    if (!fake) return __get_cpuid_count(leaf, sub, a, b, c, d);
    *a = leaf == 1 ? fake->eax : 0;
    *b = leaf == 7 ? fake->ebx7 : 0;
    *c = leaf == 1 ? fake->ecx : 0;
    *d = leaf == 1 ? fake->edx : 0;
    return 1;
}
static int testCpuid(unsigned leaf, unsigned* a, unsigned* b, unsigned* c, unsigned* d) {
    return testCpuidCount(leaf, 0, a, b, c, d);
}
#define __get_cpuid testCpuid
#define __get_cpuid_count testCpuidCount
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

// Each feature bit of a fake processor alone gives its flag alone; without OSXSAVE the YMM state is not saved.
TEST(CpuFeatures, EachBitOfAFakeProcessor) {
    const std::tuple<unsigned FakeCpu::*, unsigned, uint64_t> kBits[] = {
        {&FakeCpu::edx, bit_MMX, OKV_CPU_MMX},       {&FakeCpu::edx, bit_SSE, OKV_CPU_SSE},
        {&FakeCpu::edx, bit_SSE2, OKV_CPU_SSE2},     {&FakeCpu::ecx, bit_SSE3, OKV_CPU_SSE3},
        {&FakeCpu::ecx, bit_SSSE3, OKV_CPU_SSSE3},   {&FakeCpu::ecx, bit_SSE4_1, OKV_CPU_SSE41},
        {&FakeCpu::ecx, bit_SSE4_2, OKV_CPU_SSE42},  {&FakeCpu::ecx, bit_MOVBE, OKV_CPU_MOVBE},
        {&FakeCpu::ecx, bit_POPCNT, OKV_CPU_POPCNT}, {&FakeCpu::ecx, bit_AVX, OKV_CPU_AVX},
        {&FakeCpu::ecx, bit_F16C, OKV_CPU_F16C},     {&FakeCpu::ebx7, bit_AVX2, OKV_CPU_AVX2}};
    for (const auto& [reg, bit, flag] : kBits) {
        FakeCpu cpu{};
        cpu.*reg = bit;
        fake = &cpu;
        int ymm = -1;
        EXPECT_EQ(detect(nullptr, &ymm), flag) << flag;
        EXPECT_EQ(ymm, 0) << flag;
    }
    fake = nullptr;
}
