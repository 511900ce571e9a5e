// The version record of this variant.
#include "core/okv_internal.h"

namespace OKV_NS {

namespace {
#if OKV_VARIANT == 1
constexpr LibVersionRecord kVersion = {8, 2, 1, 44077, {'n', '8', 0, 0},
                                       "okvAC Lumo (n8 threaded)", "8.2.1 (r44077)", "Oct  9 2014"};
#else
constexpr LibVersionRecord kVersion = {8, 2, 1, 44077, {'u', '8', 0, 0},
                                       "okvAC SSSE3 (u8 threaded)", "8.2.1 (r44077)", "Oct  9 2014"};
#endif
}  // namespace

const LibVersionRecord* okvacGetLibVersion(void) { return &kVersion; }

}  // namespace OKV_NS
