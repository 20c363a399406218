#pragma once
// The command line of carillon-pkg.

#include <iosfwd>
#include <string>
#include <vector>

namespace carillon::pkgtool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

extern const char* const kUsage;

// Runs one command; args are the words after the program name. Returns the
// exit status: 0 on success, 1 when the command fails, 2 on a usage error.
int RunPkgTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace carillon::pkgtool
