/* okvcore: aligned allocation and CPUID feature detection. Keeps no state:
   every query asks the processor again, so any thread may call at any time. */
#include "okvcore.h"

#include <cpuid.h>
#include <stdlib.h>

void* okvMalloc(int32_t len) {
    void* p = NULL;
    if (len <= 0 || posix_memalign(&p, 64, (size_t)len) != 0) return NULL;
    return p;
}

void okvFree(void* p) { free(p); }

/* Atom cores that execute in order: Bonnell (0x1C, 0x26) and Saltwell (0x27, 0x35, 0x36). */
static int in_order_low_power(unsigned eax) {
    unsigned family = (eax >> 8) & 0xF, model = (eax >> 4) & 0xF;
    if (family == 6 || family == 15) model |= ((eax >> 16) & 0xF) << 4;
    if (family != 6) return 0;
    return model == 0x1C || model == 0x26 || model == 0x27 || model == 0x35 || model == 0x36;
}

static uint64_t detect(uint32_t regs[4], int* osSavesYmm) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    uint64_t f = 0;
    *osSavesYmm = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    if (regs) { regs[0] = a; regs[1] = b; regs[2] = c; regs[3] = d; }
    if (d & bit_MMX) f |= OKV_CPU_MMX;
    if (d & bit_SSE) f |= OKV_CPU_SSE;
    if (d & bit_SSE2) f |= OKV_CPU_SSE2;
    if (c & bit_SSE3) f |= OKV_CPU_SSE3;
    if (c & bit_SSSE3) f |= OKV_CPU_SSSE3;
    if (c & bit_SSE4_1) f |= OKV_CPU_SSE41;
    if (c & bit_SSE4_2) f |= OKV_CPU_SSE42;
    if (c & bit_MOVBE) f |= OKV_CPU_MOVBE;
    if (c & bit_POPCNT) f |= OKV_CPU_POPCNT;
    if (c & bit_AVX) f |= OKV_CPU_AVX;
    if (c & bit_F16C) f |= OKV_CPU_F16C;
    if (in_order_low_power(a)) f |= OKV_CPU_INORDER_LP;
    int osxsave = (c & bit_OSXSAVE) != 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2)) f |= OKV_CPU_AVX2;
    if ((f & OKV_CPU_AVX) && osxsave) {
        unsigned lo, hi;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        *osSavesYmm = (lo & 6) == 6;
    }
    return f;
}

int32_t okvGetCpuFeatures(uint64_t* pFeatures, uint32_t pCpuidInfo[4]) {
    int ymm;
    uint64_t f = detect(pCpuidInfo, &ymm);
    if (pFeatures) *pFeatures = f;
    return 0;
}

uint64_t okvGetEnabledCpuFeatures(void) {
    int ymm;
    uint64_t f = detect(NULL, &ymm);
    if (!ymm) f &= ~(uint64_t)(OKV_CPU_AVX | OKV_CPU_AVX2 | OKV_CPU_F16C);
    return f;
}
