#pragma once

#include <cstdint>
#include <vector>

namespace carillon {

// The growable byte array used for byte strings sent to printers and for the
// record of sent packets.
using ByteArray = std::vector<std::uint8_t>;

}  // namespace carillon
