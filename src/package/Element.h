#pragma once
// CElement: one file destined for one flash memory of a printer (a firmware
// image, a font, a parameter block...). Elements come from a package file
// (a text header then raw data) or from a printer's file table (a fixed-size
// binary entry), and are written back as such entries.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "errors/ErrorCode.h"

namespace carillon {

class PackageReader;

// Row index into the element type table.
enum ElementType : std::int32_t {
    kTypeInvalid = -1,  // a file-table type code that matched no row
    kTypeIndex = 0,
    kTypeFileEmpty = 1,
    kTypeData = 2,
    kTypeVrkProdData = 3,
    kTypeFirmware = 4,
    kTypeFont = 5,
    kTypeFontA = 6,
    kTypeFontB = 7,
    kTypeFontExt = 8,
    kTypeFontDl = 9,
    kTypeNvImage = 10,
    kTypeNvData = 11,
    kTypeTicket = 12,
    kTypePdf417 = 13,
    kTypeParamsFact = 14,
    kTypeParamsCustom = 15,
    kTypeTestData = 16,
    kTypeMonitor = 17,
    kTypeTemplate = 18,
    kTypePkgHeader = 19,
    kTypeUnknownFile = 20,
};
constexpr int kElementTypeCount = 21;

enum PrinterArchi : std::int32_t {
    kArchiUnknown = 0,
    kArchiPlv = 1,
    kArchiNdx = 2,
    kArchiKiosk = 3,
};

enum FlashLocation : std::int32_t {
    kNoLocation = -1,
    kMcuFlash = 0,
    kDspFlash = 1,
    kI2cFlash = 2,
    kKioskFlash = 3,
};
constexpr int kLocationCount = 4;

enum CryptMode : std::int32_t {
    kCryptTypeDefault = -1,  // "YES": take the element type's default
    kNotCrypted = 0,
    kCodeCrypted = 1,
    kFontCrypted = 2,
};

// Which of the two file-table entry layouts a type code belongs to.
enum class EntryForm { kDsp, kMcu };

constexpr std::size_t kDspEntrySize = 64;
constexpr std::size_t kMcuEntrySize = 32;

class CElement {
public:
    CElement();
    virtual ~CElement();
    CElement(const CElement&) = delete;
    CElement& operator=(const CElement&) = delete;

    // Sets every field to its default and releases the data.
    void Reset();

    // Parses the header that begins at text (a NUL-terminated C string).
    ErrorCode ParseHeader(const char* text);
    // The same on a bounded text: nothing beyond its end (or its first NUL)
    // is read.
    ErrorCode ParseHeader(std::string_view text);

    // Loads the element whose header begins at *position in buffer (the whole
    // package file): header, then exactly SIZE bytes of data, padded with
    // zeros to a multiple of 4, CRC-checked when not crypted. *position moves
    // past the data.
    ErrorCode Load(std::string_view buffer, std::size_t* position);
    // The same from a package that is read as it is parsed.
    ErrorCode Load(PackageReader& reader, std::size_t* position);

    // File-table entries (64 bytes for DSP_FLASH, 32 for MCU and KIOSK flash).
    ErrorCode ReadDspEntry(const std::uint8_t* entry);
    ErrorCode ReadMcuEntry(const std::uint8_t* entry);
    ErrorCode WriteDspEntry(std::uint8_t* entry);
    ErrorCode WriteMcuEntry(std::uint8_t* entry);
    ErrorCode DecodeTypeCode(const std::uint8_t* entry, EntryForm form);
    ErrorCode EncodeTypeCode(std::uint8_t* entry, std::int32_t type, EntryForm form, std::int32_t flag);

    // True when every byte of the m_size bytes of data is 0xFF.
    bool IsErasedData() const;

    ErrorCode m_status = kOk;
    std::string m_strName;
    std::int32_t m_type = kTypeFileEmpty;
    std::int32_t m_location = kNoLocation;
    std::int32_t m_version = 0;
    std::int32_t m_archi = kArchiUnknown;
    std::uint32_t m_crc = 0xFFFF;
    std::uint16_t m_packetSize = 0;
    std::uint32_t m_size = 0;
    std::unique_ptr<std::uint8_t[]> m_pData;
    std::int32_t m_cryptMode = kCryptTypeDefault;
    std::int32_t m_address = -1;
    std::int32_t m_cryptFlag = -1;
    std::int32_t m_saved = 0;
};

// Keyword tables.
std::int32_t TypeFromKeyword(std::string_view text);
std::int32_t ArchiFromKeyword(std::string_view text);
std::int32_t LocationFromKeyword(std::string_view text);
std::int32_t CryptFromKeyword(std::string_view text);
const char* LocationName(std::int32_t location);
// The ELEMENT_TYPE keyword of a type index, or null outside 0 to 20.
const char* TypeKeyword(std::int32_t type);
// The PRINTER_ARCHI keyword of an architecture ("UNKNOWN_PRINTER" otherwise).
const char* ArchiKeyword(std::int32_t archi);
// The CRYPTED keyword of a crypt mode ("NOT_CRYPTED" otherwise).
const char* CryptKeyword(std::int32_t mode);

std::int32_t DefaultCryptMode(std::int32_t type);
std::int32_t DefaultCryptFlag(std::int32_t type);
// The address at which an element of this type is placed in this location,
// or -1 when it has none.
std::int32_t FixedAddress(std::int32_t type, std::int32_t location);
// DSP_FLASH counts addresses and lengths in 16-bit words.
bool IsWordAddressed(std::int32_t location);
// An element's length in its location's units.
std::uint32_t UnitCount(const CElement& element);

// The 16-bit type codes of the two entry forms.
std::uint16_t DspTypeCode(std::int32_t type);
std::uint8_t McuTypeCode(std::int32_t type);

std::uint16_t SwapBytes16(std::uint16_t value);

}  // namespace carillon
