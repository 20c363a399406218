// Header parsing on arbitrary text: never reads past the text, always
// leaves the fields inside their tables, and the C-string form agrees with
// the bounded one.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "package/Element.h"

namespace {

using namespace carillon;

void CheckFields(const CElement& e, ErrorCode result) {
    FUZZ_CHECK(e.m_status == result);
    FUZZ_CHECK(e.m_type >= 0 && e.m_type < kElementTypeCount);
    FUZZ_CHECK(e.m_location >= kNoLocation && e.m_location <= kKioskFlash);
    FUZZ_CHECK(e.m_archi >= kArchiUnknown && e.m_archi <= kArchiKiosk);
    FUZZ_CHECK(e.m_crc <= 0xFFFF);
    FUZZ_CHECK(e.m_pData == nullptr);
    // White space is removed from the whole header, and ";" ends a field.
    FUZZ_CHECK(e.m_strName.find_first_of(" \t\r\n;") == std::string::npos);
    if (result != kErrPkgFormat) {  // only a header without ";;" skips the crypt defaults
        FUZZ_CHECK(e.m_cryptMode >= kNotCrypted && e.m_cryptMode <= kFontCrypted);
        FUZZ_CHECK(e.m_cryptFlag == DefaultCryptFlag(e.m_type));
    }
}

bool SameFields(const CElement& a, const CElement& b) {
    return a.m_strName == b.m_strName && a.m_type == b.m_type && a.m_location == b.m_location &&
           a.m_version == b.m_version && a.m_archi == b.m_archi && a.m_crc == b.m_crc &&
           a.m_packetSize == b.m_packetSize && a.m_size == b.m_size && a.m_cryptMode == b.m_cryptMode &&
           a.m_cryptFlag == b.m_cryptFlag;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CElement bounded;
    const ErrorCode result = bounded.ParseHeader(text);
    FUZZ_CHECK(result == kOk || result == kErrPkgFormat || result == kErrPkgFieldFormat ||
               result == kErrPkgMissingField);
    CheckFields(bounded, result);

    const std::string terminated(text);
    CElement cString;
    FUZZ_CHECK(cString.ParseHeader(terminated.c_str()) == result);
    FUZZ_CHECK(SameFields(bounded, cString));
    return 0;
}
