#include "ports/Port.h"

#include <chrono>
#include <cstdio>

#include "ports/SerialPort.h"
#include "ports/UsbPort.h"

namespace carillon {

CPort::~CPort() = default;

int CPort::EnumeratePorts(PortRecord*, int, bool) { return 0; }

std::string CPort::IdentifyPrinter(const ByteArray&, const ByteArray&, const ByteArray&, int) { return {}; }

bool CPort::IsPrinterPresent() { return false; }

bool CPort::IsSupportedDevice(int) { return true; }

bool CPort::Open() { return false; }

bool CPort::Close() { return false; }

bool CPort::SetSettings(const PortSettings*) { return false; }

PortSettings* CPort::GetSettings() { return nullptr; }

void CPort::Abort() {}

bool CPort::IsOpen() { return isOpen; }

void CPort::WakeUp() {}

bool CPort::WaitSent() { return true; }

int CPort::Write(const std::uint8_t*, int) { return 0; }

int CPort::Read(std::uint8_t*, int) { return -1; }

int CPort::WriteString(std::string text) {
    return Write(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
}

std::string CPort::ReadString() {
    // A device that never sends the NUL (a receiver streaming text, noise at
    // another rate) must not hold the caller or grow the text without bound.
    const auto deadline = std::chrono::steady_clock::now() + kTextDeadline;
    std::string text;
    for (;;) {
        std::uint8_t b = ReadByte();
        if (lastError != kOk) return text;
        if (b == 0) {
            SetError(kOk);
            return text;
        }
        if (text.size() == kTextLimit) {
            SetError(kErrPortTextTooLong);
            return text;
        }
        text.push_back(static_cast<char>(b));
        if (std::chrono::steady_clock::now() >= deadline) {
            SetError(kErrPortReadTimeout);
            return text;
        }
    }
}

int CPort::WriteByte(std::uint8_t value) { return Write(&value, 1); }

std::string CPort::ReadFourByteLabel() {
    if (GetInCount() != 4) return {};
    std::uint8_t b[4] = {};
    if (Read(b, 4) != 4) return {};
    char text[64];
    std::snprintf(text, sizeof text, "KESTREL (%u%u%u%u)", b[0], b[1], b[2], b[3]);
    return text;
}

std::uint8_t CPort::ReadByte() {
    std::uint8_t b = 0;
    Read(&b, 1);
    return b;
}

int CPort::GetInCount() { return 0; }

int CPort::GetOutCount() { return 0; }

bool CPort::PurgeIn() { return false; }

bool CPort::PurgeOut() { return false; }

platform::MessageTarget* CPort::SetNotifyWindow(platform::MessageTarget* window) {
    notifyWindow = window;
    return notifyWindow;
}

int CPort::CountPorts() { return 0; }

std::uint8_t CPort::GetLptStatus() { return 0xFF; }

int CPort::VendorRequest(std::uint32_t, std::uint8_t, std::uint16_t, void*, std::uint32_t) { return 0; }

int CPort::IoControl(std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t) { return 0; }

ErrorCode CPort::SetError(ErrorCode code) {
    lastError = code;
    if (code != kOk) platform::PostMessage(notifyWindow, platform::WM_UPDATE_FAILED, code, 0);
    return code;
}

int CPort::EnumerateAllPorts(PortRecord* records, int maxCount, int /*reserved*/, bool checkFifo) {
    if (records == nullptr || maxCount <= 0) return 0;
    int count = 0;
    {
        CSerialPort serial;
        count = serial.EnumeratePorts(records, maxCount, checkFifo);
    }
    {
        CUsbPort usb;
        count += usb.EnumeratePorts(records + count, maxCount - count, checkFifo);
    }
    return count;
}

bool CPort::CheckOpen() {
    if (!isOpen || handle == -1) {
        SetError(kErrPortNotOpen);
        return false;
    }
    return true;
}

int CPort::ReadBytes(std::uint8_t* buffer, int length) {
    if (!CheckOpen()) return 0;
    int count = 0;
    while (buffer != nullptr && count < length) {
        buffer[count] = ReadByte();
        if (lastError != kOk) break;
        ++count;
    }
    return count;
}

}  // namespace carillon
