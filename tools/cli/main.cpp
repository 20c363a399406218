// carillon-cli: the update job without a display, for a console or a script.

#include <unistd.h>

#include <cstdio>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    using namespace carillon::cli;
    const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "carillon-cli: %s\n%s", parsed.error.c_str(), UsageText().c_str());
        return kExitUsage;
    }
    if (parsed.options.command == Command::kHelp) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitDone;
    }
    TextReporter reporter(stdout, stderr, ::isatty(STDOUT_FILENO) != 0);
    Environment environment;
    environment.programPath = argv[0];
    environment.canAsk = ::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0;
    return Run(parsed.options, reporter, environment);
}
