// atlys-cli: scripted access to the Atlys board over the same link as the panel.

#include "arguments.h"
#include "commands.h"
#include "exit_codes.h"
#include "help_text.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    using namespace atlys::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedArguments parsed = parse_arguments(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "atlys-cli: %s\n", parsed.error.c_str());
        return kExitUsage;
    }
    if (parsed.options.help) {
        std::fputs(help_text(parsed.options.command).c_str(), stdout);
        return kExitSuccess;
    }
    return run_command(parsed.options);
}
