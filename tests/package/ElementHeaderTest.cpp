#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "package/Element.h"

namespace carillon {
namespace {

struct Parsed {
    ErrorCode status;
    std::unique_ptr<CElement> element;
};

Parsed Parse(const std::string& header) {
    auto e = std::make_unique<CElement>();
    ErrorCode r = e->ParseHeader(header.c_str());
    return {r, std::move(e)};
}

TEST(ElementHeader, CryptModeComesFromTheFieldOrTheTypeAndTheFlagFromTheTypeAlone) {
    struct Case {
        const char* header;
        std::int32_t mode, flag;
    };
    for (const Case& c : {Case{"ELEMENT_TYPE=FIRMWARE;SIZE=16;;", kCodeCrypted, 1},
                          Case{"ELEMENT_TYPE=FIRMWARE;SIZE=16;CRYPTED=NOT_CRYPTED;;", kNotCrypted, 1},
                          Case{"ELEMENT_TYPE=FIRMWARE;SIZE=16;CRYPTED=YES;;", kCodeCrypted, 1},
                          Case{"ELEMENT_TYPE=FONT_B;SIZE=1;CRYPTED=YES;;", kFontCrypted, 1},
                          Case{"ELEMENT_TYPE=DATA;SIZE=1;CRYPTED=SOMETIMES;;", kNotCrypted, 0}}) {
        SCOPED_TRACE(c.header);
        const auto p = Parse(c.header);
        EXPECT_EQ(p.status, kOk);
        EXPECT_EQ(p.element->m_cryptMode, c.mode);
        EXPECT_EQ(p.element->m_cryptFlag, c.flag);
    }
}

TEST(ElementHeader, RefusesMissingMandatoryFieldsAndMalformedNumbers) {
    for (auto [header, status] : {std::pair{"SIZE=1;;", 0x00040004u},
                                  {"ELEMENT_TYPE=DATA;;", 0x00040004u},
                                  {"element_type=FIRMWARE;SIZE=1;;", 0x00040004u},  // keys are case-sensitive
                                  {"ELEMENT_TYPE=DATA;SIZE=abc;;", 0x00040003u},
                                  {"ELEMENT_TYPE=DATA;SIZE=1;VERSION=v2;;", 0x00040003u},
                                  {"ELEMENT_TYPE=DATA;SIZE=1;PACKETSIZE=-;;", 0x00040003u},
                                  {"ELEMENT_TYPE=DATA;SIZE=1;CRC=ABCD;;", 0x00040003u},  // the prefix is literal
                                  {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0XABCD;;", 0x00040003u},
                                  {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0x;;", 0x00040003u}})
        EXPECT_EQ(Parse(header).status, status) << header;
}

TEST(ElementHeader, CrcReadsAtMostFourHexDigitsAfterItsPrefix) {
    for (auto [digits, crc] : {std::pair{"0xABCD", 0xABCDu}, {"0xabcd", 0xABCDu}, {"0x12345", 0x1234u}, {"0x1G", 0x1u}}) {
        const auto p = Parse(std::string("ELEMENT_TYPE=DATA;SIZE=1;CRC=") + digits + ";;");
        EXPECT_EQ(p.status, kOk) << digits;
        EXPECT_EQ(p.element->m_crc, crc) << digits;
    }
}

TEST(ElementHeader, NumbersAreReadAsTheCLibraryReadsThemAndEmptyOnesLeaveTheirFieldsAlone) {
    auto p = Parse("ELEMENT_TYPE=DATA;SIZE=+7;VERSION=-3;PACKETSIZE=70000;;");
    EXPECT_EQ(p.status, kOk);
    EXPECT_EQ(p.element->m_size, 7u);
    EXPECT_EQ(p.element->m_version, -3);
    EXPECT_EQ(p.element->m_packetSize, 70000u & 0xFFFFu);
    p = Parse("ELEMENT_TYPE=DATA;SIZE=12abc;VERSION=;CRC=;PACKETSIZE=;;");
    EXPECT_EQ(p.status, kOk);
    EXPECT_EQ(p.element->m_size, 12u);
    EXPECT_EQ(p.element->m_version, 0);
    EXPECT_EQ(p.element->m_crc, 0xFFFFu);
    EXPECT_EQ(p.element->m_packetSize, 0u);
}

TEST(ElementHeader, BlanksGoFieldsCountUpToTheFirstDoubleSemicolonAndTheFirstBadFieldStops) {
    struct Case {
        const char* header;
        ErrorCode status;
        const char* name;
        std::int32_t type;
        std::uint32_t size;
        std::int32_t flag;  // the type's default, applied even after an error
    };
    for (const Case& c : {Case{" \r\n NAME = Main firmware ;\tELEMENT_TYPE =\nFONT_A; SIZE = 1 2 ;;", kOk, "Mainfirmware",
                               kTypeFontA, 12, 1},
                          Case{"NBR_VRK_PACKAGE=0x0001;ELEMENT_TYPE=DATA;SIZE=1;;NAME=data;", kOk, "", kTypeData, 1, 0},
                          Case{"ELEMENT_TYPE=FONT;VERSION=x;NAME=late;SIZE=1;;", 0x00040003, "", kTypeFont, 0, 1}}) {
        SCOPED_TRACE(c.header);
        const auto p = Parse(c.header);
        EXPECT_EQ(p.status, c.status);
        EXPECT_EQ(p.element->m_strName, c.name);
        EXPECT_EQ(p.element->m_type, c.type);
        EXPECT_EQ(p.element->m_size, c.size);
        EXPECT_EQ(p.element->m_cryptFlag, c.flag);
    }
}

TEST(ElementHeader, KeywordValuesAreCaseSensitiveAndUnknownOnesMapToUnknown) {
    EXPECT_EQ(Parse("ELEMENT_TYPE=firmware;SIZE=1;;").element->m_type, kTypeUnknownFile);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_TYPE=KIOSK;;").element->m_archi, kArchiKiosk);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_ARCHI=ARCHI_KIOSK;;").element->m_archi, kArchiKiosk);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_ARCHI=ARCHI_KOISK;;").element->m_archi, kArchiUnknown);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;LOCATION=EXT_FLASH;;").element->m_location, kDspFlash);
    EXPECT_EQ(TypeFromKeyword(std::string_view()), kTypeUnknownFile);
}

TEST(ElementHeader, MissingTextAndMissingEnd) {
    CElement e;
    EXPECT_EQ(e.ParseHeader(static_cast<const char*>(nullptr)), 0x01000002u);
    EXPECT_EQ(e.m_status, 0x01000002u);
    // A header without ";;" is refused without reading beyond the given bytes.
    std::vector<char> unterminated = {'S', 'I', 'Z', 'E', '=', '1', ';'};
    EXPECT_EQ(e.ParseHeader(std::string_view(unterminated.data(), unterminated.size())), 0x00040001u);
    // A NUL ends the text as it ends a C string.
    EXPECT_EQ(e.ParseHeader(std::string_view("SIZE=1;\0;;", 10)), 0x00040001u);
}

// Every row of the element type table, read through each function keyed by it.
TEST(ElementKeywords, EveryTypeRow) {
    struct Row {
        const char* keyword;
        std::uint16_t dsp;
        std::uint8_t mcu;
        std::int32_t mode, flag;
    };
    const Row rows[kElementTypeCount] = {
        {"INDEX", 0x1000, 0x10, kNotCrypted, 0},       {"FILE_EMPTY", 0x2000, 0x20, kNotCrypted, 0},
        {"DATA", 0x3000, 0x30, kNotCrypted, 0},        {"VRK_PROD_DATA", 0x3001, 0x31, kNotCrypted, 0},
        {"FIRMWARE", 0x8000, 0x80, kCodeCrypted, 1},   {"FONT", 0x8001, 0x81, kFontCrypted, 1},
        {"FONT_A", 0x8002, 0x82, kFontCrypted, 1},     {"FONT_B", 0x8003, 0x83, kFontCrypted, 1},
        {"FONT_EXT", 0x9001, 0x91, kNotCrypted, 0},    {"FONT_DL", 0x9002, 0x92, kNotCrypted, 0},
        {"NV_IMAGE", 0x8004, 0x84, kNotCrypted, 0},    {"NV_DATA", 0x8005, 0x85, kNotCrypted, 0},
        {"TICKET", 0x8006, 0x86, kNotCrypted, 0},      {"PDF417", 0x8007, 0x87, kNotCrypted, 0},
        {"PARAMS_FACT", 0x9003, 0x93, kNotCrypted, 0}, {"PARAMS_CUSTOM", 0x9004, 0x94, kNotCrypted, 0},
        {"TEST_DATA", 0x9005, 0x95, kNotCrypted, 0},   {"MONITOR", 0xFFFC, 0xFC, kNotCrypted, 0},
        {"TEMPLATE", 0xFFFD, 0xFD, kNotCrypted, 0},    {"PKG_HEADER", 0xFFFE, 0xFE, kNotCrypted, 0},
        {"UNKNOWN_FILE", 0xFFFF, 0xFF, kNotCrypted, 0},
    };
    for (std::int32_t type = 0; type < kElementTypeCount; ++type) {
        const Row& r = rows[type];
        SCOPED_TRACE(r.keyword);
        EXPECT_EQ(TypeFromKeyword(r.keyword), type);
        EXPECT_STREQ(TypeKeyword(type), r.keyword);
        EXPECT_EQ(DspTypeCode(type), r.dsp);
        EXPECT_EQ(McuTypeCode(type), r.mcu);
        EXPECT_EQ(DefaultCryptMode(type), r.mode);
        EXPECT_EQ(DefaultCryptFlag(type), r.flag);
    }
    EXPECT_EQ(TypeKeyword(kElementTypeCount), nullptr);
}

// The kiosk board's fixed area, types placed freely, and names of locations out of range.
TEST(ElementKeywords, KioskParametersAreFixedAndLocationNamesAreBounded) {
    EXPECT_EQ(FixedAddress(kTypeParamsFact, kKioskFlash), 0x1600);
    EXPECT_EQ(FixedAddress(kTypeFirmware, kDspFlash), -1);
    EXPECT_EQ(FixedAddress(kTypeFontA, kMcuFlash), -1);
    EXPECT_STREQ(LocationName(-1), "NO_LOCATION");
    EXPECT_STREQ(LocationName(3), "KIOSK_FLASH");
    EXPECT_STREQ(LocationName(4), "Error");
    EXPECT_STREQ(LocationName(-2), "Error");
}

// Text placed so that it ends at a page boundary, followed by a page that
// faults on any access.
class GuardedText {
public:
    explicit GuardedText(const std::string& text) : page_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {
        void* p = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
        if (base_ == nullptr || text.size() > page_ || ::mprotect(base_ + page_, page_, PROT_NONE) != 0) return;
        start_ = base_ + page_ - text.size();
        std::memcpy(start_, text.data(), text.size());
    }
    ~GuardedText() {
        if (base_ != nullptr) ::munmap(base_, 2 * page_);
    }
    const char* start() const { return start_; }
    std::size_t page() const { return page_; }

private:
    std::size_t page_;
    char* base_ = nullptr;
    char* start_ = nullptr;
};

// A package header is followed by its data, which may hold no NUL for a long
// way; the header alone decides the result, so nothing after ";;" is read.
TEST(ElementHeader, NothingAfterTheHeaderEndIsRead) {
    const std::string header = "NAME=A;ELEMENT_TYPE=DATA;SIZE=4;;";
    GuardedText guarded(header);
    ASSERT_NE(guarded.start(), nullptr);
    CElement bounded, cString;
    // The view runs on into the guard page, as a package's data would.
    EXPECT_EQ(bounded.ParseHeader(std::string_view(guarded.start(), header.size() + guarded.page())), kOk);
    EXPECT_EQ(bounded.m_size, 4u);
    EXPECT_EQ(cString.ParseHeader(guarded.start()), kOk);
    EXPECT_EQ(cString.m_strName, "A");
}

}  // namespace
}  // namespace carillon
