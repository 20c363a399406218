#include "sim/RawPty.h"
#include "sim/PtyPrinter.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace carillon::sim {
namespace {

std::uint32_t BaudOf(speed_t speed) {
    switch (speed) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B230400: return 230400;
    }
    return 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PtyPrinter::PtyPrinter(VirtualPrinter& printer, Mode mode, std::string usbList)
    : m_printer(printer),
      m_mode(mode),
      m_usbList(usbList.empty() ? UsbDeviceList::PathFromEnvironment() : std::move(usbList)) {}

PtyPrinter::~PtyPrinter() { Stop(); }

std::string PtyPrinter::DevicePath() const {
    std::lock_guard lock(m_pathMutex);
    return m_path;
}

bool PtyPrinter::OpenPty(std::string* error) {
    const auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        ClosePty();
        return false;
    };
    std::string name;
    if (!OpenRawPty(&m_master, &m_slave, &name, error)) {
        ClosePty();
        return false;
    }
    {
        std::lock_guard lock(m_pathMutex);
        m_path = name;
    }
    if (m_mode == Mode::kUsb) {
        if (m_usbList.Path().empty()) {
            errno = ENOENT;
            return fail(UsbDeviceList::kEnvironmentVariable);
        }
        if (!m_usbList.Add(m_printer.Config().usbInstanceId, name, error)) {
            ClosePty();
            return false;
        }
        m_registered = true;
    }
    return true;
}

void PtyPrinter::ClosePty() {
    if (m_registered) m_usbList.Remove(m_printer.Config().usbInstanceId, DevicePath());
    m_registered = false;
    CloseFd(m_slave);
    CloseFd(m_master);
    m_unwritten.clear();
}

bool PtyPrinter::Start(std::string* error) {
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (!OpenPty(error)) return false;
    m_generation = m_printer.UsbGeneration();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void PtyPrinter::Stop() {
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    ClosePty();
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
}

bool PtyPrinter::Pause(int ms) {
    pollfd p{m_wake[0], POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

LineSettings PtyPrinter::CurrentLine() const {
    LineSettings line;
    if (m_mode == Mode::kUsb) {
        line.usb = true;
        return line;
    }
    termios t{};
    if (::tcgetattr(m_master, &t) == 0) {
        line.baud = BaudOf(::cfgetospeed(&t));
        line.handshake = (t.c_cflag & CRTSCTS) ? kHandshakeRtsCts
                         : (t.c_iflag & (IXON | IXOFF)) ? kHandshakeXonXoff
                                                        : kHandshakeNone;
    }
    return line;
}

void PtyPrinter::Flush() {
    while (!m_unwritten.empty()) {
        const ssize_t n = ::write(m_master, m_unwritten.data(), m_unwritten.size());
        if (n <= 0) return;  // the PC is not reading: keep the rest for later
        m_unwritten.erase(m_unwritten.begin(), m_unwritten.begin() + n);
    }
}

bool PtyPrinter::Reenumerate(PacedLink& link) {
    // Let the PC read what was already answered, then leave the bus.
    Flush();
    if (Pause(50)) return true;
    ClosePty();
    link.Clear();
    m_generation = m_printer.UsbGeneration();
    const auto wait = m_printer.UsbReturnTime() - VirtualPrinter::Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    if (ms > 0 && Pause(static_cast<int>(std::min<long long>(ms, INT_MAX)))) return true;
    if (OpenPty(nullptr)) ++m_reconnections;
    return false;
}

void PtyPrinter::Run() {
    PacedLink link(m_printer);
    std::uint8_t buffer[4096];
    for (;;) {
        if (m_mode == Mode::kUsb && m_printer.UsbGeneration() != m_generation && Reenumerate(link)) return;
        if (m_master < 0) {
            // Could not come back on a new pty: try again shortly.
            if (Pause(100)) return;
            if (OpenPty(nullptr)) ++m_reconnections;
            continue;
        }
        const auto now = PacedLink::Clock::now();
        int timeout = -1;
        if (link.NextEvent() != PacedLink::Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(link.NextEvent() - now).count();
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 1000));
        }
        pollfd p[2] = {{m_wake[0], POLLIN, 0}, {m_master, static_cast<short>(POLLIN | (m_unwritten.empty() ? 0 : POLLOUT)), 0}};
        if (::poll(p, 2, timeout) < 0 && errno != EINTR) return;
        if (p[0].revents) return;
        if (p[1].revents & POLLIN) {
            const LineSettings line = CurrentLine();
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                link.SetLine(line);
                link.Send(buffer, static_cast<std::size_t>(n), PacedLink::Clock::now());
            } else if (n < 0 && errno == EIO && Pause(20)) {
                return;  // no slave open: wait for the PC to open it again
            }
        } else if ((p[1].revents & POLLHUP) && Pause(20)) {
            return;
        }
        const auto after = PacedLink::Clock::now();
        link.Pump(after);
        std::uint8_t b;
        while (link.Pop(&b, after)) m_unwritten.push_back(b);
        Flush();
    }
}

}  // namespace carillon::sim
