// Entering, identifying and leaving the boot monitor.

#include "monitor/MonitorSession.h"

#include <chrono>
#include <thread>

#include "errors/ErrorMessages.h"
#include "package/Element.h"
#include "ports/Port.h"
#include "ports/ReconnectingPort.h"

namespace carillon {
namespace {

constexpr std::uint32_t kMonitorBaudRate = 115200;
constexpr int kDefaultMonitorAttempts = 20;
constexpr std::uint8_t kEnterMonitor[] = {0x1D, 0x55, 0x4D};  // GS 'U' 'M'

constexpr std::size_t kInfoLength = 255;
constexpr std::uint8_t kExtendedInfo = 0x80;

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The shortest monitor info a monitor of this version may send.
std::uint32_t MinimumInfoLength(std::uint8_t version) {
    if (version < 0x80) return 8;
    if (version <= 0x81) return 15;
    return 16;
}

bool IsSupportedVersion(std::uint8_t version) {
    return (version >= 1 && version <= 4) || (version >= 0x81 && version <= 0x8A);
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

MonitorTiming MonitorTiming::Scaled(double factor) const {
    auto scale = [factor](std::uint32_t ms) {
        const double scaled = ms * factor;
        return scaled < 1.0 ? 1u : static_cast<std::uint32_t>(scaled);
    };
    MonitorTiming t;
    for (auto [out, in] : {std::pair{&t.infoMs, infoMs}, {&t.leaveMs, leaveMs}, {&t.geometryMs, geometryMs},
                           {&t.writeAnswerMs, writeAnswerMs}, {&t.boardEraseMs, boardEraseMs},
                           {&t.dspEraseMs, dspEraseMs}, {&t.boardBlankCheckMs, boardBlankCheckMs},
                           {&t.dspBlankCheckMs, dspBlankCheckMs}, {&t.boardReadMs, boardReadMs},
                           {&t.dspReadMs, dspReadMs}, {&t.retryPauseMs, retryPauseMs},
                           {&t.reidentifyPauseMs, reidentifyPauseMs}, {&t.usbReconnectMs, usbReconnectMs},
                           {&t.usbSettleMs, usbSettleMs}})
        *out = scale(in);
    return t;
}

CMonitorSession::CMonitorSession() { m_failure[0] = 0xFF; }

CMonitorSession::~CMonitorSession() {
    if (m_connected) Disconnect();
}

void CMonitorSession::SetOperation(std::uint32_t operation, const char* text) {
    m_operation = operation;
    std::lock_guard lock(m_textMutex);
    m_strOperation = text;
}

void CMonitorSession::ResetProgress() {
    m_progressTotal = 0;
    m_progressDone = 0;
    m_progressChunk = 0;
    m_progressInPacket = 0;
}

ErrorCode CMonitorSession::EndOperation(ErrorCode result) {
    m_operation = kOpIdle;
    return m_lastError = result;
}

void CMonitorSession::GetProgress(SessionProgress& out) const {
    out.operation = m_operation;
    {
        std::lock_guard lock(m_textMutex);
        out.text = m_strOperation;
    }
    out.total = m_progressTotal;
    out.done = m_progressDone;
    out.chunk = m_progressChunk;
    out.inPacket = m_progressInPacket;
}

bool CMonitorSession::IsLocationPresent(std::int32_t location) const {
    if (!m_connected || location < 0 || location >= kLocationCount) return false;
    return (m_locations >> location) & 1u;
}

bool CMonitorSession::PortGone() const { return m_pPort != nullptr && m_pPort->DeviceGone(); }

std::uint16_t CMonitorSession::McuWriteAddress() const { return Le16(&m_failure[2]); }
std::uint32_t CMonitorSession::DspWriteAddress() const { return Le32(&m_failure[4]); }
std::uint16_t CMonitorSession::KioskWriteAddress() const { return Le16(&m_failure[8]); }

std::string CMonitorSession::ErrorText() const { return GetErrorMessage(m_lastError); }

void CMonitorSession::PurgePort() {
    m_pPort->PurgeOut();
    m_pPort->WaitSent();
    m_pPort->PurgeIn();
}

ErrorCode CMonitorSession::Connect(CPort* port, bool wake, int attempts) {
    // An earlier connection ends here, so that no failure below leaves it standing.
    if (m_connected) Disconnect();
    SetOperation(kOpConnecting, "Connection...");
    ResetProgress();
    m_pPort = port;
    if (port == nullptr) return EndOperation(kErrMissingObject);

    std::uint32_t normalBaud = 0, normalHandshake = 0;
    PortSettings* settings = port->GetSettings();
    auto* serial = settings != nullptr && settings->HasType(kSerialType) ? dynamic_cast<SerialPortSettings*>(settings)
                                                                         : nullptr;
    if (serial != nullptr) {
        normalBaud = serial->baudRate;
        normalHandshake = serial->handshake;
        serial->baudRate = kMonitorBaudRate;  // takes effect at the next Open
        serial->handshake = kHandshakeNone;
    }
    // The port keeps the printer's own line for the next session, which may
    // have to wake the printer again (after a failure, a power cut).
    m_lineToRestore = serial != nullptr ? std::optional(std::pair{normalBaud, normalHandshake}) : std::nullopt;
    if (!port->IsOpen() && !port->Open()) {
        RestoreLine();
        return EndOperation(port->lastError);
    }

    m_connected = true;
    m_maxPacket = 0xFF;

    ErrorCode r = kOk;
    for (int budget = m_retries; budget > 0;) {
        r = ReadMonitorInfo(nullptr);
        if (r == kOk || PortGone()) break;
        SleepMs(m_timing.retryPauseMs);
        --budget;
        if (r & 0x00010000u) budget -= m_retries / 2;  // a silent port is not worth 55 tries
    }
    if (r != kOk && wake && !PortGone()) {
        r = GoToMonitorMode(normalBaud, normalHandshake, attempts);
        if (r == kOk) r = ReadMonitorInfo(nullptr);
    }
    if (r != kOk) {
        m_connected = false;
        RestoreLine();
        return EndOperation(r);
    }
    if (!IsSupportedVersion(m_monitorVersion)) return EndOperation(kErrMonVersionNewer);
    return EndOperation(kOk);
}

ErrorCode CMonitorSession::GoToMonitorMode(std::uint32_t baudRate, std::uint32_t handshake, int attempts) {
    if (m_pPort == nullptr) return m_lastError = kErrMissingObject;
    SetOperation(kOpGoToMonitor, "Going to monitor mode...");
    CPort& port = *m_pPort;
    const bool wasOpen = port.IsOpen();
    ResetProgress();
    if (attempts <= 0) attempts = kDefaultMonitorAttempts;
    m_progressTotal = static_cast<std::uint32_t>(attempts);

    PortSettings* settings = port.GetSettings();
    auto sendEnterCommand = [&] {
        port.Write(kEnterMonitor, sizeof kEnterMonitor);
        port.WaitSent();
    };
    if (settings != nullptr && settings->HasType(kSerialType)) {
        // The printer listens at its own settings until its monitor starts at 115200.
        auto* serial = dynamic_cast<SerialPortSettings*>(settings);
        if (port.IsOpen()) {
            port.Close();
            if (port.lastError != kOk) return EndOperation(port.lastError);
        }
        if (serial != nullptr) {
            serial->baudRate = baudRate;
            serial->handshake = handshake;
        }
        if (!port.Open()) return EndOperation(port.lastError);
        sendEnterCommand();
        // After the driver's queue reads empty, bytes may still sit in an
        // adapter's FIFO; changing the line's rate under them would garble them.
        SleepMs(m_timing.commandSettleMs);
        port.Close();
        if (port.lastError != kOk) return EndOperation(port.lastError);
        if (serial != nullptr) {
            serial->baudRate = kMonitorBaudRate;
            serial->handshake = kHandshakeNone;
        }
        if (!port.Open()) return EndOperation(port.lastError);
    } else if (settings != nullptr && settings->HasType(kUsbType)) {
        // The printer leaves the bus and comes back when its monitor starts.
        if (!port.IsOpen() && !port.Open()) return EndOperation(port.lastError);
        sendEnterCommand();
        port.Close();
        if (auto* usb = dynamic_cast<ReconnectingPort*>(&port)) usb->WaitForReconnect(m_timing.usbReconnectMs);
        SleepMs(m_timing.usbSettleMs);
        if (!port.Open()) return EndOperation(port.lastError);
    }

    for (int i = 0; i < attempts; ++i) {
        SleepMs(m_timing.retryPauseMs);
        ++m_progressDone;
        if (ReadMonitorInfo(nullptr) == kOk || PortGone()) break;
    }
    if (!wasOpen) port.Close();
    return EndOperation(port.lastError);
}

ErrorCode CMonitorSession::ReadMonitorInfo(MonitorInfo* info) {
    if (info != nullptr) *info = MonitorInfo{};
    if (m_pPort == nullptr) return m_lastError = kErrMissingObject;
    if (!m_pPort->IsOpen()) return m_lastError = kErrMonNotConnected;
    PurgePort();

    std::uint8_t answer[kInfoLength] = {};
    std::uint8_t code = kAnswerFailure;
    std::uint32_t length = 0;
    const ErrorCode r = Transact(
        Exchange{.command = kCmdInfo, .timeoutMs = m_timing.infoMs, .answer = answer, .expected = kInfoLength,
                 .answerCode = &code, .answerLength = &length});
    if (code != kAnswerOk) return r;
    if (r != kOk && r != kErrMonPacketShort) return r;
    if (length < MinimumInfoLength(answer[0])) return m_lastError = kErrMonPacketShort;

    m_monitorVersion = answer[0];
    m_maxPacket = answer[1];
    m_monitorVersion2 = 0xFF;
    std::copy(answer + 2, answer + 8, m_failure.begin() + 2);  // MCU and DSP write addresses
    m_knownWriteAddress[kMcuFlash] = McuWriteAddress();
    m_knownWriteAddress[kDspFlash] = DspWriteAddress();
    if ((answer[0] & kExtendedInfo) == 0) {
        m_locations = (1u << kMcuFlash) | (1u << kDspFlash);
        m_archi = kArchiNdx;
    } else {
        std::copy(answer + 9, answer + 15, m_failure.begin() + 8);  // KIOSK write address, double word B
        m_knownWriteAddress[kKioskFlash] = KioskWriteAddress();
        m_locations = answer[8];
        m_archi = (answer[8] & (1u << kKioskFlash)) ? kArchiKiosk : kArchiPlv;
        if (length > 15) m_monitorVersion2 = answer[15];
    }
    if (info != nullptr) {
        info->version = m_monitorVersion;
        info->maxPacket = m_maxPacket;
        info->mcuWriteAddress = McuWriteAddress();
        info->dspWriteAddress = DspWriteAddress();
        if (answer[0] & kExtendedInfo) {
            info->kioskWriteAddress = KioskWriteAddress();
            info->doubleWordB = Le32(&m_failure[10]);
        }
        info->version2 = m_monitorVersion2;
    }
    return m_lastError = kOk;
}

ErrorCode CMonitorSession::Disconnect() {
    m_operation = kOpDisconnecting;
    if (m_connected) {
        if (m_pPort != nullptr && m_pPort->IsOpen()) m_pPort->Close();
        RestoreLine();
        m_pPort = nullptr;
        m_connected = false;
    }
    return EndOperation(kOk);
}

void CMonitorSession::RestoreLine() {
    PortSettings* settings = m_pPort != nullptr ? m_pPort->GetSettings() : nullptr;
    auto* serial = settings != nullptr && settings->HasType(kSerialType) ? dynamic_cast<SerialPortSettings*>(settings)
                                                                         : nullptr;
    if (serial != nullptr && m_lineToRestore) std::tie(serial->baudRate, serial->handshake) = *m_lineToRestore;
    m_lineToRestore.reset();
}

ErrorCode CMonitorSession::LeaveMonitorMode() {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    for (int attempt = 0; attempt < m_retries / 10; ++attempt) {
        m_pPort->PurgeIn();
        m_pPort->PurgeOut();
        if (Transact(Exchange{.command = kCmdLeaveMonitor, .timeoutMs = m_timing.leaveMs}) == kOk || PortGone()) break;
    }
    return Disconnect();
}

ErrorCode CMonitorSession::Transact(const Exchange& x) {
    if (ErrorCode r = SendPacket(x.command, x.request, x.requestLength, x.record); r != kOk) return r;
    if (!m_pPort->WaitSent()) return m_lastError = kErrMonNotSent;
    return ReceivePacket(x.answerCode, x.timeoutMs, x.answer, x.expected, x.answerLength);
}

}  // namespace carillon
