// okvac: command-line front end of libokvacu8, built only on its exports.
#include <cstring>
#include <string>

#include "command.h"
#include "default_job.h"

namespace okvac {

namespace {
constexpr int kMaxCommands = 32;
const Command* g_commands[kMaxCommands];
int g_count = 0;

void usage(std::FILE* out) {
    std::fprintf(out, "usage: okvac [COMMAND [ARGS...]]\n\nWith no command, runs the default job.\n\nCommands:\n");
    for (int i = 0; i < g_count; ++i) std::fprintf(out, "  %-10s %s\n", g_commands[i]->name, g_commands[i]->summary);
    std::fprintf(out, "\n'okvac COMMAND --help' describes a command.\n");
}
}  // namespace

CommandRegistrar::CommandRegistrar(const Command* cmd) {
    if (g_count < kMaxCommands) g_commands[g_count++] = cmd;
}

const Command* const* commands(int* count) {
    *count = g_count;
    return g_commands;
}

bool wants_help(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) return true;
    return false;
}

}  // namespace okvac

int main(int argc, char** argv) {
    using namespace okvac;
    if (argc < 2) return run_default_job();
    std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        usage(stdout);
        return 0;
    }
    int n;
    const Command* const* cmds = commands(&n);
    for (int i = 0; i < n; ++i) {
        if (name != cmds[i]->name) continue;
        if (wants_help(argc - 1, argv + 1)) {
            cmds[i]->help(stdout);
            return 0;
        }
        return cmds[i]->run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "okvac: unknown command '%s'\n\n", name.c_str());
    usage(stderr);
    return 2;
}
