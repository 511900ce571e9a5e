#include <stdio.h>

#include <okvac.h>

int main(void) {
    const LibVersionRecord* r = okvacGetLibVersion();
    printf("%s %s\n", r->versionText, r->cpuTag);
    return 0;
}
