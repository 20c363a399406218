#pragma once
// CMonitorSession: the PC's end of a conversation with one printer's boot
// monitor. It borrows a port, brings the printer into monitor mode,
// identifies the monitor, and carries the flash commands over framed,
// CRC-checked packets. One thread drives a session; another may read its
// progress and version fields while it works.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>
#include <string>

#include "errors/ErrorCode.h"
#include "monitor/FlashGeometry.h"
#include "monitor/FrameObserver.h"
#include "platform/ByteArray.h"

namespace carillon {

class CPort;

// What ReadMonitorInfo reports; every byte is 0xFF until an answer fills it.
struct MonitorInfo {
    std::uint8_t version = 0xFF;
    std::uint16_t maxPacket = 0xFFFF;
    std::uint16_t mcuWriteAddress = 0xFFFF;
    std::uint32_t dspWriteAddress = 0xFFFFFFFF;
    std::uint16_t kioskWriteAddress = 0xFFFF;
    std::uint32_t doubleWordB = 0xFFFFFFFF;
    std::uint8_t version2 = 0xFF;
};

struct SessionProgress {
    std::uint32_t operation = 0;
    std::string text;
    std::uint32_t total = 0;
    std::uint32_t done = 0;
    std::uint32_t chunk = 0;
    std::uint32_t inPacket = 0;
};

// Operation codes of m_operation.
enum MonitorOperation : std::uint32_t {
    kOpIdle = 0,
    kOpGoToMonitor = 4,
    kOpConnecting = 7,
    kOpReadingFlash = 8,
    kOpDisconnecting = 9,
    kOpWritingFlash = 10,
};

// Command codes of the monitor protocol.
enum MonitorCommand : std::uint8_t {
    kCmdLeaveMonitor = 0x40,
    kCmdInfo = 0x41,
    kCmdEraseMcu = 'B',
    kCmdBlankMcu = 'C',
    kCmdWriteMcu = 'D',
    kCmdReadMcu = 'E',
    kCmdWriteMcuNext = 'F',
    kCmdGeometryDsp = 'H',
    kCmdEraseDsp = 'I',
    kCmdBlankDsp = 'J',
    kCmdWriteDsp = 'K',
    kCmdReadDsp = 'L',
    kCmdWriteDspNext = 'M',
    kCmdEraseKiosk = 'N',
    kCmdBlankKiosk = 'O',
    kCmdWriteKiosk = 'P',
    kCmdReadKiosk = 'Q',
    kCmdWriteKioskNext = 'R',
    kDataPlain = 'a',
    kDataCodeCrypted = 'b',
    kDataFontCrypted = 'c',
};

// The session's time-outs (per answer packet) and pauses, in milliseconds.
// Tests and tools may shorten them; the defaults are what printers expect.
struct MonitorTiming {
    std::uint32_t infoMs = 500;
    std::uint32_t leaveMs = 2000;
    std::uint32_t geometryMs = 100;
    std::uint32_t writeAnswerMs = 2000;
    std::uint32_t boardEraseMs = 2000;  // MCU_FLASH and KIOSK_FLASH
    std::uint32_t dspEraseMs = 25000;
    std::uint32_t boardBlankCheckMs = 2000;
    std::uint32_t dspBlankCheckMs = 1000;
    std::uint32_t boardReadMs = 10000;
    std::uint32_t dspReadMs = 1000;
    std::uint32_t retryPauseMs = 500;       // between connect, blank-check and read attempts, and monitor polls
    std::uint32_t reidentifyPauseMs = 100;  // between re-identification attempts
    std::uint32_t usbReconnectMs = 10000;   // for a USB printer to leave and come back
    std::uint32_t usbSettleMs = 500;        // before reopening a USB printer that came back
    std::uint32_t commandSettleMs = 50;     // after the monitor-mode command on a serial line

    // Every time-out and pause multiplied by factor, but at least 1 ms. The
    // settle time after the monitor-mode command stays: the line needs it.
    MonitorTiming Scaled(double factor) const;
};

// Answer codes.
constexpr std::uint8_t kAnswerOk = 0x00;
constexpr std::uint8_t kAnswerFailure = 0xFF;

class CMonitorSession {
public:
    CMonitorSession();
    ~CMonitorSession();
    CMonitorSession(const CMonitorSession&) = delete;
    CMonitorSession& operator=(const CMonitorSession&) = delete;

    // Session.
    ErrorCode Connect(CPort* port, bool wake, int attempts);
    ErrorCode GoToMonitorMode(std::uint32_t baudRate, std::uint32_t handshake, int attempts);
    ErrorCode ReadMonitorInfo(MonitorInfo* info);
    ErrorCode Disconnect();
    ErrorCode LeaveMonitorMode();
    bool IsLocationPresent(std::int32_t location) const;
    // The borrowed port's device has gone: no retry can succeed any more.
    bool PortGone() const;
    void GetProgress(SessionProgress& out) const;

    // Packets.
    ErrorCode SendPacket(std::uint8_t code, const std::uint8_t* data, std::uint32_t n, ByteArray* record);
    ErrorCode ReceivePacket(std::uint8_t* answerCode, std::uint32_t timeoutMs, std::uint8_t* data,
                            std::uint32_t expected, std::uint32_t* length);
    // Frames and sends a body as it stands, with its own sequence number and
    // CRC: how a recorded packet is sent again.
    ErrorCode SendBody(const std::uint8_t* body, std::size_t length);

