#include <gtest/gtest.h>

#include "package/Element.h"

namespace carillon {
namespace {

// The element a header parses to; its m_status holds the result.
std::unique_ptr<CElement> Parse(const std::string& header) {
    auto e = std::make_unique<CElement>();
    e->ParseHeader(header.c_str());
    return e;
}

// Keys are case-sensitive; numbers are read as the C library reads them and
// an empty one leaves its field alone; a CRC is at most four hex digits after
// its literal prefix.
TEST(ElementHeader, NumberFieldsReadAsTheCLibraryDoesOrAreRefused) {
    struct Case {
        const char* header;
        ErrorCode status;
        std::uint32_t size, crc;
        std::int32_t version;
        std::uint16_t packetSize;
    };
    const Case cases[] = {
        {"ELEMENT_TYPE=DATA;SIZE=+7;VERSION=-3;PACKETSIZE=70000;;", kOk, 7, 0xFFFF, -3, 70000 & 0xFFFF},
        {"ELEMENT_TYPE=DATA;SIZE=12abc;VERSION=;CRC=;PACKETSIZE=;;", kOk, 12, 0xFFFF, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0xabcd;;", kOk, 1, 0xABCD, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0x12345;;", kOk, 1, 0x1234, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0x1G;;", kOk, 1, 0x1, 0, 0},
        {"SIZE=1;;", 0x00040004, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;;", 0x00040004, 0, 0, 0, 0},
        {"element_type=FIRMWARE;SIZE=1;;", 0x00040004, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=abc;;", 0x00040003, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;VERSION=v2;;", 0x00040003, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;PACKETSIZE=-;;", 0x00040003, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=ABCD;;", 0x00040003, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0XABCD;;", 0x00040003, 0, 0, 0, 0},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRC=0x;;", 0x00040003, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const auto e = Parse(c.header);
        EXPECT_EQ(e->m_status, c.status);
        if (c.status != kOk) continue;
        EXPECT_EQ(e->m_size, c.size);
        EXPECT_EQ(e->m_crc, c.crc);
        EXPECT_EQ(e->m_version, c.version);
        EXPECT_EQ(e->m_packetSize, c.packetSize);
    }
}

// Blanks go, fields count up to the first ";;" and the first bad field stops
// the parse; the crypt mode comes from its field or the type, the flag from
// the type alone, even after an error.
TEST(ElementHeader, HeadersParseUpToTheirEndAndTheFirstBadField) {
    struct Case {
        const char* header;
        ErrorCode status;
        const char* name;
        std::int32_t type;
        std::uint32_t size;
        std::int32_t mode, flag;
    };
    const Case cases[] = {
        {" \r\n NAME = Main firmware ;\tELEMENT_TYPE =\nFONT_A; SIZE = 1 2 ;;", kOk, "Mainfirmware", kTypeFontA, 12,
         kFontCrypted, 1},
        {"NBR_VRK_PACKAGE=0x0001;ELEMENT_TYPE=DATA;SIZE=1;;NAME=data;", kOk, "", kTypeData, 1, kNotCrypted, 0},
        {"ELEMENT_TYPE=FONT;VERSION=x;NAME=late;SIZE=1;;", 0x00040003, "", kTypeFont, 0, kFontCrypted, 1},
        {"ELEMENT_TYPE=FIRMWARE;SIZE=16;;", kOk, "", kTypeFirmware, 16, kCodeCrypted, 1},
        {"ELEMENT_TYPE=FIRMWARE;SIZE=16;CRYPTED=NOT_CRYPTED;;", kOk, "", kTypeFirmware, 16, kNotCrypted, 1},
        {"ELEMENT_TYPE=FIRMWARE;SIZE=16;CRYPTED=YES;;", kOk, "", kTypeFirmware, 16, kCodeCrypted, 1},
        {"ELEMENT_TYPE=FONT_B;SIZE=1;CRYPTED=YES;;", kOk, "", kTypeFontB, 1, kFontCrypted, 1},
        {"ELEMENT_TYPE=DATA;SIZE=1;CRYPTED=SOMETIMES;;", kOk, "", kTypeData, 1, kNotCrypted, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const auto e = Parse(c.header);
        EXPECT_EQ(e->m_status, c.status);
        EXPECT_EQ(e->m_strName, c.name);
        EXPECT_EQ(e->m_type, c.type);
        EXPECT_EQ(e->m_size, c.size);
        EXPECT_EQ(e->m_cryptMode, c.mode);
        EXPECT_EQ(e->m_cryptFlag, c.flag);
    }
}

// Keyword values are case-sensitive and unknown ones map to unknown; the
// kiosk board's parameters have a fixed place; location names are bounded.
TEST(ElementKeywords, KeywordsMapExactlyAndLocationsAreBounded) {
    EXPECT_EQ(Parse("ELEMENT_TYPE=firmware;SIZE=1;;")->m_type, kTypeUnknownFile);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_TYPE=KIOSK;;")->m_archi, kArchiKiosk);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_ARCHI=ARCHI_KIOSK;;")->m_archi, kArchiKiosk);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;PRINTER_ARCHI=ARCHI_KOISK;;")->m_archi, kArchiUnknown);
    EXPECT_EQ(Parse("ELEMENT_TYPE=DATA;SIZE=1;LOCATION=EXT_FLASH;;")->m_location, kDspFlash);
    EXPECT_EQ(TypeFromKeyword(std::string_view()), kTypeUnknownFile);
    EXPECT_EQ(FixedAddress(kTypeParamsFact, kKioskFlash), 0x1600);
    EXPECT_EQ(FixedAddress(kTypeFirmware, kDspFlash), -1);
    EXPECT_EQ(FixedAddress(kTypeFontA, kMcuFlash), -1);
    EXPECT_STREQ(LocationName(-1), "NO_LOCATION");
    EXPECT_STREQ(LocationName(3), "KIOSK_FLASH");
    EXPECT_STREQ(LocationName(4), "Error");
    EXPECT_STREQ(LocationName(-2), "Error");
}

TEST(ElementHeader, MissingTextOrAnEndAfterANulIsRefused) {
    CElement e;
    EXPECT_EQ(e.ParseHeader(static_cast<const char*>(nullptr)), 0x01000002u);
    EXPECT_EQ(e.m_status, 0x01000002u);
    // A NUL ends the text as it ends a C string, here before the ";;".
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

}  // namespace
}  // namespace carillon
