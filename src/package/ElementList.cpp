#include "package/ElementList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <string_view>

#include "package/ScanNumber.h"

namespace carillon {
namespace {

constexpr std::string_view kCountPrefix = "NBR_VRK_PACKAGE=0x";

bool IsOnlyBlanks(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

bool IsLocationIndex(std::int32_t location) { return location >= 0 && location < kLocationCount; }

}  // namespace

CElementList::~CElementList() {
    m_lastError = kOk;
    RemoveAll();
}

ErrorCode CElementList::LoadPackage(const std::string& path, std::uint32_t* count) {
    std::error_code ec;
    // A directory or a device cannot be read as a package; refusing it here
    // also keeps a read from blocking on a pipe.
    if (!std::filesystem::is_regular_file(path, ec)) return m_lastError = kErrFileNotFound;
    std::ifstream file(path, std::ios::binary);
    if (!file) return m_lastError = kErrFileNotFound;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return m_lastError = kErrFileSize;
    if (size == 0) return m_lastError = kErrFileEmpty;

    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[size]);
    if (!buffer) return m_lastError = kErrNoMemory;
    file.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(file.gcount()) != size) return m_lastError = kErrFileRead;
    return LoadPackageBuffer(buffer.get(), static_cast<std::size_t>(size), count);
}

ErrorCode CElementList::LoadPackageBuffer(const std::uint8_t* data, std::size_t size, std::uint32_t* count) {
    std::uint32_t localCount = 0;
    std::uint32_t& n = count != nullptr ? *count : localCount;
    if (size == 0) return m_lastError = kErrFileEmpty;

    const std::string_view buffer(reinterpret_cast<const char*>(data), size);
    // Read as from a C string; a NUL can neither match the prefix nor be a
    // digit, so the scan stops at one without looking for it first.
    auto parsed = ScanPrefixedHex(buffer, kCountPrefix, 4);
    if (!parsed) return m_lastError = kErrPkgFormat;
    n = *parsed;

    std::size_t position = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        // The file ended before this element's header: the count is wrong.
        if (IsOnlyBlanks(buffer.substr(position))) return m_lastError = kErrPkgCount;
        auto element = std::make_unique<CElement>();
        if (ErrorCode r = element->Load(buffer, &position); r != kOk) return m_lastError = r;
        Add(std::move(element));
    }
    return m_lastError = kOk;
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
