// The USB port's logic that does not depend on the system: the printer
// list, settings, identification and reconnection.
#include "ports/UsbPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

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

}  // namespace

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
        record.port = NewPort();
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
        handle = OpenDevice(path);
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

int CUsbPort::VendorRequest(std::uint32_t code, std::uint8_t request, std::uint16_t value, void* out,
                            std::uint32_t outLen) {
    const std::uint8_t in[3] = {request, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return IoControl(code, in, sizeof in, out, outLen);
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
        label = ReadFourByteLabel();
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
