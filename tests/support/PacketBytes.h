#pragma once
// Packet bytes as the monitor protocol puts them on the line, built
// independently of the product's encoder so the tests can check it.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/Crc16.h"

namespace carillon::testing {

// The body of a packet: little-endian CRC over sequence, code and data.
inline std::vector<std::uint8_t> PacketBody(std::uint8_t seq, std::uint8_t code,
                                            const std::vector<std::uint8_t>& data = {}) {
    std::vector<std::uint8_t> body(4 + data.size());
    body[2] = seq;
    body[3] = code;
    std::copy(data.begin(), data.end(), body.begin() + 4);
    const std::uint16_t crc = ComputeCrc16(0xFFFF, body.data() + 2, body.size() - 2);
    body[0] = static_cast<std::uint8_t>(crc);
    body[1] = static_cast<std::uint8_t>(crc >> 8);
    return body;
}

// A body between the start and end flags, with flag and escape bytes escaped.
inline std::vector<std::uint8_t> PacketFrame(const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> frame{0xC0};
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
