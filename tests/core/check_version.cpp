// The version bodies differ by design in the cpu tag and name only: the tags are checked apart.
#include <cstdio>

#include "harness/checkasm.h"

CHECKER(version) {
    for (int v = 0; v < 2; ++v)
        if (std::strcmp(OKV_BODY(v, okvacGetLibVersion)()->cpuTag, v ? "n8" : "u8")) c.fail("okvacGetLibVersion", "cpu tag");
    c.call("okvacGetLibVersion", [](chk::Arena& a, int v) -> int {
        const LibVersionRecord* r = OKV_BODY(v, okvacGetLibVersion)();
        std::snprintf(a.out<char>(96), 96, "%d %d %d %d %s %s", int(r->verMajor), int(r->verMinor), int(r->verRelease),
                      int(r->verBuild), r->versionText, r->dateText);
        return r == OKV_BODY(v, okvacGetLibVersion)() ? 0 : 1;  // a stable record
    });
}
