#include "engine/EngineFixture.h"

namespace carillon {
namespace {

using ProgrammingTest = testing::EngineTest;

enum class Data { kPattern, kErased, kNone };

struct Preparation {
    const char* what;
    sim::ImageKind image;
    bool outputImage;
    Data data;
    std::int32_t type;
    std::uint32_t size;
    std::vector<std::uint32_t> checkLengths;  // of the blank checks, in order
    std::size_t erases;
    bool written;
};

// Blank checks cover each sector up to the element's end; an output image
// must replay without a printer to ask, so then every sector is erased.
// Erased data is already what the erase leaves; without units or data there
// is nothing to send.
const Preparation kPreparations[] = {
    {"sectors holding the old firmware are erased after their check", sim::ImageKind::kOldFirmware, false,
     Data::kPattern, kTypeFirmware, 0x600, {0x1D4, 0x200, 0x200, 0x2C}, 4, true},
    {"erased data over the old firmware", sim::ImageKind::kOldFirmware, false, Data::kErased, kTypeFirmware, 0x400,
     {0x1D4, 0x200, 0x2C}, 3, false},
    {"blank sectors are only checked", sim::ImageKind::kBlank, false, Data::kPattern, kTypeData, 0x300, {0x200, 0x100},
     0, true},
    {"with an output image every sector is erased unchecked", sim::ImageKind::kBlank, true, Data::kPattern, kTypeData,
     0x300, {}, 2, true},
    {"an element without units", sim::ImageKind::kBlank, false, Data::kPattern, kTypeData, 0, {}, 0, false},
    {"an element without data", sim::ImageKind::kOldFirmware, false, Data::kNone, kTypeParamsFact, 512, {}, 0, false},
};

TEST_F(ProgrammingTest, SectorsAreCheckedAndErasedAsNeededBeforeTheWrite) {
    for (const Preparation& p : kPreparations) {
        SCOPED_TRACE(p.what);
        Start(Config(sim::Family::kNdx, p.image));
        engine.m_elements.RemoveAll();
        ByteArray image;
        engine.m_pOutputImage = p.outputImage ? &image : nullptr;
        CElement& e = Add("new", p.type, kMcuFlash, p.size, p.data != Data::kNone);
        if (p.data == Data::kErased) std::fill(e.m_pData.get(), e.m_pData.get() + p.size, 0xFF);
        ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
        ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
        printer->printer.ClearLogs();
        ASSERT_EQ(engine.ProgramData(kMcuFlash), kOk);
        EXPECT_EQ(e.m_saved, 1);
        std::vector<std::uint32_t> checks;
        for (const auto& request : printer->Requests("C")) checks.push_back(testing::Le16(request.data, 2));
        EXPECT_EQ(checks, p.checkLengths);
        EXPECT_EQ(printer->Requests("B").size(), p.erases);
        EXPECT_EQ(printer->Requests("DF").size() != 0, p.written);
        if (!e.m_pData) continue;
        EXPECT_EQ(printer->printer.ReadFlash(kMcuFlash, static_cast<std::uint32_t>(e.m_address), p.size),
                  ByteArray(e.m_pData.get(), e.m_pData.get() + p.size));
    }
}

TEST_F(ProgrammingTest, AFailingLocationDoesNotStopTheOthers) {
    auto config = Config(sim::Family::kKiosk, sim::ImageKind::kBlank);
    config.faults.refuse = {.everyNth = 1, .fraction = 0, .commands = "PR"};
    config.faults.refuseFlags = 0x08;
    Start(config);
    engine.DoReadFileTables();  // blank flash: no tables, but the geometry is read
    const CElement& kiosk = Add("kiosk fw", kTypeFirmware, kKioskFlash, 0x200);
    const CElement& mcu = Add("mcu fw", kTypeFirmware, kMcuFlash, 0x200);
    EXPECT_EQ(engine.DoSave(1), 0x00030014u);  // every chunk refused: too many errors, five attempts over
    EXPECT_EQ(mcu.m_saved, 1);
    EXPECT_EQ(kiosk.m_saved, 0);
    EXPECT_EQ(printer->Requests("P").size(), 55u);  // five attempts of eleven refused chunks, each naming its address again
    EXPECT_EQ(printer->Requests("R").size(), 0u);
    EXPECT_FALSE(printer->printer.FileTable(kMcuFlash).files.empty());  // the KIOSK table is left as it was
    EXPECT_EQ(engine.StatusText(), "Saving MCU_FLASH fin ");
}

}  // namespace
}  // namespace carillon