    // Flash commands. Addresses and lengths are in the location's units.
    ErrorCode GetGeometry(std::int32_t location, FlashGeometry& geometry);
    ErrorCode BlankCheck(std::int32_t location, std::uint32_t address, std::uint32_t length);
    ErrorCode EraseSector(std::int32_t location, std::uint32_t address);
    ErrorCode ReadFlash(std::int32_t location, std::uint32_t address, std::uint32_t length, std::uint8_t* destination,
                        std::uint32_t packetSize);
    ErrorCode WriteFlash(std::int32_t location, std::int32_t cryptMode, std::uint32_t address, std::uint32_t length,
                         const std::uint8_t* data, std::uint32_t* written, std::uint32_t packetSize,
                         std::uint32_t failureLimit);
    ErrorCode ReadChunk(std::uint8_t command, std::uint32_t address, std::uint32_t length, std::uint8_t* destination,
                        std::uint32_t packetSize);
    ErrorCode WriteChunk(std::uint8_t command, std::uint8_t dataCode, std::uint32_t address, std::uint32_t length,
                         const std::uint8_t* data, std::uint32_t* written, std::uint32_t packetSize);
    std::string ErrorText() const;

    // The output binary: while m_pRecord is attached, the engine records each
    // erase and write once it has succeeded, as a clean update would have
    // sent it (numbered from m_recordSequence, cut into chunks and packets
    // as on this line), so that nothing of a failed or repeated attempt
    // reaches printers that replay it.
    void RecordErase(std::int32_t location, std::uint32_t address);
    void RecordWrite(std::int32_t location, std::int32_t cryptMode, std::uint32_t address, std::uint32_t length,
                     const std::uint8_t* data, std::uint32_t packetSize);

    // Where the monitor's last write stopped, per location, from the last
    // monitor info (the storage is shared with the failure detail).
    std::uint16_t McuWriteAddress() const;
    std::uint32_t DspWriteAddress() const;
    std::uint16_t KioskWriteAddress() const;

    std::atomic<std::uint32_t> m_operation{kOpIdle};
    std::atomic<std::uint32_t> m_progressTotal{0};
    std::atomic<std::uint32_t> m_progressDone{0};
    std::atomic<std::uint32_t> m_progressChunk{0};
    std::atomic<std::uint32_t> m_progressInPacket{0};
    std::array<std::uint8_t, 14> m_failure{};
    std::int32_t m_retries = 55;
    CPort* m_pPort = nullptr;
    std::uint16_t m_maxPacket = 0;
    std::atomic<std::uint8_t> m_monitorVersion{0xFF};
    std::atomic<std::uint8_t> m_monitorVersion2{0xFF};
    std::atomic<std::uint8_t> m_locations{0};
    std::atomic<std::int32_t> m_archi{0};
    ErrorCode m_lastError = kOk;
    std::atomic<bool> m_connected{false};
    std::uint8_t m_txSequence = 0;
    std::uint8_t m_rxSequence = 0;
    ByteArray* m_pRecord = nullptr;
    // A stop asked for from another thread; writes honour it between chunks
    // while m_stopBetweenChunks is set (element data, never a table).
    std::atomic<bool> m_stopRequested{false};
    bool m_stopBetweenChunks = false;
    std::uint8_t m_recordSequence = 0;
    MonitorTiming m_timing;
    FrameObserver* m_frameObserver = nullptr;  // set before the session starts, never while it works

private:
    // One request and its answer.
    struct Exchange {
        std::uint8_t command = 0;
        const std::uint8_t* request = nullptr;
        std::uint32_t requestLength = 0;
        ByteArray* record = nullptr;
        std::uint32_t timeoutMs = 0;
        std::uint8_t* answer = nullptr;
        std::uint32_t expected = 0;
        std::uint8_t* answerCode = nullptr;
        std::uint32_t* answerLength = nullptr;
    };

    void SetOperation(std::uint32_t operation, const char* text);
    void ResetProgress();
    ErrorCode EndOperation(ErrorCode result);
    void PurgePort();
    ErrorCode Transact(const Exchange& exchange);
    ErrorCode GeometryExchange(FlashGeometry& geometry);
    ErrorCode Reidentify();
    bool EnsureFrameCapacity(std::size_t bytes);
    bool OnSerialLine() const;
    void RestoreLine();
    ErrorCode ConfirmWritten(std::int32_t location, std::uint32_t address, std::uint32_t units,
                             const std::uint8_t* data);
    void AppendRecord(std::uint8_t code, const std::uint8_t* data, std::uint32_t n);
    ErrorCode WriteFrame(const std::uint8_t* head, std::size_t headLength, const std::uint8_t* data, std::size_t n);

    mutable std::mutex m_textMutex;
    std::string m_strOperation = "No_Action";
    std::unique_ptr<std::uint8_t[]> m_frame;  // reused for every frame sent
    std::size_t m_frameCapacity = 0;
    std::array<std::uint8_t, 259> m_answer{};  // one answer body
    // Where each location's monitor write address is believed to stand: from
    // the last monitor info, moved on by every chunk the monitor confirmed.
    std::array<std::uint32_t, 4> m_knownWriteAddress{};
    bool m_writeUnconfirmed = false;  // a short chunk's progress could not be read back as sent
    std::optional<std::pair<std::uint32_t, std::uint32_t>> m_lineToRestore;  // the printer's own rate and handshake
};

}  // namespace carillon
