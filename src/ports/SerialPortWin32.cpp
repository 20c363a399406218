// The serial port on a Windows COM device: the device control block for the
// line, overlapped transfers whose waits the port bounds itself and Abort
// releases.
#include "ports/SerialPort.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>

#include "ports/SerialPortMap.h"
#include "ports/Win32Handle.h"

namespace carillon {
namespace {

using detail::FromHandle;
using detail::ToHandle;

// Beyond the driver's own read time-out, the wait for a read's completion
// gives it this long before the port cancels the read itself.
constexpr std::uint32_t kReadGraceMs = 500;
// A read that ends empty this much before its time-out did not wait: the
// line has hung up.
constexpr std::uint32_t kEarlyEndMs = 50;
// How long a read watches the queue count before it waits on the driver.
constexpr std::uint32_t kWatchMs = 5;

// A transfer or queue call on an open line fails only when the line has
// gone (an adapter unplugged, a terminal hung up; drivers differ in the code
// they give), unless the port cancelled the transfer itself.
bool IsGoneError(DWORD error) { return error != ERROR_OPERATION_ABORTED; }

bool ConfigureLine(HANDLE device, const SerialPortSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(device, &dcb)) return false;
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fOutxCtsFlow = s.handshake == kHandshakeRtsCts;
    dcb.fRtsControl = s.handshake == kHandshakeRtsCts    ? RTS_CONTROL_HANDSHAKE
                      : s.handshake == kHandshakeXonXoff ? RTS_CONTROL_DISABLE
                                                          : RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = s.handshake == kHandshakeXonXoff;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    if (!::SetCommState(device, &dcb)) return false;
    DCB check{};
    check.DCBlength = sizeof check;
    return ::GetCommState(device, &check) && check.BaudRate == s.baudRate;
}

// Reads end when one byte has come or readTimeout has passed; writes have no
// driver time-out (the port bounds them).
bool SetReadTimeout(HANDLE device, std::uint32_t readTimeout) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 0;
    // 0 would mean no time-out at all; the port's own wait still bounds it.
    t.ReadTotalTimeoutConstant = std::max<std::uint32_t>(readTimeout, 1);
    return ::SetCommTimeouts(device, &t) != 0;
}

