// The built-in MP3 sample that okvac decodes when called without arguments.
#pragma once

namespace okvac {
// Decodes the sample and prints a one-line summary on stdout; 0 when every frame decoded.
int run_mp3_demo();
}  // namespace okvac
