#pragma once
// What update, verify and plan check before any port is opened: a package
// that cannot be loaded, or an output binary that would replace an input or
// could not be written, must not leave the printer in its monitor.

#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Reporter.h"

namespace carillon::cli {

// kExitDone when the files are usable; otherwise reports why and returns
// the exit status (2 for an output that is an input, 1 for the rest).
// otherInputs: files read besides the package (the setup file).
int CheckFilesBeforeConnecting(const Options& options, const std::vector<std::string>& otherInputs, Reporter& reporter);

}  // namespace carillon::cli
