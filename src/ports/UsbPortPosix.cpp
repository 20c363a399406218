// The USB port's device calls on Linux: the kernel's printer driver through
// the DeviceIo seam, with poll() for the waits.
#include <linux/lp.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "ports/DeviceWait.h"
#include "ports/UsbPort.h"

namespace carillon {
namespace {

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// What the driver reports for a printer that has left the bus.
bool IsGoneErrno(int error) { return error == ENODEV || error == EIO || error == ESHUTDOWN || error == ENXIO; }

std::atomic<DeviceIo*> g_scopedIo{nullptr};

}  // namespace

DeviceIo& UsbDeviceIo() {
    DeviceIo* scoped = g_scopedIo.load();
    return scoped != nullptr ? *scoped : SystemDeviceIo();
}

ScopedUsbDeviceIo::ScopedUsbDeviceIo(DeviceIo& device) : previous_(g_scopedIo.exchange(&device)) {}

ScopedUsbDeviceIo::~ScopedUsbDeviceIo() { g_scopedIo = previous_; }

CUsbPort::CUsbPort() : CUsbPort(UsbDeviceIo()) {}

CUsbPort::CUsbPort(DeviceIo& device) : io(&device) {}

void CUsbPort::CloseHandle() {
    if (handle != -1) {
        io->Close(handle);
        handle = -1;
    }
}

int CUsbPort::OpenDevice(const char* path) { return io->Open(path); }

std::unique_ptr<CUsbPort> CUsbPort::NewPort() const { return std::make_unique<CUsbPort>(*io); }

bool CUsbPort::WaitDrained(const detail::Deadline& deadline, ErrorCode onTimeout) {
    // The driver takes a write as soon as its transfer is queued, and reports
    // the device writable only once no transfer is pending.
    switch (const auto result = detail::WaitForDevice(handle, true, wake, deadline, *io)) {
        case detail::WaitResult::kReady:
            SetError(kOk);
            return true;
        case detail::WaitResult::kTimeout:
        case detail::WaitResult::kAborted:
            SetError(onTimeout);
            return false;
        default:
            Fail(kErrPortSend, result == detail::WaitResult::kHangup);
            return false;
    }
}

void CUsbPort::CancelTransfer() {
    CloseHandle();
    handle = io->Open(openedPath.c_str());
}

int CUsbPort::WriteChunk(const std::uint8_t* data, int length) {
    if (!CheckOpen()) return 0;
    SetError(kOk);
    // The time allowed grows with the length of the chunk, and covers the
    // transfer itself, not only its queueing: a stalled transfer's error is
    // never reported to a non-blocking writer.
    detail::Deadline deadline(static_cast<std::uint64_t>(writeTimeout) * static_cast<std::uint64_t>(length));
    int done = 0;
    while (done < length) {
        const ssize_t n = io->Write(handle, data + done, static_cast<std::size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            Fail(kErrPortSend, IsGoneErrno(errno));
            return 0;
        }
        if (!WaitDrained(deadline, kErrPortWriteTimeout)) {
            if (lastError == kErrPortWriteTimeout) CancelTransfer();
            return 0;
        }
    }
    return done;
}

bool CUsbPort::Refill(std::uint32_t waitMs) {
    rxCursor = rxEnd = rxBuffer;
    detail::Deadline deadline(waitMs);
    bool hungUp = false;
    int emptyReads = 0;
    for (;;) {
        const ssize_t n = io->Read(handle, rxBuffer, sizeof rxBuffer);
        if (n > 0) {
            rxEnd = rxBuffer + n;
            SetError(kOk);
            return true;
        }
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || hungUp) {
            Fail(kErrPortRead, hungUp || IsGoneErrno(errno));
            return false;
        }
        // An empty transfer is not data: keep waiting for some. Should a
        // device keep reporting data it does not deliver, nap between tries.
        if (n == 0 && ++emptyReads > 1) Pause(1);
        switch (detail::WaitForDevice(handle, false, wake, deadline, *io)) {
            case detail::WaitResult::kReady:
                continue;
            case detail::WaitResult::kHangup:
                hungUp = true;  // read what is left, then fail
                continue;
            case detail::WaitResult::kTimeout:
                // Silence from a printer whose entry has left the list is final.
                Fail(kErrPortReadTimeout, waitMs > 0 && EntryRemoved());
                return false;
            default:
                SetError(kErrPortRead);
                return false;
        }
    }
}

std::uint8_t CUsbPort::GetLptStatus() {
    if (handle == -1) return 0xFF;
    int status = 0;
    if (io->Ioctl(handle, LPGETSTATUS, &status) != 0) return 0xFF;
    return static_cast<std::uint8_t>(status & 0xFF);
}

int CUsbPort::IoControl(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen) {
    if (!CheckOpen()) return 0;
    // The driver reads the input from, and writes its answer into, one buffer
    // of ours; a code that names a larger transfer than that buffer is refused.
    const std::uint32_t size = _IOC_SIZE(code);
    if (inLen > kIoControlLimit || size > kIoControlLimit || (inLen > 0 && in == nullptr) ||
        (outLen > 0 && out == nullptr)) {
        SetError(kErrPortRead);
        return 0;
    }
    std::uint8_t buffer[kIoControlLimit] = {};
    if (inLen > 0) std::memcpy(buffer, in, inLen);
    const int result = io->Ioctl(handle, code, buffer);
    if (result < 0) {
        Fail(kErrPortRead, IsGoneErrno(errno));
        return 0;
    }
    // Bytes returned: the size the code names when it reads, else the count
    // the driver gave back.
    std::uint32_t returned = (_IOC_DIR(code) & _IOC_READ) ? size : static_cast<std::uint32_t>(result);
    returned = std::min({returned, outLen, kIoControlLimit});
    if (returned > 0) std::memcpy(out, buffer, returned);
    SetError(kOk);
    return static_cast<int>(returned);
}

}  // namespace carillon
