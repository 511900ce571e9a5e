// The version bodies differ by design in the variant fields only.
#include <cstring>

#include "harness/checkasm.h"

CHECK_EXPORTS(version, "okvacGetLibVersion") {
    const LibVersionRecord* rec[2] = {OKV_BODY(0, okvacGetLibVersion)(), OKV_BODY(1, okvacGetLibVersion)()};
    c.check(std::strcmp(rec[0]->cpuTag, "u8") == 0 && std::strcmp(rec[1]->cpuTag, "n8") == 0, "okvacGetLibVersion",
            "cpu tags");
    // Everything but the tag and the name is common to both records.
    c.call("okvacGetLibVersion", [](chk::Arena& a, int v) -> int {
        const LibVersionRecord* r = OKV_BODY(v, okvacGetLibVersion)();
        Okv32s* nums = a.out<Okv32s>(4);
        nums[0] = r->verMajor;
        nums[1] = r->verMinor;
        nums[2] = r->verRelease;
        nums[3] = r->verBuild;
        char* texts = a.out<char>(64);
        std::memset(texts, 0, 64);
        std::strcat(std::strcat(texts, r->versionText), r->dateText);
        return r == OKV_BODY(v, okvacGetLibVersion)() ? 0 : 1;
    });
}
