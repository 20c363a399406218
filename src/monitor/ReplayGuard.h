#pragma once
// What a replay must never do, whatever the output binary says: erase or
// write a sector the location keeps for itself (the monitor's own, and every
// sector its geometry marks reserved), or touch a location the printer does
// not have. A hand-made binary with sound CRCs can otherwise erase the boot
// monitor and leave a printer that no tool can reach again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "errors/ErrorCode.h"
#include "monitor/FlashGeometry.h"
#include "monitor/PacketRecord.h"

namespace carillon {

struct ReplayRefusal {
    ErrorCode code = kOk;
    std::size_t record = 0;  // 1-based record refused (0: none)
};

// geometryOf gives the printer's layout of a location, or null when the
// printer has no such location. Write addresses of follow-up chunks are
// carried on from the chunk before them, as the monitor does.
ReplayRefusal CheckReplayTargets(const std::vector<RecordedPacket>& packets,
                                 const std::function<const FlashGeometry*(std::int32_t)>& geometryOf);

// The family whose complete set the file tables rewritten by the binary
// hold: KIOSK when the KIOSK_FLASH table gets a firmware entry, else NDX when
// the DSP_FLASH table does (only NDX needs DSP firmware), else PLV when any
// table is rewritten; kArchiUnknown when the binary rewrites no table.
std::int32_t RecordedFamily(const std::vector<RecordedPacket>& packets,
                            const std::function<const FlashGeometry*(std::int32_t)>& geometryOf);

}  // namespace carillon
