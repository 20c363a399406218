#include "cli/Interrupt.h"
#include "cli/Replay.h"

#include <map>
#include <vector>

#include "app/StringTable.h"
#include "cli/Cli.h"
#include "cli/CliPorts.h"
#include "monitor/MonitorSession.h"
#include "monitor/PacketReplay.h"
#include "monitor/ReplayGuard.h"
#include "platform/ReadOnlyFile.h"
#include "platform/Format.h"

namespace carillon::cli {

namespace {

// Far above what the largest flash set records; a device or a runaway file
// named as the binary must not fill the memory.
constexpr std::size_t kMaxBinarySize = 64u << 20;

// The whole file, or an error code and nothing.
ErrorCode ReadBinary(const std::string& file, ByteArray* bytes) {
    platform::ReadOnlyFile in;
    switch (in.Open(file)) {
        case platform::ReadOnlyFile::OpenResult::kOk: break;
        case platform::ReadOnlyFile::OpenResult::kIsDirectory: return kErrFileIsDirectory;
        case platform::ReadOnlyFile::OpenResult::kNotRegular: return kErrFileNotRegular;
        case platform::ReadOnlyFile::OpenResult::kNoAccess: return kErrFileNoAccess;
        case platform::ReadOnlyFile::OpenResult::kNoSize: return kErrFileSize;
        case platform::ReadOnlyFile::OpenResult::kNotFound: return kErrFileNotFound;
    }
    if (in.Size() > kMaxBinarySize) return kErrFileSize;
    bytes->resize(in.Size());
    return in.ReadAt(0, bytes->size(), bytes->data()) ? kOk : kErrFileRead;
}

// The printer's layout of every location the binary touches, read once
// connected; a location the printer lacks stays out of the map.
std::map<std::int32_t, FlashGeometry> ReadGeometries(CMonitorSession& session, const std::vector<RecordedPacket>& packets) {
    std::map<std::int32_t, FlashGeometry> geometries;
    for (const RecordedPacket& p : packets) {
        if (geometries.count(p.location) != 0 || !session.IsLocationPresent(p.location)) continue;
        FlashGeometry g;
        if (session.GetGeometry(p.location, g) == kOk) geometries[p.location] = g;
    }
    return geometries;
}

}  // namespace

int ReplayOutputBinary(const std::string& file, CPort* port, const MonitorTiming& timing, bool force,
                       FrameObserver* frames, Reporter& reporter) {
    ByteArray bytes;
    if (const ErrorCode e = ReadBinary(file, &bytes); e != kOk) {
        reporter.Summary(false, e, file + " cannot be read");
        return kExitFailed;
    }
    const RecordParse parse = ParsePacketRecord(bytes.data(), bytes.size());
    if (!parse.ok()) {
        reporter.Summary(false, kOk, file + " is not a sound output binary: " + parse.error);
        return kExitFailed;
    }
    if (parse.packets.empty()) {
        reporter.Summary(false, kErrJobReplayEmpty, file + " records no erase and no write: nothing to replay");
        return kExitFailed;
    }

    CMonitorSession session;
    const ScopedInterrupt interrupt(&session.m_stopRequested);
    session.m_timing = timing;
    session.m_frameObserver = frames;
    if (session.Connect(port, true, 0) != kOk && !session.m_connected) {
        reporter.Summary(false, session.m_lastError, LoadString(IDS_FAIL_TO_CONNECT));
        return kExitNoPrinter;
    }
    const auto geometries = ReadGeometries(session, parse.packets);
    const auto geometryOf = [&](std::int32_t location) {
        const auto it = geometries.find(location);
        return it == geometries.end() ? nullptr : &it->second;
    };
    const ReplayRefusal refusal = CheckReplayTargets(parse.packets, geometryOf);
    if (refusal.code != kOk) {
        const std::size_t offset = parse.packets[refusal.record - 1].offset;
        reporter.Summary(false, refusal.code,
                         platform::Format("record %zu (byte %zu) is refused; nothing was sent", refusal.record, offset));
        session.LeaveMonitorMode();
        return kExitFailed;
    }
    const std::int32_t family = RecordedFamily(parse.packets, geometryOf);
    if (!force && family != kArchiUnknown && family != session.m_archi) {
        reporter.Summary(false, kErrJobReplayFamily,
                         platform::Format("%s rewrites the tables of an %s printer, this one is %s; nothing was sent "
                                          "(--force replays it anyway)",
                                          file.c_str(), ArchiKeyword(family), ArchiKeyword(session.m_archi)));
        session.LeaveMonitorMode();
        return kExitFailed;
    }
    const ReplayResult result = ReplayPackets(session, parse.packets, [&](std::size_t done, std::size_t total) {
        GeneratorStatus status;
        status.step = kStepSaving;
        status.text = platform::Format("Replaying record %zu of %zu", done, total);
        status.unitsDone = static_cast<std::uint32_t>(done);
        status.unitsTotal = static_cast<std::uint32_t>(total);
        reporter.Progress(ViewOf(status));
    });
    if (result.code == kErrEngStoppedByUser) {
        reporter.Summary(false, result.code, platform::Format("stopped before record %zu", result.record));
        session.Disconnect();
        reporter.Note(kStoppedNote);
        return ScopedInterrupt::ExitStatus();
    }
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
