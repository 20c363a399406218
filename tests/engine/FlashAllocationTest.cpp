#include "engine/EngineFixture.h"

namespace carillon {
namespace {

class FlashAllocationTest : public testing::EngineTest {
protected:
    void StartBoard(std::uint8_t monitorVersion = 0x02) {
        auto config = Config(sim::Family::kNdx);
        config.monitorVersion = monitorVersion;
        Start(config);
        ASSERT_EQ(engine.ReadGeometry(kMcuFlash), kOk);
    }
};

TEST_F(FlashAllocationTest, FixedAddressesOnTheBoardMap) {
    StartBoard(0x03);
    ASSERT_EQ(engine.m_elements.AddParameterElements(), kOk);
    Add("fw", kTypeFirmware, kMcuFlash, 0x4000);
    ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
    EXPECT_EQ(Find("Params_Custom_mcu")->m_address, 0x1400);
    EXPECT_EQ(Find("Params_Fact_mcu")->m_address, 0x1600);
    EXPECT_EQ(Find("fw")->m_address, 0x182C);
}

TEST_F(FlashAllocationTest, FreeElementsGoUnderTheTopOnSectorStarts) {
    StartBoard(0x03);
    engine.m_elements.AddParameterElements();
    Add("data", kTypeData, kMcuFlash, 0x300);
    ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
    EXPECT_EQ(Find("data")->m_address, 0xD800);
}

TEST_F(FlashAllocationTest, MonitorVersionTwoKeepsThreeMoreSectors) {
    StartBoard(0x02);
    engine.m_elements.AddParameterElements();
    Add("data", kTypeData, kMcuFlash, 0x300);
    ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
    EXPECT_EQ(Find("data")->m_address, 0xD200);
}

TEST_F(FlashAllocationTest, AnElementThatDoesNotFitAboveATakenSectorMovesBelowIt) {
    StartBoard(0x03);
    AddStored("kept", kTypeData, kMcuFlash, 0x200, 0xD800);  // its sector is taken
    Add("big", kTypeData, kMcuFlash, 0x500);
    ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
    // Only 0x400 bytes are free above 0xD800; below it the run ends at 0xD800.
    EXPECT_EQ(Find("big")->m_address, 0xD200);
}

TEST_F(FlashAllocationTest, EmptyElementsAndPlaceholders) {
    StartBoard(0x03);
    Add("empty", kTypeData, kMcuFlash, 0, false);
    CElement& placeholder = Add("index", kTypeIndex, kMcuFlash, 0x100);
    ASSERT_EQ(engine.AttributeAddresses(kMcuFlash), kOk);
    EXPECT_EQ(Find("empty")->m_address, 0);
    EXPECT_EQ(placeholder.m_address, -1);
}

TEST_F(FlashAllocationTest, ConflictsAndShortages) {
    StartBoard(0x03);
    Add("fw1", kTypeFirmware, kMcuFlash, 0x100);
    Add("fw2", kTypeFirmware, kMcuFlash, 0x100);
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x00030027u);

    engine.m_elements.RemoveAll();
    Add("huge", kTypeData, kMcuFlash, 0x10001);
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x0003000Bu);

    engine.m_elements.RemoveAll();
    Add("over", kTypeFirmware, kMcuFlash, 0xE000);  // from 0x182C it would run into the reserved top
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x00030027u);
}

TEST_F(FlashAllocationTest, StoredElementsMustHoldAnAddressInsideTheFlash) {
    StartBoard(0x03);
    CElement& lost = AddStored("lost", kTypeData, kMcuFlash, 0x10, -1);
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x0003000Au);
    lost.m_address = 0xFF00;
    lost.m_size = 0x200;  // would run past the end of the map
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x0003000Bu);
}

TEST_F(FlashAllocationTest, NeedsAFreshGeometryOfAPresentLocation) {
    Start(Config(sim::Family::kNdx));
    EXPECT_EQ(engine.AttributeAddresses(kMcuFlash), 0x00030018u);
    engine.m_geometryValid[kKioskFlash] = 1;
    EXPECT_EQ(engine.AttributeAddresses(kKioskFlash), 0x00030019u);
}

TEST_F(FlashAllocationTest, DspPlacementCountsWordsAndSparesTheTableSector) {
    Start(Config(sim::Family::kNdx));
    ASSERT_EQ(engine.ReadGeometry(kDspFlash), kOk);
    Add("fontA", kTypeFontA, kDspFlash, 0x10000);  // 0x8000 words: one main sector
    Add("fontB", kTypeFontB, kDspFlash, 0x10002);  // one word more: two sectors
    ASSERT_EQ(engine.AttributeAddresses(kDspFlash), kOk);
    // The four boot sectors at the top hold exactly 0x8000 words.
    EXPECT_EQ(Find("fontA")->m_address, 0xF8000);
    EXPECT_EQ(Find("fontB")->m_address, 0xE8000);
}

// Where the map's sectors are is the geometry's own test; here, the engine's
// limits and its refusals without a fresh geometry of a present location.
TEST_F(FlashAllocationTest, SectorArithmeticStopsPastTheEndAndNeedsAGeometry) {
    StartBoard(0x03);
    std::uint8_t sector = 0;
    std::uint32_t address = 0;
    EXPECT_EQ(engine.AddressToSector(kMcuFlash, 0x10000, &sector), kOk);
    EXPECT_EQ(sector, 105);
    EXPECT_EQ(engine.SectorToAddress(kMcuFlash, 105, &address), kOk);
    EXPECT_EQ(address, 0x10000u);
    EXPECT_EQ(engine.SectorToAddress(kMcuFlash, 106, &address), 0x00030021u);
    EXPECT_EQ(engine.AddressToSector(kDspFlash, 0, &sector), 0x00030018u);
    EXPECT_EQ(engine.AddressToSector(kKioskFlash, 0, &sector), 0x00030019u);
    EXPECT_EQ(engine.m_lastError, 0x00030019u);
}

}  // namespace
}  // namespace carillon
