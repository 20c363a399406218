#include <gtest/gtest.h>

#include "monitor/FlashGeometry.h"

namespace carillon {
namespace {

std::vector<int> Reserved(const FlashGeometry& g) {
    std::vector<int> reserved;
    for (int s = 0; s < g.sectorCount; ++s)
        if (g.sectorReserved[s]) reserved.push_back(s);
    return reserved;
}

TEST(BoardGeometry, FixedMapCoversSixtyFourKilobytesInOneHundredFiveSectors) {
    const FlashGeometry g = FixedBoardGeometry(1);
    EXPECT_EQ(g.sectorCount, 105);
    EXPECT_EQ(g.tableSector, 1);
    EXPECT_EQ(g.sizeCode, 0xFF);
    EXPECT_EQ(g.manufacturerId, 0);
    // Consecutive starts give the odd sizes too: 0x2C, 0x1D4 and the last 0x2400.
    const std::pair<int, std::uint32_t> starts[] = {{1, 0x1080}, {2, 0x1200}, {5, 0x1800}, {6, 0x182C},
                                                    {7, 0x1A00}, {104, 0xDC00}, {105, 0x10000}};
    for (auto [sector, start] : starts) EXPECT_EQ(SectorStart(g, sector), start) << sector;
}

TEST(BoardGeometry, ReservedSectorsDependOnTheMonitorVersion) {
    EXPECT_EQ(Reserved(FixedBoardGeometry(0x85)), (std::vector<int>{0, 5, 104}));
    const FlashGeometry v2 = FixedBoardGeometry(2);
    EXPECT_EQ(Reserved(v2), (std::vector<int>{0, 5, 101, 102, 103, 104}));
    EXPECT_EQ(SectorStart(v2, 101), 0xD600u);
}

TEST(SectorArithmetic, AddressesMapToTheirSectorAndPastTheEndToTheCount) {
    const FlashGeometry g = FixedBoardGeometry(1);
    EXPECT_EQ(SectorContaining(g, 0x107F), 0);
    EXPECT_EQ(SectorContaining(g, 0x13FF), 2);
    EXPECT_EQ(SectorContaining(g, 0xFFFF), 104);
    EXPECT_EQ(SectorContaining(g, 0xFFFFFFFF), 105);
    for (int s = 0; s <= g.sectorCount; ++s) EXPECT_EQ(SectorContaining(g, SectorStart(g, s)), s);
}

TEST(FlashChips, EveryChipFillsItsWholeSize) {
    const std::pair<int, int> ids[] = {{0x01, 0xC4}, {0x01, 0x49}, {0x01, 0xB9}, {0x01, 0xBA},
                                       {0x01, 0xDA}, {0x01, 0x5B}, {0x20, 0xC4}, {0x20, 0x49}};
    for (auto [maker, device] : ids) {
        const FlashChip* chip = FindFlashChip(static_cast<std::uint8_t>(maker), static_cast<std::uint8_t>(device));
        ASSERT_NE(chip, nullptr) << maker << "/" << device;
        FlashGeometry g;
        g.sectorReserved.fill(1);
        ApplyFlashChip(*chip, g);
        EXPECT_EQ(SectorStart(g, g.sectorCount) * 2, 1u << g.sizeCode) << chip->part;  // sizes count words
        EXPECT_EQ(g.sectorReserved[0], 0u);
    }
    EXPECT_EQ(FindFlashChip(0x01, 0x00), nullptr);
    EXPECT_EQ(FindFlashChip(0x00, 0x00), nullptr);
}

TEST(FlashChips, TopAndBottomBootLayouts) {
    FlashGeometry top, bottom;
    ApplyFlashChip(*FindFlashChip(0x01, 0xC4), top);  // its first sectors: the session's geometry test
    EXPECT_EQ(top.sectorSize[31], 0x4000);
    EXPECT_EQ(top.sectorSize[34], 0x2000);
    ApplyFlashChip(*FindFlashChip(0x01, 0xBA), bottom);
    EXPECT_EQ(bottom.sectorCount, 11);
    EXPECT_EQ(bottom.sectorSize[0], 0x2000);
    EXPECT_EQ(bottom.sectorSize[3], 0x4000);
    EXPECT_EQ(bottom.sectorSize[10], 0x8000);
}

}  // namespace
}  // namespace carillon
