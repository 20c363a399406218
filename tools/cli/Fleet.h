#pragma once
// Several printers in one run: update, verify or plan every --port given, or
// with --all every printer the search finds, each on its own port and engine
// at the same time, then one table of results.

#include <cstdio>
#include <optional>
#include <string>

#include "cli/Cli.h"

namespace carillon::cli {

// True when the options name more than one printer, or all of them.
bool IsFleet(const Options& options);

// Reports go to reporter (notes, problems) and to out and err (the live
// lines, the table). Exit 0 when every printer succeeded, 1 when any
// failed, 3 when no printer was found.
int RunFleet(const Options& options, Reporter& reporter, const Environment& environment, std::FILE* out,
             std::FILE* err);

// The output binary of one printer: {port} becomes its port's name, {index}
// its 1-based place among the printers. Nothing (and *error set) for an
// unknown field, or for a pattern that would give several printers one file.
std::optional<std::string> FleetOutputPath(const std::string& pattern, const std::string& port, std::size_t index,
                                           std::size_t printers, std::string* error);

}  // namespace carillon::cli
