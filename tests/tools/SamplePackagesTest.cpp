#include <gtest/gtest.h>

#include <cstring>

#include "package/ElementList.h"

namespace carillon {
namespace {

// Firmware of the MCU and kiosk flash starts here and must end below the
// sectors that some monitor versions reserve.
constexpr std::uint32_t kFirmwareStart = 0x182C;
constexpr std::uint32_t kReservedFrom = 0xD600;
constexpr std::uint32_t kMcuSector = 0x200;

struct Sample {
    const char* stem;
    std::int32_t archi;
};

std::string PathOf(const std::string& stem) { return std::string(CARILLON_SAMPLES_DIR) + "/" + stem + ".VRK_Package"; }

class SamplePackages : public ::testing::TestWithParam<Sample> {};

TEST_P(SamplePackages, LoadAndPassTheirFamilysCheck) {
    CElementList list;
    ASSERT_EQ(list.LoadPackage(PathOf(GetParam().stem)), kOk);
    list.m_archi = GetParam().archi;
    EXPECT_EQ(list.CheckPackage(), kOk);
    EXPECT_EQ(list.CountIncompatible(false, false), 0);
}

TEST_P(SamplePackages, FitTheFlashOfTheirPrinter) {
    CElementList list;
    ASSERT_EQ(list.LoadPackage(PathOf(GetParam().stem)), kOk);
    std::uint32_t firmwareEnd[kLocationCount] = {};
    std::uint32_t freePlaced[kLocationCount] = {};
    for (const auto& e : list.Elements()) {
        SCOPED_TRACE(e->m_strName);
        EXPECT_EQ(e->m_archi, GetParam().archi);
        EXPECT_GT(e->m_version, 0);
        if (e->m_location == kDspFlash) {
            EXPECT_LE(e->m_strName.size(), 49u);
            EXPECT_EQ(e->m_size % 2, 0u);
            continue;
        }
        ASSERT_TRUE(e->m_location == kMcuFlash || e->m_location == kKioskFlash);
        EXPECT_LE(e->m_strName.size(), 22u);
        const auto loc = static_cast<std::size_t>(e->m_location);
        if (e->m_type == kTypeParamsFact || e->m_type == kTypeParamsCustom) {
            EXPECT_EQ(e->m_size, 512u);  // exactly the parameter area
        } else if (e->m_type == kTypeFirmware) {
            firmwareEnd[loc] = kFirmwareStart + e->m_size;
        } else {
            freePlaced[loc] += (e->m_size + kMcuSector - 1) / kMcuSector * kMcuSector;
        }
    }
    for (std::int32_t loc : {kMcuFlash, kKioskFlash}) {
        const auto l = static_cast<std::size_t>(loc);
        // Elements without a fixed address go in whole sectors above the firmware.
        const std::uint32_t firmwareSectorEnd = (firmwareEnd[l] + kMcuSector - 1) / kMcuSector * kMcuSector;
        EXPECT_LE(firmwareSectorEnd + freePlaced[l], kReservedFrom) << LocationName(loc);
    }
}

TEST_P(SamplePackages, OlderSetHasTheSameElementsWithLowerVersionsAndOtherData) {
    CElementList current, older;
    ASSERT_EQ(current.LoadPackage(PathOf(GetParam().stem)), kOk);
    ASSERT_EQ(older.LoadPackage(PathOf(std::string(GetParam().stem) + "_old")), kOk);
    ASSERT_EQ(current.GetCount(), older.GetCount());
    auto o = older.Elements().begin();
    for (const auto& c : current.Elements()) {
        const CElement& e = **o++;
        SCOPED_TRACE(c->m_strName);
        EXPECT_EQ(e.m_strName, c->m_strName);
        EXPECT_EQ(e.m_type, c->m_type);
        EXPECT_EQ(e.m_location, c->m_location);
        EXPECT_LT(e.m_version, c->m_version);
        const bool sameData = e.m_size == c->m_size && std::memcmp(e.m_pData.get(), c->m_pData.get(), e.m_size) == 0;
        EXPECT_FALSE(sameData);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, SamplePackages,
                         ::testing::Values(Sample{"NDX", kArchiNdx}, Sample{"PLV", kArchiPlv},
                                           Sample{"KIOSK", kArchiKiosk}),
                         [](const ::testing::TestParamInfo<Sample>& info) { return std::string(info.param.stem); });

TEST(SamplePackages, OlderSetsPassTheirFamilysCheckToo) {
    for (const Sample s : {Sample{"NDX_old", kArchiNdx}, Sample{"PLV_old", kArchiPlv}, Sample{"KIOSK_old", kArchiKiosk}}) {
        CElementList list;
        ASSERT_EQ(list.LoadPackage(PathOf(s.stem)), kOk) << s.stem;
        list.m_archi = s.archi;
        EXPECT_EQ(list.CheckPackage(), kOk) << s.stem;
    }
}

}  // namespace
}  // namespace carillon
