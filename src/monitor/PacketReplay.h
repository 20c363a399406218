#pragma once
// Sends a checked record of packets to a printer in its monitor, reading the
// answer the monitor gives to each erase and to each complete write chunk.

#include <cstddef>
#include <functional>
#include <vector>

#include "errors/ErrorCode.h"
#include "monitor/PacketRecord.h"

namespace carillon {

class CMonitorSession;

struct ReplayResult {
    ErrorCode code = kOk;
    std::size_t record = 0;  // 1-based record whose answer failed (0: none)
};

// progress(records done, records in all) after every record.
ReplayResult ReplayPackets(CMonitorSession& session, const std::vector<RecordedPacket>& packets,
                           const std::function<void(std::size_t, std::size_t)>& progress);

}  // namespace carillon
