#pragma once
// The two ways ComputeCrc16 can run, open to the tests and benchmarks that
// hold each to the bytewise definition. Everything else calls ComputeCrc16,
// which picks the fastest the processor offers.

#include <cstddef>
#include <cstdint>

namespace carillon::crc16 {

// Sixteen bytes per step through lookup tables; runs anywhere.
std::uint16_t Sliced(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length);

// True when the processor has carry-less multiplication (PCLMULQDQ).
bool HasClmul();

// Folds 64 bytes per step with carry-less multiplication. Call it only when
// HasClmul() is true; elsewhere it is the sliced routine.
std::uint16_t Clmul(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length);

}  // namespace carillon::crc16
