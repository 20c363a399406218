#pragma once

#include "cli/CliOptions.h"
#include "cli/Reporter.h"

namespace carillon {
class CPort;
struct MonitorTiming;
}  // namespace carillon

namespace carillon::cli {

// Checks the output binary whole, then brings the printer on port into its
// monitor and, unless the binary would touch a reserved sector or an absent
// location, or rewrites the tables of another family (allowed with force),
// sends its packets; frames, when given, sees each of them. Returns the exit
// status.
int ReplayOutputBinary(const std::string& file, CPort* port, const MonitorTiming& timing, bool force,
                       FrameObserver* frames, Reporter& reporter);

}  // namespace carillon::cli
