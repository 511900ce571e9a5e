/* okvcore: memory and processor-feature services used by libokvacu8. */
#ifndef OKVCORE_H
#define OKVCORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Feature bits of okvGetCpuFeatures / okvGetEnabledCpuFeatures. */
#define OKV_CPU_MMX        0x0001u
#define OKV_CPU_SSE        0x0002u
#define OKV_CPU_SSE2       0x0004u
#define OKV_CPU_SSE3       0x0008u
#define OKV_CPU_SSSE3      0x0010u
/* A low-power in-order core (the Atom Bonnell and Saltwell generations);
   together with SSSE3 it selects the n8 variant. */
#define OKV_CPU_INORDER_LP 0x0020u
#define OKV_CPU_SSE41      0x0040u
#define OKV_CPU_SSE42      0x0080u
#define OKV_CPU_MOVBE      0x0100u
#define OKV_CPU_POPCNT     0x0200u
#define OKV_CPU_AVX        0x0400u /* enabled only when the OS saves the YMM state */
#define OKV_CPU_AVX2       0x0800u /* likewise */
#define OKV_CPU_F16C       0x1000u

/* 64-byte aligned block of len > 0 bytes, or NULL. Thread-safe. */
void* okvMalloc(int32_t len);
/* Releases a block of okvMalloc; NULL is ignored. */
void okvFree(void* p);
/* Features the processor has. Either pointer may be NULL; pCpuidInfo receives
   CPUID leaf 1 (eax, ebx, ecx, edx). Returns 0. */
int32_t okvGetCpuFeatures(uint64_t* pFeatures, uint32_t pCpuidInfo[4]);
/* Features the processor has and the operating system enables. */
uint64_t okvGetEnabledCpuFeatures(void);

#ifdef __cplusplus
}
#endif

#endif
