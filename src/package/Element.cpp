#include "package/Element.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "package/Crc16.h"
#include "package/PackageReader.h"
#include "package/ScanNumber.h"

namespace carillon {
namespace {

constexpr std::string_view kHeaderEnd = ";;";

bool IsHeaderBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where the header's closing ";;" begins, or npos when a NUL (the end of a C
// string) or the end of the text comes first. Nothing after the ";;" is
// read: element data follows it and may hold no NUL for megabytes, and
// scanning it for each header made loading quadratic in the package size.
std::size_t FindHeaderEnd(const char* text, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size && text[i] != '\0'; ++i)
        if (text[i] == ';' && text[i + 1] == ';') return i;
    return std::string_view::npos;
}

// Headers are short; the text read for one grows only when it must.
constexpr std::size_t kHeaderWindow = 256;

// Element data is copied and checked in blocks that stay in the cache, so
// the CRC reads what the copy has just written.
constexpr std::size_t kDataBlock = 256 * 1024;

// The text of the header at offset, grown until it holds the header's ";;",
// a NUL or the rest of the package: all that ParseHeader can look at.
ErrorCode HeaderText(PackageReader& reader, std::size_t offset, std::string_view* text) {
    for (std::size_t want = kHeaderWindow;; want *= 2) {
        if (ErrorCode r = reader.View(offset, want, text); r != kOk) return r;
        if (text->size() < want || FindHeaderEnd(text->data(), text->size()) != std::string_view::npos ||
            text->find('\0') != std::string_view::npos)
            return kOk;
    }
}

// One key=value field of a header; fields parse in order until one fails.
class HeaderFieldParser {
public:
    explicit HeaderFieldParser(CElement& element) : e_(element) {}

    // Returns the error recorded for this field (0 when none).
    ErrorCode Parse(std::string_view piece) {
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos) return kOk;  // no key: ignored
        const std::string_view key = piece.substr(0, eq);
        const std::string_view value = piece.substr(eq + 1);
        if (key == "NAME") {
            e_.m_strName.assign(value);
        } else if (key == "ELEMENT_TYPE") {
            e_.m_type = TypeFromKeyword(value);
            typeSeen = true;
        } else if (key == "PRINTER_ARCHI" || key == "PRINTER_TYPE") {
            e_.m_archi = ArchiFromKeyword(value);
        } else if (key == "LOCATION") {
            e_.m_location = LocationFromKeyword(value);
        } else if (key == "CRYPTED") {
            e_.m_cryptMode = CryptFromKeyword(value);
        } else if (key == "VERSION") {
            return ReadDecimal(value, [&](std::int32_t v) { e_.m_version = v; });
        } else if (key == "SIZE") {
            sizeSeen = true;
            return ReadDecimal(value, [&](std::int32_t v) { e_.m_size = static_cast<std::uint32_t>(v); });
        } else if (key == "CRC") {
            if (value.empty()) return kOk;
            auto crc = ScanPrefixedHex(value, "0x", 4);
            if (!crc) return kErrPkgFieldFormat;
            e_.m_crc = *crc;
        } else if (key == "PACKETSIZE") {
            return ReadDecimal(value, [&](std::int32_t v) { e_.m_packetSize = static_cast<std::uint16_t>(v); });
        }
        return kOk;
    }

    bool typeSeen = false;
    bool sizeSeen = false;

private:
    template <typename Store>
    static ErrorCode ReadDecimal(std::string_view value, Store store) {
        if (value.empty()) return kOk;  // an empty value leaves the field as it was
        auto number = ScanDecimal(value);
        if (!number) return kErrPkgFieldFormat;
        store(*number);
        return kOk;
    }

    CElement& e_;
};

}  // namespace

CElement::CElement() { Reset(); }

CElement::~CElement() {
    Reset();
    m_status = kOk;
}

void CElement::Reset() {
    m_status = kOk;
    m_strName.clear();
    m_type = kTypeFileEmpty;
    m_location = kNoLocation;
    m_version = 0;
    m_archi = kArchiUnknown;
    m_crc = 0xFFFF;
    m_packetSize = 0;
    m_size = 0;
    m_pData.reset();
    m_cryptMode = kCryptTypeDefault;
    m_address = -1;
    m_cryptFlag = -1;
    m_saved = 0;
}

