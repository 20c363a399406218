// The serial port on a tty: termios for the line, poll() for the waits.
#include "ports/SerialPort.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ports/DeviceWait.h"
#include "ports/SerialLine.h"
#include "ports/SerialPortMap.h"

namespace carillon {
namespace {

// What a line that has gone reports: an adapter unplugged, a terminal hung up.
bool IsGoneErrno(int error) { return error == EIO || error == ENODEV || error == ENXIO; }

}  // namespace

CSerialPort::~CSerialPort() {
    if (isOpen) Close();
    CloseHandle();
}

void CSerialPort::CloseHandle() {
    if (handle != -1) {
        // The flag belongs to the tty, not to this descriptor: it would keep
        // out our own next open while anything else holds the line.
        ::ioctl(handle, TIOCNXCL);
        ::close(handle);
        handle = -1;
    }
}

bool CSerialPort::Open() {
    if (!settings) {
        SetError(kErrPortNotSet);
        return false;
    }
    if (isOpen) {
        SetError(kErrPortAlreadyOpen);
        return true;
    }
    // Settings are only ever stored by SetSettings, which checked their class.
    const SerialPortSettings& s = *Serial();
    const std::string path = GetSerialDevicePath(s.number);
    CloseHandle();
    if (path.empty()) {
        SetError(kErrPortCantOpen);
        return false;
    }
    handle = detail::OpenDeviceExclusive(path.c_str());
    if (handle == -1) {
        SetError(kErrPortCantOpen);
        return false;
    }
    // The lock keeps out only the programs that ask for it; TIOCEXCL keeps
    // every other open of the tty out while an update holds the line.
    if (::ioctl(handle, TIOCEXCL) != 0 || !serial::ConfigureLine(handle, s.baudRate, s.handshake)) {
        CloseHandle();
        SetError(kErrPortCantOpen);
        return false;
    }
    serial::SetModemLines(handle, s.handshake);
    wake.Clear();  // an abort meant for an earlier session
    deviceGone = false;
    isOpen = true;
    SetError(kOk);
    return true;
}

bool CSerialPort::Close() {
    if (!isOpen) {
        SetError(kErrPortAlreadyClosed);
        return true;
    }
    if (handle == -1) {
        isOpen = false;
        SetError(kOk);
        return true;
    }
    if (!WaitSent()) {
        // Whatever could not be sent in time is dropped, so that closing the
        // device does not wait for it again.
        ::tcflush(handle, TCOFLUSH);
    }
    CloseHandle();
    isOpen = false;
    return true;
}

int CSerialPort::Write(const std::uint8_t* data, int length) {
    if (!CheckOpen()) return 0;
    if (length <= 0 || data == nullptr) {
        SetError(kOk);
        return 0;
    }
    detail::Deadline deadline(writeTimeout);
    int done = 0;
    while (done < length) {
        const ssize_t n = ::write(handle, data + done, static_cast<std::size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            Fail(kErrPortSend, IsGoneErrno(errno));
            return 0;
        }
        switch (const auto result = detail::WaitForDevice(handle, true, wake, deadline)) {
            case detail::WaitResult::kReady:
                continue;
            case detail::WaitResult::kTimeout:
                return WriteTimedOut();
            default:
                Fail(kErrPortSend, result == detail::WaitResult::kHangup);
                return 0;
        }
    }
    // Written means sent: the time-out also covers the bytes leaving the
    // line's queue, where the driver can tell (a pseudo-terminal's queue is
    // always empty, so there it covers the queueing only).
    if (!WaitDrained(deadline, kErrPortWriteTimeout)) {
        return lastError == kErrPortWriteTimeout ? WriteTimedOut() : 0;
    }
    SetError(kOk);
    return done;
}

int CSerialPort::WriteTimedOut() {
    // The line is held up (flow control); what is still queued would
    // otherwise leave at some later, unexpected moment.
    ::tcflush(handle, TCOFLUSH);
    SetError(kErrPortWriteTimeout);
    return 0;
}

std::uint8_t CSerialPort::ReadByte() {
    if (!CheckOpen()) return 0;
    detail::Deadline deadline(readTimeout);
    bool hungUp = false;
    bool expectData = false;  // the last wait reported something to read
    for (;;) {
        std::uint8_t b = 0;
        const ssize_t n = ::read(handle, &b, 1);
        if (n == 1) {
            SetError(kOk);
            return b;
        }
        // A tty that reports data a read then does not find has hung up, as
        // has one that reported a hang-up and has nothing left to read.
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || hungUp || (n == 0 && expectData)) {
            Fail(kErrPortRead, n < 0 ? IsGoneErrno(errno) : true);
            return 0;
        }
        const auto result = detail::WaitForDevice(handle, false, wake, deadline);
        expectData = result == detail::WaitResult::kReady;
        switch (result) {
            case detail::WaitResult::kReady:
                continue;
            case detail::WaitResult::kHangup:
                hungUp = true;  // read what is left, then fail
                continue;
            case detail::WaitResult::kTimeout:
                SetError(kErrPortReadTimeout);
                return 0;
            default:
                SetError(kErrPortRead);
                return 0;
        }
    }
}

int CSerialPort::GetInCount() {
    if (!CheckOpen()) return 0;
    int count = 0;
    if (::ioctl(handle, FIONREAD, &count) != 0) {
        Fail(kErrPortRead, IsGoneErrno(errno));
        return 0;
    }
    SetError(kOk);
    return count;
}

int CSerialPort::GetOutCount() {
    if (!CheckOpen()) return 0;
    int count = 0;
    if (::ioctl(handle, TIOCOUTQ, &count) != 0) {
        Fail(kErrPortSend, IsGoneErrno(errno));
        return 0;
    }
    SetError(kOk);
    return count;
}

bool CSerialPort::PurgeIn() {
    if (!CheckOpen()) return false;
    if (::tcflush(handle, TCIFLUSH) != 0) {
        Fail(kErrPortPurge, IsGoneErrno(errno));
        return false;
    }
    SetError(kOk);
    return true;
}

bool CSerialPort::PurgeOut() {
    if (!CheckOpen()) return false;
    if (::tcflush(handle, TCOFLUSH) != 0) {
        Fail(kErrPortPurge, IsGoneErrno(errno));
        return false;
    }
    SetError(kOk);
    return true;
}

bool CSerialPort::IsPrinterPresent() {
    if (!CheckOpen()) return false;
    int status = 0;
    if (::ioctl(handle, TIOCMGET, &status) == 0) {
        SetError(kOk);
        return (status & TIOCM_CTS) != 0;
    }
    if (errno == ENOTTY || errno == EINVAL) {
        // No modem lines (a pseudo-terminal): nothing can say the printer is
        // absent, so it counts as present.
        SetError(kOk);
        return true;
    }
    SetError(kErrPortRead);
    return false;
}

void CSerialPort::Abort() { wake.Signal(); }

}  // namespace carillon
