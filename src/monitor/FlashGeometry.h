#pragma once
// The layout of one flash location: its sectors, their sizes in the
// location's units (16-bit words for DSP_FLASH, bytes otherwise), which ones
// elements may not use, and where the file table lives.

#include <array>
#include <cstdint>

namespace carillon {

constexpr int kMaxSectors = 512;

struct FlashGeometry {
    std::uint8_t manufacturerId = 0;
    std::uint8_t deviceId = 0;
    std::uint8_t sizeCode = 0;     // the flash holds 2^sizeCode bytes
    std::uint8_t sectorCount = 0;  // sectors in use, at most 255
    std::uint8_t tableSector = 0;  // sector holding the file table
    std::uint8_t reserved[3] = {};
    std::array<std::uint16_t, kMaxSectors> sectorSize{};
    std::array<std::uint32_t, kMaxSectors> sectorReserved{};
};

// One row of the table of DSP flash chips that a printer may name only by
// its two JEDEC ids.
struct FlashChip {
    const char* maker;
    const char* part;
    std::uint8_t manufacturerId;
    std::uint8_t deviceId;
    std::uint8_t sizeCode;
    std::uint8_t sectorCount;
    bool bootSectorsAtTop;  // the small sectors end the chip instead of starting it
};

// The chip with these ids, or null.
const FlashChip* FindFlashChip(std::uint8_t manufacturerId, std::uint8_t deviceId);

// Fills size code, sector count and sector sizes from a chip; every sector
// unreserved.
void ApplyFlashChip(const FlashChip& chip, FlashGeometry& geometry);

// Where a sector starts: the sum of the sizes before it. Sector sectorCount
// gives the end of the flash.
std::uint32_t SectorStart(const FlashGeometry& geometry, int sector);

// The sector whose range holds address, or sectorCount when the address lies
// at or past the end of the flash.
int SectorContaining(const FlashGeometry& geometry, std::uint32_t address);

// The fixed 64 KB map of MCU_FLASH and KIOSK_FLASH. Monitor version 2 keeps
// three more sectors below the top one for itself.
FlashGeometry FixedBoardGeometry(std::uint8_t monitorVersion);

}  // namespace carillon