ErrorCode CElement::ParseHeader(const char* text) {
    if (text == nullptr) return m_status = kErrNotSupported;
    // Measured only up to the header's end: the string may run on far past it.
    const std::size_t end = FindHeaderEnd(text, std::numeric_limits<std::size_t>::max());
    return ParseHeader(std::string_view(text, end == std::string_view::npos ? 0 : end + kHeaderEnd.size()));
}

ErrorCode CElement::ParseHeader(std::string_view text) {
    const std::size_t end = FindHeaderEnd(text.data(), text.size());
    if (end == std::string_view::npos) return m_status = kErrPkgFormat;  // truncated or damaged header

    // The header up to its ";;" with every blank removed: values never hold blanks.
    const std::string_view header = text.substr(0, end + kHeaderEnd.size());
    std::unique_ptr<char[]> work(new (std::nothrow) char[header.size()]);
    if (!work) return m_status = kErrNoMemory;
    const std::size_t length =
        static_cast<std::size_t>(std::remove_copy_if(header.begin(), header.end(), work.get(), IsHeaderBlank) - work.get());
    const std::string_view compact(work.get(), length);

    HeaderFieldParser fields(*this);
    ErrorCode result = kOk;
    for (std::size_t start = 0; start < compact.size() && result == kOk;) {
        std::size_t stop = compact.find(';', start);
        if (stop == std::string_view::npos) stop = compact.size();
        if (stop > start) result = fields.Parse(compact.substr(start, stop - start));
        start = stop + 1;
    }

    if (m_cryptMode == kCryptTypeDefault) m_cryptMode = DefaultCryptMode(m_type);
    if (m_cryptFlag == -1) m_cryptFlag = DefaultCryptFlag(m_type);
    if (result == kOk && (!fields.typeSeen || !fields.sizeSeen)) result = kErrPkgMissingField;
    return m_status = result;
}

ErrorCode CElement::Load(std::string_view buffer, std::size_t* position) {
    MemoryPackageReader reader(buffer);
    return Load(reader, position);
}

ErrorCode CElement::Load(PackageReader& reader, std::size_t* position) {
    const std::size_t start = std::min(*position, reader.Size());
    std::string_view text;
    if (ErrorCode r = HeaderText(reader, start, &text); r != kOk) return m_status = r;
    if (ErrorCode r = ParseHeader(text); r != kOk) return r;
    m_pData.reset();

    const std::size_t dataStart = start + FindHeaderEnd(text.data(), text.size()) + kHeaderEnd.size();
    const auto declared = static_cast<std::int32_t>(m_size);
    if (declared < 0 || static_cast<std::size_t>(declared) > reader.Size() - dataStart) return m_status = kErrPkgSize;
    *position = dataStart + static_cast<std::size_t>(declared);

    const auto length = static_cast<std::size_t>(declared);
    const std::size_t rounded = (length + 3) & ~std::size_t{3};
    m_size = static_cast<std::uint32_t>(rounded);
    const bool check = m_cryptMode == kNotCrypted;
    std::uint16_t crc = 0xFFFF;
    if (rounded > 0) {
        m_pData.reset(new (std::nothrow) std::uint8_t[rounded]);
        if (!m_pData) return m_status = kErrNoMemory;
        for (std::size_t done = 0; done < length;) {
            const std::size_t n = std::min(kDataBlock, length - done);
            if (ErrorCode r = reader.Copy(dataStart + done, n, m_pData.get() + done); r != kOk) return m_status = r;
            if (check) crc = ComputeCrc16(crc, m_pData.get() + done, n);
            done += n;
        }
        std::memset(m_pData.get() + length, 0, rounded - length);
        if (check) crc = ComputeCrc16(crc, m_pData.get() + length, rounded - length);
    }

    if (check) {
        const std::uint32_t stated = m_crc;
        m_crc = crc;
        if (m_crc != stated) return m_status = kErrPkgCrc;
    }
    return m_status = kOk;
}

bool CElement::IsErasedData() const {
    if (!m_pData) return false;
    return std::all_of(m_pData.get(), m_pData.get() + m_size, [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace carillon
