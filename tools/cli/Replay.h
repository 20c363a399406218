#pragma once

#include "cli/CliOptions.h"
#include "cli/Reporter.h"

namespace carillon {
class CPort;
struct MonitorTiming;
}  // namespace carillon

namespace carillon::cli {

// Checks the output binary whole, then sends its packets to the printer on
// port, brought into its monitor as a connection does. Returns the exit status.
int ReplayOutputBinary(const std::string& file, CPort* port, const MonitorTiming& timing, Reporter& reporter);

}  // namespace carillon::cli
