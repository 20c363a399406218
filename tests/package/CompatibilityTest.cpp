#include <gtest/gtest.h>

#include "package/ElementList.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon {
namespace {

// One element of a package under test.
struct Item {
    std::int32_t location;
    std::int32_t type;
    std::int32_t archi;
    const char* name = "e";
};

CElementList& Fill(CElementList& list, std::int32_t archi, std::initializer_list<Item> elements) {
    list.m_archi = archi;
    for (const Item& s : elements) {
        auto e = std::make_unique<CElement>();
        e->m_location = s.location;
        e->m_type = s.type;
        e->m_archi = s.archi;
        e->m_strName = s.name;
        list.Add(std::move(e));
    }
    return list;
}

ErrorCode Check(std::int32_t archi, std::initializer_list<Item> elements) {
    CElementList list;
    return Fill(list, archi, elements).CheckPackage();
}

constexpr auto P = kArchiPlv, N = kArchiNdx, K = kArchiKiosk;

TEST(CheckPackage, CompleteSetsPassPerFamily) {
    EXPECT_EQ(Check(P, {{kMcuFlash, kTypeFirmware, P}, {kMcuFlash, kTypeParamsFact, P}, {kMcuFlash, kTypeParamsCustom, P}}), kOk);
    EXPECT_EQ(Check(P, {{kMcuFlash, kTypeFirmware, P}, {kMcuFlash, kTypeParamsFact, P}, {kMcuFlash, kTypeParamsCustom, P},
                        {kDspFlash, kTypeFontA, P}}),
              kOk);
    EXPECT_EQ(Check(N, {{kMcuFlash, kTypeFirmware, N}, {kMcuFlash, kTypeParamsFact, N}, {kMcuFlash, kTypeParamsCustom, N},
                        {kDspFlash, kTypeFirmware, N}, {kDspFlash, kTypeFontA, N}, {kDspFlash, kTypeFontB, N},
                        {kDspFlash, kTypeFontB, N}, {kMcuFlash, kTypeData, N}}),
              kOk);
    EXPECT_EQ(Check(K, {{kMcuFlash, kTypeFirmware, K}, {kMcuFlash, kTypeParamsFact, K}, {kMcuFlash, kTypeParamsCustom, K},
                        {kKioskFlash, kTypeFirmware, K}, {kKioskFlash, kTypeParamsFact, K},
                        {kKioskFlash, kTypeParamsCustom, K}}),
              kOk);
}

TEST(CheckPackage, DspFontsComeInTheOrderAThenB) {
    EXPECT_EQ(Check(N, {{kDspFlash, kTypeFontB, N}, {kDspFlash, kTypeFontA, N}}), 0x00060003u);
    EXPECT_EQ(Check(N, {{kDspFlash, kTypeFontA, N}, {kDspFlash, kTypeFontA, N}}), 0x00060004u);
    EXPECT_EQ(Check(N, {{kMcuFlash, kTypeFirmware, N}, {kMcuFlash, kTypeParamsFact, N}, {kMcuFlash, kTypeParamsCustom, N},
                        {kDspFlash, kTypeFirmware, N}, {kDspFlash, kTypeFontA, N}, {kDspFlash, kTypeFontB, N},
                        {kDspFlash, kTypeFontA, N}}),
              kOk);
}

TEST(CheckPackage, TheLastFailingCompletenessCheckIsReported) {
    EXPECT_EQ(Check(N, {{kMcuFlash, kTypeFirmware, N}, {kMcuFlash, kTypeParamsFact, N}, {kMcuFlash, kTypeParamsCustom, N}}),
              0x00060007u);
    EXPECT_EQ(Check(N, {}), 0x00060007u);
    EXPECT_EQ(Check(P, {}), 0x00060008u);
    EXPECT_EQ(Check(P, {{kMcuFlash, kTypeFirmware, P}}), 0x00060013u);
    EXPECT_EQ(Check(P, {{kMcuFlash, kTypeFirmware, P}, {kMcuFlash, kTypeParamsCustom, P}}), 0x00060012u);
    EXPECT_EQ(Check(K, {{kMcuFlash, kTypeFirmware, K}, {kMcuFlash, kTypeParamsFact, K}, {kMcuFlash, kTypeParamsCustom, K},
                        {kKioskFlash, kTypeFirmware, K}, {kKioskFlash, kTypeParamsCustom, K}}),
              0x00060014u);
    EXPECT_EQ(Check(K, {{kMcuFlash, kTypeFirmware, K}, {kMcuFlash, kTypeParamsFact, K}, {kMcuFlash, kTypeParamsCustom, K},
                        {kKioskFlash, kTypeParamsFact, K}, {kKioskFlash, kTypeParamsCustom, K}}),
              0x0006000Du);
    EXPECT_EQ(Check(K, {{kMcuFlash, kTypeFirmware, K}, {kMcuFlash, kTypeParamsFact, K}, {kMcuFlash, kTypeParamsCustom, K},
                        {kKioskFlash, kTypeFirmware, K}, {kKioskFlash, kTypeParamsFact, K}}),
              0x00060015u);
}

TEST(CheckPackage, DuplicatesAndWrongPlaces) {
    EXPECT_EQ(Check(P, {{kMcuFlash, kTypeParamsFact, P}, {kMcuFlash, kTypeParamsFact, P}}), 0x00060010u);
    EXPECT_EQ(Check(K, {{kKioskFlash, kTypeParamsCustom, K}, {kKioskFlash, kTypeParamsCustom, K}}), 0x00060011u);
    EXPECT_EQ(Check(N, {{kDspFlash, kTypeFirmware, N}, {kDspFlash, kTypeFirmware, N}}), 0x00060002u);
    EXPECT_EQ(Check(N, {{kI2cFlash, kTypeData, N}}), 0x0006000Cu);
    EXPECT_EQ(Check(N, {{kNoLocation, kTypeData, N}}), 0x0006000Cu);
}

TEST(CheckPackage, ElementsOfAnotherFamilyFailAndLocationCodesWin) {
    EXPECT_EQ(Check(N, {{kMcuFlash, kTypeFirmware, kArchiUnknown}}), 0x0006000Bu);
    EXPECT_EQ(Check(N, {{kI2cFlash, kTypeFirmware, P}}), 0x0006000Cu);
    // The walk stops at the first failing element.
    EXPECT_EQ(Check(N, {{kMcuFlash, kTypeData, P}, {kI2cFlash, kTypeData, N}}), 0x0006000Bu);
}

TEST(CheckPackage, UnknownPrinterFailsBeforeAnything) {
    CElementList list;
    EXPECT_EQ(list.CheckPackage(), 0x00060001u);
    EXPECT_EQ(list.m_lastError, 0x00060001u);
}

TEST(RemoveUnusable, DropsIndexAndInvalidTypesOnceThePrinterIsKnown) {
    CElementList list;
    Fill(list, kArchiUnknown, {{kMcuFlash, kTypeIndex, N}, {kMcuFlash, kTypeInvalid, N}});
    EXPECT_EQ(list.RemoveUnusable(), 0x0006000Fu);
    EXPECT_EQ(list.GetCount(), 2);
    Fill(list, N, {{kMcuFlash, 21, N}, {kMcuFlash, kTypeUnknownFile, N}, {kMcuFlash, kTypeData, N}});
    EXPECT_EQ(list.RemoveUnusable(), kOk);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Elements().front()->m_type, kTypeUnknownFile);
}

