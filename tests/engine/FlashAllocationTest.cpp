#include "engine/EngineFixture.h"

namespace carillon {
namespace {

constexpr std::int32_t kNew = -2;  // not stored in the printer yet

// storedAt: kNew, or the address the printer's table gives (-1: none);
// expected: the address after placement, when it succeeds.
struct Item {
    std::int32_t type;
    std::uint32_t size;
    std::int32_t storedAt, expected;
};

struct Placement {
    const char* what;
    std::uint8_t monitorVersion;
    std::vector<Item> items;
    ErrorCode result;
    std::int32_t location = kMcuFlash;
};

const Placement kPlacements[] = {
    {"fixed addresses on the board map", 3,
     {{kTypeParamsCustom, 512, kNew, 0x1400}, {kTypeParamsFact, 512, kNew, 0x1600}, {kTypeFirmware, 0x4000, kNew, 0x182C}},
     kOk},
    {"free elements go under the top on sector starts", 3, {{kTypeData, 0x300, kNew, 0xD800}}, kOk},
    {"monitor version 2 keeps three more sectors", 2, {{kTypeData, 0x300, kNew, 0xD200}}, kOk},
    // Only 0x400 bytes are free above the taken sector; below it the run ends at 0xD800.
    {"an element too big above a taken sector moves below it", 3,
     {{kTypeData, 0x200, 0xD800, 0xD800}, {kTypeData, 0x500, kNew, 0xD200}}, kOk},
    // The four boot sectors at the top hold exactly 0x8000 words; one word more needs two main sectors.
    {"DSP sizes count words", 3, {{kTypeFontA, 0x10000, kNew, 0xF8000}, {kTypeFontB, 0x10002, kNew, 0xE8000}}, kOk,
     kDspFlash},
    {"empty elements get 0, placeholders no address", 3, {{kTypeData, 0, kNew, 0}, {kTypeIndex, 0x100, kNew, -1}}, kOk},
    {"two firmwares for one fixed address", 3, {{kTypeFirmware, 0x100, kNew, 0}, {kTypeFirmware, 0x100, kNew, 0}},
     0x00030027},
    {"larger than the flash", 3, {{kTypeData, 0x10001, kNew, 0}}, 0x0003000B},
    {"a fixed address running into the reserved top", 3, {{kTypeFirmware, 0xE000, kNew, 0}}, 0x00030027},
    {"a stored element without address", 3, {{kTypeData, 0x10, -1, 0}}, 0x0003000A},
    {"a stored element running past the end", 3, {{kTypeData, 0x200, 0xFF00, 0}}, 0x0003000B},
};

class FlashAllocationTest : public testing::EngineTest {};

TEST_F(FlashAllocationTest, PlacesOnTheBoardMapOrRefuses) {
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.what);
        auto config = Config(sim::Family::kNdx);
        config.monitorVersion = p.monitorVersion;
        Start(config);
        ASSERT_EQ(engine.ReadGeometry(p.location), kOk);
        engine.m_elements.RemoveAll();
        std::vector<CElement*> added;
        for (const Item& item : p.items) {
            const std::string name = "e" + std::to_string(added.size());
            added.push_back(item.storedAt == kNew ? &Add(name, item.type, p.location, item.size)
                                                  : &AddStored(name, item.type, p.location, item.size, item.storedAt));
        }
        ASSERT_EQ(engine.AttributeAddresses(p.location), p.result);
        if (p.result != kOk) continue;
        for (std::size_t i = 0; i < added.size(); ++i) EXPECT_EQ(added[i]->m_address, p.items[i].expected) << i;
    }
}

// Nothing is placed, programmed, written or counted in sectors without a
// fresh geometry of a present location that holds a table, nor past the end
// of the map, and nothing is erased for a table that cannot be written.
// Reading the tables goes on past a location without one.
TEST_F(FlashAllocationTest, RefusalsComeBeforeAnythingIsErased) {
    auto config = Config(sim::Family::kPlv, sim::ImageKind::kOldFirmware);
    config.locations = 0x07;  // with an I2C flash, which holds no table
    Start(config);
    std::uint32_t address = 0;
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x00030018u);
    EXPECT_EQ(engine.ProgramData(kMcuFlash), 0x00030018u);
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030018u);
    engine.m_geometryValid[kKioskFlash] = 1;
    EXPECT_EQ(engine.AttributeAddresses(kKioskFlash), 0x00030019u);
    EXPECT_EQ(engine.DoReadFileTables(), 0x00030017u);
    EXPECT_EQ(engine.m_elements.m_tableRead, (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(engine.StatusText(), "Update file entry of MCU_FLASH");
    EXPECT_EQ(engine.WriteLocationTable(kI2cFlash), 0x00030017u);
    EXPECT_EQ(engine.SectorToAddress(kMcuFlash, 105, &address), kOk);
    EXPECT_EQ(engine.SectorToAddress(kMcuFlash, 106, &address), 0x00030021u);
    Add("unplaced", kTypeData, kMcuFlash, 0x10);
    const auto erases = printer->printer.GetCounters().erases;
    EXPECT_EQ(engine.ProgramData(kMcuFlash), 0x00030022u);
    EXPECT_EQ(engine.WriteLocationTable(kMcuFlash), 0x00030015u);
    EXPECT_EQ(printer->printer.GetCounters().erases, erases);
}

}  // namespace
}  // namespace carillon
