// The monitor's flash commands: geometry, blank check, erase, read and write,
// with their retry rules. Reads and erases are simply repeated; writes
// recover from a lost answer by asking the monitor how far it got.

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "monitor/CommandLayout.h"
#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "platform/MessageBox.h"
#include "ports/Port.h"

namespace carillon {
namespace {

using namespace command_layout;

constexpr std::uint32_t kReadChunkLimit = 0xFFFF;
constexpr int kReidentifyAttempts = 20;
constexpr int kConfirmAttempts = 5;  // reads of a short chunk's units, which a lost answer may take

// The location a read or write command letter belongs to.
std::int32_t LocationOfCommand(std::uint8_t command) {
    switch (command) {
        case kCmdWriteMcu: case kCmdWriteMcuNext: case kCmdReadMcu: return kMcuFlash;
        case kCmdWriteDsp: case kCmdWriteDspNext: case kCmdReadDsp: return kDspFlash;
        case kCmdWriteKiosk: case kCmdWriteKioskNext: case kCmdReadKiosk: return kKioskFlash;
        default: return kNoLocation;
    }
}

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Failures that a lost or damaged answer explains; the others are worth a box.
bool IsLineFailure(ErrorCode code) {
    switch (code) {
        case kErrMonPacketShort: case kErrMonPacketLong: case kErrMonSequence: case kErrMonUnknownAnswer:
        case kErrPortFlushTimeout: case kErrPortWriteTimeout: case kErrPortReadTimeout:
            return true;
        default:
            return IsMonitorFailure(code);
    }
}

}  // namespace

ErrorCode CMonitorSession::Reidentify() {
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < kReidentifyAttempts; ++attempt) {
        if (attempt > 0) SleepMs(m_timing.reidentifyPauseMs);
        r = ReadMonitorInfo(nullptr);
        if (r == kOk || PortGone()) break;
    }
    return r;
}

ErrorCode CMonitorSession::GetGeometry(std::int32_t location, FlashGeometry& geometry) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    if (!IsLocationPresent(location)) return m_lastError = kErrMonFlashAbsent;
    if (location == kMcuFlash || location == kKioskFlash) {
        geometry = FixedBoardGeometry(m_monitorVersion);
        return m_lastError = kOk;
    }
    if (location != kDspFlash) return m_lastError = kErrMonFlashAbsent;
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < std::max(1, m_retries); ++attempt) {
        r = GeometryExchange(geometry);
        if (r == kOk || PortGone()) break;
    }
    return m_lastError = r;
}

ErrorCode CMonitorSession::GeometryExchange(FlashGeometry& g) {
    PurgePort();
    std::uint8_t head[7] = {g.manufacturerId, g.deviceId, 0, 0, 0, 0, 0};
    std::uint8_t code = kAnswerFailure;
    ErrorCode r = Transact(Exchange{.command = kCmdGeometryDsp, .timeoutMs = m_timing.geometryMs, .answer = head,
                                    .expected = sizeof head, .answerCode = &code});
    g.manufacturerId = head[0];
    g.deviceId = head[1];
    g.sizeCode = head[2];
    g.sectorCount = head[3];
    g.tableSector = head[4];
    g.reserved[0] = head[5];
    g.reserved[1] = head[6];
    if (r == kErrMonPacketShort && code == kAnswerOk && g.sizeCode == 0) {
        // Only the JEDEC ids: the chip table knows the rest.
        const FlashChip* chip = FindFlashChip(g.manufacturerId, g.deviceId);
        if (chip == nullptr) return m_lastError = kErrMonUnknownFlash;
        ApplyFlashChip(*chip, g);
        return m_lastError = kOk;
    }
    if (r != kOk) return r;
    for (int s = 0; s < g.sectorCount; ++s) {
        std::uint8_t size[2] = {};
        if ((r = ReceivePacket(nullptr, m_timing.geometryMs, size, 2, nullptr)) != kOk) return r;
        g.sectorSize[s] = static_cast<std::uint16_t>(size[0] | (size[1] << 8));
        g.sectorReserved[s] = 0;
    }
    return m_lastError = kOk;
}