TEST(CountIncompatible, ShowsOneBoxPerElementOfAnotherFamily) {
    testing::RecordingMessageBoxProvider boxes;
    CElementList list;
    Fill(list, N, {{kMcuFlash, kTypeFirmware, N, "ok"}, {kMcuFlash, kTypeFirmware, P, "plv_fw"},
                   {kDspFlash, kTypeFontA, kArchiUnknown, "no_archi"}});
    EXPECT_EQ(list.CountIncompatible(false, true), 2);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Incompatible element:\nplv_fw", "Incompatible element:\nno_archi"}));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.CountIncompatible(true, false), 2);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(boxes.Texts().size(), 2u);
}

TEST(CountIncompatible, CountsNothingBeforeThePrinterIsKnown) {
    CElementList list;
    Fill(list, kArchiUnknown, {{kMcuFlash, kTypeFirmware, P}});
    EXPECT_EQ(list.CountIncompatible(true, true), 0);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(AddParameterElements, EveryPrinterGetsItsMcuAreasAndKiosksTheirBoardAreas) {
    CElementList ndx;
    Fill(ndx, N, {{kMcuFlash, kTypeFirmware, N}});
    EXPECT_EQ(ndx.AddParameterElements(), kOk);
    ASSERT_EQ(ndx.GetCount(), 3);
    const CElement& fact = **std::next(ndx.Elements().begin());
    EXPECT_EQ(fact.m_strName, "Params_Fact_mcu");
    EXPECT_EQ(fact.m_type, kTypeParamsFact);
    EXPECT_EQ(fact.m_location, kMcuFlash);
    EXPECT_EQ(fact.m_size, 512u);
    EXPECT_EQ(fact.m_pData, nullptr);
    EXPECT_EQ(fact.m_archi, N);
    EXPECT_EQ(fact.m_address, -1);
    EXPECT_EQ(ndx.Elements().back()->m_strName, "Params_Custom_mcu");

    CElementList kiosk;
    Fill(kiosk, K, {{kMcuFlash, kTypeFirmware, K}, {kKioskFlash, kTypeParamsCustom, K}});
    kiosk.AddParameterElements();
    std::vector<std::string> names;
    for (const auto& e : kiosk.Elements()) names.push_back(e->m_strName);
    EXPECT_EQ(names, (std::vector<std::string>{"e", "e", "Params_Fact_mcu", "Params_Custom_mcu", "Params_Fact_kiosk"}));
}

TEST(AddParameterElements, ExistingAreasAreKeptAndUnknownPrintersStillGetMcuAreas) {
    CElementList plv;
    Fill(plv, P, {{kMcuFlash, kTypeParamsFact, P}, {kMcuFlash, kTypeParamsCustom, P}});
    EXPECT_EQ(plv.AddParameterElements(), kOk);
    EXPECT_EQ(plv.GetCount(), 2);

    CElementList unknown;
    Fill(unknown, kArchiUnknown, {{kMcuFlash, kTypeParamsFact, P}, {kMcuFlash, kTypeParamsCustom, P}});
    EXPECT_EQ(unknown.AddParameterElements(), 0x00060001u);
    EXPECT_EQ(unknown.GetCount(), 4);
}

}  // namespace
}  // namespace carillon
