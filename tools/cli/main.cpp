// carillon-cli: the update job without a display, for a console or a script.

#include <unistd.h>

#include <cstdio>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    using namespace carillon::cli;
    const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    TextReporter text(stdout, stderr, ::isatty(STDOUT_FILENO) != 0);
    JsonReporter json(stdout);
    Reporter& reporter = parsed.options.json ? static_cast<Reporter&>(json) : text;
    if (!parsed.error.empty()) {
        reporter.Problem(parsed.error);
        if (!parsed.options.json) std::fputs(UsageText().c_str(), stderr);
        return kExitUsage;
    }
    if (parsed.options.command == Command::kHelp) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitDone;
    }
    Environment environment;
    environment.programPath = argv[0];
    environment.canAsk = !parsed.options.json && ::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0;
    return Run(parsed.options, reporter, environment);
}
