#include "monitor/ReplayGuard.h"

#include <algorithm>
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

// The bytes of the last write that starts at the location's table.
ByteArray RecordedTable(const std::vector<RecordedPacket>& packets, std::int32_t location, std::uint32_t tableStart) {
    ByteArray table;
    bool inTable = false;
    for (const RecordedPacket& p : packets) {
        if (p.location != location || IsEraseCommand(p.code)) continue;
        if (IsFirstChunk(p.code)) {
            inTable = Le(p.body, 4, location == kDspFlash ? 4 : 2) == tableStart;
            if (inTable) table.clear();
        } else if (inTable && IsDataCode(p.code)) {
            table.insert(table.end(), p.body.begin() + 4, p.body.end());
        }
    }
    return table;
}

// -1 when the binary does not rewrite the table, else whether it holds firmware.
int TableHoldsFirmware(const std::vector<RecordedPacket>& packets, std::int32_t location, const FlashGeometry* g) {
    if (g == nullptr) return -1;
    const ByteArray table = RecordedTable(packets, location, SectorStart(*g, g->tableSector));
    if (table.empty()) return -1;
    const std::size_t size = location == kDspFlash ? kDspEntrySize : kMcuEntrySize;
    for (std::size_t at = 0; at + size <= table.size(); at += size) {
        CElement entry;
        if (location == kDspFlash) entry.ReadDspEntry(&table[at]);
        else entry.ReadMcuEntry(&table[at]);
        if (entry.m_type == kTypeFirmware) return 1;
    }
    return 0;
}

}  // namespace

std::int32_t RecordedFamily(const std::vector<RecordedPacket>& packets,
                            const std::function<const FlashGeometry*(std::int32_t)>& geometryOf) {
    const int kiosk = TableHoldsFirmware(packets, kKioskFlash, geometryOf(kKioskFlash));
    const int dsp = TableHoldsFirmware(packets, kDspFlash, geometryOf(kDspFlash));
    const int mcu = TableHoldsFirmware(packets, kMcuFlash, geometryOf(kMcuFlash));
    if (kiosk == 1) return kArchiKiosk;
    if (dsp == 1) return kArchiNdx;
    return std::max({kiosk, dsp, mcu}) >= 0 ? kArchiPlv : kArchiUnknown;
}

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