ErrorCode CMonitorSession::BlankCheck(std::int32_t location, std::uint32_t address, std::uint32_t length) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    const LocationCommands* cmd = CommandsFor(location);
    if (cmd == nullptr || !IsLocationPresent(location)) return m_lastError = kErrMonFlashAbsent;
    RequestData request;
    if (!request.Address(address, cmd->wideAddress) || length > 0xFFFF) return m_lastError = kErrMonAddressRange;
    request.U16(length);

    const bool wide = cmd->wideAddress;
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < m_retries; ++attempt) {
        if (attempt > 0) SleepMs(m_timing.retryPauseMs);
        PurgePort();
        r = Transact(Exchange{.command = cmd->blankCheck, .request = request.data(), .requestLength = request.size(),
                              .timeoutMs = wide ? m_timing.dspBlankCheckMs : m_timing.boardBlankCheckMs});
        if (r == kErrMonFailureBase) r = kErrMonNotBlank;  // refused with flags 0: something is written there
        if (r == kOk || r == kErrMonNotBlank || PortGone()) break;
    }
    return m_lastError = r;
}

ErrorCode CMonitorSession::EraseSector(std::int32_t location, std::uint32_t address) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    const LocationCommands* cmd = CommandsFor(location);
    if (cmd == nullptr || !IsLocationPresent(location)) return m_lastError = kErrMonFlashAbsent;
    RequestData request;
    if (!request.Address(address, cmd->wideAddress)) return m_lastError = kErrMonAddressRange;

    ErrorCode r = kOk;
    for (int attempt = 0; attempt < m_retries; ++attempt) {
        PurgePort();
        r = Transact(Exchange{.command = cmd->erase, .request = request.data(), .requestLength = request.size(),
                              .timeoutMs = cmd->wideAddress ? m_timing.dspEraseMs : m_timing.boardEraseMs});
        if (r == kOk || PortGone()) break;
    }
    return m_lastError = r;
}

ErrorCode CMonitorSession::ReadFlash(std::int32_t location, std::uint32_t address, std::uint32_t length,
                                     std::uint8_t* destination, std::uint32_t packetSize) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    m_operation = kOpReadingFlash;
    m_progressTotal = length;
    m_progressDone = 0;
    const LocationCommands* cmd = CommandsFor(location);
    if (cmd == nullptr || !IsLocationPresent(location)) return EndOperation(kErrMonFlashAbsent);
    if (packetSize > m_maxPacket) return EndOperation(kErrMonPacketSize);

    // A monitor that takes no data in its packets could never deliver any.
    if (length > 0 && packetSize == 0 && m_maxPacket == 0) return EndOperation(kErrMonPacketSize);

    std::uint32_t limit = kReadChunkLimit;
    std::uint32_t remaining = length;
    ErrorCode r = kOk;
    for (int attempts = m_retries; attempts > 0 && remaining > 0;) {
        std::uint32_t chunk = remaining;
        // After a failure the limit falls to the packet size; with packet
        // size 0 that means one largest packet, but never more than remains:
        // a longer read would run past the destination.
        if (chunk > limit) chunk = packetSize == 0 ? std::min<std::uint32_t>(m_maxPacket, remaining) : limit;
        r = ReadChunk(cmd->read, address, chunk, destination, packetSize);
        if (r == kOk) {
            m_progressDone += chunk;
            remaining -= chunk;
            address += chunk;
            destination += static_cast<std::size_t>(chunk) * BytesPerUnit(location);
            attempts = m_retries;
        } else if (r == kErrMonFailureBase + 0x40 || PortGone()) {
            break;
        } else {
            limit = packetSize;
            SleepMs(m_timing.retryPauseMs);
            --attempts;
        }
    }
    return EndOperation(r);
}

