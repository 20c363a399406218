#include "ports/UsbPort.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "ports/DeviceWait.h"
#include "ports/UsbDeviceList.h"

namespace carillon {
using namespace detail;
namespace {

constexpr int kOpenAttempts = 50;
constexpr int kOpenRetryMs = 10;
constexpr int kReconnectPollMs = 20;
constexpr std::uint32_t kInCountWaitMs = 100;
// A purge drops what has already arrived, as the serial port's does, without
// waiting for more. Waiting GetInCount's 100 ms instead cost every monitor
// command a tenth of a second, and an answer that late comes after its own
// time-out anyway.
constexpr std::uint32_t kPurgeQuietMs = 0;

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

CUsbPort::~CUsbPort() {
    if (isOpen) Close();
    CloseHandle();
}

void CUsbPort::Fail(ErrorCode code, bool gone) {
    if (gone) deviceGone = true;
    SetError(code);
}

bool CUsbPort::EntryRemoved() const {
    if (openedInstanceId.empty()) return false;
    const auto list = ListDevices();
    return std::none_of(list.begin(), list.end(),
                        [this](const UsbDeviceEntry& e) { return e.instanceId == openedInstanceId; });
}

UsbPortSettings* CUsbPort::Usb() const { return static_cast<UsbPortSettings*>(settings.get()); }

void CUsbPort::CloseHandle() {
    if (handle != -1) {
        io->Close(handle);
        handle = -1;
    }
}

int CUsbPort::EnumeratePorts(PortRecord* records, int maxCount, bool /*checkFifo*/) {
    if (records == nullptr || maxCount <= 0) return 0;
    const auto list = ListDevices();
    // Entry numbers must fit the settings' one-byte number (255 means "by suffix").
    const int count = static_cast<int>(std::min<std::size_t>(list.size(), 254));
    int i = 0;
    for (; i < maxCount && i < count; ++i) {
        PortRecord& record = records[i];
        record.kind = kPortKindUsb;
        std::snprintf(record.name, sizeof record.name, "USB%d", i + 1);
        record.number = static_cast<std::uint32_t>(i + 1);
        record.port = std::make_unique<CUsbPort>(*io);
        UsbPortSettings defaults(static_cast<std::uint8_t>(i + 1), "");
        record.port->SetSettings(&defaults);
        const std::string& id = list[static_cast<std::size_t>(i)].instanceId;
        record.vid = ParseUsbId(id, "Vid");
        record.pid = ParseUsbId(id, "Pid");
    }
    return i;
}

bool CUsbPort::SetSettings(const PortSettings* newSettings) {
    const auto* s = dynamic_cast<const UsbPortSettings*>(newSettings);
    if (s == nullptr || !s->HasType(kUsbType)) {
        SetError(kErrPortWrongSetting);
        return false;
    }
    const auto list = ListDevices();
    if (!s->instanceSuffix.empty()) {
        if (FindIn(list, s->instanceSuffix) < 0) {
            SetError(kErrPortInvalidNumber);
            return false;
        }
        settings = std::make_unique<UsbPortSettings>(255, s->instanceSuffix);
    } else {
        // One past the count is let through; Open checks the number again.
        if (s->number > list.size() + 1) {
            SetError(kErrPortInvalidNumber);
            return false;
        }
        settings = std::make_unique<UsbPortSettings>(s->number, "");
    }
    SetError(kOk);
    return true;
}

PortSettings* CUsbPort::GetSettings() { return settings.get(); }

bool CUsbPort::Open() {
    if (!settings) {
        SetError(kErrPortNotSet);
        return false;
    }
    if (isOpen) {
        SetError(kErrPortAlreadyOpen);
        return true;
    }
    UsbPortSettings& s = *Usb();
    const auto list = ListDevices();
    char path[kUsbPathSize];
    char id[kUsbInstanceIdSize];
    const int index = s.instanceSuffix.empty() ? s.number - 1 : FindIn(list, s.instanceSuffix);
    if (index < 0 || index >= 254 || DevicePathOf(list, index, path, sizeof path, id) != 0) {
        SetError(kErrPortCantOpen);
        return false;
    }
    s.number = static_cast<std::uint8_t>(index + 1);
    rxCursor = rxEnd = rxBuffer;
    CloseHandle();
    openedPath = path;
    openedInstanceId = id;
    // A printer that has just come back may not accept an open at once.
    for (int attempt = 1;; ++attempt) {
        handle = io->Open(path);
        if (handle != -1) break;
        if (attempt == kOpenAttempts) {
            SetError(kErrPortCantOpen);
            return false;
        }
        Pause(kOpenRetryMs);
    }
    wake.Clear();  // an abort meant for an earlier session
    deviceGone = false;
    isOpen = true;
    SetError(kOk);
    return true;
}

bool CUsbPort::Close() {
    if (!isOpen) {
        SetError(kErrPortAlreadyClosed);
        return true;
    }
    if (handle == -1) {
        isOpen = false;
        SetError(kOk);
        return true;
    }
    // Closing kills the transfers still in flight: let them finish first.
    WaitSent();
    CloseHandle();
    isOpen = false;
    return true;
}

bool CUsbPort::WaitSent() {
    if (!CheckOpen()) return true;
    return WaitDrained(detail::Deadline(flushTimeout), kErrPortFlushTimeout);
}

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

int CUsbPort::Write(const std::uint8_t* data, int length) {
    if (length <= 0 || data == nullptr) {
        SetError(kOk);
        return 0;
    }
    int total = 0;
    while (length > 0) {
        const int chunk = std::min(length, kWriteChunk);
        total += WriteChunk(data, chunk);
        if (lastError != kOk) return total;
        data += chunk;
        length -= chunk;
    }
    SetError(kOk);
    return total;
}

int CUsbPort::WriteByte(std::uint8_t value) { return Write(&value, 1); }

int CUsbPort::Read(std::uint8_t* buffer, int length) { return ReadBytes(buffer, length); }

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

std::uint8_t CUsbPort::ReadByte() {
    if (!CheckOpen()) return 0;
    SetError(kOk);
    if (rxCursor == rxEnd && !Refill(readTimeout)) return 0;
    return *rxCursor++;
}

int CUsbPort::GetInCount() {
    if (!CheckOpen()) return 0;
    SetError(kOk);
    if (rxCursor == rxEnd) Refill(kInCountWaitMs);
    return static_cast<int>(rxEnd - rxCursor);
}

int CUsbPort::GetOutCount() { return 0; }

bool CUsbPort::PurgeIn() {
    if (!CheckOpen()) return false;
    // Bounded, so that a printer that never stops talking cannot hold us here.
    detail::Deadline deadline(flushTimeout);
    SetError(kOk);
    for (;;) {
        rxCursor = rxEnd;  // drop what is buffered
        Refill(kPurgeQuietMs);
        if (rxCursor == rxEnd) break;  // the line stayed quiet
        if (deadline.Passed()) {
            SetError(kErrPortPurge);
            return false;
        }
    }
    // Ends with a reading time-out once the printer is quiet; any other
    // error means the device failed.
    return lastError == kOk || lastError == kErrPortReadTimeout;
}

bool CUsbPort::PurgeOut() { return true; }

bool CUsbPort::IsPrinterPresent() {
    if (!settings) {
        SetError(kErrPortNotSet);
        return false;
    }
    const UsbPortSettings& s = *Usb();
    if (!s.instanceSuffix.empty()) return FindUsbInstance(s.instanceSuffix, nullptr);
    char path[kUsbPathSize];
    return GetUsbDevicePath(s.number - 1, path, sizeof path, nullptr) == 0;
}

bool CUsbPort::IsSupportedDevice(int entryIndex) {
    int entry = entryIndex;
    if (entryIndex == -1) {
        if (!settings) return false;
        entry = Usb()->number - 1;
    }
    char path[kUsbPathSize];
    char id[kUsbInstanceIdSize];
    if (GetUsbDevicePath(entry, path, sizeof path, id) != 0) return false;
    const std::uint32_t vid = ParseUsbId(id, "Vid");
    return std::find(kSupportedUsbVendorIds.begin(), kSupportedUsbVendorIds.end(), vid) !=
           kSupportedUsbVendorIds.end();
}

void CUsbPort::Abort() { wake.Signal(); }

std::uint8_t CUsbPort::GetLptStatus() {
    if (handle == -1) return 0xFF;
    int status = 0;
    if (io->Ioctl(handle, LPGETSTATUS, &status) != 0) return 0xFF;
    return static_cast<std::uint8_t>(status & 0xFF);
}

int CUsbPort::VendorRequest(std::uint32_t code, std::uint8_t request, std::uint16_t value, void* out,
                            std::uint32_t outLen) {
    const std::uint8_t in[3] = {request, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return IoControl(code, in, sizeof in, out, outLen);
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

std::string CUsbPort::IdentifyPrinter(const ByteArray& /*statusQuery*/, const ByteArray& identQuery,
                                      const ByteArray& cancel, int replyMode) {
    if (!settings) {
        SetError(kErrPortNotSet);
        return {};
    }
    std::string label;
    readTimeout = 100;
    Open();
    PurgeIn();
    Write(identQuery.data(), static_cast<int>(identQuery.size()));
    WaitSent();
    if (replyMode == -1) {
        label = ReadString();
        // A text whose terminating NUL never came is no identification.
        if (lastError != kOk) label.clear();
    } else if (replyMode == 1) {
        if (GetInCount() == 4) {
            std::uint8_t b[4] = {};
            if (Read(b, 4) == 4) {
                char text[64];
                std::snprintf(text, sizeof text, "KESTREL (%u%u%u%u)", b[0], b[1], b[2], b[3]);
                label = text;
            }
        }
    }
    Write(cancel.data(), static_cast<int>(cancel.size()));
    WaitSent();
    Close();
    readTimeout = 2000;
    return lastError != kOk ? std::string{} : label;
}

ErrorCode CUsbPort::WaitForReconnect(std::uint32_t timeoutMs) {
    if (!settings) return SetError(kErrPortNotSet);
    const bool wasOpen = isOpen;
    if (wasOpen) Close();
    std::string remembered;
    if (!ReconnectingId(&remembered)) return SetError(kErrPortCantOpen);
    const int index = Usb()->number - 1;
    detail::Deadline deadline(timeoutMs);
    // Whatever happens, this port stays with this printer.
    auto giveUp = [&](ErrorCode code) {
        settings = std::make_unique<UsbPortSettings>(255, SuffixOf(remembered));
        return SetError(code);
    };

    // Wait for the printer to leave its entry.
    for (;;) {
        std::string id;
        if (!InstanceIdOf(ListDevices(), index, &id) || id != remembered) break;
        if (deadline.Passed()) return giveUp(kErrUsbNotGone);
        Pause(kReconnectPollMs);
    }
    // Wait for it to come back, under whatever entry.
    const std::string component = LastComponent(remembered);
    int found = -1;
    while (found < 0) {
        if (deadline.Passed()) return giveUp(kErrUsbNotBack);
        Pause(kReconnectPollMs);
        const auto list = ListDevices();
        for (int i = static_cast<int>(std::min<std::size_t>(list.size(), 254)) - 1; i >= 0; --i) {
            std::string id;
            if (InstanceIdOf(list, i, &id) && LastComponent(id) == component) {
                found = i;
                break;
            }
        }
    }
    Usb()->number = static_cast<std::uint8_t>(found + 1);
    if (wasOpen && !Open()) return lastError;
    return SetError(kOk);
}

bool CUsbPort::ReconnectingId(std::string* id) const {
    const UsbPortSettings& s = *Usb();
    if (!openedInstanceId.empty()) {
        *id = openedInstanceId;
        return true;
    }
    return s.number >= 1 && InstanceIdOf(ListDevices(), s.number - 1, id);
}

}  // namespace carillon
