#include "package/Crc16.h"

#include <array>

namespace carillon {
namespace {

constexpr std::size_t kSlices = 16;

// kTables[k][b]: the CRC change that byte b causes when k zero bytes follow it.
using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlices>;

constexpr CrcTables MakeTables() {
    CrcTables t{};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint16_t crc = static_cast<std::uint16_t>(b);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408u) : static_cast<std::uint16_t>(crc >> 1);
        t[0][b] = crc;
    }
    for (std::size_t k = 1; k < kSlices; ++k)
        for (unsigned b = 0; b < 256; ++b)
            t[k][b] = static_cast<std::uint16_t>((t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu]);
    return t;
}

constexpr CrcTables kTables = MakeTables();

inline std::uint16_t StepByte(std::uint16_t crc, std::uint8_t b) {
    return static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ b) & 0xFFu]);
}

}  // namespace

std::uint16_t ComputeCrc16Bytewise(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
    unsigned crc = initial;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned x = (bytes[i] ^ (crc & 0xFFu)) & 0xFFu;
        x = (x ^ (x << 4)) & 0xFFu;
        crc = ((x << 8) | (crc >> 8)) ^ (x >> 4) ^ (x << 3);
        crc &= 0xFFFFu;
    }
    return static_cast<std::uint16_t>(crc);
}

std::uint16_t ComputeCrc16(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t crc = initial;
    const std::uint8_t* p = bytes;
    // Sixteen bytes per step: the running CRC only touches the first two.
    while (length >= kSlices) {
        const unsigned b0 = p[0] ^ (crc & 0xFFu);
        const unsigned b1 = p[1] ^ (crc >> 8);
        crc = static_cast<std::uint16_t>(
            kTables[15][b0] ^ kTables[14][b1] ^ kTables[13][p[2]] ^ kTables[12][p[3]] ^
            kTables[11][p[4]] ^ kTables[10][p[5]] ^ kTables[9][p[6]] ^ kTables[8][p[7]] ^
            kTables[7][p[8]] ^ kTables[6][p[9]] ^ kTables[5][p[10]] ^ kTables[4][p[11]] ^
            kTables[3][p[12]] ^ kTables[2][p[13]] ^ kTables[1][p[14]] ^ kTables[0][p[15]]);
        p += kSlices;
        length -= kSlices;
    }
    while (length-- > 0) crc = StepByte(crc, *p++);
    return crc;
}

}  // namespace carillon
