// Subcommands of the okvac tool register themselves with OKVAC_COMMAND.
#pragma once

#include <cstdio>

namespace okvac {

struct Command {
    const char* name;
    const char* summary;
    void (*help)(std::FILE* out);
    int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
};

const Command* const* commands(int* count);

struct CommandRegistrar {
    explicit CommandRegistrar(const Command* cmd);
};

// True when argv holds -h or --help.
bool wants_help(int argc, char** argv);

}  // namespace okvac

#define OKVAC_COMMAND(id, summary, help_fn, run_fn)                          \
    static const okvac::Command okvac_cmd_##id = {#id, summary, help_fn, run_fn}; \
    static const okvac::CommandRegistrar okvac_reg_##id(&okvac_cmd_##id)
