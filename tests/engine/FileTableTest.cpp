#include "engine/EngineFixture.h"
#include "package/Crc16.h"

namespace carillon {
namespace {

using testing::Pattern;

// An MCU table area laid out by hand: index, entries, then whatever follows.
struct McuArea {
    ByteArray bytes = ByteArray(0x380, 0xFF);

    void Slot(std::size_t k, CElement& e) { e.WriteMcuEntry(bytes.data() + k * 32); }
    void Index(std::uint32_t size, std::uint16_t crc) {
        CElement index;
        index.m_type = kTypeIndex;
        index.m_cryptFlag = 0;
        index.m_location = kMcuFlash;
        index.m_size = size;
        index.m_crc = crc;
        index.m_address = 0x10A0;
        Slot(0, index);
    }
    std::uint16_t CrcOf(std::size_t size) const { return ComputeCrc16(0xFFFF, bytes.data() + 32, size); }
};

std::unique_ptr<CElement> MakeFile(const char* name, std::int32_t type, std::int32_t address, std::uint32_t size) {
    auto e = std::make_unique<CElement>();
    e->m_strName = name;
    e->m_type = type;
    e->m_location = kMcuFlash;
    e->m_address = address;
    e->m_size = size;
    e->m_crc = 0x1234;
    e->m_cryptFlag = 0;
    return e;
}

class FileTableTest : public testing::EngineTest {
protected:
    void Lay(const McuArea& area) { printer->printer.StoreFlash(kMcuFlash, 0x1080, area.bytes); }
    ByteArray TableBytes(std::int32_t location, std::uint32_t units) {
        return printer->printer.ReadFlash(location, printer->printer.TableStart(location), units);
    }
    std::size_t CountAt(std::int32_t location) {
        std::size_t n = 0;
        for (const auto& e : engine.m_elements.Elements()) n += e->m_location == location;
        return n;
    }
};

TEST_F(FileTableTest, AnOlderFirmwareSetBecomesSavedElements) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    EXPECT_EQ(engine.m_elements.GetCount(), 6);
    for (const auto& e : engine.m_elements.Elements()) {
        EXPECT_EQ(e->m_saved, 1);
        EXPECT_EQ(e->m_archi, kArchiNdx);
        EXPECT_NE(e->m_address, -1);
    }
    const CElement* dspFirmware = nullptr;
    for (const auto& e : engine.m_elements.Elements())
        if (e->m_location == kDspFlash && e->m_type == kTypeFirmware) dspFirmware = e.get();
    ASSERT_NE(dspFirmware, nullptr);
    EXPECT_EQ(dspFirmware->m_address, 0xF8000);
    EXPECT_EQ(dspFirmware->m_cryptFlag, 1);
    EXPECT_EQ(engine.m_elements.m_tableRead, (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(engine.m_geometryValid, (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
    // Reading again replaces, never duplicates.
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    EXPECT_EQ(engine.m_elements.GetCount(), 6);
}

TEST_F(FileTableTest, AnEmptyTableRemovesTheLocationsElements) {
    Start(Config(sim::Family::kNdx));
    Add("stale", kTypeData, kMcuFlash, 4);
    Add("other", kTypeData, kDspFlash, 4);
    ASSERT_EQ(engine.ReadLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(CountAt(kMcuFlash), 0u);
    EXPECT_EQ(CountAt(kDspFlash), 1u);
}

TEST_F(FileTableTest, AWrittenTableReadsBackIntoTheSameElements) {
    Start(Config(sim::Family::kNdx));
    ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    ASSERT_EQ(engine.ReadGeometry(kDspFlash), kOk);
    struct Row {
        const char* name;
        std::int32_t type, location, address;
        std::uint32_t size;
        std::int32_t version, flag;
    };
    const Row rows[] = {{"Params_Custom_mcu", kTypeParamsCustom, kMcuFlash, 0x1400, 512, 0, 0},
                        {"main firmware", kTypeFirmware, kMcuFlash, 0x182C, 0x6000, 7, 1},
                        {"logo", kTypeNvImage, kMcuFlash, 0xD800, 0x300, 65535, 0},
                        {"Font A 24 with a fairly long descriptive name", kTypeFontA, kDspFlash, 0xF8000, 0x10000, 3, 1},
                        {"dsp", kTypeFirmware, kDspFlash, 0xE8000, 0x2000, 300, 0}};
    for (const Row& r : rows) {
        CElement& e = AddStored(r.name, r.type, r.location, r.size, r.address);
        e.m_version = r.version;
        e.m_cryptFlag = r.flag;
        e.m_crc = static_cast<std::uint32_t>(0x1000 + r.version);
    }
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    ASSERT_EQ(engine.WriteLocationTable(kDspFlash), kOk);
    engine.m_elements.RemoveAll();
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    ASSERT_EQ(engine.m_elements.GetCount(), 5);
    // Tables are read from the last location down: DSP entries come first.
    std::vector<const Row*> expected;
    for (const Row& r : rows)
        if (r.location == kDspFlash) expected.push_back(&r);
    for (const Row& r : rows)
        if (r.location == kMcuFlash) expected.push_back(&r);
    auto it = engine.m_elements.Elements().begin();
    for (const Row* row : expected) {
        const Row& r = *row;
        const CElement& e = **it++;
        EXPECT_EQ(e.m_strName, r.name);
        EXPECT_EQ(e.m_type, r.type);
        EXPECT_EQ(e.m_location, r.location);
        EXPECT_EQ(e.m_address, r.address);
        EXPECT_EQ(e.m_size, r.size);
        EXPECT_EQ(e.m_version, r.version);
        EXPECT_EQ(e.m_cryptFlag, r.flag);
        EXPECT_EQ(e.m_crc, static_cast<std::uint32_t>(0x1000 + r.version) & 0xFFFF);
    }
}

TEST_F(FileTableTest, ALocationWithoutElementsGetsIndexAndEndOnly) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    const ByteArray table = TableBytes(kMcuFlash, 0x380);
    const ByteArray index(table.begin(), table.begin() + 9);
    EXPECT_EQ(index, (ByteArray{0x10, 0xFF, 0xFF, 0x10, 0xA0, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&table[9])), "Mcu Table Entry");
    const ByteArray end(table.begin() + 32, table.begin() + 41);
    EXPECT_EQ(end, (ByteArray{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(std::all_of(table.begin() + 64, table.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(FileTableTest, OldMonitorsGetNoCryptBit) {
    auto config = Config(sim::Family::kNdx);
    config.monitorVersion = 0x01;
    Start(config);
    ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    CElement& fw = AddStored("fw", kTypeFirmware, kMcuFlash, 0x100, 0x182C);
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(TableBytes(kMcuFlash, 0x40)[32], 0x80);
    EXPECT_EQ(fw.m_cryptFlag, 0);
}

TEST_F(FileTableTest, TooManyEntriesLeaveThePrintersTableUntouched) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    ASSERT_EQ(engine.ReadGeometry(kDspFlash), kOk);
    // 26 and 62 entries fill a table exactly...
    for (int i = 0; i < 26; ++i) AddStored("m" + std::to_string(i), kTypeData, kMcuFlash, 0, 0);
    for (int i = 0; i < 62; ++i) AddStored("d" + std::to_string(i), kTypeData, kDspFlash, 0, 0);
    const auto erasesBefore = printer->printer.GetCounters().erases;
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(engine.WriteLocationTable(kDspFlash), kOk);
    EXPECT_GT(printer->printer.GetCounters().erases, erasesBefore);
    ASSERT_EQ(engine.ReadLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(CountAt(kMcuFlash), 26u);
    // ...one more does not fit, and the table in the printer stays as it was.
    const ByteArray mcuFull = TableBytes(kMcuFlash, 0x380);
    const ByteArray dspFull = TableBytes(kDspFlash, 0x800);
    AddStored("m26", kTypeData, kMcuFlash, 0, 0);
    AddStored("d62", kTypeData, kDspFlash, 0, 0);
    const auto erases = printer->printer.GetCounters().erases;
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x0003000Eu);
    EXPECT_EQ(engine.WriteLocationTable(kDspFlash), 0x0003000Eu);
    EXPECT_EQ(printer->printer.GetCounters().erases, erases);
    EXPECT_EQ(TableBytes(kMcuFlash, 0x380), mcuFull);
    EXPECT_EQ(TableBytes(kDspFlash, 0x800), dspFull);
}

TEST_F(FileTableTest, UnsavedElementsStopTheWriteBeforeAnythingIsErased) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    Add("new", kTypeFileEmpty, kMcuFlash, 4);
    const auto erases = printer->printer.GetCounters().erases;
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030015u);
    EXPECT_EQ(printer->printer.GetCounters().erases, erases);
    EXPECT_EQ(engine.WriteLocationTable(kI2cFlash), 0x00030017u);
    engine.m_geometryValid.fill(0);
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030018u);
}

TEST_F(FileTableTest, DamagedTablesAreRecognised) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kBlank));
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030003u);  // erased: no index

    auto a = MakeFile("a", kTypeData, 0xD800, 0x100);
    auto b = MakeFile("b", kTypeData, 0xD600, 0x100);
    McuArea area;
    area.Slot(1, *a);
    area.Slot(2, *b);
    area.Index(64, area.CrcOf(64));
    Lay(area);
    ASSERT_EQ(engine.ReadLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(CountAt(kMcuFlash), 2u);

    McuArea corrupted = area;
    corrupted.bytes[32 + 5] ^= 1;
    Lay(corrupted);
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030011u);
    EXPECT_EQ(CountAt(kMcuFlash), 2u);  // a failed read leaves the list alone

    McuArea noEnd = area;
    noEnd.Slot(3, *a);  // a file entry where the end entry should be
    noEnd.Index(64, noEnd.CrcOf(64));
    Lay(noEnd);
    engine.m_elements.m_tableRead.fill(0);
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030004u);
    EXPECT_EQ(engine.m_elements.m_tableRead[kMcuFlash], 0u);
}

TEST_F(FileTableTest, AnIndexAnnouncingTooMuchIsRefusedBeforeAnythingIsRead) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kBlank));
    McuArea area;
    area.Index(0x360, area.CrcOf(0x360));  // 27 entries: no room left for the end entry
    Lay(area);
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030006u);
    area.Index(0x35F, area.CrcOf(0x35F));
    Lay(area);
    EXPECT_NE(engine.ReadLocationTable(kMcuFlash), 0x00030006u);
}

TEST_F(FileTableTest, ASizeBetweenSlotsCountsWholeEntriesButChecksEveryByte) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kBlank));
    auto a = MakeFile("a", kTypeData, 0xD800, 0x100);
    McuArea area;
    area.Slot(1, *a);
    area.Index(0x30, area.CrcOf(0x30));  // one entry and half of the end entry
    Lay(area);
    ASSERT_EQ(engine.ReadLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(CountAt(kMcuFlash), 1u);
    area.bytes[32 + 0x2F] = 0x00;  // inside the end entry, still under the CRC
    Lay(area);
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030011u);
}

TEST_F(FileTableTest, AnI2cFlashEndsTheReadWithWrongFlashTypeAfterTheOthers) {
    auto config = Config(sim::Family::kPlv, sim::ImageKind::kOldFirmware);
    config.locations = 0x07;
    Start(config);
    EXPECT_EQ(engine.DoReadFileTables(), 0x00030017u);
    EXPECT_EQ(engine.m_elements.m_tableRead[kMcuFlash], 1u);
    EXPECT_EQ(engine.m_elements.m_tableRead[kDspFlash], 1u);
    EXPECT_EQ(engine.StatusText(), "Update file entry of MCU_FLASH");
}

}  // namespace
}  // namespace carillon
