#pragma once
// carillon-cli's commands: the same search and update job the wizard runs,
// without a display.

#include <cstdio>
#include <string>

#include "cli/CliOptions.h"
#include "cli/Doctor.h"
#include "cli/Reporter.h"
#include "monitor/MonitorSession.h"

namespace carillon::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitNoPrinter = 3,
};

struct Environment {
    std::string programPath;  // argv[0]: the silent mode looks beside it by default
    bool canAsk = false;      // questions may be asked on a terminal
    std::FILE* answers = stdin;
    MonitorTiming timing;  // the monitor's time-outs and pauses (tests shorten them)
    DoctorRoots doctor;
};

int Run(const Options& options, Reporter& reporter, const Environment& environment);

}  // namespace carillon::cli
