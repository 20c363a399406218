#pragma once
// Packets written out by hand from the wire layout, so that tests of the
// session and of the virtual printer do not lean on either side's codec.

#include <cstdint>

#include "package/Crc16.h"
#include "platform/ByteArray.h"

namespace carillon::testing {

// A body: little-endian CRC over sequence, code and data, then those bytes.
inline ByteArray PacketBody(std::uint8_t sequence, std::uint8_t code, const ByteArray& data = {}) {
    ByteArray body{0, 0, sequence, code};
    body.insert(body.end(), data.begin(), data.end());
    const std::uint16_t crc = ComputeCrc16(0xFFFF, body.data() + 2, body.size() - 2);
    body[0] = static_cast<std::uint8_t>(crc);
    body[1] = static_cast<std::uint8_t>(crc >> 8);
    return body;
}

// A frame: start byte, the body with its framing bytes escaped, end byte.
inline ByteArray PacketFrame(const ByteArray& body) {
    ByteArray frame{0xC0};
    for (std::uint8_t b : body) {
        if (b == 0xC0 || b == 0xC1 || b == 0x7D) {
            frame.push_back(0x7D);
            frame.push_back(static_cast<std::uint8_t>(b ^ 0x20));
        } else {
            frame.push_back(b);
        }
    }
    frame.push_back(0xC1);
    return frame;
}

}  // namespace carillon::testing
