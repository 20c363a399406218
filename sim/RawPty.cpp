#include "sim/RawPty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace carillon::sim {

bool OpenRawPty(int* master, int* slave, std::string* path, std::string* error) {
    const auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    *master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*master < 0) return fail("posix_openpt");
    char name[128];
    if (::grantpt(*master) != 0 || ::unlockpt(*master) != 0 || ::ptsname_r(*master, name, sizeof name) != 0)
        return fail("pty setup");
    *slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*slave < 0) return fail(name);
    // Raw from the start: an echoing terminal would send the printer's answers back to it.
    termios t{};
    ::tcgetattr(*slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(*slave, TCSANOW, &t);
    ::fcntl(*master, F_SETFL, ::fcntl(*master, F_GETFL) | O_NONBLOCK);
    *path = name;
    return true;
}

}  // namespace carillon::sim
