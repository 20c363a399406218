// carillon-cli: the update job without a display, for a console or a script.

#include <unistd.h>

#include <cstdio>

#include "cli/Cli.h"
#include "common/CommandLine.h"
#include "common/Terminal.h"

int main(int argc, char** argv) {
    using namespace carillon::cli;
    const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    const Options& o = parsed.options;
    if (!parsed.error.empty()) {
        if (o.json) JsonReporter(stdout).Problem(parsed.error);
        std::fputs(carillon::tools::UsageErrorText("carillon-cli", parsed.error).c_str(), stderr);
        return kExitUsage;
    }
    if (o.command == Command::kHelp || o.command == Command::kVersion) {
        std::fputs(o.command == Command::kHelp ? UsageText().c_str() : carillon::tools::VersionText("carillon-cli").c_str(), stdout);
        return kExitDone;
    }
    TextReporter text(stdout, stderr, carillon::tools::EscapeCodesAllowed(stderr), o.verbosity);
    JsonReporter json(stdout, o.verbosity);
    Reporter& reporter = o.json ? static_cast<Reporter&>(json) : text;
    Environment environment;
    environment.programPath = argv[0];
    environment.canAsk = !o.json && ::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0;
    return Run(o, reporter, environment);
}
