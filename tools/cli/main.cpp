// carillon-cli: the update job without a display, for a console or a script.

#include <cstdio>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    carillon::cli::Environment environment;
    environment.programPath = argv[0];
    return carillon::cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr, environment);
}
