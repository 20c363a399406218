// Kept apart: the kernel's termios2 header cannot share a translation unit
// with the C library's <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "ports/SerialLine.h"

namespace carillon::serial {

bool SetFreeBaudRate(int fd, std::uint32_t baudRate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baudRate;
    t.c_ospeed = baudRate;
    if (::ioctl(fd, TCSETS2, &t) != 0) return false;
    return RunsAt(fd, baudRate);
}

bool RunsAt(int fd, std::uint32_t baudRate) {
    struct termios2 t {};
    return ::ioctl(fd, TCGETS2, &t) == 0 && t.c_ospeed == baudRate && t.c_ispeed == baudRate;
}

bool GetBaudRate(int fd, std::uint32_t* baudRate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    *baudRate = t.c_ospeed;
    return true;
}

}  // namespace carillon::serial
