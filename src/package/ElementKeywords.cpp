// The keyword tables of the package format and the tables keyed by element
// type.

#include <array>

#include "package/Element.h"

namespace carillon {
namespace {

struct TypeRow {
    const char* keyword;
    std::uint16_t dspCode;
    std::uint8_t mcuCode;
    std::int32_t cryptMode;
    std::int32_t cryptFlag;
};

constexpr std::array<TypeRow, kElementTypeCount> kTypes = {{
    {"INDEX", 0x1000, 0x10, kNotCrypted, 0},
    {"FILE_EMPTY", 0x2000, 0x20, kNotCrypted, 0},
    {"DATA", 0x3000, 0x30, kNotCrypted, 0},
    {"VRK_PROD_DATA", 0x3001, 0x31, kNotCrypted, 0},
    {"FIRMWARE", 0x8000, 0x80, kCodeCrypted, 1},
    {"FONT", 0x8001, 0x81, kFontCrypted, 1},
    {"FONT_A", 0x8002, 0x82, kFontCrypted, 1},
    {"FONT_B", 0x8003, 0x83, kFontCrypted, 1},
    {"FONT_EXT", 0x9001, 0x91, kNotCrypted, 0},
    {"FONT_DL", 0x9002, 0x92, kNotCrypted, 0},
    {"NV_IMAGE", 0x8004, 0x84, kNotCrypted, 0},
    {"NV_DATA", 0x8005, 0x85, kNotCrypted, 0},
    {"TICKET", 0x8006, 0x86, kNotCrypted, 0},
    {"PDF417", 0x8007, 0x87, kNotCrypted, 0},
    {"PARAMS_FACT", 0x9003, 0x93, kNotCrypted, 0},
    {"PARAMS_CUSTOM", 0x9004, 0x94, kNotCrypted, 0},
    {"TEST_DATA", 0x9005, 0x95, kNotCrypted, 0},
    {"MONITOR", 0xFFFC, 0xFC, kNotCrypted, 0},
    {"TEMPLATE", 0xFFFD, 0xFD, kNotCrypted, 0},
    {"PKG_HEADER", 0xFFFE, 0xFE, kNotCrypted, 0},
    {"UNKNOWN_FILE", 0xFFFF, 0xFF, kNotCrypted, 0},
}};

struct KeywordValue {
    const char* keyword;
    std::int32_t value;
};

constexpr KeywordValue kArchiKeywords[] = {
    {"UNKNOWN_PRINTER", kArchiUnknown}, {"ARCHI_UNKNOWM", kArchiUnknown}, {"PLV", kArchiPlv},
    {"ARCHI_PLV", kArchiPlv},           {"NDX", kArchiNdx},               {"ARCHI_NDX", kArchiNdx},
    {"KIOSK", kArchiKiosk},             {"ARCHI_KIOSK", kArchiKiosk},
};

constexpr KeywordValue kLocationKeywords[] = {
    {"NO_LOCATION", kNoLocation}, {"ANY_FLASH", kNoLocation}, {"MCU_FLASH", kMcuFlash},
    {"DSP_FLASH", kDspFlash},     {"EXT_FLASH", kDspFlash},   {"I2C_FLASH", kI2cFlash},
    {"KIOSK_FLASH", kKioskFlash},
};

constexpr KeywordValue kCryptKeywords[] = {
    {"YES", kCryptTypeDefault},
    {"NOT_CRYPTED", kNotCrypted},
    {"CODE_CRYPTED", kCodeCrypted},
    {"FONT_CRYPTED", kFontCrypted},
};

template <std::size_t N>
std::int32_t Lookup(const KeywordValue (&table)[N], std::string_view text, std::int32_t otherwise) {
    for (const auto& row : table)
        if (text == row.keyword) return row.value;
    return otherwise;
}

bool IsTypeIndex(std::int32_t type) { return type >= 0 && type < kElementTypeCount; }

}  // namespace

std::int32_t TypeFromKeyword(std::string_view text) {
    for (std::int32_t i = 0; i < kElementTypeCount; ++i)
        if (text == kTypes[i].keyword) return i;
    return kTypeUnknownFile;
}

std::int32_t ArchiFromKeyword(std::string_view text) { return Lookup(kArchiKeywords, text, kArchiUnknown); }

std::int32_t LocationFromKeyword(std::string_view text) { return Lookup(kLocationKeywords, text, kNoLocation); }

std::int32_t CryptFromKeyword(std::string_view text) { return Lookup(kCryptKeywords, text, kNotCrypted); }

const char* LocationName(std::int32_t location) {
    switch (location) {
        case kNoLocation: return "NO_LOCATION";
        case kMcuFlash: return "MCU_FLASH";
        case kDspFlash: return "DSP_FLASH";
        case kI2cFlash: return "I2C_FLASH";
        case kKioskFlash: return "KIOSK_FLASH";
        default: return "Error";
    }
}

const char* TypeKeyword(std::int32_t type) { return IsTypeIndex(type) ? kTypes[type].keyword : nullptr; }

const char* ArchiKeyword(std::int32_t archi) {
    switch (archi) {
        case kArchiPlv: return "PLV";
        case kArchiNdx: return "NDX";
        case kArchiKiosk: return "KIOSK";
        default: return "UNKNOWN_PRINTER";
    }
}

const char* CryptKeyword(std::int32_t mode) {
    switch (mode) {
        case kCodeCrypted: return "CODE_CRYPTED";
        case kFontCrypted: return "FONT_CRYPTED";
        default: return "NOT_CRYPTED";
    }
}

std::int32_t DefaultCryptMode(std::int32_t type) { return IsTypeIndex(type) ? kTypes[type].cryptMode : kNotCrypted; }

std::int32_t DefaultCryptFlag(std::int32_t type) { return IsTypeIndex(type) ? kTypes[type].cryptFlag : 0; }

std::int32_t FixedAddress(std::int32_t type, std::int32_t location) {
    if (location != kMcuFlash && location != kKioskFlash) return -1;
    switch (type) {
        case kTypeFirmware: return 0x182C;
        case kTypeParamsFact: return 0x1600;
        case kTypeParamsCustom: return 0x1400;
        default: return -1;
    }
}

bool IsWordAddressed(std::int32_t location) { return location == kDspFlash; }

std::uint32_t UnitCount(const CElement& element) {
    return IsWordAddressed(element.m_location) ? element.m_size / 2 : element.m_size;
}

std::uint16_t DspTypeCode(std::int32_t type) { return IsTypeIndex(type) ? kTypes[type].dspCode : 0xFFFF; }

std::uint8_t McuTypeCode(std::int32_t type) { return IsTypeIndex(type) ? kTypes[type].mcuCode : 0xFF; }

std::uint16_t SwapBytes16(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

}  // namespace carillon
