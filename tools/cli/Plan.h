#pragma once

#include <string>

#include "cli/Reporter.h"

namespace carillon {
class CCommandGenerator;
class CPort;
}  // namespace carillon

namespace carillon::cli {

// Connects, reads the tables, loads and checks the package, adds the
// parameter areas and places every element, as an update would, without
// erasing or writing anything; reports per location a sector map and the
// erases and writes an update would make, and what they cost on the line.
int PlanPackage(CCommandGenerator& engine, CPort* port, const std::string& package, Reporter& reporter);

}  // namespace carillon::cli
