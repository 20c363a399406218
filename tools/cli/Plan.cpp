#include "cli/Plan.h"

#include <algorithm>

#include "app/StringTable.h"
#include "cli/Cli.h"
#include "cli/CliPorts.h"
#include "cli/Json.h"
#include "engine/CommandGenerator.h"
#include "errors/ErrorMessages.h"
#include "platform/Format.h"
#include "ports/Port.h"

namespace carillon::cli {
namespace {

constexpr std::uint32_t kTableAreaUnits = 0x380;  // what placement keeps for a table
constexpr std::uint32_t kUsbChunkUnits = 0x8000;
constexpr std::size_t kAnswerFrame = 6;           // start, CRC, sequence, code, end
constexpr std::size_t kRequestOverhead = 6;       // the same around the request's data

bool IsPlaceholder(std::int32_t type) { return type == kTypeIndex || type == kTypeFileEmpty || type == kTypeUnknownFile; }

// Bytes on the wire for one location's erases and writes, without escapes.
struct WireCount {
    std::size_t bytes = 0;
    std::size_t answers = 0;

    void Erase(std::int32_t location) {
        bytes += kRequestOverhead + (location == kDspFlash ? 4 : 2) + kAnswerFrame;
        ++answers;
    }
    void Write(std::int32_t location, std::uint32_t units, std::uint32_t chunkUnits, std::uint32_t packetBytes) {
        const std::uint32_t unitBytes = IsWordAddressed(location) ? 2 : 1;
        bool first = true;
        for (std::uint32_t left = units; left > 0;) {
            const std::uint32_t chunk = std::min(left, chunkUnits);
            const std::size_t data = static_cast<std::size_t>(chunk) * unitBytes;
            bytes += kRequestOverhead + (first ? (location == kDspFlash ? 7 : 5) : 2);
            bytes += data + kRequestOverhead * ((data + packetBytes - 1) / packetBytes);
            bytes += kAnswerFrame;
            ++answers;
            left -= chunk;
            first = false;
        }
    }
};

class Planner {
public:
    Planner(CCommandGenerator& engine, Reporter& reporter) : engine_(engine), reporter_(reporter) {}

    // Places one location's elements and reports its map and work; false when placement failed.
    bool Location(std::int32_t location, bool serial, WireCount& wire) {
        const char* name = LocationName(location);
        if (const ErrorCode r = engine_.AttributeAddresses(location); r != kOk) {
            reporter_.PlanLine("location", platform::Format("%s: the placement fails: (Error Code=%08Xh) %s", name, r,
                                                             GetErrorMessage(r).c_str()),
                               JsonObject().Add("location", name).Add("error", r).Text());
            return false;
        }
        const FlashGeometry& g = engine_.m_geometry[static_cast<std::size_t>(location)];
        const std::string map = Map(location, g);
        reporter_.PlanLine("location", platform::Format("%s: %d sectors  (T table, K kept, N new, R reserved, . free)", name,
                                                         g.sectorCount),
                           JsonObject().Add("location", name).Add("sectors", g.sectorCount).Add("map", map).Text());
        for (std::size_t row = 0; row < map.size(); row += 64)
            reporter_.PlanLine("map", platform::Format("  %3zu  %s", row, map.substr(row, 64).c_str()), "");

        const std::uint32_t packetBytes = engine_.m_session.m_maxPacket == 0 ? 1 : engine_.m_session.m_maxPacket;
        const std::uint32_t chunkUnits = serial ? packetBytes : kUsbChunkUnits;
        for (const auto& e : engine_.m_elements.Elements()) {
            if (e->m_location != location || e->m_saved != 0 || IsPlaceholder(e->m_type) || e->m_address < 0) continue;
            const std::uint32_t units = UnitCount(*e);
            const auto address = static_cast<std::uint32_t>(e->m_address);
            if (!e->m_pData || units == 0) {
                reporter_.PlanLine("element", platform::Format("  keep room for %-24s at 0x%X (%u units, no data)",
                                                               e->m_strName.c_str(), address, units),
                                   Item(*e, 0, 0).Text());
                continue;
            }
            const int first = SectorContaining(g, address), last = SectorContaining(g, address + units - 1);
            for (int s = first; s <= last; ++s) wire.Erase(location);
            if (!e->IsErasedData()) wire.Write(location, units, chunkUnits, packetBytes);
            reporter_.PlanLine("element", platform::Format("  erase sectors %d..%d, write %-24s %u units at 0x%X", first,
                                                           last, e->m_strName.c_str(), units, address),
                               Item(*e, first, last).Text());
        }
        const int tableFirst = g.tableSector;
        const int tableLast = location == kDspFlash ? tableFirst : SectorContaining(g, SectorStart(g, tableFirst) + kTableAreaUnits - 1);
        for (int s = tableFirst; s <= tableLast; ++s) wire.Erase(location);
        const std::uint32_t tableUnits = location == kDspFlash ? 0x800 : kTableAreaUnits;
        wire.Write(location, tableUnits, chunkUnits, packetBytes);
        reporter_.PlanLine("table", platform::Format("  rewrite the file table: erase sectors %d..%d, write %u units at 0x%X",
                                                     tableFirst, tableLast, tableUnits, SectorStart(g, tableFirst)),
                           JsonObject().Add("location", name).Add("firstSector", tableFirst).Add("lastSector", tableLast).Text());
        return true;
    }

private:
    JsonObject Item(const CElement& e, int first, int last) {
        const char* type = TypeKeyword(e.m_type);
        return JsonObject()
            .Add("name", e.m_strName)
            .Add("type", type ? type : "?")
            .Add("location", LocationName(e.m_location))
            .Add("address", static_cast<std::uint32_t>(e.m_address))
            .Add("units", UnitCount(e))
            .Add("firstSector", first)
            .Add("lastSector", last);
    }

