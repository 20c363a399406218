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

FileEntry EntryFor(const std::string& name, const ByteArray& data, std::uint32_t address) {
    FileEntry e;
    e.type = kTypeData;
    e.name = name;
    e.address = address;
    e.sizeBytes = static_cast<std::uint32_t>(data.size());
    e.crc = ComputeCrc16(0xFFFF, data.data(), data.size());
    return e;
}

class Verify : public ::testing::Test {
protected:
    Verify() : printer(Config()) {
        const std::string text =
            Package(3, PlainElement("mcu_block", kMcuData, "LOCATION=MCU_FLASH;PRINTER_ARCHI=NDX;") +
                           PlainElement("dsp_block", kDspData, "LOCATION=DSP_FLASH;PRINTER_ARCHI=NDX;") +
                           PlainElement("kiosk_block", kMcuData, "LOCATION=KIOSK_FLASH;PRINTER_ARCHI=KIOSK;"));
        EXPECT_EQ(package.LoadPackageBuffer(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), kOk);
    }
    static PrinterConfig Config() {
        PrinterConfig c;
        c.image = ImageKind::kEmptyTables;
        return c;
    }
    // Stores both NDX blocks with their table entries, as an update would.
    void Program(std::uint16_t mcuCrcChange = 0) {
        FileEntry mcu = EntryFor("mcu_block", Padded(kMcuData), 0x9000);
        mcu.crc ^= mcuCrcChange;
        printer.StoreFlash(kLocMcu, 0x9000, Padded(kMcuData));
        printer.StoreFlash(kLocMcu, kMcuTableStart, BuildTable(TableForm::kMcu, kMcuTableStart, {mcu}));
        printer.StoreFlash(kLocDsp, 0x40000, Padded(kDspData));
        printer.StoreFlash(kLocDsp, 0, BuildTable(TableForm::kDsp, 0, {EntryFor("dsp_block", Padded(kDspData), 0x40000)}));
    }
    const ElementCheck& Check(const std::string& name) {
        checks = VerifyPackage(printer, package);
        for (const auto& c : checks) {
            if (c.name == name) return c;
        }
        static const ElementCheck none;
        ADD_FAILURE() << name << " not checked";
        return none;
    }

    VirtualPrinter printer;
    CElementList package;
    std::vector<ElementCheck> checks;
};

TEST_F(Verify, ProgrammedPackageVerifiesAndOtherFamiliesDoNotCount) {
    Program();
    EXPECT_EQ(Check("mcu_block").status, VerifyStatus::kOk);
    EXPECT_EQ(Check("dsp_block").status, VerifyStatus::kOk);
    EXPECT_EQ(Check("dsp_block").address, 0x40000u);
    EXPECT_EQ(Check("kiosk_block").status, VerifyStatus::kNotForPrinter);
    EXPECT_TRUE(AllVerified(checks));
}

TEST_F(Verify, ReportsTheFirstDifferingUnitInTheLocationsUnits) {
    Program();
    printer.StoreFlash(kLocDsp, 0x40002, {0x00, 0x00});
    const ElementCheck& c = Check("dsp_block");
    EXPECT_EQ(c.status, VerifyStatus::kDataMismatch);
    EXPECT_EQ(c.firstDifference, 0x40002u);
    EXPECT_FALSE(AllVerified(checks));
    EXPECT_NE(FormatCheck(c).find("0x40002"), std::string::npos);
}

TEST_F(Verify, MissingEntryWrongCrcAndUnreadableTable) {
    EXPECT_EQ(Check("mcu_block").status, VerifyStatus::kMissing);
    Program(0x0100);
    EXPECT_EQ(Check("mcu_block").status, VerifyStatus::kCrcMismatch);
    printer.EraseSector(kLocDsp, 0);
    EXPECT_EQ(Check("dsp_block").status, VerifyStatus::kNoTable);
}

TEST(VerifyFile, AMissingPackageIsTheLoadError) {
    VirtualPrinter printer;
    std::vector<ElementCheck> checks;
    EXPECT_EQ(VerifyPackageFile(printer, "/nonexistent/package.VRK_Package", &checks), kErrFileNotFound);
}

}  // namespace
}  // namespace carillon::sim
