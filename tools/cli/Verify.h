#pragma once

#include <string>

#include "cli/Reporter.h"

namespace carillon {
class CCommandGenerator;
class CPort;
}  // namespace carillon

namespace carillon::cli {

// Reads every element of the package back from the printer on port, through
// the engine's own commands (connect, read the file tables, read one element),
// compares bytes and CRC, reports each element and releases the monitor.
// Returns the exit status: done, failed (a mismatch) or no printer.
int VerifyPackage(CCommandGenerator& engine, CPort* port, const std::string& package, Reporter& reporter);

}  // namespace carillon::cli
