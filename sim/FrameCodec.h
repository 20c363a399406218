#pragma once
// The monitor's own packet framing. Body: CRC-16 (little-endian, initial
// 0xFFFF, over the rest), sequence number, code, data. Frame: 0xC0, the body
// with 0xC0/0xC1/0x7D sent as 0x7D and the byte XOR 0x20, then 0xC1.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ByteArray.h"

namespace carillon::sim {

constexpr std::uint8_t kFrameStart = 0xC0;
constexpr std::uint8_t kFrameEnd = 0xC1;
constexpr std::uint8_t kFrameEscape = 0x7D;

ByteArray MakeBody(std::uint8_t sequence, std::uint8_t code, const std::uint8_t* data, std::size_t length);
inline ByteArray MakeBody(std::uint8_t sequence, std::uint8_t code, const ByteArray& data = {}) {
    return MakeBody(sequence, code, data.data(), data.size());
}
ByteArray MakeFrame(const ByteArray& body);

// A body taken apart. crcOk is false when the CRC does not match the rest.
struct Packet {
    std::uint16_t crc = 0;
    bool crcOk = false;
    std::uint8_t sequence = 0;
    std::uint8_t code = 0;
    ByteArray data;
};
// Nothing for bodies shorter than CRC, sequence and code.
std::optional<Packet> ParseBody(const ByteArray& body);

// Collects frames from a byte stream. Bytes outside a frame are ignored; a
// start byte inside a frame starts it over; an escape followed by a framing
// byte leaves that byte its framing meaning; a body longer than the limit
// is dropped whole.
class FrameDecoder {
public:
    static constexpr std::size_t kMaxBody = 1024;

    // Feeds one byte; returns a body when this byte completed a frame.
    std::optional<ByteArray> Feed(std::uint8_t byte);
    void Reset();
    bool InFrame() const { return m_inFrame; }

private:
    bool m_inFrame = false;
    bool m_escape = false;
    bool m_overflow = false;
    ByteArray m_body;
};

}  // namespace carillon::sim
