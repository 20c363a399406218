#pragma once
// A forced update skips the package checks, so a package without firmware
// for a location that holds firmware today rewrites that location's table
// without it. The job names such entries and asks before it happens.

#include <cstdint>
#include <string>
#include <vector>

#include "package/ElementList.h"

namespace carillon {

// The question the job asks; front-ends may recognise it by this start.
inline constexpr const char* kForcedRemovalQuestion = "The forced update removes from the printer's tables:";

struct FirmwareEntry {
    std::int32_t location;
    std::string name;
};

// The firmware entries of the printer's tables, as read.
std::vector<FirmwareEntry> FirmwareEntries(const CElementList& tables);

// The question naming those entries whose location gets no firmware from
// the package, or empty when none would disappear.
std::string ForcedRemovalQuestion(const std::vector<FirmwareEntry>& today, const CElementList& package);

}  // namespace carillon
