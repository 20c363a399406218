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

constexpr auto P = kArchiPlv, N = kArchiNdx, K = kArchiKiosk;
constexpr std::int32_t kSame = -9;  // the list's own family

CElementList& Fill(CElementList& list, std::int32_t archi, const std::vector<Item>& elements) {
    list.m_archi = archi;
    for (const Item& s : elements) {
        auto e = std::make_unique<CElement>();
        e->m_location = s.location;
        e->m_type = s.type;
        e->m_archi = s.archi == kSame ? archi : s.archi;
        e->m_strName = s.name;
        list.Add(std::move(e));
    }
    return list;
}

// Elements by place and type, of the list's family unless given.
constexpr Item Fw{kMcuFlash, kTypeFirmware, kSame}, Fact{kMcuFlash, kTypeParamsFact, kSame},
    Custom{kMcuFlash, kTypeParamsCustom, kSame}, DspFw{kDspFlash, kTypeFirmware, kSame}, FontA{kDspFlash, kTypeFontA, kSame},
    FontB{kDspFlash, kTypeFontB, kSame}, KFw{kKioskFlash, kTypeFirmware, kSame},
    KFact{kKioskFlash, kTypeParamsFact, kSame}, KCustom{kKioskFlash, kTypeParamsCustom, kSame},
    Data{kMcuFlash, kTypeData, kSame};

struct Rule {
    const char* what;
    std::int32_t archi;
    std::vector<Item> items;
    ErrorCode result;
};

const Rule kRules[] = {
    {"no printer known yet", kArchiUnknown, {Fw, Fact, Custom}, 0x00060001},
    {"PLV: the MCU set", P, {Fw, Fact, Custom}, kOk},
    {"PLV: fonts are allowed", P, {Fw, Fact, Custom, FontA}, kOk},
    {"NDX: the full set, fonts A then B", N, {Fw, Fact, Custom, DspFw, FontA, FontB, FontB, Data}, kOk},
    {"NDX: A after B again", N, {Fw, Fact, Custom, DspFw, FontA, FontB, FontA}, kOk},
    {"KIOSK: both boards", K, {Fw, Fact, Custom, KFw, KFact, KCustom}, kOk},
    {"B before A", N, {FontB, FontA}, 0x00060003},
    {"A twice", N, {FontA, FontA}, 0x00060004},
    // Completeness: the last failing check is reported.
    {"NDX without DSP firmware and fonts", N, {Fw, Fact, Custom}, 0x00060007},
    {"empty NDX", N, {}, 0x00060007},
    {"empty PLV", P, {}, 0x00060008},
    {"PLV firmware alone", P, {Fw}, 0x00060013},
    {"PLV without factory parameters", P, {Fw, Custom}, 0x00060012},
    {"KIOSK without its factory parameters", K, {Fw, Fact, Custom, KFw, KCustom}, 0x00060014},
    {"KIOSK without its firmware", K, {Fw, Fact, Custom, KFact, KCustom}, 0x0006000D},
    {"KIOSK without its customer parameters", K, {Fw, Fact, Custom, KFw, KFact}, 0x00060015},
    {"factory parameters twice", P, {Fact, Fact}, 0x00060010},
    {"kiosk customer parameters twice", K, {KCustom, KCustom}, 0x00060011},
    {"DSP firmware twice", N, {DspFw, DspFw}, 0x00060002},
    {"an I2C element", N, {{kI2cFlash, kTypeData, kSame}}, 0x0006000C},
    {"an element without location", N, {{kNoLocation, kTypeData, kSame}}, 0x0006000C},
    {"an element of no family", N, {{kMcuFlash, kTypeFirmware, kArchiUnknown}}, 0x0006000B},
    {"the location code wins over the family's", N, {{kI2cFlash, kTypeFirmware, P}}, 0x0006000C},
    {"the walk stops at the first failing element", N, {{kMcuFlash, kTypeData, P}, {kI2cFlash, kTypeData, kSame}},
     0x0006000B},
};

TEST(CheckPackage, RulesPerFamily) {
    for (const Rule& r : kRules) {
        SCOPED_TRACE(r.what);
        CElementList list;
        EXPECT_EQ(Fill(list, r.archi, r.items).CheckPackage(), r.result);
        EXPECT_EQ(list.m_lastError, r.result);
    }
}

// Index and invalid types go once the printer is known. Then one box per
// element of another family, or of none; nothing counts before the printer is known.
TEST(ElementListPruning, UnusableTypesAndElementsOfAnotherFamilyGoOnceThePrinterIsKnown) {
    testing::RecordingMessageBoxProvider boxes;
    CElementList list;
    Fill(list, kArchiUnknown, {{kMcuFlash, kTypeIndex, N}, {kMcuFlash, kTypeInvalid, N}});
    EXPECT_EQ(list.RemoveUnusable(), 0x0006000Fu);
    EXPECT_EQ(list.GetCount(), 2);
    Fill(list, N, {{kMcuFlash, 21, N}, {kMcuFlash, kTypeUnknownFile, N}, {kMcuFlash, kTypeData, N}});
    EXPECT_EQ(list.RemoveUnusable(), kOk);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Elements().front()->m_type, kTypeUnknownFile);

    list.RemoveAll();
    Fill(list, N, {{kMcuFlash, kTypeFirmware, N, "ok"}, {kMcuFlash, kTypeFirmware, P, "plv_fw"},
                   {kDspFlash, kTypeFontA, kArchiUnknown, "no_archi"}});
    EXPECT_EQ(list.CountIncompatible(false, true), 2);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Incompatible element:\nplv_fw", "Incompatible element:\nno_archi"}));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.CountIncompatible(true, false), 2);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(boxes.Texts().size(), 2u);
    Fill(list, kArchiUnknown, {{kMcuFlash, kTypeFirmware, P}});
    EXPECT_EQ(list.CountIncompatible(true, true), 0);
    EXPECT_EQ(list.GetCount(), 2);
}

// Every printer gets the MCU parameter areas it lacks, a kiosk also those of
// its board; with no printer known both MCU areas are added all the same.
TEST(AddParameterElements, EachPrinterGetsTheParameterAreasItsPackageLacks) {
    struct Case {
        std::int32_t archi;
        std::vector<Item> items;
        ErrorCode result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {N, {Fw}, kOk, {"e", "Params_Fact_mcu", "Params_Custom_mcu"}},
        {K, {Fw, KCustom}, kOk, {"e", "e", "Params_Fact_mcu", "Params_Custom_mcu", "Params_Fact_kiosk"}},
        {K, {KFact}, kOk, {"e", "Params_Fact_mcu", "Params_Custom_mcu", "Params_Custom_kiosk"}},
        {P, {Fact, Custom}, kOk, {"e", "e"}},
        {kArchiUnknown, {Fact, Custom}, 0x00060001, {"e", "e", "Params_Fact_mcu", "Params_Custom_mcu"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.size());
        CElementList list;
        EXPECT_EQ(Fill(list, c.archi, c.items).AddParameterElements(), c.result);
        std::vector<std::string> names;
        for (const auto& e : list.Elements()) names.push_back(e->m_strName);
        EXPECT_EQ(names, c.names);
    }
    CElementList ndx;
    Fill(ndx, N, {}).AddParameterElements();
    const CElement& fact = *ndx.Elements().front();
    EXPECT_EQ(std::tie(fact.m_type, fact.m_location, fact.m_size, fact.m_archi, fact.m_address),
              std::make_tuple(kTypeParamsFact, kMcuFlash, 512u, N, -1));
    EXPECT_EQ(fact.m_pData, nullptr);
}

}  // namespace
}  // namespace carillon
