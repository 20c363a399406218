#include "sim/SimPort.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace carillon::sim {
namespace {

constexpr std::uint32_t kSerialRates[] = {1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
constexpr std::uint32_t kProbeRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};

std::atomic<int> g_nextHandle{1000};

std::string LastComponent(const std::string& id) {
    const std::size_t at = id.rfind('\\');
    return at == std::string::npos ? id : id.substr(at);
}

}  // namespace

SimPort::SimPort(VirtualPrinter& printer) : m_printer(printer), m_link(printer) {}

SimPort::~SimPort() {
    if (isOpen) Close();
}

bool SimPort::Stale() const { return IsUsb() && m_printer.UsbGeneration() != m_generation; }

bool SimPort::WaitUntil(Clock::time_point t) {
    std::unique_lock lock(m_waitMutex);
    m_wake.wait_until(lock, t, [&] { return m_abort; });
    const bool aborted = m_abort;
    m_abort = false;
    return !aborted;
}

void SimPort::Abort() {
    {
        std::lock_guard lock(m_waitMutex);
        m_abort = true;
    }
    m_wake.notify_all();
}

bool SimPort::SetSettings(const PortSettings* s) {
    if (s == nullptr) return SetError(kErrPortWrongSetting), false;
    if (s->HasType(kSerialType)) {
        const auto* serial = static_cast<const SerialPortSettings*>(s);
        if (serial->number < 1 || serial->number > 15) return SetError(kErrPortInvalidNumber), false;
        if (std::find(std::begin(kSerialRates), std::end(kSerialRates), serial->baudRate) == std::end(kSerialRates))
            return SetError(kErrPortInvalidBaud), false;
        if (serial->handshake < kHandshakeRtsCts || serial->handshake > kHandshakeNone)
            return SetError(kErrPortInvalidHandshake), false;
        settings = std::make_unique<SerialPortSettings>(serial->number, serial->baudRate, serial->handshake);
    } else if (s->HasType(kUsbType)) {
        const auto* usb = static_cast<const UsbPortSettings*>(s);
        const bool present = m_printer.UsbPresent();
        if (!usb->instanceSuffix.empty()) {
            if (!present || usb->instanceSuffix != LastComponent(m_printer.Config().usbInstanceId))
                return SetError(kErrPortInvalidNumber), false;
            settings = std::make_unique<UsbPortSettings>(255, usb->instanceSuffix);
        } else {
            if (usb->number > (present ? 1 : 0) + 1) return SetError(kErrPortInvalidNumber), false;
            settings = std::make_unique<UsbPortSettings>(usb->number, std::string());
        }
    } else {
        return SetError(kErrPortWrongSetting), false;
    }
    SetError(kOk);
    return true;
}

bool SimPort::Open() {
    if (!settings) return SetError(kErrPortNotSet), false;
    if (isOpen) return SetError(kErrPortAlreadyOpen), true;
    LineSettings line;
    if (IsUsb()) {
        // One printer on the bus: entry 1, or found by its instance suffix.
        const bool bySuffix = !static_cast<UsbPortSettings*>(settings.get())->instanceSuffix.empty();
        if (!m_printer.UsbPresent() || (!bySuffix && settings->number != 1)) return SetError(kErrPortCantOpen), false;
        settings->number = 1;
        m_generation = m_printer.UsbGeneration();
        line.usb = true;
    } else {
        const auto* serial = static_cast<SerialPortSettings*>(settings.get());
        line.baud = serial->baudRate;
        line.handshake = serial->handshake;
    }
    m_link.Clear();
    m_link.SetLine(line);
    handle = g_nextHandle++;
    isOpen = true;
    SetError(kOk);
    return true;
}

bool SimPort::Close() {
    if (!isOpen) return SetError(kErrPortAlreadyClosed), true;
    WaitSent();  // its error, if any, stays the result
    m_link.Clear();
    isOpen = false;
    handle = -1;
    return true;
}

int SimPort::Write(const std::uint8_t* data, int length) {
    if (!CheckOpen()) return 0;
    if (length <= 0) return SetError(kOk), 0;
    if (Stale()) return SetError(kErrPortSend), 0;
    m_link.Send(data, static_cast<std::size_t>(length), Clock::now());
    SetError(kOk);
    return length;
}

std::uint8_t SimPort::ReadByte() {
    if (!CheckOpen()) return 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(readTimeout);
    for (;;) {
        const Clock::time_point now = Clock::now();
        m_link.Pump(now);
        std::uint8_t b = 0;
        if (m_link.Pop(&b, now)) return SetError(kOk), b;
        // What the printer sent before it left the bus still arrives; nothing more comes.
        if (Stale() && !m_link.Incoming()) return SetError(kErrPortRead), 0;
        if (now >= deadline) return SetError(kErrPortReadTimeout), 0;
        if (!WaitUntil(std::min(deadline, m_link.NextEvent()))) return SetError(kErrPortRead), 0;
    }
}

