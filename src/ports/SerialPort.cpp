// The serial port's logic that does not depend on the system: settings,
// enumeration, the wake-up pulse and the baud-rate probe.
#include "ports/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/MessageBox.h"
#include "ports/SerialFifo.h"
#include "ports/SerialPortMap.h"

namespace carillon {
namespace {

constexpr std::uint32_t kAcceptedRates[] = {1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
constexpr std::uint8_t kHighestConfigurableNumber = 6;
constexpr std::uint32_t kDrainYieldMs = 2;

constexpr const char* kFifoCaption = "Disable UART FIFO";
constexpr const char* kFifoEnabledText =
    "Apparently, the UART FIFO buffer of COM%d is enabled. \nIt has to be disabled.\nThe Application will disable it "
    "now...";
constexpr const char* kFifoDisabledText =
    "The UART FIFO has been disabled successfully...\n\nPlease restart your system so that the modification takes "
    "effect...";
constexpr const char* kFifoFailedText = "Error while disabling FIFO buffer!!!";

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

void CSerialPort::Fail(ErrorCode code, bool gone) {
    if (gone) deviceGone = true;
    SetError(code);
}

SerialPortSettings* CSerialPort::Serial() const { return static_cast<SerialPortSettings*>(settings.get()); }

bool CSerialPort::SetSettings(const PortSettings* newSettings) {
    const auto* s = dynamic_cast<const SerialPortSettings*>(newSettings);
    if (s == nullptr || !s->HasType(kSerialType)) {
        SetError(kErrPortWrongSetting);
        return false;
    }
    if (s->number < 1 || s->number > kHighestConfigurableNumber) {
        SetError(kErrPortInvalidNumber);
        return false;
    }
    if (std::find(std::begin(kAcceptedRates), std::end(kAcceptedRates), s->baudRate) == std::end(kAcceptedRates)) {
        SetError(kErrPortInvalidBaud);
        return false;
    }
    if (s->handshake < kHandshakeRtsCts || s->handshake > kHandshakeNone) {
        SetError(kErrPortInvalidHandshake);
        return false;
    }
    settings = std::make_unique<SerialPortSettings>(s->number, s->baudRate, s->handshake);
    SetError(kOk);
    return true;
}

PortSettings* CSerialPort::GetSettings() { return settings.get(); }

int CSerialPort::Read(std::uint8_t* buffer, int length) { return ReadBytes(buffer, length); }

int CSerialPort::CountPorts() {
    const SerialPortMap map = GetSerialPortMap();
    int count = 0;
    for (const auto& [number, path] : map) {
        if (SerialDeviceExists(number)) ++count;
    }
    return count;
}

int CSerialPort::EnumeratePorts(PortRecord* records, int maxCount, bool checkFifo) {
    if (records == nullptr || maxCount <= 0) return 0;
    const SerialPortMap map = GetSerialPortMap();
    int filled = 0;
    for (int n = 0; n <= kHighestComNumber && filled < maxCount; ++n) {
        if (map.count(n) == 0 || !SerialDeviceExists(n)) continue;
        char name[sizeof(PortRecord::name)];
        std::snprintf(name, sizeof name, "COM%d", n);
        if (checkFifo && IsFifoEnabled(n) != 0) {
            char text[256];
            std::snprintf(text, sizeof text, kFifoEnabledText, n);
            platform::MessageBox(nullptr, text, kFifoCaption, platform::MB_ICONHAND);
            if (DisableFifo(n, 0)) {
                platform::MessageBox(nullptr, kFifoDisabledText, kFifoCaption, platform::MB_ICONASTERISK);
            } else {
                platform::MessageBox(nullptr, kFifoFailedText, kFifoCaption, platform::MB_ICONHAND);
            }
        }
        PortRecord& record = records[filled++];
        record.kind = kPortKindSerial;
        std::snprintf(record.name, sizeof record.name, "%s", name);
        record.number = static_cast<std::uint32_t>(n);
        record.vid = 0;
        record.pid = 0;
        record.port = std::make_unique<CSerialPort>();
        // Numbers above 6 are refused here and the port stays without settings.
        SerialPortSettings defaults(static_cast<std::uint8_t>(n), 9600, kHandshakeRtsCts);
        record.port->SetSettings(&defaults);
    }
    return filled;
}

void CSerialPort::WakeUp() {
    if (!settings) {
        // Without settings there is no line to pulse; no other port is touched.
        SetError(kErrPortNotSet);
        return;
    }
    const SerialPortSettings kept = *Serial();
    SerialPortSettings pulse(kept.number, 1200, kHandshakeNone);
    SetSettings(&pulse);
    const bool wasOpen = isOpen;
    if (wasOpen) Close();
    // One 0x00 at 1200 baud holds the line low for about 7.5 ms.
    Open();
    WriteByte(0x00);
    Close();
    SetSettings(&kept);
    if (wasOpen) Open();
}

std::string CSerialPort::IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery,
                                         const ByteArray& cancel, int replyMode) {
    if (isOpen) Close();
    if (!settings) {
        SetError(kErrPortNotSet);
        return {};
    }
    const std::uint8_t number = Serial()->number;
    auto send = [this](const ByteArray& bytes) { Write(bytes.data(), static_cast<int>(bytes.size())); };

    for (std::uint32_t rate : kProbeRates) {
        std::string label;
        SerialPortSettings probe(number, rate, kHandshakeNone);
        SetSettings(&probe);
        readTimeout = 100;
        Open();
        if (!IsPrinterPresent()) {
            Close();
            continue;
        }
        PurgeOut();
        PurgeIn();
        send(cancel);
        send(statusQuery);
        WaitSent();

        ReadByte();
        const bool noStatus = lastError != kOk;
        // Up to two further status bytes are dropped.
        readTimeout = 10;
        ReadByte();
        ReadByte();
        readTimeout = 100;
        if (noStatus) {
            Close();
            continue;
        }

        PurgeIn();
        send(identQuery);
        WaitSent();
        if (replyMode == -1) {
            label = ReadString();
            if (lastError != kOk) {
                Close();
                return {};
            }
        } else if (replyMode == 1) {
            Pause(100);
            label = ReadFourByteLabel();
        }
        send(cancel);
        Close();
        if (!label.empty()) {
            readTimeout = 2000;
            SerialPortSettings found(number, rate, kHandshakeRtsCts);
            SetSettings(&found);
            return label;
        }
    }
    return {};
}

// Waits for the output queue to leave the line, waking about as often as
// the queue takes to drain at the port's rate.
bool CSerialPort::WaitSent() {
    if (!CheckOpen()) return true;
    return WaitDrained(detail::Deadline(flushTimeout), kErrPortFlushTimeout);
}

bool CSerialPort::WaitDrained(const detail::Deadline& deadline, ErrorCode onTimeout) {
    const std::uint32_t rate = Serial()->baudRate;
    // A line held up by its handshake would keep a short queue for long:
    // yielding stops after this, and the waits sleep again.
    const detail::Deadline yieldEnd(kDrainYieldMs);
    for (;;) {
        const int pending = GetOutCount();
        if (lastError != kOk) return false;
        if (pending == 0) return true;
        if (deadline.Passed()) {
            SetError(onTimeout);
            return false;
        }
        // Sleep about as long as the queue takes to leave at this rate; a
        // queue that leaves within the millisecond is only yielded to, since
        // a timed sleep costs a millisecond or more on every system.
        const long long expectedUs = static_cast<long long>(pending) * 10 * 1000000 / rate;
        if (expectedUs < 1000 && !yieldEnd.Passed()) {
            std::this_thread::yield();
            continue;
        }
        const int nap = static_cast<int>(std::clamp<long long>(expectedUs / 1000, 1, 20));
        if (wake.Sleep(static_cast<std::uint64_t>(std::min(nap, std::max(deadline.RemainingMs(), 1))))) {
            SetError(onTimeout);
            return false;
        }
    }
}

}  // namespace carillon
