// The packet layer: one request out, one answer back. Frames are 0xC0, the
// escaped body, 0xC1; the body is a little-endian CRC over sequence number,
// code and data, then those three.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "monitor/MonitorSession.h"
#include "monitor/PacketRecord.h"
#include "package/Crc16.h"
#include "ports/Port.h"
#include "ports/PortSettings.h"

namespace carillon {
namespace {

constexpr std::uint8_t kFrameStart = 0xC0;
constexpr std::uint8_t kFrameEnd = 0xC1;
constexpr std::uint8_t kEscape = 0x7D;
constexpr std::uint8_t kEscapeXor = 0x20;
constexpr std::uint32_t kMaxRequestBody = 255;
constexpr std::uint32_t kPacketWriteTimeoutMs = 2000;
constexpr std::uint32_t kDefaultReadTimeoutMs = 2000;

constexpr std::uint32_t kAnswerFrameMaxBytes = 2 + 2 * 259;  // start, end, every body byte escaped
constexpr std::uint32_t kFastestLineBaud = 115200;             // what a USB line is counted as

// The longest answer frame's time on the line, with some slack for the
// scheduler: added to an answer's time-out, it bounds a whole receive.
std::uint32_t AnswerFrameMs(CPort& port) {
    std::uint32_t baud = kFastestLineBaud;
    PortSettings* settings = port.GetSettings();
    if (settings != nullptr && settings->HasType(kSerialType)) {
        const auto& serial = static_cast<const SerialPortSettings&>(*settings);
        if (serial.baudRate != 0) baud = std::min(serial.baudRate, kFastestLineBaud);
    }
    return 10 + kAnswerFrameMaxBytes * 10 * 1000 * 11 / 10 / baud;
}

bool IsFramingByte(std::uint8_t b) { return b == kFrameStart || b == kFrameEnd || b == kEscape; }

std::uint8_t* Escape(const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    for (std::size_t i = 0; i < n; ++i) {
        if (IsFramingByte(in[i])) {
            *out++ = kEscape;
            *out++ = static_cast<std::uint8_t>(in[i] ^ kEscapeXor);
        } else {
            *out++ = in[i];
        }
    }
    return out;
}

bool IsAnswerCode(std::uint8_t code) {
    return code == kAnswerOk || code == 0x61 || code == 0x62 || code == 0x63 || code == kAnswerFailure;
}

}  // namespace

bool CMonitorSession::EnsureFrameCapacity(std::size_t bytes) {
    if (bytes <= m_frameCapacity) return true;
    std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[bytes]);
    if (!bigger) return false;
    m_frame = std::move(bigger);
    m_frameCapacity = bytes;
    return true;
}

ErrorCode CMonitorSession::SendPacket(std::uint8_t code, const std::uint8_t* data, std::uint32_t n, ByteArray* record) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    if (m_pPort == nullptr) return m_lastError = kErrMissingObject;
    m_lastError = kOk;
    const std::size_t bodyLength = 4 + static_cast<std::size_t>(n);
    if (!EnsureFrameCapacity(2 * bodyLength + 2)) return m_lastError = kErrNoMemory;

    const std::uint8_t seqAndCode[2] = {m_txSequence, code};
    const std::uint16_t crc = ComputeCrc16(ComputeCrc16(0xFFFF, seqAndCode, 2), data, n);
    const std::uint8_t head[4] = {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8),
                                  m_txSequence, code};

    if (bodyLength > kMaxRequestBody) {
        m_lastError = kErrMonRequestTooLong;  // sent all the same, but never recorded
    } else if (record != nullptr) {
        AppendPacketRecord(*record, m_txSequence, code, data, n);
    }

    if (ErrorCode r = WriteFrame(head, 4, data, n); r != kOk) m_lastError = r;
    ++m_txSequence;
    return m_lastError;
}

ErrorCode CMonitorSession::SendBody(const std::uint8_t* body, std::size_t length) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    if (m_pPort == nullptr) return m_lastError = kErrMissingObject;
    if (!EnsureFrameCapacity(2 * length + 2)) return m_lastError = kErrNoMemory;
    return m_lastError = WriteFrame(body, length, nullptr, 0);
}