    std::string Map(std::int32_t location, const FlashGeometry& g) {
        std::string map(g.sectorCount, '.');
        for (int s = 0; s < g.sectorCount; ++s)
            if (g.sectorReserved[static_cast<std::size_t>(s)] != 0) map[static_cast<std::size_t>(s)] = 'R';
        const std::uint32_t tableStart = SectorStart(g, g.tableSector);
        const int tableEnd = SectorContaining(g, tableStart + kTableAreaUnits - 1);
        for (int s = g.tableSector; s <= tableEnd && s < g.sectorCount; ++s) map[static_cast<std::size_t>(s)] = 'T';
        for (const auto& e : engine_.m_elements.Elements()) {
            if (e->m_location != location || e->m_address < 0 || UnitCount(*e) == 0 || IsPlaceholder(e->m_type)) continue;
            const auto address = static_cast<std::uint32_t>(e->m_address);
            const int last = std::min<int>(SectorContaining(g, address + UnitCount(*e) - 1), g.sectorCount - 1);
            for (int s = SectorContaining(g, address); s <= last; ++s) map[static_cast<std::size_t>(s)] = e->m_saved ? 'K' : 'N';
        }
        return map;
    }

    CCommandGenerator& engine_;
    Reporter& reporter_;
};

// An element asking for larger packets than the monitor takes makes the
// update fail with 0x00020016 once it reaches that element.
bool PacketSizesFit(CCommandGenerator& engine, Reporter& reporter) {
    const std::uint32_t largest = engine.m_session.m_maxPacket;
    bool fit = true;
    for (const auto& e : engine.m_elements.Elements()) {
        if (e->m_packetSize <= largest) continue;
        reporter.Note(platform::Format("%s asks for packets of %u bytes; the monitor takes at most %u: (Error Code=%08Xh) %s",
                                       e->m_strName.c_str(), static_cast<unsigned>(e->m_packetSize), largest,
                                       kErrMonPacketSize, GetErrorMessage(kErrMonPacketSize).c_str()));
        fit = false;
    }
    return fit;
}

}  // namespace

int PlanPackage(CCommandGenerator& engine, CPort* port, const std::string& package, Reporter& reporter) {
    int exit = kExitDone;
    if (!ConnectAndReadTables(engine, port, reporter, &exit)) return exit;

    engine.m_elements.RemoveAll();
    if (const ErrorCode e = engine.m_elements.LoadPackage(package); e != kOk) {
        engine.m_session.LeaveMonitorMode();
        reporter.Summary(false, e, platform::Format(LoadString(IDS_INVALID_FILE_FORMAT).c_str(), package.c_str(), e));
        return kExitFailed;
    }
    engine.m_elements.RemoveUnusable();
    if (const int other = engine.m_elements.CountIncompatible(false, false); other > 0)
        reporter.Note(platform::Format("%d elements are meant for another printer family: the update asks whether to force it", other));
    const ErrorCode check = engine.m_elements.CheckPackage();
    if (check != kOk)
        reporter.Note(platform::Format("the package does not pass the checks, so an update stops unless forced: (Error Code=%08Xh) %s",
                                       check, GetErrorMessage(check).c_str()));
    const bool packetsFit = PacketSizesFit(engine, reporter);
    engine.m_elements.AddParameterElements();

    PortSettings* settings = port->GetSettings();
    const bool serial = settings != nullptr && settings->HasType(kSerialType);
    WireCount wire;
    bool placed = true;
    Planner planner(engine, reporter);
    for (std::int32_t location = kKioskFlash; location >= kMcuFlash; --location)
        if (engine.m_session.IsLocationPresent(location)) placed = planner.Location(location, serial, wire) && placed;
    engine.m_session.LeaveMonitorMode();

    std::string summary = platform::Format("%zu bytes to send in %zu exchanges", wire.bytes, wire.answers);
    if (serial) {
        constexpr double kMonitorBaud = 115200.0;
        summary += platform::Format(", at least %.1f s at %.0f baud", wire.bytes * 10.0 / kMonitorBaud, kMonitorBaud);
    }
    // The plan fails whenever the update it foresees would be refused.
    const bool wouldWork = placed && check == kOk && packetsFit;
    reporter.Summary(wouldWork, kOk, placed ? (wouldWork ? summary : "the update would be refused: " + summary)
                                            : "the package does not fit: " + summary);
    return wouldWork ? kExitDone : kExitFailed;
}

}  // namespace carillon::cli
