#pragma once
// The command line of carillon-vprinter.

#include <string>

#include "sim/Chatter.h"
#include "sim/Config.h"

namespace carillon::sim {

struct Options {
    PrinterConfig config;
    bool usb = false;
    std::string flashFile;
    bool dump = false;
    std::string verifyPackage;
    bool trace = false;
    bool help = false;
    bool version = false;
    ChatterKind chatter = ChatterKind::kNone;  // no printer: a device that only talks
    // Given on the command line, so a flash file must agree with them.
    bool familyGiven = false, chipGiven = false;
};

// False with a message on a bad option or value. argv[0] is the program.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);
const char* UsageText();

}  // namespace carillon::sim
