#pragma once
// The reflected CRC-16-CCITT (polynomial 0x1021, processed bit-reversed as
// 0x8408), no final XOR, with the caller's initial value. Element data,
// file tables and monitor packets all use it.

#include <cstddef>
#include <cstdint>

namespace carillon {

std::uint16_t ComputeCrc16(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length);

// The same CRC one byte at a time, exactly as the definition reads; the
// reference the fast routine is tested and measured against.
std::uint16_t ComputeCrc16Bytewise(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length);

}  // namespace carillon
