#pragma once
// The soak's fleet row: four printers on serial pseudo-terminals updated at
// once, one of them faulted. The faulted one must verify or end with a code
// its fault can cause; every other one must finish and verify.

#include "soak/Soak.h"

namespace carillon::soak {

enum class FleetFault {
    kSilentMidSave,   // the printer stops answering part-way through the save
    kUnplugged,       // its line goes away part-way through the save
    kDroppedAnswers,  // 5% of its answers are lost
};

const char* FleetFaultName(FleetFault fault);

// The seed chooses which of the four printers is faulted and where.
RunResult RunFleetRow(FleetFault fault, std::uint64_t seed, const Options& options);

}  // namespace carillon::soak
