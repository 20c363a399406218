#include "monitor/FlashGeometry.h"

#include <algorithm>

namespace carillon {
namespace {

// Uniform 0x8000-word sectors plus four small boot sectors (in words).
constexpr std::uint16_t kBootSectors[] = {0x2000, 0x1000, 0x1000, 0x4000};
constexpr std::uint16_t kMainSector = 0x8000;

constexpr FlashChip kChips[] = {
    {"AMD", "AM29LV160DT", 0x01, 0xC4, 21, 35, true},
    {"AMD", "AM29LV160DB", 0x01, 0x49, 21, 35, false},
    {"AMD", "AM29LV400BT", 0x01, 0xB9, 19, 11, true},
    {"AMD", "AM29LV400BB", 0x01, 0xBA, 19, 11, false},
    {"AMD", "AM29LV800BT", 0x01, 0xDA, 20, 19, true},
    {"AMD", "AM29LV800BB", 0x01, 0x5B, 20, 19, false},
    {"ST", "M29W160DT", 0x20, 0xC4, 21, 35, true},
    {"ST", "M29W160DB", 0x20, 0x49, 21, 35, false},
};

struct BoardSector {
    std::uint16_t start;
    std::uint16_t size;
    bool reserved;
};

// The irregular start of the board map, up to where uniform sectors begin.
constexpr BoardSector kBoardHead[] = {
    {0x0000, 0x1080, true},   // monitor
    {0x1080, 0x0180, false},  // file table
    {0x1200, 0x0200, false},
    {0x1400, 0x0200, false},  // customer parameters
    {0x1600, 0x0200, false},  // factory parameters
    {0x1800, 0x002C, true},
    {0x182C, 0x01D4, false},  // firmware start
};
constexpr std::uint32_t kBoardUniformStart = 0x1A00;
constexpr std::uint32_t kBoardTopSector = 0xDC00;
constexpr std::uint16_t kBoardTopSize = 0x2400;
constexpr int kBoardVersion2ReservedFrom = 101;

}  // namespace

const FlashChip* FindFlashChip(std::uint8_t manufacturerId, std::uint8_t deviceId) {
    auto it = std::find_if(std::begin(kChips), std::end(kChips), [&](const FlashChip& c) {
        return c.manufacturerId == manufacturerId && c.deviceId == deviceId;
    });
    return it == std::end(kChips) ? nullptr : it;
}

void ApplyFlashChip(const FlashChip& chip, FlashGeometry& geometry) {
    geometry.sizeCode = chip.sizeCode;
    geometry.sectorCount = chip.sectorCount;
    const int mainCount = chip.sectorCount - 4;
    int s = 0;
    if (chip.bootSectorsAtTop) {
        for (int i = 0; i < mainCount; ++i) geometry.sectorSize[s++] = kMainSector;
        for (int i = 3; i >= 0; --i) geometry.sectorSize[s++] = kBootSectors[i];
    } else {
        for (std::uint16_t size : kBootSectors) geometry.sectorSize[s++] = size;
        for (int i = 0; i < mainCount; ++i) geometry.sectorSize[s++] = kMainSector;
    }
    geometry.sectorReserved.fill(0);
}

std::uint32_t SectorStart(const FlashGeometry& geometry, int sector) {
    std::uint32_t address = 0;
    for (int s = 0; s < sector && s < kMaxSectors; ++s) address += geometry.sectorSize[s];
    return address;
}

int SectorContaining(const FlashGeometry& geometry, std::uint32_t address) {
    int sector = 0;
    while (sector < geometry.sectorCount && address >= geometry.sectorSize[sector]) address -= geometry.sectorSize[sector++];
    return sector;
}

FlashGeometry FixedBoardGeometry(std::uint8_t monitorVersion) {
    FlashGeometry g;
    g.sizeCode = 0xFF;
    g.tableSector = 1;
    int s = 0;
    for (const BoardSector& head : kBoardHead) {
        g.sectorSize[s] = head.size;
        g.sectorReserved[s++] = head.reserved ? 1 : 0;
    }
    for (std::uint32_t a = kBoardUniformStart; a < kBoardTopSector; a += 0x200) g.sectorSize[s++] = 0x200;
    g.sectorSize[s] = kBoardTopSize;
    g.sectorReserved[s++] = 1;
    g.sectorCount = static_cast<std::uint8_t>(s);
    if (monitorVersion == 2)
        for (int i = kBoardVersion2ReservedFrom; i < s - 1; ++i) g.sectorReserved[i] = 1;
    return g;
}

}  // namespace carillon