ErrorCode CMonitorSession::ReadChunk(std::uint8_t command, std::uint32_t address, std::uint32_t length,
                                     std::uint8_t* destination, std::uint32_t packetSize) {
    m_progressChunk = length;
    m_progressInPacket = 0;
    const std::int32_t location = LocationOfCommand(command);
    const LocationCommands* cmd = CommandsFor(location);
    if (cmd == nullptr || cmd->read != command) return m_lastError = kErrMonWrongCommand;
    RequestData request;
    if (!request.Address(address, cmd->wideAddress)) return m_lastError = kErrMonAddressRange;
    request.U16(length);
    PurgePort();
    if (ErrorCode r = SendPacket(command, request.data(), request.size(), nullptr); r != kOk) return r;
    if (!m_pPort->WaitSent()) return m_lastError = kErrMonNotSent;

    const std::uint32_t unitBytes = BytesPerUnit(location);
    const std::uint32_t packetBytes = packetSize == 0 ? m_maxPacket : packetSize;  // the monitor sizes its answers
    if (packetBytes == 0 && length > 0) return m_lastError = kErrMonPacketSize;  // no answer could ever carry data
    std::uint32_t due = length * unitBytes;
    ErrorCode r = kOk;
    while (due > 0) {
        const std::uint32_t expected = std::min(due, packetBytes);
        std::uint32_t received = 0;
        r = ReceivePacket(nullptr, cmd->wideAddress ? m_timing.dspReadMs : m_timing.boardReadMs, destination, expected,
                          &received);
        if (r != kOk) break;
        destination += received;
        due -= received;
        m_progressInPacket += received / unitBytes;
    }
    if (r != kOk) {
        Reidentify();
        m_lastError = r;
    }
    return r;
}

ErrorCode CMonitorSession::ConfirmWritten(std::int32_t location, std::uint32_t address, std::uint32_t units,
                                          const std::uint8_t* data) {
    std::vector<std::uint8_t> back(static_cast<std::size_t>(units) * BytesPerUnit(location));
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < kConfirmAttempts; ++attempt) {
        if ((r = ReadChunk(CommandsFor(location)->read, address, units, back.data(), 0)) == kOk || PortGone()) break;
    }
    if (r != kOk) return r;
    return std::equal(back.begin(), back.end(), data) ? kOk : kErrMonNotBlank;
}

ErrorCode CMonitorSession::WriteFlash(std::int32_t location, std::int32_t cryptMode, std::uint32_t address,
                                      std::uint32_t length, const std::uint8_t* data, std::uint32_t* written,
                                      std::uint32_t packetSize, std::uint32_t failureLimit) {
    if (!m_connected) return m_lastError = kErrMonNotConnected;
    std::uint32_t localWritten = 0;
    std::uint32_t& total = written != nullptr ? *written : localWritten;
    m_operation = kOpWritingFlash;
    m_progressTotal = length;
    m_progressDone = 0;
    total = 0;
    if (packetSize > m_maxPacket) return EndOperation(kErrMonPacketSize);
    // A monitor that takes no data in its packets: every chunk would carry
    // nothing and the write would never end.
    if (length > 0 && packetSize == 0 && m_maxPacket == 0) return EndOperation(kErrMonPacketSize);
    const LocationCommands* cmd = CommandsFor(location);
    if (cmd == nullptr) return EndOperation(kErrMonLocationUnknown);
    const std::uint8_t dataCode = DataCodeOf(cryptMode);
    if (dataCode == 0) return EndOperation(kErrMonCryptUnknown);

    const std::uint32_t defaultLimit = WriteChunkLimit(OnSerialLine(), m_maxPacket, BytesPerUnit(location));
    const std::uint32_t unitBytes = BytesPerUnit(location);

    std::uint8_t command = cmd->writeFirst;
    std::uint32_t limit = defaultLimit;
    std::uint32_t failures = 0;
    std::uint32_t remaining = length;
    while (remaining > 0) {
        if (m_stopBetweenChunks && m_stopRequested) return EndOperation(kErrEngStoppedByUser);
        const std::uint32_t chunk = std::min(remaining, limit);
        std::uint32_t w = 0;
        m_writeUnconfirmed = false;
        const ErrorCode r = WriteChunk(command, dataCode, address, chunk, data, &w, packetSize);
        total += w;
        m_progressDone = total;
        if (r == kErrMonPacketSize && m_pRecord != nullptr) return EndOperation(kErrMonPacketSize);
        if (PortGone()) return EndOperation(r);
        // Units that may hold something else than the data: only erasing helps.
        if (m_writeUnconfirmed) return EndOperation(r);
        limit = defaultLimit;
        if (w == chunk) {
            failures = 0;
            command = cmd->writeNext;
        } else {
            ++failures;
            limit = w == 0 ? 1 : w;
            if (failures > failureLimit) return EndOperation(kErrEngTooManyErrors);
            // The monitor may not have seen this chunk's request at all, so its
            // write address proves nothing: the next chunk names its address.
            command = cmd->writeFirst;
        }
        if (w > remaining) w = 0;
        data += static_cast<std::size_t>(w) * unitBytes;
        address += w;
        remaining -= w;
    }
    return EndOperation(kOk);
}

