#pragma once
// Whether cursor and colour escape codes may be written to a stream.

#include <cstdio>

namespace carillon::tools {

// Only on a terminal, not when TERM is "dumb" and not when NO_COLOR is set
// (whatever its value).
bool EscapeCodesAllowed(std::FILE* stream);

}  // namespace carillon::tools
