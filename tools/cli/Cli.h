#pragma once
// carillon-cli's commands: the same search and update job the wizard runs,
// without a display.

#include <cstdio>
#include <string>
#include <vector>

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
    std::FILE* results = stdout;      // where a fleet's table goes
    std::FILE* diagnostics = stderr;  // where --trace writes
    MonitorTiming timing;  // the monitor's time-outs and pauses (tests shorten them)
    DoctorRoots doctor;
};

int Run(const Options& options, Reporter& reporter, const Environment& environment);

// The setup file the program reads (in SetupData beside it, or the installed
// system-wide one); empty when there is none.
std::string ProgramSetupFile(const Environment& env);

// The whole program on its arguments (without the program name): results on
// out; progress, notes, questions and usage errors on err. Returns the exit
// status.
int RunCommandLine(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err, Environment environment);

}  // namespace carillon::cli
