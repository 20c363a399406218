#include <gtest/gtest.h>

#include "package/PackageText.h"
#include "sim/FlashLayout.h"
#include "sim/VerifyPackage.h"

namespace carillon::sim {
namespace {

using carillon::testing::Package;
using carillon::testing::PlainElement;

const std::string kMcuData = "MCU data block, 29 bytes long";  // padded to 32 in the package
const std::string kDspData = "DSP words";                      // padded to 12 bytes: 6 words

ByteArray Padded(const std::string& text) {
    ByteArray b(text.begin(), text.end());
    b.resize((b.size() + 3) & ~std::size_t{3}, 0);
    return b;
}

// Stores a block and a table listing it, as an update would.
void Program(VirtualPrinter& printer, int location, const std::string& name, const std::string& text,
             std::uint32_t address, std::uint16_t crcChange = 0) {
    const ByteArray data = Padded(text);
    FileEntry e{.type = kTypeData, .address = address, .sizeBytes = static_cast<std::uint32_t>(data.size()), .name = name};
    e.crc = ComputeCrc16(0xFFFF, data.data(), data.size()) ^ crcChange;
    const bool dsp = location == kLocDsp;
    const std::uint32_t table = dsp ? 0 : kMcuTableStart;
    printer.StoreFlash(location, address, data);
    printer.StoreFlash(location, table, BuildTable(dsp ? TableForm::kDsp : TableForm::kMcu, table, {e}));
}

TEST(VerifyPackage, NamesWhatIsMissingOrDifferentAndPassesWhatWasProgrammed) {
    PrinterConfig config;
    config.image = ImageKind::kEmptyTables;
    VirtualPrinter printer(config);
    CElementList package;
    const std::string text = Package(3, PlainElement("mcu_block", kMcuData, "LOCATION=MCU_FLASH;PRINTER_ARCHI=NDX;") +
                                            PlainElement("dsp_block", kDspData, "LOCATION=DSP_FLASH;PRINTER_ARCHI=NDX;") +
                                            PlainElement("kiosk_block", kMcuData, "LOCATION=KIOSK_FLASH;PRINTER_ARCHI=KIOSK;"));
    ASSERT_EQ(package.LoadPackageBuffer(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), kOk);
    std::vector<ElementCheck> checks;
    auto check = [&](std::size_t element) {
        checks = VerifyPackage(printer, package);
        return checks.at(element);
    };

    EXPECT_EQ(check(0).status, VerifyStatus::kMissing);
    Program(printer, kLocMcu, "mcu_block", kMcuData, 0x9000, 0x0100);
    EXPECT_EQ(check(0).status, VerifyStatus::kCrcMismatch);
    Program(printer, kLocMcu, "mcu_block", kMcuData, 0x9000);
    Program(printer, kLocDsp, "dsp_block", kDspData, 0x40000);
    EXPECT_EQ(check(0).status, VerifyStatus::kOk);
    EXPECT_EQ(check(1).status, VerifyStatus::kOk);
    EXPECT_EQ(check(2).status, VerifyStatus::kNotForPrinter);  // another family's does not count
    EXPECT_TRUE(AllVerified(checks));
    // The first differing unit, in the location's units.
    printer.StoreFlash(kLocDsp, 0x40002, {0x00, 0x00});
    const ElementCheck dsp = check(1);
    EXPECT_EQ(dsp.status, VerifyStatus::kDataMismatch);
    EXPECT_EQ(dsp.firstDifference, 0x40002u);
    EXPECT_FALSE(AllVerified(checks));
    EXPECT_NE(FormatCheck(dsp).find("0x40002"), std::string::npos);
    printer.EraseSector(kLocDsp, 0);
    EXPECT_EQ(check(1).status, VerifyStatus::kNoTable);
}

}  // namespace
}  // namespace carillon::sim
