#include "common/Terminal.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace carillon::tools {

bool EscapeCodesAllowed(std::FILE* stream) {
    const char* term = std::getenv("TERM");
    if (std::getenv("NO_COLOR") != nullptr || (term != nullptr && std::strcmp(term, "dumb") == 0)) return false;
    return ::isatty(::fileno(stream)) != 0;
}

}  // namespace carillon::tools