// The name every program on this machine agrees on for a line's lock.
std::string LockName(const std::string& path) {
    std::string name = "Local\\carillon-line-";
    for (char c : path) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

HANDLE Event(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

CSerialPort::~CSerialPort() {
    if (isOpen) Close();
    CloseHandle();
}

void CSerialPort::CloseHandle() {
    if (handle != -1) {
        ::CloseHandle(ToHandle(handle));
        handle = -1;
    }
    if (lineLock != 0) {
        ::CloseHandle(Event(lineLock));
        lineLock = 0;
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
    const SerialPortSettings& s = *Serial();
    const std::string path = GetSerialDevicePath(s.number);
    CloseHandle();
    if (path.empty()) {
        SetError(kErrPortCantOpen);
        return false;
    }
    // Not every serial driver refuses a second open; the named lock keeps
    // out every program that asks for it.
    HANDLE lock = ::CreateMutexA(nullptr, FALSE, LockName(path).c_str());
    if (lock == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (lock != nullptr) ::CloseHandle(lock);
        errno = EBUSY;  // as the line's own refusal reads on other systems
        SetError(kErrPortCantOpen);
        return false;
    }
    lineLock = reinterpret_cast<std::intptr_t>(lock);
    HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    handle = FromHandle(device);
    driverReadTimeout = readTimeout;
    if (device == INVALID_HANDLE_VALUE &&
        (::GetLastError() == ERROR_ACCESS_DENIED || ::GetLastError() == ERROR_SHARING_VIOLATION)) {
        errno = EBUSY;  // another program has the line
    }
    if (device == INVALID_HANDLE_VALUE || !ConfigureLine(device, s) || !SetReadTimeout(device, readTimeout)) {
        CloseHandle();
        SetError(kErrPortCantOpen);
        return false;
    }
    ::PurgeComm(device, PURGE_RXCLEAR | PURGE_TXCLEAR);
    wake.Clear();  // an abort meant for an earlier session
    rxCursor = rxEnd = 0;
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
    // Whatever could not be sent in time is dropped, so that closing the
    // device does not wait for it again.
    if (!WaitSent()) ::PurgeComm(ToHandle(handle), PURGE_TXABORT | PURGE_TXCLEAR);
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
    HANDLE device = ToHandle(handle);
    detail::Deadline deadline(writeTimeout);
    OVERLAPPED overlapped{};
    // ReadFile and WriteFile reset the event as they start.
    overlapped.hEvent = detail::ThreadIoEvent();
    DWORD written = 0;
    if (!::WriteFile(device, data, static_cast<DWORD>(length), &written, &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            Fail(kErrPortSend, IsGoneError(error));
            return 0;
        }
        const DWORD waited = detail::WaitTransfer(device, overlapped, Event(wake.Native()),
                                                  static_cast<std::uint32_t>(deadline.RemainingMs()));
        if (waited == WAIT_TIMEOUT) return WriteTimedOut();
        if (waited != WAIT_OBJECT_0) {
            Fail(kErrPortSend, false);
            return 0;
        }
        if (!::GetOverlappedResult(device, &overlapped, &written, FALSE)) {
            const DWORD failed = ::GetLastError();
            Fail(kErrPortSend, IsGoneError(failed));
            return 0;
        }
    }
    // Written means sent: the time-out also covers the bytes leaving the
    // driver's queue.
    if (!WaitDrained(deadline, kErrPortWriteTimeout)) {
        return lastError == kErrPortWriteTimeout ? WriteTimedOut() : 0;
    }
    SetError(kOk);
    return static_cast<int>(written);
}

int CSerialPort::WriteTimedOut() {
    // The line is held up (flow control); what is still queued would
    // otherwise leave at some later, unexpected moment.
    ::PurgeComm(ToHandle(handle), PURGE_TXABORT | PURGE_TXCLEAR);
    SetError(kErrPortWriteTimeout);
    return 0;
}

std::uint8_t CSerialPort::ReadByte() {
    if (!CheckOpen()) return 0;
    if (rxCursor == rxEnd) {
        rxCursor = rxEnd = 0;
        const int got = ReadChunk(rxBuffer, sizeof rxBuffer);
        if (got == 0) return 0;
        rxEnd = static_cast<std::uint16_t>(got);
    }
    SetError(kOk);
    return rxBuffer[rxCursor++];
}

int CSerialPort::ReadChunk(std::uint8_t* buffer, std::uint32_t length) {
    HANDLE device = ToHandle(handle);
    if (driverReadTimeout != readTimeout) {
        if (!SetReadTimeout(device, readTimeout)) {
            Fail(kErrPortRead, IsGoneError(::GetLastError()));
            return 0;
        }
        driverReadTimeout = readTimeout;
    }
    // Every driver call costs a round trip: take all that is there at once,
    // and ask for a single byte only when nothing is. An answer mostly comes
    // within a few milliseconds of its request; for those the queue count is
    // watched, which some drivers report far sooner than a pending read.
    DWORD errors = 0;
    COMSTAT status{};
    const DWORD watchEnd = ::GetTickCount() + std::min<std::uint32_t>(kWatchMs, readTimeout);
    for (;;) {
        if (!::ClearCommError(device, &errors, &status)) {
            Fail(kErrPortRead, IsGoneError(::GetLastError()));
            return 0;
        }
        if (status.cbInQue > 0 || static_cast<LONG>(::GetTickCount() - watchEnd) >= 0) break;
        if (::WaitForSingleObject(Event(wake.Native()), 0) == WAIT_OBJECT_0) break;  // Abort: the read below ends it
        ::SwitchToThread();
    }
    const DWORD wanted = std::clamp<DWORD>(status.cbInQue, 1, length);
    const DWORD started = ::GetTickCount();
    OVERLAPPED overlapped{};
    // ReadFile and WriteFile reset the event as they start.
    overlapped.hEvent = detail::ThreadIoEvent();
    DWORD got = 0;
    if (!::ReadFile(device, buffer, wanted, &got, &overlapped)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            const DWORD waited =
                detail::WaitTransfer(device, overlapped, Event(wake.Native()), readTimeout + kReadGraceMs);
            if (waited == WAIT_TIMEOUT) {
                SetError(kErrPortReadTimeout);
                return 0;
            }
            if (waited != WAIT_OBJECT_0) {
                SetError(kErrPortRead);
                return 0;
            }
            error = ::GetOverlappedResult(device, &overlapped, &got, FALSE) ? ERROR_SUCCESS : ::GetLastError();
        }
        // The driver's time-out: no byte, as a read that completes empty.
        if (error != ERROR_SUCCESS && error != ERROR_TIMEOUT) {
            Fail(kErrPortRead, IsGoneError(error));
            return 0;
        }
    }
    if (got > 0) return static_cast<int>(got);
    if (::GetTickCount() - started + kEarlyEndMs < readTimeout) {
        Fail(kErrPortRead, true);
        return 0;
    }
    SetError(kErrPortReadTimeout);
    return 0;
}

int CSerialPort::GetInCount() {
    if (!CheckOpen()) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(ToHandle(handle), &errors, &status)) {
        Fail(kErrPortRead, IsGoneError(::GetLastError()));
        return 0;
    }
    SetError(kOk);
    return static_cast<int>(status.cbInQue) + (rxEnd - rxCursor);
}

int CSerialPort::GetOutCount() {
    if (!CheckOpen()) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(ToHandle(handle), &errors, &status)) {
        Fail(kErrPortSend, IsGoneError(::GetLastError()));
        return 0;
    }
    SetError(kOk);
    return static_cast<int>(status.cbOutQue);
}

bool CSerialPort::PurgeIn() {
    if (!CheckOpen()) return false;
    rxCursor = rxEnd = 0;
    if (!::PurgeComm(ToHandle(handle), PURGE_RXCLEAR)) {
        Fail(kErrPortPurge, IsGoneError(::GetLastError()));
        return false;
    }
    SetError(kOk);
    return true;
}

bool CSerialPort::PurgeOut() {
    if (!CheckOpen()) return false;
    if (!::PurgeComm(ToHandle(handle), PURGE_TXCLEAR)) {
        Fail(kErrPortPurge, IsGoneError(::GetLastError()));
        return false;
    }
    SetError(kOk);
    return true;
}

bool CSerialPort::IsPrinterPresent() {
    if (!CheckOpen()) return false;
    DWORD status = 0;
    if (::GetCommModemStatus(ToHandle(handle), &status)) {
        SetError(kOk);
        return (status & MS_CTS_ON) != 0;
    }
    if (::GetLastError() == ERROR_NOT_SUPPORTED) {
        // No modem lines (a pseudo-terminal behind the port): nothing can
        // say the printer is absent, so it counts as present.
        SetError(kOk);
        return true;
    }
    SetError(kErrPortRead);
    return false;
}

void CSerialPort::Abort() { wake.Signal(); }

}  // namespace carillon
