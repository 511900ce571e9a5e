/* Load-time choice of the processor variant. */
#include <stddef.h>
#include <stdint.h>

#include "okvcore/okvcore.h"

/* 0 selects the u8 bodies, 1 the n8 bodies; written once while loading. */
__attribute__((visibility("hidden"))) uint32_t okvJumpIndexForMergedDLL = 0;

__attribute__((constructor)) static void okv_select_variant(void) {
    okvGetCpuFeatures(NULL, NULL);
    uint64_t enabled = okvGetEnabledCpuFeatures();
    uint64_t lowPowerSsse3 = OKV_CPU_SSSE3 | OKV_CPU_INORDER_LP;
    okvJumpIndexForMergedDLL = (enabled & lowPowerSsse3) == lowPowerSsse3 ? 1u : 0u;
}