ErrorCode CMonitorSession::WriteFrame(const std::uint8_t* head, std::size_t headLength, const std::uint8_t* data,
                                      std::size_t n) {
    std::uint8_t* out = m_frame.get();
    *out++ = kFrameStart;
    out = Escape(head, headLength, out);
    out = Escape(data, n, out);
    *out++ = kFrameEnd;
    const std::size_t frameLength = static_cast<std::size_t>(out - m_frame.get());
    if (m_frameObserver != nullptr) {
        ByteArray body(head, head + headLength);
        body.insert(body.end(), data, data + n);
        m_frameObserver->OnFrame(FrameDirection::kSent, body.data(), body.size());
    }

    m_pPort->writeTimeout = kPacketWriteTimeoutMs;
    for (std::size_t sent = 0; sent < frameLength;) {
        const int written = m_pPort->Write(m_frame.get() + sent, static_cast<int>(frameLength - sent));
        if (m_pPort->lastError != kOk) return m_pPort->lastError;
        if (written <= 0) return kErrPortSend;  // no progress and no error: give up instead of spinning
        sent += static_cast<std::size_t>(written);
    }
    return kOk;
}

ErrorCode CMonitorSession::ReceivePacket(std::uint8_t* answerCode, std::uint32_t timeoutMs, std::uint8_t* data,
                                         std::uint32_t expected, std::uint32_t* length) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    if (m_pPort == nullptr) return m_lastError = kErrMissingObject;
    std::uint8_t localCode = kAnswerFailure;
    std::uint32_t localLength = 0;
    std::uint8_t& code = answerCode != nullptr ? *answerCode : localCode;
    std::uint32_t& received = length != nullptr ? *length : localLength;
    code = kAnswerFailure;
    received = 0;
    m_lastError = kOk;

    // Each byte may take the answer's time-out, but never past the deadline:
    // a line that keeps sending noise must not hold the receive for ever.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(std::uint64_t{timeoutMs} + AnswerFrameMs(*m_pPort));
    auto next = [&](std::uint8_t& b) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left > 0) {
            m_pPort->readTimeout = static_cast<std::uint32_t>(std::min<std::int64_t>(left, timeoutMs));
            b = m_pPort->ReadByte();
            if (m_pPort->lastError == kOk) return true;
            m_lastError = m_pPort->lastError;
        } else {
            m_lastError = kErrPortReadTimeout;
        }
        m_pPort->readTimeout = kDefaultReadTimeoutMs;
        return false;
    };

    std::uint8_t b = 0;
    do {
        if (!next(b)) return m_lastError;
    } while (b != kFrameStart);

    std::size_t stored = 0;
    bool escaped = false;
    for (;;) {
        if (!next(b)) return m_lastError;
        if (b == kFrameEnd) break;
        if (b == kFrameStart) return m_lastError = kErrMonNoEnd;
        if (b == kEscape) {
            escaped = true;
            continue;
        }
        if (escaped) b ^= kEscapeXor;
        escaped = false;
        if (stored < m_answer.size()) m_answer[stored++] = b;
    }

    m_pPort->readTimeout = timeoutMs;
    if (m_frameObserver != nullptr) m_frameObserver->OnFrame(FrameDirection::kReceived, m_answer.data(), stored);
    if (stored < 4) return m_lastError = kErrMonPacketShort;
    const std::uint16_t crc = static_cast<std::uint16_t>(m_answer[0] | (m_answer[1] << 8));
    if (crc != ComputeCrc16(0xFFFF, &m_answer[2], stored - 2)) return m_lastError = kErrMonCrc;
    if (m_answer[2] != m_rxSequence) {
        m_rxSequence = static_cast<std::uint8_t>(m_answer[2] + 1);
        return m_lastError = kErrMonSequence;
    }
    ++m_rxSequence;
    code = m_answer[3];
    if (!IsAnswerCode(code)) {
        code = kAnswerFailure;
        return m_lastError = kErrMonUnknownAnswer;
    }

    const std::size_t n = stored - 4;
    if (code == kAnswerFailure) {
        const std::size_t minimum = m_monitorVersion < 0x80 ? 4 : 10;
        if (n < minimum) return m_lastError = kErrMonPacketShort;
        m_failure.fill(0);
        std::memcpy(m_failure.data(), &m_answer[4], std::min(n, m_failure.size()));
        return m_lastError = kErrMonFailureBase + m_answer[4];
    }

    received = static_cast<std::uint32_t>(std::min<std::size_t>(n, expected));
    if (data != nullptr && received > 0) std::memcpy(data, &m_answer[4], received);
    if (n > expected) return m_lastError = kErrMonPacketLong;
    if (n < expected) return m_lastError = kErrMonPacketShort;
    return m_lastError = kOk;
}

}  // namespace carillon
