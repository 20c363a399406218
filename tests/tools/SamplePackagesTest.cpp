#include <gtest/gtest.h>

#include <cstring>

#include "package/ElementList.h"

namespace carillon {
namespace {

// Whether the samples fit their printer's flash shows in the full updates the
// command-line and soak suites run with them; here, what those cannot see.
struct Sample {
    const char* stem;
    std::int32_t archi;
};

std::string PathOf(const std::string& stem) { return std::string(CARILLON_SAMPLES_DIR) + "/" + stem + ".VRK_Package"; }

class SamplePackages : public ::testing::TestWithParam<Sample> {};

TEST_P(SamplePackages, BothSetsPassTheirFamilysCheckAndTheOlderHasLowerVersionsAndOtherData) {
    CElementList current, older;
    for (auto [list, stem] : {std::pair{&current, std::string(GetParam().stem)}, {&older, GetParam().stem + std::string("_old")}}) {
        SCOPED_TRACE(stem);
        ASSERT_EQ(list->LoadPackage(PathOf(stem)), kOk);
        list->m_archi = GetParam().archi;
        EXPECT_EQ(list->CheckPackage(), kOk);
        EXPECT_EQ(list->CountIncompatible(false, false), 0);
    }
    ASSERT_EQ(current.GetCount(), older.GetCount());
    auto o = older.Elements().begin();
    for (const auto& c : current.Elements()) {
        const CElement& e = **o++;
        SCOPED_TRACE(c->m_strName);
        EXPECT_EQ(c->m_archi, GetParam().archi);
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

}  // namespace
}  // namespace carillon