bool SimPort::WaitSent() {
    if (!CheckOpen()) return true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(flushTimeout);
    for (;;) {
        const Clock::time_point now = Clock::now();
        m_link.Pump(now);
        if (m_link.Unsent() == 0) return SetError(kOk), true;
        if (now >= deadline) return SetError(kErrPortFlushTimeout), false;
        if (!WaitUntil(std::min(deadline, m_link.NextEvent()))) return SetError(kErrPortFlushTimeout), false;
    }
}

int SimPort::GetInCount() {
    if (!CheckOpen()) return 0;
    const Clock::time_point now = Clock::now();
    m_link.Pump(now);
    const int count = static_cast<int>(m_link.Readable(now));
    // The USB port reports a read time-out when nothing is there, as its
    // device read does; it does not wait when nothing is on the way.
    SetError(count == 0 && IsUsb() ? kErrPortReadTimeout : kOk);
    return count;
}

int SimPort::GetOutCount() {
    if (!CheckOpen()) return 0;
    m_link.Pump(Clock::now());
    SetError(kOk);
    return IsUsb() ? 0 : static_cast<int>(m_link.Unsent());
}

bool SimPort::PurgeIn() {
    if (!CheckOpen()) return false;
    const Clock::time_point now = Clock::now();
    m_link.Pump(now);
    m_link.DropReadable(now);
    SetError(kOk);
    return true;
}

bool SimPort::PurgeOut() {
    if (!CheckOpen()) return false;
    m_link.Pump(Clock::now());
    m_link.DropUnsent();
    SetError(kOk);
    return true;
}

bool SimPort::IsPrinterPresent() {
    if (IsUsb()) return m_printer.UsbPresent();
    if (!CheckOpen()) return false;
    SetError(kOk);
    return !m_printer.GetFaults().silent;  // a powered printer raises CTS
}

void SimPort::WakeUp() {
    if (IsUsb()) return;
    // One 0x00 at 1200 baud holds the line low long enough to wake a printer.
    SerialPortSettings kept(1, 9600, kHandshakeRtsCts);
    if (settings) kept = *static_cast<SerialPortSettings*>(settings.get());
    SerialPortSettings pulse(kept.number, 1200, kHandshakeNone);
    SetSettings(&pulse);
    const bool wasOpen = isOpen;
    if (wasOpen) Close();
    Open();
    WriteByte(0x00);
    Close();
    SetSettings(&kept);
    if (wasOpen) Open();
}

std::string SimPort::ReadKestrelLabel() {
    if (GetInCount() != 4) return {};
    std::uint8_t b[4];
    for (auto& x : b) x = ReadByte();
    char label[48];
    std::snprintf(label, sizeof label, "KESTREL (%u%u%u%u)", b[0], b[1], b[2], b[3]);
    return label;
}

std::string SimPort::IdentifyPrinter(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                                     int replyMode) {
    if (IsUsb()) return IdentifyUsb(identQuery, cancel, replyMode);
    return IdentifySerial(statusQuery, identQuery, cancel, replyMode);
}

std::string SimPort::IdentifySerial(const ByteArray& statusQuery, const ByteArray& identQuery, const ByteArray& cancel,
                                    int replyMode) {
    if (isOpen) Close();
    if (!settings) return SetError(kErrPortNotSet), std::string();
    const std::uint8_t number = settings->number;
    const auto send = [this](const ByteArray& bytes) { Write(bytes.data(), static_cast<int>(bytes.size())); };
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
        readTimeout = 10;  // up to two more status bytes are discarded
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
            WaitUntil(Clock::now() + std::chrono::milliseconds(100));
            label = ReadKestrelLabel();
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

std::string SimPort::IdentifyUsb(const ByteArray& identQuery, const ByteArray& cancel, int replyMode) {
    if (!settings) return SetError(kErrPortNotSet), std::string();
    readTimeout = 100;
    Open();
    PurgeIn();
    Write(identQuery.data(), static_cast<int>(identQuery.size()));
    WaitSent();
    std::string label;
    if (replyMode == -1) {
        label = ReadString();
    } else if (replyMode == 1) {
        // The device read waits up to 100 ms for the answer to come in.
        WaitUntil(std::min(Clock::now() + std::chrono::milliseconds(100), m_link.NextEvent()));
        label = ReadKestrelLabel();
    }
    const ErrorCode result = lastError;
    Write(cancel.data(), static_cast<int>(cancel.size()));
    WaitSent();
    Close();
    readTimeout = 2000;
    return result != kOk ? std::string() : label;
}

ErrorCode SimPort::WaitForReconnect(std::uint32_t timeoutMs) {
    if (!settings) return SetError(kErrPortNotSet);
    const bool wasOpen = isOpen;
    if (wasOpen) Close();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Gone since the port last opened it, then back on the bus.
    if (!m_printer.WaitForDeparture(m_generation, deadline)) return SetError(kErrUsbNotGone);
    const Clock::time_point back = m_printer.UsbReturnTime();
    if (back > deadline) {
        WaitUntil(deadline);
        return SetError(kErrUsbNotBack);
    }
    WaitUntil(back);
    settings->number = 1;
    m_generation = m_printer.UsbGeneration();
    if (wasOpen && !Open()) return lastError;
    return SetError(kOk);
}

}  // namespace carillon::sim
