// The output binary's records: each erase and write as an undisturbed line
// carries it, whatever retries and recoveries the real exchange needed.

#include "monitor/CommandLayout.h"
#include "monitor/MonitorSession.h"
#include "monitor/PacketRecord.h"
#include "ports/Port.h"
#include "ports/PortSettings.h"

namespace carillon {

using namespace command_layout;

bool CMonitorSession::OnSerialLine() const {
    PortSettings* settings = m_pPort != nullptr ? m_pPort->GetSettings() : nullptr;
    return settings != nullptr && settings->HasType(kSerialType);
}

void CMonitorSession::AppendRecord(std::uint8_t code, const std::uint8_t* data, std::uint32_t n) {
    AppendPacketRecord(*m_pRecord, m_recordSequence++, code, data, n);
}

void CMonitorSession::RecordErase(std::int32_t location, std::uint32_t address) {
    const LocationCommands* cmd = CommandsFor(location);
    RequestData request;
    if (m_pRecord == nullptr || cmd == nullptr || !request.Address(address, cmd->wideAddress)) return;
    AppendRecord(cmd->erase, request.data(), request.size());
}

void CMonitorSession::RecordWrite(std::int32_t location, std::int32_t cryptMode, std::uint32_t address,
                                  std::uint32_t length, const std::uint8_t* data, std::uint32_t packetSize) {
    const LocationCommands* cmd = CommandsFor(location);
    const std::uint8_t dataCode = DataCodeOf(cryptMode);
    const std::uint32_t packetBytes = DataPacketBytes(packetSize, m_maxPacket);
    if (m_pRecord == nullptr || cmd == nullptr || dataCode == 0 || packetBytes == 0) return;
    const std::uint32_t limit = WriteChunkLimit(OnSerialLine(), m_maxPacket, BytesPerUnit(location));
    const std::uint32_t unitBytes = BytesPerUnit(location);
    for (bool first = true; length > 0; first = false) {
        const std::uint32_t chunk = std::min(length, limit);
        RequestData request;
        if (!WriteRequest(*cmd, first, address, chunk, dataCode, request)) return;
        AppendRecord(first ? cmd->writeFirst : cmd->writeNext, request.data(), request.size());
        for (std::uint32_t left = chunk * unitBytes; left > 0;) {
            const std::uint32_t n = std::min(left, packetBytes);
            AppendRecord(dataCode, data, n);
            data += n;
            left -= n;
        }
        address += chunk;
        length -= chunk;
    }
}

}  // namespace carillon
