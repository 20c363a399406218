#pragma once
// The running program's own file, as the system records it.

#include <string>

namespace carillon::platform {

// Empty when the system cannot tell.
std::string RecordedProgramFile();

}  // namespace carillon::platform
