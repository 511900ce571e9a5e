// The version bodies differ by design in the cpu tag and name only: the tags are checked apart.
#include <cstdio>

#include "harness/checkasm.h"

CHECKER(version) {
    if (std::strcmp(OKV_BODY(0, okvacGetLibVersion)()->cpuTag, "u8") || std::strcmp(OKV_BODY(1, okvacGetLibVersion)()->cpuTag, "n8"))
        c.fail("okvacGetLibVersion", "cpu tags");
    c.call("okvacGetLibVersion", [](chk::Arena& a, int v) -> int {
        const LibVersionRecord* r = OKV_BODY(v, okvacGetLibVersion)();
        std::snprintf(a.out<char>(96), 96, "%d %d %d %d %s %s", int(r->verMajor), int(r->verMinor), int(r->verRelease),
                      int(r->verBuild), r->versionText, r->dateText);
        return r == OKV_BODY(v, okvacGetLibVersion)() ? 0 : 1;  // a stable record
    });
}
