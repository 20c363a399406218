#include "engine/EngineFixture.h"
#include "package/Crc16.h"

namespace carillon {
namespace {

// An MCU table area laid out by hand: an index announcing indexed bytes of
// entries with their CRC (none when indexed is -1), data files at slots 1 to
// files, then erased flash; one byte is changed afterwards when damaged is not 0.
struct McuArea {
    std::uint32_t files;
    std::int32_t indexed;
    std::size_t damaged;

    ByteArray Bytes() const {
        ByteArray bytes(0x380, 0xFF);
        auto putBe16 = [&](std::size_t at, std::uint32_t v) {
            bytes[at] = static_cast<std::uint8_t>(v >> 8);
            bytes[at + 1] = static_cast<std::uint8_t>(v);
        };
        auto entry = [&](std::size_t slot, std::uint8_t type, std::uint32_t address, std::uint32_t size) {
            bytes[slot * 32] = type;
            putBe16(slot * 32 + 1, ComputeCrc16(0xFFFF, bytes.data() + 32, size));  // the index's only
            putBe16(slot * 32 + 3, address);
            putBe16(slot * 32 + 5, size);
        };
        for (std::uint32_t k = 1; k <= files; ++k) entry(k, 0x30, 0xD800 - k * 0x200, 0x100);
        if (indexed >= 0) entry(0, 0x10, 0x10A0, static_cast<std::uint32_t>(indexed));
        if (damaged != 0) bytes[damaged] ^= 1;
        return bytes;
    }
};

struct Damage {
    const char* what;
    McuArea area;
    ErrorCode result;
    int delivered;  // file entries; -1: the list is left as it was
};

const Damage kDamages[] = {
    {"erased: no index", {0, -1, 0}, 0x00030003, -1},
    {"an empty table empties the location", {0, 0, 0}, kOk, 0},
    {"two files and the end", {2, 64, 0}, kOk, 2},
    {"a file entry changed after its CRC", {2, 64, 32 + 5}, 0x00030011, -1},
    {"a file entry where the end entry should be", {3, 64, 0}, 0x00030004, 2},
    {"27 entries leave no room for the end", {0, 0x360, 0}, 0x00030006, -1},
    {"one byte less still fits 26 and the end", {0, 0x35F, 0}, kOk, 26},
    {"a size between slots counts whole entries", {1, 0x30, 0}, kOk, 1},
    {"but its CRC covers every byte", {1, 0x30, 32 + 0x2F}, 0x00030011, -1},
};

class FileTableTest : public testing::EngineTest {
protected:
    ByteArray TableBytes(std::int32_t location, std::uint32_t units) {
        return printer->printer.ReadFlash(location, printer->printer.TableStart(location), units);
    }
    std::size_t CountAt(std::int32_t location) {
        std::size_t n = 0;
        for (const auto& e : engine.m_elements.Elements()) n += e->m_location == location;
        return n;
    }
};

// A table's entries replace the location's elements once they are read,
// even when the end entry is then missing; only a whole table counts as read.
TEST_F(FileTableTest, ReadEntriesReplaceTheLocationsElementsAndOnlyAWholeTableCountsAsRead) {
    Start(Config(sim::Family::kNdx));
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        engine.m_elements.RemoveAll();
        engine.m_elements.m_tableRead.fill(0);
        Add("stale", kTypeData, kMcuFlash, 4);
        printer->printer.StoreFlash(kMcuFlash, 0x1080, d.area.Bytes());
        EXPECT_EQ(engine.ReadLocationTable(kMcuFlash), d.result);
        EXPECT_EQ(CountAt(kMcuFlash), d.delivered < 0 ? 1u : static_cast<std::size_t>(d.delivered));
        EXPECT_EQ(engine.m_elements.m_tableRead[kMcuFlash], d.result == kOk ? 1u : 0u);
    }
}

// A table is the index (type, address, size, version), the entries (here
// without the crypt bit, for an old monitor), the end entry and erased flash.
// One that would not fit, or that does not read back as written (a worn cell
// keeps a bit at 1), fails; a table too full is not even erased.
TEST_F(FileTableTest, ATableIsWrittenWholeAndReadsBackOrFails) {
    auto config = Config(sim::Family::kNdx);
    config.monitorVersion = 0x01;
    Start(config);
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    AddStored("fw", kTypeFirmware, kMcuFlash, 0x100, 0x182C);
    ASSERT_EQ(engine.WriteLocationTable(kMcuFlash), kOk);
    const ByteArray table = TableBytes(kMcuFlash, 0x380);
    EXPECT_EQ(table[0], 0x10);
    EXPECT_EQ(ByteArray(table.begin() + 3, table.begin() + 9), (ByteArray{0x10, 0xA0, 0x00, 0x20, 0x02, 0x00}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&table[9])), "Mcu Table Entry");
    EXPECT_EQ(table[32], 0x80);
    EXPECT_EQ(ByteArray(table.begin() + 64, table.begin() + 73), (ByteArray{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(table.begin() + 96, table.end(), [](std::uint8_t b) { return b == 0xFF; }));
    sim::Faults faults;
    faults.worn = {.location = kMcuFlash, .unit = 0x1080 + 0x20, .stuckBits = 0x01};
    printer->printer.SetFaults(faults);
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030011u);
    printer->printer.SetFaults({});

    struct Table {
        std::int32_t location;
        int fits;  // file entries
        std::uint32_t units;  // of the table area
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

}  // namespace
}  // namespace carillon
