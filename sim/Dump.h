#pragma once
// Text of a printer's flash for --dump: each present location's file table,
// entry by entry with a check of its data against its CRC, and a sector map.

#include <string>

#include "sim/VirtualPrinter.h"

namespace carillon::sim {

std::string DumpFlash(const VirtualPrinter& printer);

}  // namespace carillon::sim
