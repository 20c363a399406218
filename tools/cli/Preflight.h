#pragma once
// What update, verify and plan check before any port is opened: a package
// that cannot be loaded, or an output binary that would replace an input or
// could not be written, must not leave the printer in its monitor.

#include "cli/CliOptions.h"
#include "cli/Reporter.h"

namespace carillon::cli {

// kExitDone when the files are usable; otherwise reports why and returns
// the exit status (2 for an output that is an input, 1 for the rest).
int CheckFilesBeforeConnecting(const Options& options, Reporter& reporter);

}  // namespace carillon::cli