ErrorCode CMonitorSession::WriteChunk(std::uint8_t command, std::uint8_t dataCode, std::uint32_t address,
                                      std::uint32_t length, const std::uint8_t* data, std::uint32_t* written,
                                      std::uint32_t packetSize) {
    std::uint32_t localWritten = 0;
    std::uint32_t& accepted = written != nullptr ? *written : localWritten;
    accepted = 0;
    m_progressChunk = length;
    m_progressInPacket = 0;

    const std::int32_t location = LocationOfCommand(command);
    const LocationCommands* cmd = CommandsFor(location);
    const bool first = cmd != nullptr && command == cmd->writeFirst;
    if (cmd == nullptr || (!first && command != cmd->writeNext)) return m_lastError = kErrMonWrongCommand;
    if (dataCode != kDataPlain && dataCode != kDataCodeCrypted && dataCode != kDataFontCrypted)
        return m_lastError = kErrMonDataType;
    if (packetSize > m_maxPacket) return m_lastError = kErrMonPacketSize;
    // No packet could carry the data: refuse rather than send empty packets forever.
    if (length > 0 && packetSize == 0 && m_maxPacket == 0) return m_lastError = kErrMonPacketSize;

    PurgePort();
    RequestData request;
    if (!WriteRequest(*cmd, first, address, length, dataCode, request)) return m_lastError = kErrMonAddressRange;
    // Where the monitor's write address stood before this chunk: if it still
    // stands there afterwards, the monitor may never have seen the request.
    const std::uint32_t before = m_knownWriteAddress[static_cast<std::size_t>(location)];
    if (ErrorCode r = SendPacket(command, request.data(), request.size(), nullptr); r != kOk) return r;

    const std::uint32_t unitBytes = BytesPerUnit(location);
    const std::uint32_t packetBytes = DataPacketBytes(packetSize, m_maxPacket);
    const std::uint8_t* const chunkData = data;
    for (std::uint32_t left = length * unitBytes; left > 0;) {
        const std::uint32_t n = std::min(left, packetBytes);
        if (SendPacket(dataCode, data, n, nullptr) != kOk) {
            m_lastError = m_pPort->lastError;
            m_pPort->PurgeOut();
            break;
        }
        data += n;
        left -= n;
        m_progressInPacket += n / unitBytes;
    }
    if (!m_pPort->WaitSent()) {
        if (m_lastError == kOk) m_lastError = kErrMonNotSent;
        return m_lastError;
    }

    const ErrorCode r = ReceivePacket(nullptr, m_timing.writeAnswerMs, nullptr, 0, nullptr);
    m_pPort->PurgeIn();
    if (r == kOk) {
        accepted = length;
        m_knownWriteAddress[static_cast<std::size_t>(location)] = address + length;
        return m_lastError = kOk;
    }

    // A printer that has gone has nothing more to tell: the failure says it all.
    if (PortGone()) return m_lastError = r;
    if (!IsLineFailure(r)) platform::MessageBox(nullptr, ErrorText(), "", platform::MB_OK);
    if (ErrorCode again = Reidentify(); again != kOk) return m_lastError = again;
    // The monitor tells where its write stopped: count what it took and go on from there.
    std::uint32_t stoppedAt = location == kMcuFlash ? McuWriteAddress()
                              : location == kDspFlash ? DspWriteAddress()
                                                      : KioskWriteAddress();
    std::uint32_t taken = stoppedAt > address ? stoppedAt - address : 0;
    if (taken > length || (first && stoppedAt == before)) taken = 0;
    if (taken > 0) {
        // The write address tells where the monitor stopped, not what it
        // stored: after a lost data packet the next one lands in its place.
        if (ErrorCode check = ConfirmWritten(location, address, taken, chunkData); check != kOk) {
            m_writeUnconfirmed = true;
            return m_lastError = check;
        }
    }
    accepted = taken;
    return m_lastError = kOk;
}

}  // namespace carillon
