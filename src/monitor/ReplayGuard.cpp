#include "monitor/ReplayGuard.h"

#include <map>

#include "monitor/MonitorSession.h"
#include "package/Element.h"

namespace carillon {
namespace {

std::uint32_t Le(const ByteArray& body, std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(body[at + i]) << (8 * i);
    return value;
}

bool IsFirstChunk(std::uint8_t code) { return code == kCmdWriteMcu || code == kCmdWriteDsp || code == kCmdWriteKiosk; }

// True when every unit of [address, address + units) lies in the flash and
// in sectors the location lets elements use.
bool RangeIsFree(const FlashGeometry& g, std::uint64_t address, std::uint64_t units) {
    const std::uint64_t end = address + std::max<std::uint64_t>(units, 1);
    if (end > SectorStart(g, g.sectorCount)) return false;
    for (int s = SectorContaining(g, static_cast<std::uint32_t>(address)); s < g.sectorCount && SectorStart(g, s) < end; ++s)
        if (g.sectorReserved[static_cast<std::size_t>(s)] != 0) return false;
    return true;
}

}  // namespace

ReplayRefusal CheckReplayTargets(const std::vector<RecordedPacket>& packets,
                                 const std::function<const FlashGeometry*(std::int32_t)>& geometryOf) {
    std::map<std::int32_t, std::uint64_t> nextWrite;  // where a follow-up chunk of each location starts
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const RecordedPacket& p = packets[i];
        if (IsDataCode(p.code)) continue;
        const FlashGeometry* g = geometryOf(p.location);
        if (g == nullptr) return {kErrEngLocationAbsent, i + 1};
        const std::size_t addressBytes = p.location == kDspFlash ? 4 : 2;
        std::uint64_t address = 0, units = 1;
        if (IsEraseCommand(p.code)) {
            address = Le(p.body, 4, addressBytes);
        } else if (IsFirstChunk(p.code)) {
            address = Le(p.body, 4, addressBytes);
            units = Le(p.body, 4 + addressBytes, 2);
        } else {
            address = nextWrite[p.location];
            units = Le(p.body, 4, 2);
        }
        if (!IsEraseCommand(p.code)) nextWrite[p.location] = address + units;
        if (!RangeIsFree(*g, address, units)) return {kErrJobReplayReserved, i + 1};
    }
    return {};
}

}  // namespace carillon
