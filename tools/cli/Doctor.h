#pragma once

#include <string>
#include <vector>

#include "cli/Reporter.h"

namespace carillon::cli {

// Where the doctor looks; tests point it at directories of their own.
struct DoctorRoots {
    std::string proc = "/proc";
    std::vector<std::string> udevRules = {"/etc/udev/rules.d", "/lib/udev/rules.d", "/usr/lib/udev/rules.d"};
};

// Checks what keeps flashing from working on this machine, one line per
// check with its fix; with fix, sets high USB-serial latency timers to 1 ms.
// Returns the exit status: done when every check passed, failed otherwise.
int RunDoctor(bool fix, Reporter& reporter, const DoctorRoots& roots = {});

}  // namespace carillon::cli
