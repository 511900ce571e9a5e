// okvac without arguments: the version record and a check of every export.
#include "default_job.h"

namespace okvac {

int run_default_job() {
    print_version();
    return check_exports();
}

}  // namespace okvac
