// The version bodies differ by design in the cpu tag and name only.
#include <cstring>

#include "harness/checkasm.h"

CHECK_EXPORTS(version, "okvacGetLibVersion") {
    const LibVersionRecord* rec[2] = {OKV_BODY(0, okvacGetLibVersion)(), OKV_BODY(1, okvacGetLibVersion)()};
    c.check(!std::strcmp(rec[0]->cpuTag, "u8") && !std::strcmp(rec[1]->cpuTag, "n8"), "okvacGetLibVersion", "cpu tags");
    c.call("okvacGetLibVersion", [](chk::Arena& a, int v) -> int {
        const LibVersionRecord* r = OKV_BODY(v, okvacGetLibVersion)();
        const Okv32s nums[4] = {r->verMajor, r->verMinor, r->verRelease, r->verBuild};
        std::memcpy(a.out<Okv32s>(4), nums, sizeof nums);
        char* texts = a.out<char>(64);
        std::memset(texts, 0, 64);
        std::strcat(std::strcat(texts, r->versionText), r->dateText);
        return r == OKV_BODY(v, okvacGetLibVersion)() ? 0 : 1;  // a stable record
    });
}
