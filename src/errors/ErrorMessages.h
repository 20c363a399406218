#pragma once

#include <string>

#include "errors/ErrorCode.h"

namespace carillon {

// The English text of a code, as the wizard shows it. Stateless; safe to call
// from any thread.
std::string GetErrorMessage(ErrorCode code);

}  // namespace carillon
