#pragma once
// Sector layouts of the printer's flash memories: the fixed 64 KB map of the
// MCU and kiosk-board flash (bytes) and the chips a DSP flash can be (words).

#include <cstdint>
#include <vector>

namespace carillon::sim {

// Location numbers as the monitor reports them.
constexpr int kLocMcu = 0;
constexpr int kLocDsp = 1;
constexpr int kLocI2c = 2;
constexpr int kLocKiosk = 3;

struct FlashChip {
    std::uint8_t manufacturer;
    std::uint8_t device;
    std::uint8_t sizeCode;  // 2^sizeCode bytes
    std::vector<std::uint32_t> sectorWords;
};

// The chip with these JEDEC ids, or null.
const FlashChip* FindChip(std::uint8_t manufacturer, std::uint8_t device);
const std::vector<FlashChip>& Chips();

// Sector sizes in bytes of the 64 KB MCU/KIOSK map (105 sectors; the file
// table at 0x1080 in sector 1).
const std::vector<std::uint32_t>& McuSectorBytes();
constexpr std::uint32_t kMcuTableStart = 0x1080;
constexpr std::uint8_t kMcuTableSector = 1;

}  // namespace carillon::sim
