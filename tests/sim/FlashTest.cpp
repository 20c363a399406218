#include <gtest/gtest.h>

#include <numeric>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FlashLayout.h"
#include "sim/VirtualPrinter.h"
#include "support/PortTestHelpers.h"

namespace carillon::sim {
namespace {

TEST(FlashLayout, McuMapHas105SectorsEndingWithTheTopSector) {
    const FlashMemory mcu(McuSectorBytes(), 1);
    ASSERT_EQ(mcu.SectorCount(), 105u);
    EXPECT_EQ(mcu.SizeUnits(), 0x10000u);
    for (const auto& [sector, start] : {std::pair<std::size_t, std::uint32_t>{1, 0x1080}, {5, 0x1800}, {6, 0x182C},
                                       {7, 0x1A00}, {104, 0xDC00}}) {
        EXPECT_EQ(mcu.SectorStart(sector), start) << sector;
    }
    EXPECT_EQ(mcu.SectorOf(0xDBFF), 103u);
    EXPECT_EQ(mcu.SectorOf(0x10000), 105u);
}

TEST(FlashLayout, EveryChipFillsTwoToItsSizeCodeBytes) {
    for (const FlashChip& chip : Chips()) {
        const std::uint64_t words = std::accumulate(chip.sectorWords.begin(), chip.sectorWords.end(), std::uint64_t{0});
        EXPECT_EQ(words * 2, std::uint64_t{1} << chip.sizeCode) << std::hex << int(chip.device);
    }
    ASSERT_NE(FindChip(0x20, 0x49), nullptr);
    EXPECT_EQ(FindChip(0x20, 0x49)->sectorWords.front(), 0x2000u);
    EXPECT_EQ(FindChip(0x01, 0xB9)->sectorWords.size(), 11u);
    EXPECT_EQ(FindChip(0x01, 0x00), nullptr);
}

TEST(FlashMemory, EraseSetsTheSectorAndProgrammingOnlyClearsBits) {
    FlashMemory dsp({4, 4}, 2);
    const std::uint8_t word[2] = {0x12, 0x34};
    EXPECT_TRUE(dsp.ProgramUnit(5, word, true));
    EXPECT_FALSE(dsp.ProgramUnit(5, word, true));
    const std::uint8_t other[2] = {0xF0, 0xFF};
    EXPECT_TRUE(dsp.ProgramUnit(5, other, false));
    EXPECT_EQ(dsp.Read(5, 1), (ByteArray{0x10, 0x34}));
    EXPECT_FALSE(dsp.SectorErased(1));
    EXPECT_TRUE(dsp.SectorErased(0));
    dsp.EraseSector(1);
    EXPECT_TRUE(dsp.IsErased(0, 8));
}

PrinterConfig Image(Family family, ImageKind image) {
    PrinterConfig c;
    c.family = family;
    c.image = image;
    return c;
}

TEST(StartingImage, OldFirmwareTablesListDataThatIsReallyInFlash) {
    const VirtualPrinter ndx(Image(Family::kNdx, ImageKind::kOldFirmware));
    for (int loc : {kLocMcu, kLocDsp}) {
        const TableContents t = ndx.FileTable(loc);
        ASSERT_EQ(t.status, TableStatus::kOk) << loc;
        ASSERT_EQ(t.files.size(), 3u);
        for (const FileEntry& f : t.files) {
            const ByteArray data = ndx.ReadFlash(loc, f.address, f.sizeBytes / (loc == kLocDsp ? 2 : 1));
            EXPECT_EQ(ComputeCrc16(0xFFFF, data.data(), data.size()), f.crc) << f.name;
        }
    }
    EXPECT_EQ(ndx.FileTable(kLocMcu).files[0].address, 0x182Cu);
    EXPECT_EQ(ndx.FileTable(kLocDsp).files[1].type, kTypeFontA);

    const VirtualPrinter kiosk(Image(Family::kKiosk, ImageKind::kOldFirmware));
    EXPECT_EQ(kiosk.FileTable(kLocKiosk).files.size(), 3u);
    EXPECT_EQ(kiosk.FileTable(kLocKiosk).files[0].type, kTypeFirmware);

    const VirtualPrinter plv(Image(Family::kPlv, ImageKind::kOldFirmware));
    EXPECT_EQ(plv.FileTable(kLocDsp).status, TableStatus::kOk);
    EXPECT_TRUE(plv.FileTable(kLocDsp).files.empty());
}

TEST(StartingImage, FactoryPrinterHasEmptyTablesAndBlankFlashHasNone) {
    const VirtualPrinter empty(Image(Family::kNdx, ImageKind::kEmptyTables));
    EXPECT_EQ(empty.FileTable(kLocDsp).status, TableStatus::kOk);
    EXPECT_TRUE(empty.FileTable(kLocMcu).files.empty());
    EXPECT_EQ(empty.FileTable(kLocMcu).index.crc, 0xFFFF);
    const VirtualPrinter blank(Image(Family::kNdx, ImageKind::kBlank));
    EXPECT_EQ(blank.FileTable(kLocMcu).status, TableStatus::kNoIndex);
    for (const SectorInfo& s : blank.SectorMap(kLocDsp)) EXPECT_TRUE(s.erased);
}

TEST(StartingImage, MonitorsBeforeVersionTwoGetNoCryptBit) {
    PrinterConfig c = Image(Family::kNdx, ImageKind::kOldFirmware);
    c.monitorVersion = 1;
    for (const FileEntry& f : VirtualPrinter(c).FileTable(kLocMcu).files) EXPECT_FALSE(f.crypt);
    EXPECT_TRUE(VirtualPrinter(Image(Family::kNdx, ImageKind::kOldFirmware)).FileTable(kLocMcu).files[0].crypt);
}

TEST(StartingImage, DspTableFollowsTheConfiguredSector) {
    PrinterConfig c = Image(Family::kNdx, ImageKind::kOldFirmware);
    c.dspTableSector = 2;
    const VirtualPrinter p(c);
    EXPECT_EQ(p.TableStart(kLocDsp), 0x10000u);
    EXPECT_EQ(p.FileTable(kLocDsp).index.address, 0x10020u);
    EXPECT_EQ(p.FileTable(kLocDsp).status, TableStatus::kOk);
}

class FlashFile : public ::testing::Test {
protected:
    carillon::testing::TempDir dir;
    std::string path = (dir.Path() / "flash").string();
};

TEST_F(FlashFile, KeepsTheFlashAcrossRuns) {
    VirtualPrinter first(Image(Family::kNdx, ImageKind::kOldFirmware));
    first.StoreFlash(kLocDsp, 0x30000, {1, 2, 3, 4});
    first.EraseSector(kLocMcu, 6);
    ASSERT_TRUE(first.SaveFlash(path));
    VirtualPrinter second(Image(Family::kNdx, ImageKind::kBlank));
    std::string error;
    ASSERT_TRUE(second.LoadFlash(path, &error)) << error;
    for (int loc : {kLocMcu, kLocDsp, kLocKiosk}) EXPECT_EQ(second.FlashImage(loc), first.FlashImage(loc));
}

TEST_F(FlashFile, RefusesAFileOfAnotherPrinterOrNoFlashFileAtAll) {
    ASSERT_TRUE(VirtualPrinter(Image(Family::kKiosk, ImageKind::kBlank)).SaveFlash(path));
    VirtualPrinter ndx(Image(Family::kNdx, ImageKind::kOldFirmware));
    const ByteArray before = ndx.FlashImage(kLocMcu);
    std::string error;
    EXPECT_FALSE(ndx.LoadFlash(path, &error));
    EXPECT_NE(error.find("KIOSK"), std::string::npos);
    EXPECT_EQ(ndx.FlashImage(kLocMcu), before);
    dir.Write("flash", "not a flash file");
    EXPECT_FALSE(ndx.LoadFlash(path, &error));
}

}  // namespace
}  // namespace carillon::sim
