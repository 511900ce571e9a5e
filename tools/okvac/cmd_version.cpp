// okvac version: the selected variant's version record, and the export check.
#include <dlfcn.h>

#include <string_view>

#include "command.h"
#include "default_job.h"
#include "okvac.h"

namespace okvac {

const char* const kExports[] = {
#define X(name) name,
#include "okvac_export_names.inc"
#undef X
};

void print_version() {
    const LibVersionRecord* r = okvacGetLibVersion();
    std::printf("%s %s (%s), variant %s, version %d.%d.%d build %d\n", r->nameText, r->versionText, r->dateText,
                r->cpuTag, r->verMajor, r->verMinor, r->verRelease, r->verBuild);
}

// Every export of the list must resolve in the loaded library.
int check_exports() {
    int missing = 0;
    for (const char* name : kExports) {
        if (!dlsym(RTLD_DEFAULT, name)) {
            std::fprintf(stderr, "okvac: export %s does not resolve\n", name);
            ++missing;
        }
    }
    int n = static_cast<int>(sizeof kExports / sizeof kExports[0]);
    std::printf("%d of %d exports resolve\n", n - missing, n);
    return missing ? 1 : 0;
}

}  // namespace okvac

namespace {
using okvac::print_version;
using okvac::check_exports;

void help(std::FILE* out) {
    std::fprintf(out, "usage: okvac version [--check]\n\nPrints the version record of the selected processor variant.\n"
                      "--check also verifies that every export of the library resolves.\n");
}

int run(int argc, char** argv) {
    print_version();
    return argc > 1 && std::string_view(argv[1]) == "--check" ? check_exports() : 0;
}

}  // namespace

OKVAC_COMMAND(version, "print the library's version record", help, run);
