// The two binary layouts of a printer's file-table entry and their
// conversion to and from a CElement. Every field is read and written byte by
// byte in its stated order: the DSP entry is little-endian, the MCU/KIOSK
// entry mixes big-endian and little-endian fields.

#include <cstring>

#include "package/Element.h"

namespace carillon {
namespace {

// DSP entry, 64 bytes.
constexpr std::size_t kDspType = 0, kDspCrc = 2, kDspAddress = 4, kDspWords = 8, kDspVersion = 12, kDspName = 14;
constexpr std::size_t kDspNameField = 50;
// MCU / KIOSK entry, 32 bytes.
constexpr std::size_t kMcuType = 0, kMcuCrc = 1, kMcuAddress = 3, kMcuSize = 5, kMcuVersion = 7, kMcuName = 9;
constexpr std::size_t kMcuNameField = 23;

constexpr std::uint16_t kDspCryptBit = 0x4000;
constexpr std::uint8_t kMcuCryptBit = 0x40;

std::uint16_t GetLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint16_t GetBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutBe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

// A NUL-padded name field holding at most maxChars characters.
std::string GetName(const std::uint8_t* field, std::size_t maxChars) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, maxChars));
}

void PutName(std::uint8_t* field, std::size_t fieldSize, const std::string& name) {
    std::memset(field, 0, fieldSize);
    std::memcpy(field, name.data(), std::min(name.size(), fieldSize));
}

}  // namespace

ErrorCode CElement::DecodeTypeCode(const std::uint8_t* entry, EntryForm form) {
    m_type = kTypeInvalid;
    if (form == EntryForm::kDsp) {
        const std::uint16_t code = GetLe16(entry + kDspType);
        for (std::int32_t t = 0; t < kElementTypeCount && m_type == kTypeInvalid; ++t)
            if ((DspTypeCode(t) & ~kDspCryptBit) == (code & ~kDspCryptBit)) m_type = t;
        m_cryptFlag = (code & kDspCryptBit) ? 1 : 0;
    } else {
        const std::uint8_t code = entry[kMcuType];
        for (std::int32_t t = 0; t < kElementTypeCount && m_type == kTypeInvalid; ++t)
            if ((McuTypeCode(t) & ~kMcuCryptBit) == (code & ~kMcuCryptBit)) m_type = t;
        m_cryptFlag = (code & kMcuCryptBit) ? 1 : 0;
    }
    return kOk;
}

ErrorCode CElement::EncodeTypeCode(std::uint8_t* entry, std::int32_t type, EntryForm form, std::int32_t flag) {
    if (type < 0 || type >= kElementTypeCount) return m_status = kErrPkgUnknownType;
    const bool crypted = flag == 1 && type != kTypeUnknownFile;
    if (form == EntryForm::kDsp) {
        PutLe16(entry + kDspType, static_cast<std::uint16_t>(DspTypeCode(type) | (crypted ? kDspCryptBit : 0)));
    } else {
        entry[kMcuType] = static_cast<std::uint8_t>(McuTypeCode(type) | (crypted ? kMcuCryptBit : 0));
    }
    return m_status = kOk;
}

ErrorCode CElement::ReadDspEntry(const std::uint8_t* entry) {
    if (entry == nullptr) return m_status = kErrMissingObject;
    m_location = kDspFlash;
    m_crc = GetLe16(entry + kDspCrc);
    m_address = static_cast<std::int32_t>(GetLe32(entry + kDspAddress));
    m_size = GetLe32(entry + kDspWords) * 2;
    m_version = GetLe16(entry + kDspVersion);
    DecodeTypeCode(entry, EntryForm::kDsp);
    m_strName = GetName(entry + kDspName, kDspNameField - 1);
    return m_status = kOk;
}

ErrorCode CElement::ReadMcuEntry(const std::uint8_t* entry) {
    if (entry == nullptr) return m_status = kErrNotSupported;
    m_location = kMcuFlash;
    m_crc = GetBe16(entry + kMcuCrc);
    m_address = GetBe16(entry + kMcuAddress);
    m_size = GetBe16(entry + kMcuSize);
    m_version = GetLe16(entry + kMcuVersion);
    DecodeTypeCode(entry, EntryForm::kMcu);
    m_strName = GetName(entry + kMcuName, kMcuNameField - 1);
    return m_status = kOk;
}

ErrorCode CElement::WriteDspEntry(std::uint8_t* entry) {
    if (entry == nullptr) return m_status = kErrNotSupported;
    if (m_cryptFlag == -1) m_cryptFlag = DefaultCryptFlag(m_type);
    PutLe16(entry + kDspCrc, m_crc);
    PutLe32(entry + kDspAddress, static_cast<std::uint32_t>(m_address));
    PutLe32(entry + kDspWords, m_size / 2);
    if (ErrorCode r = EncodeTypeCode(entry, m_type, EntryForm::kDsp, m_cryptFlag); r != kOk) return r;
    PutLe16(entry + kDspVersion, static_cast<std::uint32_t>(m_version));
    PutName(entry + kDspName, kDspNameField, m_strName);
    entry[kDspEntrySize - 1] = 0;
    return m_status = (m_location == kDspFlash) ? kOk : kErrPkgUnknownLocation;
}

ErrorCode CElement::WriteMcuEntry(std::uint8_t* entry) {
    if (entry == nullptr) return m_status = kErrNotSupported;
    if (m_cryptFlag == -1) m_cryptFlag = DefaultCryptFlag(m_type);
    PutBe16(entry + kMcuCrc, m_crc);
    PutBe16(entry + kMcuAddress, static_cast<std::uint32_t>(m_address));
    PutBe16(entry + kMcuSize, m_size);
    const EntryForm form = m_location == kDspFlash ? EntryForm::kDsp : EntryForm::kMcu;
    if (ErrorCode r = EncodeTypeCode(entry, m_type, form, m_cryptFlag); r != kOk) return r;
    PutLe16(entry + kMcuVersion, static_cast<std::uint32_t>(m_version));
    PutName(entry + kMcuName, kMcuNameField, m_strName);
    entry[kMcuEntrySize - 1] = 0;
    const bool mcuTable = m_location == kMcuFlash || m_location == kKioskFlash;
    return m_status = mcuTable ? kOk : kErrPkgUnknownLocation;
}

}  // namespace carillon
