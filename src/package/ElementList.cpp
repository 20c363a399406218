#include "package/ElementList.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "package/ScanNumber.h"

namespace carillon {
namespace {

constexpr std::string_view kCountPrefix = "NBR_VRK_PACKAGE=0x";

bool IsOnlyBlanks(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// Whether nothing but blanks is left from offset to the end of the package.
ErrorCode RestIsBlank(PackageReader& reader, std::size_t offset, bool* blank) {
    for (std::size_t want = 256;; want *= 2) {
        std::string_view text;
        if (ErrorCode r = reader.View(offset, want, &text); r != kOk) return r;
        if (!IsOnlyBlanks(text) || text.size() < want) {
            *blank = IsOnlyBlanks(text);
            return kOk;
        }
        offset += text.size();
    }
}

bool IsLocationIndex(std::int32_t location) { return location >= 0 && location < kLocationCount; }

}  // namespace

CElementList::~CElementList() {
    m_lastError = kOk;
    RemoveAll();
}

ErrorCode CElementList::LoadPackage(const std::string& path, std::uint32_t* count) {
    FilePackageReader reader;
    if (ErrorCode r = reader.Open(path); r != kOk) return m_lastError = r;
    return LoadFrom(reader, count);
}

ErrorCode CElementList::LoadPackageBuffer(const std::uint8_t* data, std::size_t size, std::uint32_t* count) {
    if (size == 0) return m_lastError = kErrFileEmpty;
    MemoryPackageReader reader(std::string_view(reinterpret_cast<const char*>(data), size));
    return LoadFrom(reader, count);
}

ErrorCode CElementList::LoadFrom(PackageReader& reader, std::uint32_t* count) {
    std::string_view head;
    if (ErrorCode r = reader.View(0, kCountPrefix.size() + 4, &head); r != kOk) return m_lastError = r;
    // Read as from a C string; a NUL can neither match the prefix nor be a
    // digit, so the scan stops at one without looking for it first.
    const auto parsed = ScanPrefixedHex(head, kCountPrefix, 4);
    if (!parsed) return m_lastError = kErrPkgFormat;
    const std::uint32_t n = *parsed;

    std::vector<std::unique_ptr<CElement>> loaded;
    ErrorCode result = kOk;
    std::size_t position = 0;
    for (std::uint32_t i = 0; i < n && result == kOk; ++i) {
        // The file ended before this element's header: the count is wrong.
        bool blank = false;
        if (result = RestIsBlank(reader, position, &blank); result != kOk) break;
        if (blank) {
            result = kErrPkgCount;
            break;
        }
        auto element = std::make_unique<CElement>();
        if (result = element->Load(reader, &position); result == kOk) loaded.push_back(std::move(element));
    }
    // A file that could not be read whole changes nothing, as when it was
    // read in one go before parsing; otherwise the elements before a faulty
    // one stay.
    if (result == kErrFileRead) return m_lastError = result;
    if (count != nullptr) *count = n;
    for (auto& element : loaded) Add(std::move(element));
    return m_lastError = result;
}

void CElementList::MarkOutOfSync(const CElement& element) {
    if (IsLocationIndex(element.m_location)) m_tableInSync[static_cast<std::size_t>(element.m_location)] = 0;
}

ErrorCode CElementList::Add(std::unique_ptr<CElement> element) {
    MarkOutOfSync(*element);
    m_elements.push_back(std::move(element));
    return m_lastError = kOk;
}

void CElementList::RemoveAt(Position position) {
    if (!position) return;
    MarkOutOfSync(**position.it);
    m_elements.erase(position.it);
}

void CElementList::RemoveAll() {
    while (!m_elements.empty()) RemoveAt(GetHeadPosition());
}

void CElementList::RemoveLocation(std::int32_t location) {
    for (Position pos = GetHeadPosition(); pos;) {
        Position current = pos;
        if (GetNext(pos)->m_location == location) RemoveAt(current);
    }
}

CElementList::Position CElementList::GetHeadPosition() {
    return Position{m_elements.begin(), !m_elements.empty()};
}

CElement* CElementList::GetNext(Position& position) {
    if (!position) return nullptr;
    CElement* element = position.it->get();
    ++position.it;
    position.valid = position.it != m_elements.end();
    return element;
}

CElement* CElementList::GetAt(Position position) { return position ? position.it->get() : nullptr; }

CElementList::Position CElementList::FindIndex(int index) {
    if (index < 0 || index >= GetCount()) return Position{};
    return Position{std::next(m_elements.begin(), index), true};
}

}  // namespace carillon
