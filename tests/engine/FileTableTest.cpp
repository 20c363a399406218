#include "engine/EngineFixture.h"
#include "engine/FileTableArea.h"
#include "package/Crc16.h"

namespace carillon {
namespace {

// An MCU table area laid out by hand: an index announcing indexed bytes of
// entries with their CRC, files at slots 1 to files, then erased flash; one
// byte is changed afterwards when damaged is not 0.
struct McuArea {
    std::uint32_t files, indexed;
    std::size_t damaged;

    ByteArray Bytes() const {
        ByteArray bytes(0x380, 0xFF);
        auto entry = [&](std::size_t slot, std::int32_t type, std::int32_t address, std::uint32_t size) {
            CElement e;
            e.m_type = type;
            e.m_location = kMcuFlash;
            e.m_address = address;
            e.m_size = size;
            e.m_cryptFlag = 0;
            e.m_crc = ComputeCrc16(0xFFFF, bytes.data() + 32, size);  // used by the index only
            e.WriteMcuEntry(bytes.data() + slot * 32);
        };
        for (std::uint32_t k = 1; k <= files; ++k) entry(k, kTypeData, static_cast<std::int32_t>(0xD800 - k * 0x200), 0x100);
        if (indexed != 0) entry(0, kTypeIndex, 0x10A0, indexed);
        if (damaged != 0) bytes[damaged] ^= 1;
        return bytes;
    }
};

struct Damage {
    const char* what;
    McuArea area;
    ErrorCode result;
    std::size_t delivered;  // file entries
};

const Damage kDamages[] = {
    {"erased: no index", {0, 0, 0}, 0x00030003, 0},
    {"two files and the end", {2, 64, 0}, kOk, 2},
    {"a file entry changed after its CRC", {2, 64, 32 + 5}, 0x00030011, 0},
    {"a file entry where the end entry should be", {3, 64, 0}, 0x00030004, 2},
    {"27 entries leave no room for the end", {0, 0x360, 0}, 0x00030006, 0},
    {"one byte less still fits 26 and the end", {0, 0x35F, 0}, kOk, 26},
    {"a size between slots counts whole entries", {1, 0x30, 0}, kOk, 1},
    {"but its CRC covers every byte", {1, 0x30, 32 + 0x2F}, 0x00030011, 0},
};

TEST(FileTableArea, DamagedTablesAreRecognised) {
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        const ByteArray area = d.area.Bytes();
        const DecodedTable table = DecodeFileTableArea(area.data(), EntryForm::kMcu, kKioskFlash);
        EXPECT_EQ(table.result, d.result);
        ASSERT_EQ(table.elements.size(), d.delivered);
        for (const auto& e : table.elements) EXPECT_EQ(e->m_location, kKioskFlash);
    }
}

class FileTableTest : public testing::EngineTest {
protected:
    void StartWithGeometry(sim::PrinterConfig config) {
        Start(config);
        ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
        ASSERT_EQ(engine.ReadGeometry(kDspFlash), kOk);
    }
    ByteArray TableBytes(std::int32_t location, std::uint32_t units) {
        return printer->printer.ReadFlash(location, printer->printer.TableStart(location), units);
    }
    std::size_t CountAt(std::int32_t location) {
        std::size_t n = 0;
        for (const auto& e : engine.m_elements.Elements()) n += e->m_location == location;
        return n;
    }
};

TEST_F(FileTableTest, AnEmptyTableEmptiesItsLocationAndAFailedReadLeavesTheListAlone) {
    Start(Config(sim::Family::kNdx));
    Add("stale", kTypeData, kMcuFlash, 4);
    Add("other", kTypeData, kDspFlash, 4);
    ASSERT_EQ(engine.ReadLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(CountAt(kMcuFlash), 0u);
    EXPECT_EQ(CountAt(kDspFlash), 1u);
    Add("stale", kTypeData, kMcuFlash, 4);
    printer->printer.StoreFlash(kMcuFlash, 0x1080, McuArea{0, 0, 0}.Bytes());
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030003u);
    EXPECT_EQ(CountAt(kMcuFlash), 1u);
}

TEST_F(FileTableTest, ALocationWithoutElementsGetsIndexAndEndOnly) {
    StartWithGeometry(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    const ByteArray table = TableBytes(kMcuFlash, 0x380);
    EXPECT_EQ(ByteArray(table.begin(), table.begin() + 9), (ByteArray{0x10, 0xFF, 0xFF, 0x10, 0xA0, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&table[9])), "Mcu Table Entry");
    EXPECT_EQ(ByteArray(table.begin() + 32, table.begin() + 41), (ByteArray{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(table.begin() + 64, table.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(FileTableTest, OldMonitorsGetNoCryptBit) {
    auto config = Config(sim::Family::kNdx);
    config.monitorVersion = 0x01;
    StartWithGeometry(config);
    CElement& fw = AddStored("fw", kTypeFirmware, kMcuFlash, 0x100, 0x182C);
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    EXPECT_EQ(TableBytes(kMcuFlash, 0x40)[32], 0x80);
    EXPECT_EQ(fw.m_cryptFlag, 0);
}

TEST_F(FileTableTest, OneEntryMoreThanFitsLeavesThePrintersTableUntouched) {
    StartWithGeometry(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    struct Table {
        std::int32_t location;
        int fits;
        std::uint32_t units;
    };
    for (const Table& t : {Table{kMcuFlash, 26, 0x380}, Table{kDspFlash, 62, 0x800}}) {
        SCOPED_TRACE(t.location);
        engine.m_elements.RemoveAll();
        for (int i = 0; i < t.fits; ++i) AddStored("f" + std::to_string(i), kTypeData, t.location, 0, 0);
        ASSERT_EQ(engine.WriteLocationTable(t.location), kOk);
        ASSERT_EQ(engine.ReadLocationTable(t.location), kOk);
        EXPECT_EQ(CountAt(t.location), static_cast<std::size_t>(t.fits));
        const ByteArray full = TableBytes(t.location, t.units);
        AddStored("one more", kTypeData, t.location, 0, 0);
        const auto erases = printer->printer.GetCounters().erases;
        EXPECT_EQ(engine.WriteLocationTable(t.location), 0x0003000Eu);
        EXPECT_EQ(printer->printer.GetCounters().erases, erases);
        EXPECT_EQ(TableBytes(t.location, t.units), full);
    }
}

TEST_F(FileTableTest, UnsavedElementsStopTheWriteBeforeAnythingIsErased) {
    StartWithGeometry(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    Add("new", kTypeFileEmpty, kMcuFlash, 4);
    const auto erases = printer->printer.GetCounters().erases;
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030015u);
    EXPECT_EQ(printer->printer.GetCounters().erases, erases);
    EXPECT_EQ(engine.WriteLocationTable(kI2cFlash), 0x00030017u);
    engine.m_geometryValid.fill(0);
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030018u);
}

TEST_F(FileTableTest, AMissingEndEntryLeavesTheTableMarkedUnread) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kBlank));
    printer->printer.StoreFlash(kMcuFlash, 0x1080, McuArea{3, 64, 0}.Bytes());
    EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), 0x00030004u);
    EXPECT_EQ(CountAt(kMcuFlash), 2u);
    EXPECT_EQ(engine.m_elements.m_tableRead[kMcuFlash], 0u);
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
