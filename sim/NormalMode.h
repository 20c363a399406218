#pragma once
// The printer's normal mode: it watches the bytes it is sent for the
// commands of its command sets and answers them; everything else is print
// data and ignored.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteArray.h"
#include "sim/Config.h"

namespace carillon::sim {

class NormalMode {
public:
    explicit NormalMode(const PrinterConfig& config);

    struct Reply {
        ByteArray answer;
        bool enterMonitor = false;
        std::string command;  // what was recognised, for the trace; empty for none
    };
    Reply Feed(std::uint8_t byte);
    // Forgets a command begun (after noise or a restart).
    void Reset() { m_pending.clear(); }

private:
    struct Command {
        ByteArray bytes;
        std::string name;
        ByteArray answer;
        bool enterMonitor = false;
    };
    void Add(ByteArray bytes, std::string name, ByteArray answer, bool enterMonitor = false);

    std::vector<Command> m_commands;  // earlier entries win where two sets share bytes
    ByteArray m_pending;
};

}  // namespace carillon::sim
