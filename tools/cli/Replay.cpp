#include "cli/Replay.h"

#include <fstream>
#include <iterator>

#include "app/StringTable.h"
#include "cli/Cli.h"
#include "cli/CliPorts.h"
#include "monitor/MonitorSession.h"
#include "monitor/PacketReplay.h"
#include "platform/Format.h"

namespace carillon::cli {

int ReplayOutputBinary(const std::string& file, CPort* port, const MonitorTiming& timing, Reporter& reporter) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reporter.Summary(false, kErrFileNotFound, file + " cannot be read");
        return kExitFailed;
    }
    const ByteArray bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const RecordParse parse = ParsePacketRecord(bytes.data(), bytes.size());
    if (!parse.ok()) {
        reporter.Summary(false, kOk, file + " is not a sound output binary: " + parse.error);
        return kExitFailed;
    }

    CMonitorSession session;
    session.m_timing = timing;
    if (session.Connect(port, true, 0) != kOk && !session.m_connected) {
        reporter.Summary(false, session.m_lastError, LoadString(IDS_FAIL_TO_CONNECT));
        return kExitNoPrinter;
    }
    const ReplayResult result = ReplayPackets(session, parse.packets, [&](std::size_t done, std::size_t total) {
        GeneratorStatus status;
        status.step = kStepSaving;
        status.text = platform::Format("Replaying record %zu of %zu", done, total);
        status.unitsDone = static_cast<std::uint32_t>(done);
        status.unitsTotal = static_cast<std::uint32_t>(total);
        reporter.Progress(ViewOf(status));
    });
    if (result.code != kOk) {
        const std::size_t offset = parse.packets[result.record - 1].offset;
        reporter.Summary(false, result.code, platform::Format("record %zu (byte %zu) was not taken", result.record, offset));
        session.Disconnect();
        return kExitFailed;
    }
    session.LeaveMonitorMode();
    reporter.Summary(true, kOk, platform::Format("%zu packets sent from %s", parse.packets.size(), file.c_str()));
    return kExitDone;
}

}  // namespace carillon::cli
