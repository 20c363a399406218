#include "sim/NormalMode.h"

#include <algorithm>

namespace carillon::sim {

void NormalMode::Add(ByteArray bytes, std::string name, ByteArray answer, bool enterMonitor) {
    for (const Command& c : m_commands) {
        if (c.bytes == bytes) return;
    }
    m_commands.push_back({std::move(bytes), std::move(name), std::move(answer), enterMonitor});
}

NormalMode::NormalMode(const PrinterConfig& config) {
    const std::string name = config.Name();
    ByteArray text(name.begin(), name.end());
    text.push_back(0);
    const ByteArray status{config.statusByte};
    if (config.commandSets & kSetVrk) {
        Add({0x18}, "VRK cancel", {});
        Add({0x1B, 0x76}, "VRK status", status);
        Add({0x1B, 0x49}, "VRK identification", text);
    }
    if (config.commandSets & kSetEscPos) {
        ByteArray withHeader{config.escPosHeader};
        withHeader.insert(withHeader.end(), text.begin(), text.end());
        Add({0x18}, "ESC/POS cancel", {});
        Add({0x1D, 0x49, 0x01}, "ESC/POS status", status);
        Add({0x1D, 0x49, 0x43}, "ESC/POS identification", withHeader);
    }
    if (config.commandSets & kSetKestrel) {
        Add({0x1B, 0x49}, "KESTREL cancel", {});
        Add({0x1B, 0x76}, "KESTREL status", status);
        Add({0x1B, 0x57}, "KESTREL identification", ByteArray(config.kestrelId.begin(), config.kestrelId.end()));
    }
    // Bit 7 of the handshake answer means RTS/CTS; the answer is never 0.
    const std::uint8_t handshake = config.handshake == kHandshakeRtsCts ? 0x81 : 0x01;
    Add({0x1D, 0x53, 0x66, 0x1C}, "handshake query", {handshake});
    Add({0x1B, 0x1D, 0x42, 0xFF}, "handshake query", {handshake});
    Add({0x1B, 0x1D, 0x43}, "info query", ByteArray(config.infoBytes.begin(), config.infoBytes.end()));
    Add({0x1D, 0x55, 0x4D}, "monitor mode", {}, true);
}

NormalMode::Reply NormalMode::Feed(std::uint8_t byte) {
    m_pending.push_back(byte);
    // Drop leading bytes until what is pending could still become a command.
    while (!m_pending.empty()) {
        bool prefix = false;
        for (const Command& c : m_commands) {
            if (c.bytes.size() < m_pending.size()) continue;
            if (!std::equal(m_pending.begin(), m_pending.end(), c.bytes.begin())) continue;
            if (c.bytes.size() == m_pending.size()) {
                m_pending.clear();
                return {c.answer, c.enterMonitor, c.name};
            }
            prefix = true;
        }
        if (prefix) break;
        m_pending.erase(m_pending.begin());
    }
    return {};
}

}  // namespace carillon::sim
