// The USB port's device calls on Windows: the printer class driver's device
// interface, overlapped reads and writes whose waits the port bounds and
// Abort releases, and the driver's I/O controls.
#include <algorithm>
#include <cstring>

#include "ports/UsbPort.h"
#include "ports/Win32Handle.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

using detail::FromHandle;
using detail::ToHandle;

constexpr DWORD kGetLptStatus = 0x220030;

// What the driver reports for a printer that has left the bus.
bool IsGoneError(DWORD error) {
    return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE || error == ERROR_BAD_COMMAND ||
           error == ERROR_FILE_NOT_FOUND || error == ERROR_INVALID_HANDLE;
}

HANDLE Event(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// Starts an overlapped call and waits for it up to timeoutMs (or Abort).
// Returns the error it ended with: ERROR_SUCCESS with the count, WAIT_TIMEOUT,
// ERROR_OPERATION_ABORTED, or the driver's.
template <typename Start>
DWORD Transfer(HANDLE device, HANDLE wake, std::uint32_t timeoutMs, DWORD* count, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = detail::ThreadIoEvent();
    ::ResetEvent(overlapped.hEvent);
    *count = 0;
    if (start(&overlapped)) return ::GetOverlappedResult(device, &overlapped, count, FALSE) ? ERROR_SUCCESS : ::GetLastError();
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return error;
    const DWORD waited = detail::WaitTransfer(device, overlapped, wake, timeoutMs);
    if (waited == WAIT_TIMEOUT) return WAIT_TIMEOUT;
    if (waited != WAIT_OBJECT_0) return ERROR_OPERATION_ABORTED;
    return ::GetOverlappedResult(device, &overlapped, count, FALSE) ? ERROR_SUCCESS : ::GetLastError();
}

}  // namespace

CUsbPort::CUsbPort() = default;

std::unique_ptr<CUsbPort> CUsbPort::NewPort() const { return std::make_unique<CUsbPort>(); }

void CUsbPort::CloseHandle() {
    if (handle != -1) {
        ::CloseHandle(ToHandle(handle));
        handle = -1;
    }
}

int CUsbPort::OpenDevice(const char* path) {
    HANDLE device = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    return FromHandle(device);
}

// A write is over when Write returns: nothing stays queued in the driver.
bool CUsbPort::WaitDrained(const detail::Deadline& /*deadline*/, ErrorCode /*onTimeout*/) {
    SetError(kOk);
    return true;
}

void CUsbPort::CancelTransfer() {
    if (handle != -1) ::CancelIoEx(ToHandle(handle), nullptr);
}

int CUsbPort::WriteChunk(const std::uint8_t* data, int length) {
    if (!CheckOpen()) return 0;
    HANDLE device = ToHandle(handle);
    // The time allowed grows with the length of the chunk.
    const std::uint64_t allowed = static_cast<std::uint64_t>(writeTimeout) * static_cast<std::uint64_t>(length);
    const auto timeout = static_cast<std::uint32_t>(std::min<std::uint64_t>(allowed, INFINITE - 1));
    DWORD written = 0;
    const DWORD error = Transfer(device, Event(wake.Native()), timeout, &written, [&](OVERLAPPED* o) {
        return ::WriteFile(device, data, static_cast<DWORD>(length), nullptr, o) != 0;
    });
    if (error == WAIT_TIMEOUT || error == ERROR_OPERATION_ABORTED) {
        SetError(kErrPortWriteTimeout);
        return 0;
    }
    if (error != ERROR_SUCCESS) {
        Fail(kErrPortSend, IsGoneError(error));
        return 0;
    }
    SetError(kOk);
    return static_cast<int>(written);
}

bool CUsbPort::Refill(std::uint32_t waitMs) {
    rxCursor = rxEnd = rxBuffer;
    HANDLE device = ToHandle(handle);
    detail::Deadline deadline(waitMs);
    for (;;) {
        DWORD got = 0;
        const DWORD error = Transfer(device, Event(wake.Native()), static_cast<std::uint32_t>(deadline.RemainingMs()),
                                     &got, [&](OVERLAPPED* o) {
                                         return ::ReadFile(device, rxBuffer, sizeof rxBuffer, nullptr, o) != 0;
                                     });
        if (error == ERROR_SUCCESS && got > 0) {
            rxEnd = rxBuffer + got;
            SetError(kOk);
            return true;
        }
        if (error == WAIT_TIMEOUT || (error == ERROR_SUCCESS && deadline.Passed())) {
            // Silence from a printer whose entry has left the list is final.
            Fail(kErrPortReadTimeout, waitMs > 0 && EntryRemoved());
            return false;
        }
        if (error != ERROR_SUCCESS) {
            Fail(kErrPortRead, IsGoneError(error));
            return false;
        }
        // An empty transfer is not data: keep waiting for some, without spinning.
        ::Sleep(1);
    }
}

std::uint8_t CUsbPort::GetLptStatus() {
    if (handle == -1) return 0xFF;
    std::uint8_t status = 0;
    DWORD returned = 0;
    if (!::DeviceIoControl(ToHandle(handle), kGetLptStatus, nullptr, 0, &status, 1, &returned, nullptr) ||
        returned != 1) {
        return 0xFF;
    }
    return status;
}

int CUsbPort::IoControl(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen) {
    if (!CheckOpen()) return 0;
    if (inLen > kIoControlLimit || outLen > kIoControlLimit || (inLen > 0 && in == nullptr) ||
        (outLen > 0 && out == nullptr)) {
        SetError(kErrPortRead);
        return 0;
    }
    HANDLE device = ToHandle(handle);
    DWORD returned = 0;
    const DWORD error = Transfer(device, nullptr, readTimeout, &returned, [&](OVERLAPPED* o) {
        return ::DeviceIoControl(device, code, const_cast<void*>(in), inLen, out, outLen, nullptr, o) != 0;
    });
    // A control that does not end in time leaves lastError as it was.
    if (error == WAIT_TIMEOUT) return 0;
    if (error != ERROR_SUCCESS) {
        Fail(kErrPortRead, IsGoneError(error));
        return 0;
    }
    SetError(kOk);
    return static_cast<int>(returned);
}

}  // namespace carillon
