#pragma once
// A port whose printer leaves the bus and comes back when it restarts (a USB
// printer entering or leaving its boot monitor), and that can wait for it.

#include <cstdint>

#include "errors/ErrorCode.h"

namespace carillon {

class ReconnectingPort {
public:
    virtual ~ReconnectingPort() = default;
    // Waits until the printer has gone and come back, then reopens the port
    // if it was open. 0x00010012: it never left; 0x00010013: it never came back.
    virtual ErrorCode WaitForReconnect(std::uint32_t timeoutMs) = 0;
};

}  // namespace carillon
