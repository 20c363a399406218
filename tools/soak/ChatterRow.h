#pragma once
// The soak's chatter row: a port whose device only talks (text lines or a
// stream of zeros), on a serial or a USB pseudo-terminal. The search must
// show it as a port without a printer and an update must fail with a code,
// each within the run limit, with memory and descriptors flat.

#include "sim/Chatter.h"
#include "soak/Soak.h"

namespace carillon::soak {

RunResult RunChatterRow(sim::ChatterKind kind, bool usb, const Options& options);

}  // namespace carillon::soak
