/* Test-only core services, preloaded ahead of the real ones: reports the
   enabled-feature mask given in OKV_FAKE_ENABLED_MASK. */
#include <stdint.h>
#include <stdlib.h>

static int g_detected;

int32_t okvGetCpuFeatures(uint64_t* pFeatures, uint32_t pCpuidInfo[4]) {
    (void)pCpuidInfo;
    g_detected = 1;
    if (pFeatures) *pFeatures = 0;
    return 0;
}

uint64_t okvGetEnabledCpuFeatures(void) {
    const char* s = getenv("OKV_FAKE_ENABLED_MASK");
    /* The library must ask for detection first; otherwise report a mask that selects n8 wrongly. */
    if (!g_detected) return 0x30;
    return s ? strtoull(s, NULL, 0) : 0;
}
