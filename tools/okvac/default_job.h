// The job okvac runs when called without arguments, and the version helpers it uses.
#pragma once

namespace okvac {
int run_default_job();
void print_version();
int check_exports();  // 0 when every export of the library resolves
}  // namespace okvac
