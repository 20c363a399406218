#include "ports/SerialLine.h"

#include <sys/ioctl.h>
#include <termios.h>

#include "ports/PortSettings.h"

namespace carillon::serial {
namespace {

struct RateConstant {
    std::uint32_t rate;
    speed_t constant;
};

constexpr RateConstant kRates[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

// 28800 has no constant; it goes through the free-rate interface.
constexpr std::uint32_t kFreeRates[] = {28800};

bool LookUpConstant(std::uint32_t rate, speed_t* constant) {
    for (const auto& r : kRates) {
        if (r.rate == rate) {
            *constant = r.constant;
            return true;
        }
    }
    return false;
}

bool IsFreeRate(std::uint32_t rate) {
    for (auto r : kFreeRates) {
        if (r == rate) return true;
    }
    return false;
}

std::uint32_t HandshakeOf(const termios& t) {
    if (t.c_cflag & CRTSCTS) return kHandshakeRtsCts;
    if ((t.c_iflag & IXON) && (t.c_iflag & IXOFF)) return kHandshakeXonXoff;
    return kHandshakeNone;
}

}  // namespace

bool ConfigureLine(int fd, std::uint32_t baudRate, std::uint32_t handshake) {
    speed_t constant = B9600;
    const bool freeRate = IsFreeRate(baudRate);
    if (!freeRate && !LookUpConstant(baudRate, &constant)) return false;
    if (handshake < kHandshakeRtsCts || handshake > kHandshakeNone) return false;

    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    // 8N1, receiver on, modem status ignored for opening and hang-up, DTR not
    // dropped and raised again around each open.
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK | IGNBRK);
    // Reads return at once with what is buffered; the port does its own waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    if (handshake == kHandshakeRtsCts) t.c_cflag |= CRTSCTS;
    if (handshake == kHandshakeXonXoff) t.c_iflag |= IXON | IXOFF;
    // No input rate of its own: an earlier free rate's would stay in place.
    t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
    ::cfsetispeed(&t, constant);
    ::cfsetospeed(&t, constant);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;

    // tcsetattr succeeds when any part took effect; check the parts that matter.
    termios check{};
    if (::tcgetattr(fd, &check) != 0) return false;
    if (HandshakeOf(check) != handshake) return false;
    if ((check.c_cflag & CSIZE) != CS8 || (check.c_cflag & (PARENB | CSTOPB))) return false;
    if (freeRate) return SetFreeBaudRate(fd, baudRate);
    return ::cfgetospeed(&check) == constant && RunsAt(fd, baudRate);
}

void SetModemLines(int fd, std::uint32_t handshake) {
    // Errors are expected where the device has no modem lines (ENOTTY, EINVAL).
    int dtr = TIOCM_DTR;
    ::ioctl(fd, TIOCMBIC, &dtr);
    int rts = TIOCM_RTS;
    if (handshake == kHandshakeNone) ::ioctl(fd, TIOCMBIS, &rts);
    if (handshake == kHandshakeXonXoff) ::ioctl(fd, TIOCMBIC, &rts);
}

bool ReadLineState(int fd, LineState* state) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    std::uint32_t rate = 0;
    if (!GetBaudRate(fd, &rate)) return false;
    state->baudRate = rate;
    state->handshake = HandshakeOf(t);
    return true;
}

}  // namespace carillon::serial
