#include <gtest/gtest.h>

#include <numeric>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FlashLayout.h"
#include "sim/VirtualPrinter.h"
#include "support/PortTestHelpers.h"

namespace carillon::sim {
namespace {

TEST(FlashLayout, EveryChipFillsTwoToItsSizeCodeBytes) {
    for (const FlashChip& chip : Chips()) {
        const std::uint64_t words = std::accumulate(chip.sectorWords.begin(), chip.sectorWords.end(), std::uint64_t{0});
        EXPECT_EQ(words * 2, std::uint64_t{1} << chip.sizeCode) << std::hex << int(chip.device);
    }
    EXPECT_EQ(FindChip(0x01, 0x00), nullptr);
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
    EXPECT_TRUE(ndx.FileTable(kLocMcu).files[0].crypt);
    EXPECT_EQ(ndx.FileTable(kLocDsp).files[1].type, kTypeFontA);

    const VirtualPrinter kiosk(Image(Family::kKiosk, ImageKind::kOldFirmware));
    EXPECT_EQ(kiosk.FileTable(kLocKiosk).files.size(), 3u);
    EXPECT_EQ(kiosk.FileTable(kLocKiosk).files[0].type, kTypeFirmware);

    const VirtualPrinter plv(Image(Family::kPlv, ImageKind::kOldFirmware));
    EXPECT_EQ(plv.FileTable(kLocDsp).status, TableStatus::kOk);
    EXPECT_TRUE(plv.FileTable(kLocDsp).files.empty());
}

TEST(StartingImage, FactoryAndBlankFlashAnOldMonitorAndAMovedDspTable) {
    const VirtualPrinter empty(Image(Family::kNdx, ImageKind::kEmptyTables));
    EXPECT_TRUE(empty.FileTable(kLocMcu).files.empty());
    EXPECT_EQ(empty.FileTable(kLocMcu).index.crc, 0xFFFF);
    const VirtualPrinter blank(Image(Family::kNdx, ImageKind::kBlank));
    EXPECT_EQ(blank.FileTable(kLocMcu).status, TableStatus::kNoIndex);
    for (const SectorInfo& s : blank.SectorMap(kLocDsp)) EXPECT_TRUE(s.erased);

    PrinterConfig c = Image(Family::kNdx, ImageKind::kOldFirmware);
    c.monitorVersion = 1;  // before version two no entry carries the crypt bit
    c.dspTableSector = 2;
    const VirtualPrinter old(c);
    for (const FileEntry& f : old.FileTable(kLocMcu).files) EXPECT_FALSE(f.crypt);
    EXPECT_EQ(old.TableStart(kLocDsp), 0x10000u);
    EXPECT_EQ(old.FileTable(kLocDsp).index.address, 0x10020u);
    EXPECT_EQ(old.FileTable(kLocDsp).status, TableStatus::kOk);
}

TEST(FlashFile, KeepsTheFlashAcrossRunsAndRefusesAnotherPrintersOrNoFlashFile) {
    carillon::testing::TempDir dir;
    const std::string path = (dir.Path() / "flash").string();
    VirtualPrinter first(Image(Family::kNdx, ImageKind::kOldFirmware));
    first.StoreFlash(kLocDsp, 0x30000, {1, 2, 3, 4});
    first.EraseSector(kLocMcu, 6);
    ASSERT_TRUE(first.SaveFlash(path));
    VirtualPrinter second(Image(Family::kNdx, ImageKind::kBlank));
    std::string error;
    ASSERT_TRUE(second.LoadFlash(path, &error)) << error;
    for (int loc : {kLocMcu, kLocDsp, kLocKiosk}) EXPECT_EQ(second.FlashImage(loc), first.FlashImage(loc));

    ASSERT_TRUE(VirtualPrinter(Image(Family::kKiosk, ImageKind::kBlank)).SaveFlash(path));
    EXPECT_FALSE(second.LoadFlash(path, &error));
    EXPECT_NE(error.find("KIOSK"), std::string::npos);
    EXPECT_EQ(second.FlashImage(kLocMcu), first.FlashImage(kLocMcu));
    dir.Write("flash", "not a flash file");
    EXPECT_FALSE(second.LoadFlash(path, &error));
}

}  // namespace
}  // namespace carillon::sim
