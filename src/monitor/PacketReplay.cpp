#include "monitor/PacketReplay.h"

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "ports/Port.h"

namespace carillon {

ReplayResult ReplayPackets(CMonitorSession& session, const std::vector<RecordedPacket>& packets,
                           const std::function<void(std::size_t, std::size_t)>& progress) {
    ReplayResult result;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const RecordedPacket& p = packets[i];
        const bool erase = IsEraseCommand(p.code);
        if ((erase || IsWriteCommand(p.code)) && session.m_stopRequested) {
            // Between two requests: every chunk sent so far is whole.
            result.code = kErrEngStoppedByUser;
            result.record = i + 1;
            return result;
        }
        if (erase || IsWriteCommand(p.code)) session.m_pPort->PurgeIn();  // nothing stale before a request
        ErrorCode r = session.SendBody(p.body.data(), p.body.size());
        if (r == kOk && (erase || p.lastOfChunk)) {
            const MonitorTiming& t = session.m_timing;
            const std::uint32_t timeout = !erase ? t.writeAnswerMs : p.location == kDspFlash ? t.dspEraseMs : t.boardEraseMs;
            if (!session.m_pPort->WaitSent()) r = kErrMonNotSent;
            else r = session.ReceivePacket(nullptr, timeout, nullptr, 0, nullptr);
        }
        if (r != kOk) {
            result.code = r;
            result.record = i + 1;
            return result;
        }
        if (progress) progress(i + 1, packets.size());
    }
    return result;
}

}  // namespace carillon
