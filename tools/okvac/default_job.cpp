// okvac without arguments: the version record, a check of every export, and
// the decoding of the built-in MP3 sample.
#include "default_job.h"

#include "mp3/mp3_demo.h"

namespace okvac {

int run_default_job() {
    print_version();
    int rc = check_exports();
    return run_mp3_demo() || rc;
}

}  // namespace okvac
