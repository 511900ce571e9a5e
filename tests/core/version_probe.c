/* Prints the cpu tag of the selected variant and whether the record pointer is stable. */
#include <stdio.h>

#include "okvac.h"

int main(void) {
    const LibVersionRecord* r = okvacGetLibVersion();
    int stable = 1;
    for (int i = 0; i < 1000; ++i) stable &= okvacGetLibVersion() == r;
    printf("cpuTag=%s %s\n", r->cpuTag, stable ? "stable" : "unstable");
    return 0;
}
