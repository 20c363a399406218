#pragma once
// CElementList: the elements of a package (and of a printer's file tables),
// in insertion order, with the per-location bookkeeping the engine needs and
// the compatibility rules that decide whether a package suits a printer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "errors/ErrorCode.h"
#include "package/Element.h"
#include "package/PackageReader.h"

namespace carillon {

class CElementList {
public:
    using Container = std::list<std::unique_ptr<CElement>>;

    // A place in the list; false once iteration has passed the last element.
    struct Position {
        Container::iterator it{};
        bool valid = false;
        explicit operator bool() const { return valid; }
    };

    CElementList() = default;
    ~CElementList();
    CElementList(const CElementList&) = delete;
    CElementList& operator=(const CElementList&) = delete;

    // Reads a package file and appends its elements (the list is not emptied
    // first). count, when given, receives the element count of the file. The
    // file is read as it is parsed, element data straight into each element;
    // a file that cannot be read whole leaves the list as it was.
    ErrorCode LoadPackage(const std::string& path, std::uint32_t* count = nullptr);
    // The same on a package already in memory.
    ErrorCode LoadPackageBuffer(const std::uint8_t* data, std::size_t size, std::uint32_t* count = nullptr);

    // Appends element; the list takes ownership.
    ErrorCode Add(std::unique_ptr<CElement> element);
    void RemoveAt(Position position);
    void RemoveAll();
    void RemoveLocation(std::int32_t location);

    int GetCount() const { return static_cast<int>(m_elements.size()); }
    Position GetHeadPosition();
    // The element at position; position moves to the next one.
    CElement* GetNext(Position& position);
    CElement* GetAt(Position position);
    // The position of the index-th element (counted from 0), if there is one.
    Position FindIndex(int index);
    const Container& Elements() const { return m_elements; }

    // Compatibility with the printer family in m_archi.
    ErrorCode RemoveUnusable();
    int CountIncompatible(bool remove, bool show);
    ErrorCode CheckPackage();

    // Completes the list with the parameter areas every printer keeps.
    ErrorCode AddParameterElements();

    std::int32_t m_archi = kArchiUnknown;
    ErrorCode m_lastError = kOk;
    std::array<std::uint32_t, kLocationCount> m_tableInSync{};
    std::array<std::uint32_t, kLocationCount> m_tableRead{};

private:
    void MarkOutOfSync(const CElement& element);
    ErrorCode LoadFrom(PackageReader& reader, std::uint32_t* count);

    Container m_elements;
};

}  // namespace carillon
